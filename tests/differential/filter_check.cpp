#include "tests/differential/filter_check.h"

#include <stdexcept>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>

namespace differential {

namespace {

QString Ids(const std::vector<qint64>& ids)
{
    QStringList parts;
    for (const qint64 id : ids) {
        parts << QString::number(id);
    }
    return u'[' + parts.join(u' ') + u']';
}

} // namespace

FilterCheck::FilterCheck(TableShape table, bool ignoreAccents)
    : m_table(std::move(table)), m_ignoreAccents(ignoreAccents), m_fast(MakeClientDataset(m_table)),
      m_plain(MakeClientDataset(m_table)), m_sqlite(m_table)
{
    m_plain->SetFastPaths(false);
    if (ignoreAccents) {
        m_fast->SetFilterOptions(host::FilterOption::IgnoreAccents);
        m_plain->SetFilterOptions(host::FilterOption::IgnoreAccents);
        m_steps << QStringLiteral("accents set aside");
    }
}

FilterCheck::~FilterCheck() = default;

QString FilterCheck::SetIndex(const IndexShape& index)
{
    m_index = index;
    ApplyIndex(*m_fast, m_table, index);
    ApplyIndex(*m_plain, m_table, index);
    return Compare(QStringLiteral("order by ") + index.Describe(m_table));
}

QString FilterCheck::Apply(const FilterPair& filter)
{
    m_filter = filter;
    const QString step = QStringLiteral("filter %1\n      SQL %2").arg(filter.filter, filter.sql);
    try {
        for (host::ClientDataset* ds : {m_fast.get(), m_plain.get()}) {
            ds->SetFilter(filter.filter);
            ds->SetFiltered(!filter.filter.isEmpty());
        }
    } catch (const host::DatasetError& error) {
        m_steps << step;
        return QStringLiteral("%1\nsteps:\n  %2\nthe dataset refused the filter: %3\n")
            .arg(m_table.Describe(), m_steps.join(QStringLiteral("\n  ")), error.Message());
    }
    return Compare(step);
}

QString FilterCheck::Append(const QVariantList& row)
{
    m_table.rows.push_back(row);
    m_fast->AppendRecord(row);
    m_plain->AppendRecord(row);
    m_sqlite.Insert(m_table, row);
    return Compare(QStringLiteral("append record %1").arg(m_table.rows.size() - 1));
}

QString FilterCheck::Refilter()
{
    for (host::ClientDataset* ds : {m_fast.get(), m_plain.get()}) {
        ds->SetFiltered(false);
        ds->SetFiltered(!m_filter.filter.isEmpty());
    }
    return Compare(QStringLiteral("filter off and on"));
}

QString FilterCheck::Compare(const QString& step)
{
    m_steps << step;
    const std::vector<qint64> fast = ViewIds(*m_fast, m_table);
    const std::vector<qint64> plain = ViewIds(*m_plain, m_table);
    std::vector<qint64> expected;
    try {
        expected =
            m_sqlite.SelectIds(m_filter.sql, m_index.SqliteOrderBy(m_table, m_ignoreAccents));
    } catch (const std::runtime_error& error) {
        return QStringLiteral("%1\nsteps:\n  %2\n%3\n")
            .arg(m_table.Describe(), m_steps.join(QStringLiteral("\n  ")),
                 QString::fromStdString(error.what()));
    }
    if (fast == expected && plain == expected) {
        return {};
    }
    return QStringLiteral("%1\nsteps:\n  %2\nfast paths %3\nplain      %4\nSQLite     %5\n")
        .arg(m_table.Describe(), m_steps.join(QStringLiteral("\n  ")), Ids(fast), Ids(plain),
             Ids(expected));
}

namespace {

// Characters a user types into the search box.
const char* const kTyped[] = {"J", "O", "A", "S", "a", "o", "Ç", "ç", "ã", "É", " ",
                              "_", "%", "'", "1", "2", "9", "-", ".", "T", "Z", "["};

int SearchField(const TableShape& table, Entropy& e)
{
    std::vector<int> text;
    for (int f = 0; f < table.FieldCount(); ++f) {
        if (table.fields[static_cast<size_t>(f)].type == host::FieldType::Text) {
            text.push_back(f);
        }
    }
    if (!text.empty() && e.Chance(85)) {
        return text[e.Below(static_cast<std::uint32_t>(text.size()))];
    }
    // A number, date or boolean column is searched through its text form.
    return static_cast<int>(e.Below(static_cast<std::uint32_t>(table.FieldCount())));
}

} // namespace

QString CheckRandomCase(Entropy& e)
{
    // Expressions are drawn on the whole table; the check may start with its first
    // records and append the others between steps.
    const TableShape table = RandomTable(e);
    TableShape start = table;
    std::vector<QVariantList> later;
    if (!table.rows.empty() && e.Chance(25)) {
        const auto keep =
            static_cast<std::ptrdiff_t>(e.Below(static_cast<std::uint32_t>(table.rows.size())));
        later.assign(table.rows.begin() + keep, table.rows.end());
        start.rows.resize(static_cast<size_t>(keep));
    }
    const bool accents = e.Chance(40);
    FilterCheck check(start, accents);
    QString report = check.SetIndex(RandomIndex(table, e));
    if (!report.isEmpty()) {
        return report;
    }
    const int singles = static_cast<int>(e.Below(4));
    for (int i = 0; i < singles; ++i) {
        report = check.Apply(RandomCondition(table, e, 3, accents));
        if (!report.isEmpty()) {
            return report;
        }
    }

    // A search typed into one field, inside a random filter.
    const FilterTemplate shape = RandomTemplate(table, e, accents);
    const int field = SearchField(table, e);
    const bool upper = e.Chance(80);
    const bool contains = e.Chance(35);
    if (accents && e.Chance(50)) {
        // Ordered by the search field: the prefix search then reads ranges of an order
        // of the folded text.
        IndexShape index;
        index.fields = {field};
        index.caseInsensitive = e.Chance(40);
        report = check.SetIndex(index);
        if (!report.isEmpty()) {
            return report;
        }
    }
    QString typed;
    const int length = 1 + static_cast<int>(e.Below(6));
    for (int i = 0; i < length; ++i) {
        typed += QString::fromUtf8(e.Pick(kTyped));
    }
    const auto step = [&](int count) {
        if (count == 0 && shape.pair.filter == QString(FilterTemplate::kHole)) {
            return check.Apply({});
        }
        QString pattern = typed.left(count);
        pattern = (contains ? QStringLiteral("%") : QString()) + pattern + u'%';
        return check.Apply(shape.Fill(SearchTerm(table, field, pattern, upper, accents)));
    };
    const auto disturb = [&]() -> QString {
        if (e.Chance(6)) {
            return check.SetIndex(RandomIndex(table, e));
        }
        if (e.Chance(6)) {
            return check.Refilter();
        }
        if (!later.empty() && e.Chance(25)) {
            const QVariantList row = later.front();
            later.erase(later.begin());
            return check.Append(row);
        }
        return {};
    };
    for (int count = 1; count <= typed.size(); ++count) {
        report = step(count);
        if (report.isEmpty()) {
            report = disturb();
        }
        if (!report.isEmpty()) {
            return report;
        }
    }
    for (int count = static_cast<int>(typed.size()) - 1; count >= 0; --count) {
        report = step(count);
        if (report.isEmpty()) {
            report = disturb();
        }
        if (!report.isEmpty()) {
            return report;
        }
    }
    return {};
}

} // namespace differential
