#pragma once

#include "host/filter/bigram_summary.h"
#include "host/filter/word_index.h"
#include "host/storage/large_array.h"

#include <atomic>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <vector>

namespace host {

class Table;

// What a search over several fields reads, per field.
struct SearchStructures {
    std::map<int, std::unique_ptr<filter::WordIndex>> words;
    std::map<int, std::unique_ptr<const LargeVector<std::uint32_t>>> leadingOrders;
    std::map<int, std::unique_ptr<filter::BigramSummary>> summaries;
};

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
};

// Builds a plan on a worker thread, so that opening a search does not wait for it: first
// what typing reads (word indexes and leading orders), then the pair summaries that a
// contains search reads. Taking a part waits until it is built: a keystroke that comes
// before waits for what it needs, at most the time the building takes. The table must
// not change while a build runs: Stop first.
class SearchBuild {
public:
    SearchBuild(const Table& table, SearchBuildPlan plan);
    ~SearchBuild();
    SearchBuild(const SearchBuild&) = delete;
    SearchBuild& operator=(const SearchBuild&) = delete;

    // Whether the word indexes and leading orders are still to be taken.
    bool TypedPending() const { return m_typed.valid(); }
    // Whether the field's pair summary is still to be taken.
    bool SummaryPending(int field) const;
    // Whether what typing reads of the field (its word index, with the words when byWords,
    // and its leading order) is still to be taken.
    bool TypedPending(int field, bool byWords) const;
    // Whether everything is built (never waits).
    bool Ready() const;
    // The word indexes and leading orders, once (then empty); waits for them.
    SearchStructures TakeTyped();
    // The pair summaries, once; waits for them.
    SearchStructures TakeSummaries();
    // Asks the worker to end after the structure it is building, and waits for it.
    void Stop();

private:
    SearchBuildPlan m_plan;
    std::atomic<bool> m_stop{false};
    std::future<SearchStructures> m_typed;
    std::future<SearchStructures> m_summaries;
};

} // namespace host
