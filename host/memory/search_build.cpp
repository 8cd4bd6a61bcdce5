#include "host/memory/search_build.h"

#include "host/storage/leading_order.h"
#include "host/storage/table.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

namespace host {

namespace {

using Stop = std::atomic<bool>;

// What a build keeps of the large arrays freed, for its next structures: the sort of the
// order set just before (two arrays of 16 bytes a record, which the caller kept for it),
// then its own orders' sorting buffers as they come free.
constexpr std::size_t kReusedBytesPerRecord = 32;

std::unique_ptr<const LargeVector<std::uint32_t>> Leading(const Table& table, int field,
                                                          bool ignoreAccents)
{
    return std::make_unique<const LargeVector<std::uint32_t>>(
        LeadingBytesOrder(table.Col(field), ignoreAccents));
}

// Runs build(i) for each item i that pick(over) hands out, on two threads when there are
// several items, each asking for the next when done with one (pick is called by both; it
// returns std::nullopt when this thread is done, and may wait while over() is false):
// each structure reads the records only, and a second core would otherwise stay idle.
// What build raises ends both, then reaches the caller.
template <class Pick, class Build>
void OnTwoThreads(std::size_t items, const Stop& stop, Pick pick, Build build)
{
    std::atomic<bool> abandoned = false;
    const auto over = [&] { return stop || abandoned; };
    const auto run = [&] {
        while (!over()) {
            const std::optional<std::size_t> item = pick(over);
            if (!item) {
                return;
            }
            build(*item);
        }
    };
    std::future<void> other;
    if (items > 1) {
        try {
            other = std::async(std::launch::async, run);
        } catch (const std::system_error&) {
            // No thread to be had: all of them here.
        }
    }
    try {
        run();
    } catch (...) {
        abandoned = true; // the other thread stops after the structure it is building
        if (other.valid()) {
            other.wait();
        }
        throw;
    }
    if (other.valid()) {
        other.get(); // may raise what the other raised (std::bad_alloc)
    }
}

// The same over a list, in its order.
template <class Item, class Build>
void OnTwoThreads(const std::vector<Item>& items, const Stop& stop, Build build)
{
    std::atomic<std::size_t> next = 0;
    OnTwoThreads(
        items.size(), stop,
        [&](const auto&) -> std::optional<std::size_t> {
            const std::size_t i = next++;
            return i < items.size() ? std::optional(i) : std::nullopt;
        },
        [&](std::size_t i) { build(items[i]); });
}

bool Holds(const std::vector<int>& fields, int field)
{
    return std::find(fields.begin(), fields.end(), field) != fields.end();
}

void Starting(const SearchBuildPlan& plan, SearchPart part, int field)
{
    if (plan.starting) {
        plan.starting(part, field);
    }
}

} // namespace

struct SearchProgress {
    std::mutex mutex;
    std::condition_variable changed;
    SearchStructures built;                           // built, not yet taken
    std::set<std::pair<SearchPart, int>> coming;      // planned, not yet built
    std::multiset<std::pair<SearchPart, int>> wanted; // what searches wait for now
    std::exception_ptr error;                         // what building raised, until taken

