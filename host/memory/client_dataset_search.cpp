// Searches over several fields: what they read built ahead (PrepareSearch), built on
// demand (word lists, integer text orders), and the first view row of a whole-value
// match (FirstRowWhere).
#include "host/filter/prefix_ranges.h"
#include "host/filter/reach_terms.h"
#include "host/memory/client_dataset_p.h"
#include "host/storage/leading_order.h"

#include <algorithm>
#include <future>
#include <system_error>
#include <touchsearch/client_dataset.h>

namespace host {

const filter::WordIndex& ClientDataset::Private::Words(int field) const
{
    std::unique_ptr<filter::WordIndex>& words = m_wordIndexes[field];
    if (!words || !words->HasWords()) {
        words = std::make_unique<filter::WordIndex>(m_table.Col(field), m_ignoreAccents);
    }
    return *words;
}

const filter::WordIndex& ClientDataset::Private::FieldBytes(int field) const
{
    std::unique_ptr<filter::WordIndex>& words = m_wordIndexes[field];
    if (!words) {
        words = std::make_unique<filter::WordIndex>(m_table.Col(field), m_ignoreAccents, false);
    }
    return *words;
}

const LargeVector<std::uint32_t>& ClientDataset::Private::LeadingOrder(int field) const
{
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
    m_wordIndexes.clear();
    m_leadingOrders.clear();
}

void ClientDataset::PrepareSearch(const QStringList& fields, bool byWords)
{
    std::vector<int> texts;
    std::vector<int> numbers;
    for (const QString& name : fields) {
        const int field = d->m_table.FindField(name.trimmed());
        if (field < 0 || d->m_table.Def(field).binary) {
            continue;
        }
        if (d->m_table.Def(field).type == FieldType::Text) {
            texts.push_back(field);
        } else if (d->m_table.Def(field).type == FieldType::Integer) {
            numbers.push_back(field);
        }
    }
    // The word lists (one pass each) on a second thread while this one sorts.
    std::vector<int> wanted;
    for (const int field : texts) {
        const auto known = d->m_wordIndexes.find(field);
        if (known == d->m_wordIndexes.end() || (byWords && !known->second->HasWords())) {
            wanted.push_back(field);
        }
    }
    const bool ignoreAccents = d->m_ignoreAccents;
    const Table& table = d->m_table;
    std::future<std::vector<std::unique_ptr<filter::WordIndex>>> words;
    const auto buildWords = [&table, wanted, ignoreAccents, byWords] {
        std::vector<std::unique_ptr<filter::WordIndex>> built;
        for (const int field : wanted) {
            built.push_back(
                std::make_unique<filter::WordIndex>(table.Col(field), ignoreAccents, byWords));
        }
        return built;
    };
    try {
        words = std::async(std::launch::async, buildWords);
    } catch (const std::system_error&) {
        // No thread to be had: built here, after the orders.
    }
    for (const int field : numbers) {
        (void)d->LeadingOrder(field);
    }
    std::vector<std::unique_ptr<filter::WordIndex>> built =
        words.valid() ? words.get() : buildWords();
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        d->m_wordIndexes[wanted[i]] = std::move(built[i]);
    }
    // A value's prefix is found in the folded order: wanted for every text field but
    // those whose words the word list answers.
    const Private::IndexOrder* order = d->CurrentOrder();
    for (const int field : texts) {
        const bool leads =
            order != nullptr && order->fields[0].field == field && !order->fields[0].descending;
        if (!leads && (!byWords || d->FieldBytes(field).Spaceless())) {
            (void)d->LeadingOrder(field);
        }
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
