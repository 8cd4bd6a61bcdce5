#pragma once

#include "host/filter/candidate_checks.h"
#include "host/storage/large_array.h"
#include "host/storage/record_view.h"

#include <cstddef>
#include <cstdint>

namespace host::filter {

// From this many candidates up, substring checks run on two threads.
constexpr std::size_t kParallelChecks = std::size_t{1} << 16;
// Candidates a thread takes at a time.
constexpr std::size_t kCheckChunk = 8192;

// Whether checking this many candidates is worth a second thread: with many substring
// checks and nothing else.
bool ChecksOnTwoThreads(const Checks& checks, std::size_t candidates);

// What the first contains search found in each candidate, by candidate: sized to the
// candidates, a passing candidate's info gets kKept.
struct CandidateNotes {
    LargeVector<std::uint64_t> tails;
    LargeVector<std::uint8_t> infos;
};

// Where chunk `chunk` of the candidates begins: near chunk * kCheckChunk, at a word of
// the record bitmap, so that no two chunks set bits in one word.
std::size_t ChunkStart(const LargeVector<std::uint32_t>& candidates, std::size_t chunk);

// Checks candidates (ascending record numbers) in chunks taken as they come free, by two
// threads with twoThreads, so that neither waits on the other when one of them gets less
// of the processor. Sets the bits of those that pass in `pass`, notes the first contains
// search's matches in notes (when not nullptr), and returns how many passed.
std::size_t CheckCandidates(const Checks& checks, const LargeVector<std::uint32_t>& candidates,
                            CandidateNotes* notes, RecordBitmap& pass, bool twoThreads);

} // namespace host::filter