    // Hands built parts over: put moves the structure into `built`, and `parts` are no
    // longer coming.
    template <class Put> void Hand(std::initializer_list<std::pair<SearchPart, int>> parts, Put put)
    {
        {
            const std::lock_guard lock(mutex);
            put(built);
            for (const auto& part : parts) {
                coming.erase(part);
            }
        }
        changed.notify_all();
    }
    // Nothing more comes: the build is over, stopped, or raised `raised`.
    void End(std::exception_ptr raised)
    {
        {
            const std::lock_guard lock(mutex);
            coming.clear();
            error = std::move(raised);
        }
        changed.notify_all();
    }
};

namespace {

// Builds what typing reads, handing each part over as it is built. Returns, per text field
// whose word index it builds, whether that index has words of values that hold spaces.
std::map<int, bool> BuildTyped(const Table& table, const SearchBuildPlan& plan, const Stop& stop,
                               SearchProgress& progress)
{
    // A text field searched by words has words to index where its values hold spaces (a
    // memory-speed look); a field without, or a build not by words, needs its bytes alone.
    std::map<int, bool> spaced;
    for (const int field : plan.words) {
        spaced[field] = plan.byWords && !filter::WordIndex::ColumnSpaceless(table.Col(field));
    }
    // Which fields need a leading order: none where the word index answers a prefix.
    std::vector<int> leading = plan.leading;
    for (const int field : plan.leadingUnlessSpaced) {
        const auto known = plan.spaceless.find(field);
        const bool spaceless = Holds(plan.words, field)        ? !spaced[field]
                               : known != plan.spaceless.end() ? known->second
                                                               : true;
        if (!plan.byWords || spaceless) {
            leading.push_back(field);
        } else {
            progress.Hand({{SearchPart::Leading, field}}, [](SearchStructures&) {});
        }
    }
    // First, on two threads, what a scanned code reads, as it comes at once (a name is
    // typed by hand): the text fields' bytes, which tell a key which fields cannot hold it
    // (a digit in no name), and the orders. Then the words, which read each half of the
    // records on a thread of their own. A part a search waits for goes before the others.
    std::vector<std::pair<SearchPart, int>> parts;
    for (const int field : plan.words) {
        parts.emplace_back(SearchPart::Bytes, field);
    }
    for (const int field : leading) {
        parts.emplace_back(SearchPart::Leading, field);
    }
    const std::size_t firstCount = parts.size();
    for (const auto& [field, hasWords] : spaced) {
        if (hasWords) {
            parts.emplace_back(SearchPart::Words, field);
        }
    }
    // Where each part is, under progress.mutex.
    enum class State { Waiting, Building, Built };
    std::vector<State> states(parts.size(), State::Waiting);
    const auto pick = [&](const auto& over) -> std::optional<std::size_t> {
        std::unique_lock lock(progress.mutex);
        // A part is wanted when a search waits for it, or for the words a field's bytes
        // come with (a field without spaces has them built together).
        const auto wanted = [&](const std::pair<SearchPart, int>& part) {
            return progress.wanted.count(part) != 0 ||
                   (part.first == SearchPart::Bytes && !spaced.at(part.second) &&
                    progress.wanted.count({SearchPart::Words, part.second}) != 0);
        };
        const auto firstBuilt = [&] {
            return std::all_of(states.begin(), states.begin() + firstCount,
                               [](State state) { return state == State::Built; });
        };
        const auto wordsBuilding = [&] {
            return std::find(states.begin() + firstCount, states.end(), State::Building) !=
                   states.end();
        };
        const auto take = [&](std::size_t i) {
            states[i] = State::Building;
            return std::optional(i);
        };
        for (;;) {
            for (std::size_t i = 0; i < parts.size(); ++i) {
                if (states[i] == State::Waiting && wanted(parts[i])) {
                    return take(i);
                }
            }
            const auto i = static_cast<std::size_t>(
                std::find(states.begin(), states.end(), State::Waiting) - states.begin());
            if (i == parts.size() || over()) {
                return std::nullopt;
            }
            // Unless a search waits for it, a word index starts once the first parts are
            // all built, one at a time: it takes the other core itself. Till then this
            // thread waits, ready for what a search asks (bounded: it also ends when the
            // build is stopped or the other thread failed).
            if (i < firstCount || (firstBuilt() && !wordsBuilding())) {
                return take(i);
            }
            progress.changed.wait_for(lock, std::chrono::milliseconds(20));
        }
    };
    const auto build = [&](const std::pair<SearchPart, int>& part) {
        const int field = part.second;
        if (part.first == SearchPart::Words) {
            Starting(plan, SearchPart::Words, field);
            auto index =
                std::make_unique<filter::WordIndex>(table.Col(field), plan.ignoreAccents, true);
            progress.Hand({part},
                          [&](SearchStructures& built) { built.words[field] = std::move(index); });
            return;
        }
        const Column& column = table.Col(field);
        if (part.first == SearchPart::Leading) {
            Starting(plan, SearchPart::Leading, field);
            auto order = Leading(table, field, plan.ignoreAccents);
            progress.Hand({part}, [&](SearchStructures& built) {
                built.leadingOrders[field] = std::move(order);
            });
            return;
        }
        const bool bytesAlone = spaced.at(field);
        Starting(plan, bytesAlone ? SearchPart::Bytes : SearchPart::Words, field);
        auto index = std::make_unique<filter::WordIndex>(column, plan.ignoreAccents,
                                                         plan.byWords && !bytesAlone);
        if (bytesAlone) {
            progress.Hand({part},
                          [&](SearchStructures& built) { built.bytes[field] = std::move(index); });
            return;
        }
        progress.Hand({part, {SearchPart::Words, field}}, [&](SearchStructures& built) {
            auto& into = index->HasWords() ? built.words : built.bytes;
            into[field] = std::move(index);
        });
    };
    OnTwoThreads(parts.size(), stop, pick, [&](std::size_t i) {
        build(parts[i]);
        {
            const std::lock_guard lock(progress.mutex);
            states[i] = State::Built;
        }
        progress.changed.notify_all(); // a thread may wait to start a word index
    });
    return spaced;
}

// A text field whose values hold spaces, searched by words, needs no summary: a needle
// without a space lies within one word, which its word index answers.
bool WordsAnswerContains(const SearchBuildPlan& plan, const std::map<int, bool>& spaced, int field)
{
    if (!plan.byWords) {
        return false;
    }
    const auto own = spaced.find(field);
    if (own != spaced.end()) {
        return own->second;
    }
    const auto known = plan.spaceless.find(field);
    return known != plan.spaceless.end() && !known->second;
}

SearchStructures BuildSummaries(const Table& table, const SearchBuildPlan& plan,
                                const std::vector<int>& fields, const Stop& stop)
{
    SearchStructures built;
    std::mutex guard;
    OnTwoThreads(fields, stop, [&](int field) {
        Starting(plan, SearchPart::Summary, field);
        auto summary =
            std::make_unique<filter::BigramSummary>(table.Col(field), plan.ignoreAccents);
        const std::lock_guard lock(guard);
        built.summaries[field] = std::move(summary);
    });
    return built;
}

template <class T> bool IsReady(const std::future<T>& future)
{
    return !future.valid() || future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

template <class T> T TakeOrEmpty(std::future<T>& future)
{
    if (!future.valid()) {
        return {};
    }
    return future.get(); // may raise what the build raised (std::bad_alloc)
}

} // namespace

SearchBuild::SearchBuild(const Table& table, SearchBuildPlan plan)
    : m_plan(std::move(plan)), m_progress(std::make_shared<SearchProgress>())
{
    for (const int field : m_plan.words) {
        m_progress->coming.insert({SearchPart::Bytes, field});
        m_progress->coming.insert({SearchPart::Words, field});
    }
    for (const auto* fields : {&m_plan.leading, &m_plan.leadingUnlessSpaced}) {
        for (const int field : *fields) {
            m_progress->coming.insert({SearchPart::Leading, field});
        }
    }
    // Begun here, before the caller's own reuse can end: what that one kept stays kept.
    // An order frees a sorting buffer of 8 bytes a record, which the next order (or a word
    // index's list of words per record) takes: reused, not fresh.
    m_reuse =
        std::make_unique<LargeArrayReuse>(std::size_t{table.RecordCount()} * kReusedBytesPerRecord);
    const auto work = [this, &table, progress = m_progress] {
        const std::unique_ptr<LargeArrayReuse> reuse = std::move(m_reuse); // ends with the work
        std::vector<int> summaries;
        try {
            const std::map<int, bool> spaced = BuildTyped(table, m_plan, m_stop, *progress);
            progress->End(nullptr);
            for (const int field : m_plan.summaries) {
                if (!WordsAnswerContains(m_plan, spaced, field)) {
                    summaries.push_back(field);
                }
            }
        } catch (...) {
            progress->End(std::current_exception());
        }
        return BuildSummaries(table, m_plan, summaries, m_stop);
    };
    try {
        m_summaries = std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        // No thread to be had: built here, as the caller waits.
        std::promise<SearchStructures> summaries;
        m_summaries = summaries.get_future();
        try {
            summaries.set_value(work());
        } catch (...) {
            summaries.set_exception(std::current_exception());
        }
    }
}

SearchBuild::~SearchBuild()
{
    Stop();
}

bool SearchBuild::SummaryPending(int field) const
{
    return m_summaries.valid() && Holds(m_plan.summaries, field);
}

bool SearchBuild::TypedPending(int field, bool byWords) const
{
    if (byWords && !m_plan.byWords) {
        return false; // its word indexes have no words
    }
    const std::lock_guard lock(m_progress->mutex);
    const auto holds = [&](const auto& parts) { return parts.count(field) != 0; };
    const SearchStructures& built = m_progress->built;
    return holds(built.words) || holds(built.bytes) || holds(built.leadingOrders) ||
           std::any_of(m_progress->coming.begin(), m_progress->coming.end(),
                       [&](const auto& part) { return part.second == field; });
}

bool SearchBuild::Ready() const
{
    {
        const std::lock_guard lock(m_progress->mutex);
        if (!m_progress->coming.empty()) {
            return false;
        }
    }
    return IsReady(m_summaries);
}

void SearchBuild::Await(SearchPart part, int field) const
{
    std::unique_lock lock(m_progress->mutex);
    // Said to the worker, which builds it next unless it has begun it already.
    const auto wanted = m_progress->wanted.insert({part, field});
    m_progress->changed.notify_all();
    m_progress->changed.wait(lock, [&] { return m_progress->coming.count({part, field}) == 0; });
    m_progress->wanted.erase(wanted);
}

void SearchBuild::AwaitTyped() const
{
    std::unique_lock lock(m_progress->mutex);
    m_progress->changed.wait(lock, [&] { return m_progress->coming.empty(); });
}

SearchStructures SearchBuild::TakeBuilt()
{
    const std::lock_guard lock(m_progress->mutex);
    if (m_progress->error) {
        std::rethrow_exception(std::exchange(m_progress->error, nullptr));
    }
    return std::exchange(m_progress->built, {});
}

SearchStructures SearchBuild::TakeSummaries()
{
    return TakeOrEmpty(m_summaries);
}

void SearchBuild::Stop()
{
    m_stop = true;
    if (m_summaries.valid()) {
        m_summaries.wait();
    }
}

} // namespace host
