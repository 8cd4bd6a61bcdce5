#include "tests/differential/random_index.h"

#include <touchsearch/client_dataset.h>

namespace differential {

namespace {

QString Quoted(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

} // namespace

QString IndexShape::FieldList(const TableShape& table) const
{
    QStringList names;
    for (const int f : fields) {
        names << table.fields[static_cast<size_t>(f)].name;
    }
    return names.join(u';');
}

QString IndexShape::SqliteOrderBy(const TableShape& table, bool ignoreAccents) const
{
    QStringList keys;
    for (const int f : fields) {
        const FieldShape& field = table.fields[static_cast<size_t>(f)];
        const QString column = Quoted(field.name);
        // NULLs first whatever the direction.
        keys << column + QStringLiteral(" IS NULL DESC");
        const bool text = field.type == host::FieldType::Text;
        const QString read =
            ignoreAccents && text ? QStringLiteral("unaccent(%1)").arg(column) : column;
        // upper(), not COLLATE NOCASE: NOCASE folds to lower case, which puts "_" and
        // "[" on the other side of the letters.
        const QString value =
            caseInsensitive && text ? QStringLiteral("upper(%1)").arg(read) : read;
        keys << value + (descending ? QStringLiteral(" DESC") : QString());
    }
    keys << Quoted(table.fields[static_cast<size_t>(table.idField)].name);
    return keys.join(QStringLiteral(", "));
}

QString IndexShape::Describe(const TableShape& table) const
{
    if (fields.empty()) {
        return QStringLiteral("record order");
    }
    return QStringLiteral("index on %1%2%3")
        .arg(FieldList(table), descending ? QStringLiteral(" descending") : QString(),
             caseInsensitive ? QStringLiteral(" case-insensitive") : QString());
}

IndexShape RandomIndex(const TableShape& table, Entropy& e)
{
    IndexShape index;
    if (e.Chance(25)) {
        return index;
    }
    const int count = 1 + (e.Chance(25) ? 1 : 0);
    for (int i = 0; i < count; ++i) {
        const int f = static_cast<int>(e.Below(static_cast<std::uint32_t>(table.FieldCount())));
        if (std::find(index.fields.begin(), index.fields.end(), f) == index.fields.end()) {
            index.fields.push_back(f);
        }
    }
    index.descending = e.Chance(25);
    index.caseInsensitive = e.Chance(40);
    return index;
}

void ApplyIndex(host::ClientDataset& dataset, const TableShape& table, const IndexShape& index)
{
    if (index.fields.empty()) {
        dataset.SetIndexName(QString());
        return;
    }
    host::IndexDefs& defs = dataset.GetIndexDefs();
    const QString name = QStringLiteral("IDX%1").arg(defs.GetCount());
    host::IndexOptions options;
    if (index.descending) {
        options |= host::IndexOption::Descending;
    }
    if (index.caseInsensitive) {
        options |= host::IndexOption::CaseInsensitive;
    }
    defs.Add(name, index.FieldList(table), options);
    dataset.SetIndexName(name);
}

} // namespace differential
