// Searches over several fields: what they read built ahead (PrepareSearch), built on
// demand (word lists, integer text orders), and the first view row of a whole-value
// match (FirstRowWhere).
#include "host/filter/prefix_ranges.h"
#include "host/filter/reach_terms.h"
#include "host/memory/client_dataset_p.h"
#include "host/storage/large_array.h"
#include "host/storage/leading_order.h"
#include "host/storage/text_sort.h"

#include <algorithm>
#include <touchsearch/client_dataset.h>

namespace host {

const filter::WordIndex& ClientDataset::Private::Words(int field) const
{
    AwaitBuilt(SearchPart::Words, field);
    std::unique_ptr<filter::WordIndex>& words = m_wordIndexes[field];
    if (!words) {
        words = std::make_unique<filter::WordIndex>(m_table.Col(field), m_ignoreAccents);
    }
    return *words;
}

const filter::WordIndex& ClientDataset::Private::FieldBytes(int field) const
{
    AwaitBuilt(SearchPart::Bytes, field);
    const auto words = m_wordIndexes.find(field);
    if (words != m_wordIndexes.end()) {
        return *words->second;
    }
    std::unique_ptr<filter::WordIndex>& bytes = m_fieldBytes[field];
    if (!bytes) {
        bytes = std::make_unique<filter::WordIndex>(m_table.Col(field), m_ignoreAccents, false);
    }
    return *bytes;
}

const LargeVector<std::uint32_t>& ClientDataset::Private::LeadingOrder(int field) const
{
    AwaitBuilt(SearchPart::Leading, field);
    auto it = m_leadingOrders.find(field);
    if (it == m_leadingOrders.end()) {
        it = m_leadingOrders
                 .emplace(field, std::make_unique<const LargeVector<std::uint32_t>>(
                                     LeadingBytesOrder(m_table.Col(field), m_ignoreAccents)))
                 .first;
    }
    return *it->second;
}

int ClientDataset::Private::LeadField() const
{
    const IndexOrder* order = CurrentOrder();
    return order != nullptr ? order->fields[0].field : -1;
}

void ClientDataset::Private::ForgetSearchStructures()
{
    StopSearchBuilds();
    m_wordIndexes.clear();
    m_fieldBytes.clear();
    m_leadingOrders.clear();
}

void ClientDataset::Private::StopSearchBuilds()
{
    for (const std::unique_ptr<SearchBuild>& build : m_searchBuilds) {
        build->Stop();
    }
    m_searchBuilds.clear();
}

void ClientDataset::Private::Keep(SearchStructures built) const
{
    // Nothing kept is replaced: a search may hold what it read while it reads more.
    for (auto& [field, words] : built.words) {
        m_wordIndexes.try_emplace(field, std::move(words));
    }
    for (auto& [field, bytes] : built.bytes) {
        m_fieldBytes.try_emplace(field, std::move(bytes));
    }
    for (auto& [field, order] : built.leadingOrders) {
        m_leadingOrders.try_emplace(field, std::move(order));
    }
    for (auto& [field, summary] : built.summaries) {
        m_summaries.try_emplace(field, std::move(summary));
    }
}

void ClientDataset::Private::AwaitBuilt(SearchPart part, int field) const
{
    for (const std::unique_ptr<SearchBuild>& build : m_searchBuilds) {
        build->Await(part, field);
    }
    TakeBuiltTyped();
}

void ClientDataset::Private::TakeBuiltTyped() const
{
    for (auto build = m_searchBuilds.begin(); build != m_searchBuilds.end();) {
        try {
            // Whether it was all built before taking, so that nothing comes in between.
            const bool ready = (*build)->Ready();
            Keep((*build)->TakeBuilt());
            if (!ready) {
                ++build;
                continue;
            }
            Keep((*build)->TakeSummaries());
        } catch (const std::exception&) {
            // Memory ran out on the worker: what is missing is built when read, and
            // raises there if it fails again.
            (*build)->Stop();
        }
        build = m_searchBuilds.erase(build);
    }
}

void ClientDataset::Private::TakeBuiltSummaries() const
{
    for (const std::unique_ptr<SearchBuild>& build : m_searchBuilds) {
        try {
            Keep(build->TakeSummaries()); // after everything else it builds
            Keep(build->TakeBuilt());
        } catch (const std::exception&) {
            build->Stop();
        }
    }
    m_searchBuilds.clear();
}

bool ClientDataset::Private::SummaryPending(int field) const
{
    return std::any_of(
        m_searchBuilds.begin(), m_searchBuilds.end(),
        [&](const std::unique_ptr<SearchBuild>& build) { return build->SummaryPending(field); });
}

void ClientDataset::Private::TakeBuiltSummary(int field) const
{
    if (SummaryPending(field)) {
        TakeBuiltSummaries();
    }
}

bool ClientDataset::SearchPrepared() const
{
    return std::all_of(d->m_searchBuilds.begin(), d->m_searchBuilds.end(),
                       [](const std::unique_ptr<SearchBuild>& build) { return build->Ready(); });
}

void ClientDataset::SetIndexNameAndPrepareSearch(const QString& name, const QStringList& fields,
                                                 bool byWords)
{
    // Kept until the build has begun its own reuse, which keeps them on.
    const LargeArrayReuse handOver(std::size_t{d->m_table.RecordCount()} * kTextSortBytesPerRecord);
    SetIndexName(name);
    PrepareSearch(fields, byWords);
}

void ClientDataset::PrepareSearch(const QStringList& fields, bool byWords)
{
    // What builds under way will bring is not planned again.
    const auto pending = [&](int field, bool summary) {
        return std::any_of(d->m_searchBuilds.begin(), d->m_searchBuilds.end(),
                           [&](const std::unique_ptr<SearchBuild>& build) {
                               return summary ? build->SummaryPending(field)
                                              : build->TypedPending(field, byWords);
                           });
    };
    SearchBuildPlan plan;
    plan.ignoreAccents = d->m_ignoreAccents;
    plan.byWords = byWords;
    const Private::IndexOrder* order = d->CurrentOrder();
    for (const QString& name : fields) {
        const int field = d->m_table.FindField(name.trimmed());
        if (field < 0 || d->m_table.Def(field).binary) {
            continue;
        }
        const FieldType type = d->m_table.Def(field).type;
        if (type != FieldType::Text && type != FieldType::Integer) {
            continue;
        }
        // The search column's text summary comes with its order (SetIndexName); an integer
        // one's is built here.
        const bool summarised = field == d->LeadField() && type == FieldType::Text;
        if (d->m_summaries.count(field) == 0 && !summarised && !pending(field, true)) {
            plan.summaries.push_back(field);
        }
        if (pending(field, false) || d->m_leadingOrders.count(field) != 0) {
            continue;
        }
        if (type == FieldType::Integer) {
            plan.leading.push_back(field);
            continue;
        }
        const auto words = d->m_wordIndexes.find(field);
        const auto bytes = d->m_fieldBytes.find(field);
        const filter::WordIndex* known = words != d->m_wordIndexes.end() ? words->second.get()
                                         : !byWords && bytes != d->m_fieldBytes.end()
                                             ? bytes->second.get()
                                             : nullptr;
        if (known == nullptr) {
            plan.words.push_back(field);
        } else {
            plan.spaceless[field] = known->Spaceless();
        }
        // A value's prefix is found in the folded order, unless the view's order leads
        // with the field or its words answer it.
        const bool leads =
            order != nullptr && order->fields[0].field == field && !order->fields[0].descending;
        if (!leads) {
            plan.leadingUnlessSpaced.push_back(field);
        }
    }
    if (!plan.words.empty() || !plan.leading.empty() || !plan.leadingUnlessSpaced.empty() ||
        !plan.summaries.empty()) {
        d->m_searchBuilds.push_back(std::make_unique<SearchBuild>(d->m_table, std::move(plan)));
    }
}

bool ClientDataset::Private::WholeValueMatches(const filter::Node& root, Rows& out) const
{
    std::vector<const filter::Node*> terms;
    if (root.Kind() == filter::NodeKind::Or) {
        for (const filter::NodePtr& term : static_cast<const filter::LogicNode&>(root).Terms()) {
            terms.push_back(term.get());
        }
    } else {
        terms.push_back(&root);
    }
    std::vector<filter::ReachTerm> read(terms.size());
    for (std::size_t i = 0; i < terms.size(); ++i) {
        if (!filter::AsReachTerm(*terms[i], read[i]) ||
            read[i].shape != filter::ReachTerm::Shape::Whole ||
            (!read[i].number && read[i].accents != m_ignoreAccents)) {
            return false;
        }
    }
    for (const filter::ReachTerm& term : read) {
        if (term.none) {
            continue;
        }
        const Column& column = m_table.Col(term.field);
        if (term.number) {
            const LargeVector<std::uint32_t>& order = LeadingOrder(term.field);
            const auto range = LeadingBytesRange(column, order, term.needle, false);
            out.insert(out.end(), order.begin() + range.first, order.begin() + range.second);
            continue;
        }
        // The word list, when it is built and the leading order is not: the records that
        // hold the value's first word.
        AwaitBuilt(SearchPart::Words, term.field);
        AwaitBuilt(SearchPart::Leading, term.field);
        const auto words = m_wordIndexes.find(term.field);
        if (m_leadingOrders.count(term.field) == 0 && words != m_wordIndexes.end() &&
            words->second->HasWords() && !words->second->Spaceless()) {
            const std::string_view first =
                std::string_view(term.needle).substr(0, term.needle.find(' '));
            const auto range = words->second->WordRange(first);
            if (range.first < range.second && words->second->Word(range.first) == first) {
                std::size_t count = 0;
                const std::uint32_t* list = words->second->List(range.first, count);
                out.insert(out.end(), list, list + count);
            }
            continue;
        }
        // The search column leading the view's order: ranges of that order.
        const IndexOrder* current = CurrentOrder();
        filter::PrefixSearch search;
        if (current != nullptr && filter::AsPrefixSearch(*term.term, search) &&
            filter::OnLeadOrder(&current->fields[0], search)) {
            const filter::LeadRanges lead =
                filter::RangesOnLeadOrder(column, *current->order, current->fields[0], search);
            for (const RecordView::Range& range : lead.ranges) {
                out.insert(out.end(), current->order->begin() + range.begin,
                           current->order->begin() + range.end);
            }
            continue;
        }
        const LargeVector<std::uint32_t>& order = LeadingOrder(term.field);
        const auto range = LeadingBytesRange(column, order, term.needle, term.accents);
        out.insert(out.end(), order.begin() + range.first, order.begin() + range.second);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

int ClientDataset::FirstRowWhere(const QString& expression) const
{
    if (!d->m_active) {
        return -1;
    }
    d->EnsureView();
    if (expression.trimmed().isEmpty()) {
        return d->m_view.Empty() ? -1 : 0;
    }
    const std::shared_ptr<const filter::Node> root = d->Compile(expression); // may raise
    if (d->m_view.Empty()) {
        return -1;
    }
    filter::EvalScratch scratch;
    Private::Rows found;
    if (d->m_fastPaths && d->WholeValueMatches(*root, found)) {
        // The matches in the view, the first of them in view order.
        const bool filtered = d->m_filtered && d->m_filterRoot;
        Private::Rows shown;
        for (const std::uint32_t rec : found) {
            if (root->Test(rec, scratch) == filter::Tri::True &&
                (!filtered || d->m_filterRoot->Test(rec, scratch) == filter::Tri::True)) {
                shown.push_back(rec);
            }
        }
        if (shown.empty()) {
            return -1;
        }
        if (const Private::IndexOrder* order = d->CurrentOrder()) {
            SortIntoOrder(d->m_table, order->fields, shown);
        }
        return static_cast<int>(d->m_view.Find(shown.front()));
    }
    for (std::size_t row = 0; row < d->m_view.Size(); ++row) {
        if (root->Test(d->m_view.At(row), scratch) == filter::Tri::True) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

} // namespace host
