#pragma once

#include "host/filter/bigram_summary.h"
#include "host/filter/word_index.h"
#include "host/storage/large_array.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <vector>

namespace host {

class Table;
struct SearchProgress;

// What a search over several fields reads, per field.
struct SearchStructures {
    // A text field's word index with its words.
    std::map<int, std::unique_ptr<filter::WordIndex>> words;
    // A text field's bytes alone (WordIndex without words): ahead of its words, or all
    // that a build not by words makes.
    std::map<int, std::unique_ptr<filter::WordIndex>> bytes;
    std::map<int, std::unique_ptr<const LargeVector<std::uint32_t>>> leadingOrders;
    std::map<int, std::unique_ptr<filter::BigramSummary>> summaries;
};

// One structure of one field, as a build makes it.
enum class SearchPart { Bytes, Words, Leading, Summary };

// Which structures to build; the dataset leaves out what it holds already.
struct SearchBuildPlan {
    bool ignoreAccents = false;
    bool byWords = false;
    std::vector<int> words;   // text fields: their word index (with the words when byWords)
    std::vector<int> leading; // their order by leading bytes, in any case
    // Text fields: their order by leading bytes, unless by words some value holds a space
    // (the word index then answers a prefix). A field not in `words` is found in
    // `spaceless`, from the index the dataset has.
    std::vector<int> leadingUnlessSpaced;
    std::map<int, bool> spaceless;
    std::vector<int> summaries; // their pair summary, which a contains search reads
    // Called on the worker before each part is built (tests hold a part back with it).
    std::function<void(SearchPart, int field)> starting;
};

// Builds a plan on a worker thread, so that opening a search does not wait for it: first,
// on two threads, what a scanned code reads (the leading orders, and each text field's
// bytes), then the word indexes, then the pair summaries that a contains search reads.
// Each part is handed over as soon as it is built: a keystroke that comes before waits
// only for the parts it reads (a code needs no word index of the names), and a part it
// waits for is built next, on the first thread free. The table must not change while a
// build runs: Stop first.
class SearchBuild {
public:
    SearchBuild(const Table& table, SearchBuildPlan plan);
    ~SearchBuild();
    SearchBuild(const SearchBuild&) = delete;
    SearchBuild& operator=(const SearchBuild&) = delete;

    // Whether the field's pair summary is still to be taken.
    bool SummaryPending(int field) const;
    // Whether what typing reads of the field (its word index, with the words when byWords,
    // and its leading order) is still to be built or taken.
    bool TypedPending(int field, bool byWords) const;
    // Whether everything is built (never waits).
    bool Ready() const;
    // Waits until the part of the field is built, or is known not to come (the plan does
    // not make it, the build stopped or failed); the worker builds it next unless it has
    // begun it already. The part is then taken with TakeBuilt.
    void Await(SearchPart part, int field) const;
    // Waits until every part typing reads is built or is known not to come.
    void AwaitTyped() const;
    // What typing reads that is built and not yet taken (never waits). Raises, once, what
    // building those parts raised (std::bad_alloc).
    SearchStructures TakeBuilt();
    // The pair summaries, once; waits for them.
    SearchStructures TakeSummaries();
    // Asks the worker to end after the structure it is building, and waits for it.
    void Stop();

private:
    SearchBuildPlan m_plan;
    std::atomic<bool> m_stop{false};
    std::shared_ptr<SearchProgress> m_progress; // shared with the worker
    std::unique_ptr<LargeArrayReuse> m_reuse;   // the work's, until it starts
    std::future<SearchStructures> m_summaries;
};

} // namespace host
