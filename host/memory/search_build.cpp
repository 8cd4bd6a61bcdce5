#include "host/memory/search_build.h"

#include "host/storage/leading_order.h"
#include "host/storage/table.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>

namespace host {

namespace {

using Stop = std::atomic<bool>;

std::unique_ptr<const LargeVector<std::uint32_t>> Leading(const Table& table, int field,
                                                          bool ignoreAccents)
{
    return std::make_unique<const LargeVector<std::uint32_t>>(
        LeadingBytesOrder(table.Col(field), ignoreAccents));
}

// Runs build(fields[i]) for each field, on two threads when there are several: each
// structure reads the records only, and a second core would otherwise stay idle.
template <class Build>
void OnTwoThreads(const std::vector<int>& fields, const Stop& stop, Build build)
{
    const auto run = [&](std::size_t from, std::size_t step) {
        for (std::size_t i = from; i < fields.size() && !stop; i += step) {
            build(fields[i]);
        }
    };
    std::future<void> other;
    if (fields.size() > 1) {
        try {
            other = std::async(std::launch::async, run, 1, 2);
        } catch (const std::system_error&) {
            // No thread to be had: all of them here.
        }
    }
    run(0, other.valid() ? 2 : 1);
    if (other.valid()) {
        other.get();
    }
}

bool Holds(const std::vector<int>& fields, int field)
{
    return std::find(fields.begin(), fields.end(), field) != fields.end();
}

SearchStructures BuildTyped(const Table& table, const SearchBuildPlan& plan, const Stop& stop)
{
    SearchStructures built;
    std::mutex guard; // the threads add to the same maps
    // Which fields need a leading order is known before their word indexes are: a text
    // field searched by words needs none where its values hold spaces (its word index
    // answers), which its text tells at memory speed.
    std::vector<int> leading = plan.leading;
    for (const int field : plan.leadingUnlessSpaced) {
        const auto known = plan.spaceless.find(field);
        const bool spaceless = Holds(plan.words, field)
                                   ? filter::WordIndex::ColumnSpaceless(table.Col(field))
                               : known != plan.spaceless.end() ? known->second
                                                               : true;
        if (!plan.byWords || spaceless) {
            leading.push_back(field);
        }
    }
    // The orders are built on a thread of their own while the word indexes are built
    // here (whose single-threaded parts leave a core idle), then on both.
    std::atomic<std::size_t> next = 0;
    std::atomic<bool> abandoned = false;
    const auto orders = [&] {
        for (std::size_t i = next++; i < leading.size() && !stop && !abandoned; i = next++) {
            auto order = Leading(table, leading[i], plan.ignoreAccents);
            const std::lock_guard lock(guard);
            built.leadingOrders[leading[i]] = std::move(order);
        }
    };
    std::future<void> other;
    try {
        other = std::async(std::launch::async, orders);
    } catch (const std::system_error&) {
        // No thread to be had: the orders after the word indexes, here.
    }
    try {
        for (const int field : plan.words) {
            if (stop) {
                break;
            }
            auto words = std::make_unique<filter::WordIndex>(table.Col(field), plan.ignoreAccents,
                                                             plan.byWords);
            const std::lock_guard lock(guard);
            built.words[field] = std::move(words);
        }
        orders();
    } catch (...) {
        abandoned = true; // the other thread stops after the order it is building
        if (other.valid()) {
            other.wait();
        }
        throw;
    }
    if (other.valid()) {
        other.get(); // may raise what the orders raised (std::bad_alloc)
    }
    return built;
}

// A text field whose values hold spaces, searched by words, needs no summary: a needle
// without a space lies within one word, which its word index answers.
bool WordsAnswerContains(const SearchBuildPlan& plan, const SearchStructures& typed, int field)
{
    if (!plan.byWords) {
        return false;
    }
    const auto own = typed.words.find(field);
    if (own != typed.words.end()) {
        return own->second->HasWords() && !own->second->Spaceless();
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

SearchBuild::SearchBuild(const Table& table, SearchBuildPlan plan) : m_plan(std::move(plan))
{
    auto typed = std::make_shared<std::promise<SearchStructures>>();
    m_typed = typed->get_future();
    const auto work = [this, &table, typed] {
        std::vector<int> summaries;
        try {
            SearchStructures built = BuildTyped(table, m_plan, m_stop);
            for (const int field : m_plan.summaries) {
                if (!WordsAnswerContains(m_plan, built, field)) {
                    summaries.push_back(field);
                }
            }
            typed->set_value(std::move(built));
        } catch (...) {
            typed->set_exception(std::current_exception());
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
    return m_typed.valid() && (m_plan.byWords || !byWords) &&
           (Holds(m_plan.words, field) || Holds(m_plan.leading, field) ||
            Holds(m_plan.leadingUnlessSpaced, field));
}

bool SearchBuild::Ready() const
{
    return IsReady(m_typed) && IsReady(m_summaries);
}

SearchStructures SearchBuild::TakeTyped()
{
    return TakeOrEmpty(m_typed);
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
