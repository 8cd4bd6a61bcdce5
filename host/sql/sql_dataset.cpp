#include "host/api/cursor.h"
#include "host/api/cursor_view.h"
#include "host/filter/expression_parser.h"
#include "host/sql/database_url.h"
#include "host/sql/keyset_query.h"
#include "host/sql/sql_session.h"
#include "host/sql/sql_translation.h"
#include "host/sql/table_schema.h"
#include "host/text/text_form.h"

#include <QDate>
#include <algorithm>
#include <map>
#include <optional>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>

namespace host {

using sql::KeysetQuery;
using sql::OrderColumn;
using sql::RowValues;
using sql::SqlDialect;
using sql::SqlText;
using sql::ValueKind;

namespace {

// A fetched value as the field's type gives it to the host (NULL: invalid); a binary
// field's was read as its length in bytes.
QVariant Normalised(const FieldDef& def, const QVariant& raw)
{
    if (!raw.isValid() || raw.isNull()) {
        return {};
    }
    if (def.binary) {
        return QString::fromStdString(BinaryText(raw.toLongLong()));
    }
    switch (def.type) {
    case FieldType::Text:
        return raw.toString();
    case FieldType::Integer:
        return raw.toLongLong();
    case FieldType::Float:
        return raw.toDouble();
    case FieldType::Boolean:
        if (raw.typeId() == QMetaType::QString) {
            const QString text = raw.toString();
            return text == QLatin1String("1") || text.startsWith(u't', Qt::CaseInsensitive);
        }
        return raw.toBool();
    case FieldType::Date: {
        if (raw.typeId() == QMetaType::QDate) {
            return raw;
        }
        // A day is a QDate; any other date the server wrote ("infinity",
        // "0001-01-01 BC", "12345-01-01") is that text, as it shows and compares.
        const QString text = raw.toString();
        const QDate day = QDate::fromString(text, Qt::ISODate);
        return text.size() == 10 && day.isValid() ? QVariant(day) : QVariant(text);
    }
    }
    return raw;
}

} // namespace

class SqlDataset::Private : public api::CursorView {
public:
    explicit Private(SqlDataset& owner) : q(owner) {}
    ~Private() { CloseOwnConnection(); }
    Private(const Private&) = delete;
    Private& operator=(const Private&) = delete;

    void CloseOwnConnection()
    {
        session.reset();
        if (!ownConnection.isEmpty()) {
            CloseDatabase(ownConnection);
            ownConnection.clear();
        }
    }

    SqlDataset& q;
    QString connectionName;
    QString databaseUrl;
    QString ownConnection; // opened from databaseUrl
    QString tableName;
    QStringList orderFieldNames;
    int window = 50;

    std::unique_ptr<sql::SqlSession> session;
    std::optional<sql::TableSchema> schema;
    std::unique_ptr<KeysetQuery> query;
    bool active = false;

    QString filterText;
    bool filtered = false;
    SqlText condition; // the filter in force, translated

    // Rows known: 0..fetched-1 exist; cached ones are in rows (a bounded set of windows).
    std::map<int, RowValues> rows;
    int fetched = 0;
    std::optional<int> count;
    RowValues headLast; // the row at fetched-1, kept for FetchMore when evicted
    api::Cursor cursor{*this};
    bool pending = false; // the view must be read again (controls were disabled)
    bool stale = false;   // the last reading of the view failed: it stands empty

    QString What() const { return QStringLiteral("Search in table \"%1\"").arg(tableName); }

    const SqlDialect& Dialect() const { return session->Dialect(); }

    void RequireClosed(const char* what) const
    {
        if (active) {
            throw DatasetError(QStringLiteral("Cannot change the %1 of an open SQL dataset")
                                   .arg(QLatin1String(what)));
        }
    }

    // The order: the host's fields (or the primary key, else the first field), then
    // the unique key's fields not yet in it, else the row identity. A case-insensitive
    // search orders text upper-cased, and one that sets accents aside orders it folded,
    // as each compares it; a unique key's text field then also follows as it is, so
    // that the order still tells every record apart.
    std::vector<OrderColumn> BuildOrder(const QStringList& names, FilterOptions options) const
    {
        const Table& fields = schema->fields;
        const bool fold = options.testFlag(FilterOption::CaseInsensitive);
        const bool ignoreAccents = options.testFlag(FilterOption::IgnoreAccents);
        QStringList chosen;
        for (const QString& name : names) {
            const int f = fields.FindField(name.trimmed());
            if (f < 0) {
                throw DatasetError(QStringLiteral("Order: unknown field \"%1\" in table \"%2\"")
                                       .arg(name, tableName));
            }
            if (!chosen.contains(fields.Def(f).name)) {
                chosen << fields.Def(f).name;
            }
        }
        if (chosen.isEmpty()) {
            chosen =
                schema->primaryKey.isEmpty() ? QStringList{fields.Def(0).name} : schema->primaryKey;
        }
        std::vector<OrderColumn> order;
        QStringList exact; // columns ordered by their own value
        for (const QString& name : chosen) {
            const int f = fields.FindField(name);
            const bool text = fields.Def(f).type == FieldType::Text;
            const bool folded = fold && text;
            const bool accents = ignoreAccents && text;
            order.push_back({schema->reads[static_cast<size_t>(f)],
                             sql::ValueKindOf(fields.Def(f).type), f, false,
                             schema->notNull.contains(fields.Def(f).name), folded, accents});
            if (!folded && !accents) {
                exact << name;
            }
        }
        bool unique = !schema->uniqueKey.isEmpty();
        for (const QString& name : schema->uniqueKey) {
            if (!exact.contains(name)) {
                const int f = fields.FindField(name);
                order.push_back({schema->reads[static_cast<size_t>(f)],
                                 sql::ValueKindOf(fields.Def(f).type), f, false, true});
            }
        }
        if (!unique && schema->rowIdentity) {
            order.push_back({Dialect().RowIdentity(), Dialect().RowIdentityKind(),
                             fields.FieldCount(), true, true});
        } else if (!unique) {
            // No key and no row identity (a view): every field, then the rank of a record
            // among those identical to it (Relation numbers them). Identical records show
            // the same, so which of them gets which rank matters not; what the rank adds
            // is that each is paged past once, none skipped, none repeated.
            for (int f = 0; f < fields.FieldCount(); ++f) {
                if (!exact.contains(fields.Def(f).name)) {
                    order.push_back({schema->reads[static_cast<size_t>(f)],
                                     sql::ValueKindOf(fields.Def(f).type), f, false,
                                     schema->notNull.contains(fields.Def(f).name)});
                }
            }
            order.push_back({SqlDialect::QuoteIdentifier(OrdinalName()), ValueKind::Int,
                             fields.FieldCount(), false, true});
        }
        return order;
    }

    // The rank of a record among identical ones, for relations with neither a unique
    // key nor a row identity: a name no field has.
    QString OrdinalName() const
    {
        QString name = QStringLiteral("ts_rank");
        for (int n = 2; schema->fields.FindField(name) >= 0; ++n) {
            name = QStringLiteral("ts_rank%1").arg(n);
        }
        return name;
    }

    // Whether the order ends in a column that is no field (the row identity, or the
    // rank of identical records), read after the fields.
    bool EndsInHiddenColumn(const std::vector<OrderColumn>& order) const
    {
        return order.back().valueIndex >= schema->fields.FieldCount();
    }

    // What the statements read from: the relation, numbered when the order ends in the
    // rank of identical records.
    QString Relation(const std::vector<OrderColumn>& order) const
    {
        if (!EndsInHiddenColumn(order) || order.back().rowIdentity) {
            return schema->relation;
        }
        QStringList fields;
        for (const QString& read : schema->reads) {
            fields << read;
        }
        // SQLite would push the filter down into the numbering and the view, splitting it
        // at each AND and joining the terms again one after another: a filter of a
        // thousand terms, which the translation brackets in small groups, would be a
        // chain too deep for it. A LIMIT, of no rows less (-1), keeps the filter outside.
        const QString whole = Dialect().GetServer() == SqlDialect::Server::Sqlite
                                  ? QStringLiteral(" LIMIT -1")
                                  : QString();
        return QStringLiteral("(SELECT *, row_number() OVER (PARTITION BY %1) AS %2 FROM %3%4) "
                              "AS ts_numbered")
            .arg(fields.join(QStringLiteral(", ")), order.back().read, schema->relation, whole);
    }

    void BuildQuery(const std::vector<OrderColumn>& order)
    {
        QStringList select;
        const bool postgres = Dialect().GetServer() == SqlDialect::Server::Postgres;
        for (int f = 0; f < schema->fields.FieldCount(); ++f) {
            const QString& read = schema->reads[static_cast<size_t>(f)];
            // A PostgreSQL date as the server writes it: a QDate holds neither
            // "infinity" nor "0001-01-01 BC" nor "12345-01-01". Keys go back as that text.
            // Named apart: under the column's own name ORDER BY would take the text.
            select << (postgres && schema->fields.Def(f).type == FieldType::Date
                           ? QStringLiteral("CAST(%1 AS text) AS ts_date%2").arg(read).arg(f)
                           : read);
        }
        if (EndsInHiddenColumn(order)) {
            select << order.back().read;
        }
        // On PostgreSQL a window is read by its keys first (index-only, with the search
        // indexes); SQLite finds a covering index by itself.
        QStringList keys;
        if (Dialect().GetServer() == SqlDialect::Server::Postgres && !EndsInHiddenColumn(order)) {
            for (const QString& name : schema->uniqueKey) {
                keys << schema->reads[static_cast<size_t>(schema->fields.FindField(name))];
            }
        }
        query = std::make_unique<KeysetQuery>(Dialect(), Relation(order),
                                              select.join(QStringLiteral(", ")), order,
                                              keys.join(QStringLiteral(", ")));
    }

    // SQLite keeps any value in any column whatever its declared type: text "abc" in a
    // REAL column, an integer in a DATE one, "yes" in a BOOLEAN one. A live search would
    // compare such a value as it is stored yet show it as something else (0, "", False),
    // so a table holding one is refused as the file loader and the copy refuse it,
    // naming the field and the record (counted in the table's order, as they count).
    void CheckStoredValues() const
    {
        if (Dialect().GetServer() != SqlDialect::Server::Sqlite) {
            return;
        }
        const Table& fields = schema->fields;
        QStringList conditions;
        QStringList fieldCases;
        QStringList valueCases;
        std::vector<int> checked;
        for (int f = 0; f < fields.FieldCount(); ++f) {
            const FieldDef& def = fields.Def(f);
            const QString q = SqlDialect::QuoteIdentifier(def.name);
            QString bad;
            switch (def.type) {
            case FieldType::Text:
                continue;
            case FieldType::Integer:
                bad = QStringLiteral("typeof(%1) NOT IN ('integer', 'null')").arg(q);
                break;
            case FieldType::Float:
                bad = QStringLiteral("typeof(%1) NOT IN ('integer', 'real', 'null')").arg(q);
                break;
            case FieldType::Boolean:
                bad = QStringLiteral("(%1 IS NOT NULL AND (typeof(%1) <> 'integer' OR %1 NOT IN "
                                     "(0, 1)))")
                          .arg(q);
                break;
            case FieldType::Date:
                bad = QStringLiteral(
                          "(%1 IS NOT NULL AND (typeof(%1) <> 'text' OR %1 IS NOT date(%1)))")
                          .arg(q);
                break;
            }
            fieldCases << QStringLiteral("WHEN %1 THEN %2").arg(bad).arg(checked.size());
            valueCases << QStringLiteral("WHEN %1 THEN %2").arg(bad, q);
            conditions << bad;
            checked.push_back(f);
        }
        if (checked.empty()) {
            return;
        }
        const QString table = SqlDialect::QuoteIdentifier(tableName);
        const auto statement = [&](bool rowid) {
            SqlText text;
            text.sql =
                QStringLiteral("SELECT ts_bad.ts_f, ts_bad.ts_v, %1 FROM (SELECT %2CASE %3 END "
                               "AS ts_f, CASE %4 END AS ts_v FROM %5 WHERE %6%7 LIMIT 1) AS ts_bad")
                    .arg(rowid ? QStringLiteral("(SELECT count(*) FROM %1 WHERE _rowid_ <= "
                                                "ts_bad.ts_id)")
                                     .arg(table)
                               : QStringLiteral("NULL"),
                         rowid ? QStringLiteral("_rowid_ AS ts_id, ") : QString(),
                         fieldCases.join(u' '), valueCases.join(u' '), table,
                         conditions.join(QStringLiteral(" OR ")),
                         rowid ? QStringLiteral(" ORDER BY _rowid_") : QString());
            return text;
        };
        QSqlQuery* result = nullptr;
        try {
            result = &session->Run(statement(true), What());
        } catch (const DatasetError&) {
            result = &session->Run(statement(false), What()); // a table WITHOUT ROWID
        }
        if (!result->next()) {
            result->finish();
            return;
        }
        const FieldDef& def = fields.Def(checked[static_cast<size_t>(result->value(0).toInt())]);
        const QVariant value = result->value(1);
        const QString where =
            result->value(2).isNull()
                ? QString()
                : QStringLiteral(" in record %1").arg(result->value(2).toLongLong());
        result->finish();
        QString reason;
        try {
            (void)ConvertCell(def, value, where);
            // The copy would take it (text "true", a date with a time), yet here it is
            // compared as stored.
            const char* stored = def.type == FieldType::Integer   ? "an integer"
                                 : def.type == FieldType::Float   ? "a number"
                                 : def.type == FieldType::Boolean ? "0 or 1"
                                                                  : "a date written YYYY-MM-DD";
            reason = QStringLiteral("Field \"%1\"%2: \"%3\" is not stored as %4")
                         .arg(def.name, where, value.toString(), QLatin1String(stored));
        } catch (const DatasetError& error) {
            reason = error.Message();
        }
        throw DatasetError(QStringLiteral("Table \"%1\" in %2: %3")
                               .arg(tableName, sql::DescribeDatabase(session->Database()), reason));
    }

    // Raises when the database cannot search under the options (accents set aside on a
    // PostgreSQL database whose text is not in UTF-8), before any keystroke meets it.
    void CheckOptions(FilterOptions options) const
    {
        if (options.testFlag(FilterOption::IgnoreAccents)) {
            (void)Dialect().AccentFolded(QStringLiteral("x"));
        }
    }

    SqlText Translate(const QString& text, FilterOptions options, bool on) const
    {
        if (!on || text.trimmed().isEmpty()) {
            return {};
        }
        const filter::NodePtr root = filter::ParseFilter(text, schema->fields, options);
        return sql::TranslateFilter(*root, schema->fields, Dialect(), schema->reads);
    }

    void ReadRows(QSqlQuery& result, std::vector<RowValues>& out) const
    {
        const int columns =
            schema->fields.FieldCount() + (EndsInHiddenColumn(query->Order()) ? 1 : 0);
        while (result.next()) {
            RowValues values(columns);
            for (int c = 0; c < columns; ++c) {
                values[c] = result.value(c);
            }
            out.push_back(std::move(values));
        }
    }

    std::vector<RowValues> Fetch(const RowValues* anchor, bool descending, int limit, int offset)
    {
        QSqlQuery& result = session->Run(query->Window(anchor, descending, limit, offset), What());
        std::vector<RowValues> out;
        ReadRows(result, out);
        result.finish();
        return out;
    }

    void Forget()
    {
        rows.clear();
        fetched = 0;
        count.reset();
        headLast.clear();
        cursor.Clear();
    }

    // Reads the first window of the view. On failure the view is empty and the
    // failure goes on to the caller.
    void Refresh()
    {
        pending = false;
        Forget();
        query->SetCondition(condition);
        std::vector<RowValues> first;
        try {
            first = Fetch(nullptr, false, window + 1, 0);
        } catch (...) {
            // Empty until asked again: a grid must not go on fetching from a server
            // that just failed (each try would tell the failure once more).
            stale = true;
            count = 0;
            throw;
        }
        stale = false;
        Store(0, first);
        fetched = static_cast<int>(first.size());
        if (fetched <= window) {
            count = fetched;
        }
        if (!first.empty()) {
            headLast = first.back();
        }
        cursor.Place(first.empty() ? -1 : 0);
    }

    void RefreshAndNotify()
    {
        try {
            Refresh();
        } catch (...) {
            q.NotifyViewReset();
            q.NotifyCursorMoved();
            throw;
        }
        q.NotifyViewReset();
        q.NotifyCursorMoved();
    }

    // Reads the view again once controls are enabled; the grid hears of it then (a
    // view read again unheard would leave the screen showing the old rows).
    void Defer()
    {
        pending = true;
        q.NotifyViewReset();
    }

    // Brings a deferred view up to date before it is read.
    void Settle() override
    {
        if (pending && !q.ControlsDisabled()) {
            RefreshAndNotify();
        }
    }

    void Store(int start, const std::vector<RowValues>& values)
    {
        for (size_t i = 0; i < values.size(); ++i) {
            rows[start + static_cast<int>(i)] = values[i];
        }
    }

    // Keeps the cache bounded: the rows farthest from the one in use go first.
    void Evict(int around)
    {
        const size_t limit = static_cast<size_t>(window) * 8;
        while (rows.size() > limit) {
            const int low = rows.begin()->first;
            const int high = rows.rbegin()->first;
            if (around - low > high - around) {
                rows.erase(rows.begin());
            } else {
                rows.erase(std::prev(rows.end()));
            }
        }
    }

    bool FetchMore()
    {
        if (count || !active) {
            return false;
        }
        const int before = fetched;
        std::vector<RowValues> more;
        try {
            more = Fetch(headLast.isEmpty() ? nullptr : &headLast, false, window + 1, 0);
        } catch (...) {
            count = fetched; // no more rows until the next change; the failure is told once
            throw;
        }
        Store(fetched, more);
        fetched += static_cast<int>(more.size());
        if (static_cast<int>(more.size()) <= window) {
            count = fetched;
        }
        if (!more.empty()) {
            headLast = more.back();
        }
        Evict(fetched - 1);
        return fetched > before;
    }

    int Known() const { return count ? *count : fetched; }

    int ExactCount()
    {
        if (!count) {
            QSqlQuery& result = session->Run(query->Count(), What());
            count = result.next() ? result.value(0).toInt() : 0;
            result.finish();
            // Rows may have come or gone since the first window: never fewer than known.
            count = std::max(*count, fetched);
        }
        return *count;
    }

    // Makes the row's values available, reading a window around it from the nearest
    // known row (keyset), from the start or from the end.
    const RowValues& Ensure(int target)
    {
        auto it = rows.find(target);
        if (it != rows.end()) {
            return it->second;
        }
        const int half = window / 2;
        auto above = rows.lower_bound(target);
        const int total = Known();
        int bestCost = target; // from the start, skipping target rows
        enum class From { Start, Below, Above, End } from = From::Start;
        if (above != rows.begin()) {
            const int low = std::prev(above)->first;
            if (target - low < bestCost) {
                bestCost = target - low;
                from = From::Below;
            }
        }
        if (above != rows.end() && above->first - target < bestCost) {
            bestCost = above->first - target;
            from = From::Above;
        }
        if (count && total - 1 - target < bestCost) {
            from = From::End;
        }
        switch (from) {
        case From::Start: {
            const int start = std::max(0, target - half);
            Store(start, Fetch(nullptr, false, window, start));
            break;
        }
        case From::Below: {
            const auto anchor = std::prev(above);
            const int start = std::max(anchor->first + 1, target - half);
            const RowValues key = anchor->second;
            Store(start, Fetch(&key, false, window, start - anchor->first - 1));
            break;
        }
        case From::Above:
        case From::End: {
            const bool keyed = from == From::Above;
            const int limit = keyed ? above->first - 1 : total - 1;
            const int end = std::min(limit, target + half);
            const RowValues key = keyed ? above->second : RowValues();
            const std::vector<RowValues> back =
                Fetch(keyed ? &key : nullptr, true, window, limit - end);
            for (size_t i = 0; i < back.size(); ++i) {
                rows[end - static_cast<int>(i)] = back[i];
            }
            break;
        }
        }
        Evict(target);
        it = rows.find(target);
        if (it == rows.end()) {
            throw DatasetError(QStringLiteral("%1: row %2 is no longer there (the records "
                                              "changed on the server)")
                                   .arg(What())
                                   .arg(target + 1));
        }
        return it->second;
    }

    void CheckRow(int target) const
    {
        if (!active) {
            throw DatasetError(QStringLiteral("The dataset is not open"));
        }
        if (target < 0 || target >= Known()) {
            throw DatasetError(
                QStringLiteral("Row %1 out of range (%2 rows known)").arg(target).arg(Known()));
        }
    }

    // Computes the exact count and announces the rows it adds for grids.
    void LearnCount()
    {
        const int before = Known();
        ExactCount();
        if (Known() > before) {
            q.NotifyRowsFetched();
        }
    }

    // The cursor walks the rows known, learning more as it goes.
    bool IsOpen() const override { return active; }
    int KnownRows() const override { return Known(); }
    int FirstRow() override
    {
        if (stale && !q.ControlsDisabled()) {
            // A view the server could not give: going to the first record asks again.
            RefreshAndNotify();
        }
        return fetched == 0 ? -1 : 0;
    }
    int LastRow() override
    {
        LearnCount();
        const int last = Known() - 1;
        if (last >= 0) {
            (void)Ensure(last);
        }
        return last;
    }
    void Reach(int target) override
    {
        if (target >= Known() && FetchMore()) {
            q.NotifyRowsFetched();
        }
    }
    void RequireRow(int target) override
    {
        Settle();
        CheckRow(target);
    }
    void CursorMoved() override { q.NotifyCursorMoved(); }
};

SqlDataset::SqlDataset(QObject* parent) : Dataset(parent), d(std::make_unique<Private>(*this)) {}

SqlDataset::~SqlDataset() = default;

void SqlDataset::SetConnectionName(const QString& name)
{
    d->RequireClosed("connection");
    d->CloseOwnConnection();
    d->databaseUrl.clear();
    d->connectionName = name;
}

QString SqlDataset::GetConnectionName() const
{
    return d->ownConnection.isEmpty() ? d->connectionName : d->ownConnection;
}

void SqlDataset::SetDatabaseUrl(const QString& url)
{
    d->RequireClosed("database");
    (void)ParseDatabaseUrl(url); // a malformed URL raises now, naming it
    d->CloseOwnConnection();
    d->databaseUrl = url;
    d->connectionName.clear();
}

QString SqlDataset::GetDatabaseUrl() const
{
    return d->databaseUrl;
}

void SqlDataset::SetTableName(const QString& table)
{
    d->RequireClosed("table");
    d->tableName = table;
}

QString SqlDataset::GetTableName() const
{
    return d->tableName;
}

void SqlDataset::SetOrderFields(const QStringList& fields)
{
    if (d->active) {
        const std::vector<OrderColumn> order =
            d->BuildOrder(fields, GetFilterOptions()); // may raise
        d->orderFieldNames = fields;
        d->BuildQuery(order);
        if (ControlsDisabled()) {
            d->Defer();
            return;
        }
        d->RefreshAndNotify();
        return;
    }
    d->orderFieldNames = fields;
}

QStringList SqlDataset::GetOrderFields() const
{
    return d->orderFieldNames;
}

QStringList SqlDataset::GetEffectiveOrder() const
{
    QStringList names;
    if (d->query) {
        for (const OrderColumn& column : d->query->Order()) {
            names << (column.valueIndex >= d->schema->fields.FieldCount()
                          ? (column.rowIdentity ? column.read : d->OrdinalName())
                          : d->schema->fields.Def(column.valueIndex).name);
        }
    }
    return names;
}

void SqlDataset::SetWindowSize(int rows)
{
    d->window = std::max(2, rows);
}

int SqlDataset::GetWindowSize() const
{
    return d->window;
}

void SqlDataset::Open()
{
    if (d->active) {
        return;
    }
    if (d->connectionName.isEmpty() && d->databaseUrl.isEmpty()) {
        throw DatasetError(QStringLiteral("SQL dataset: no database named"));
    }
    if (!d->session) {
        if (!d->databaseUrl.isEmpty() && d->ownConnection.isEmpty()) {
            d->ownConnection =
                OpenDatabase(d->databaseUrl, DatabaseAccess::ReadOnly).connectionName();
        }
        d->session = std::make_unique<sql::SqlSession>(
            d->ownConnection.isEmpty() ? d->connectionName : d->ownConnection);
    }
    d->session->Start();
    QSqlDatabase db = d->session->Database();
    sql::TableSchema schema = sql::ReadTableSchema(db, d->session->Dialect(), d->tableName);
    d->schema = std::move(schema);
    d->CheckStoredValues();
    d->BuildQuery(d->BuildOrder(d->orderFieldNames, GetFilterOptions()));
    d->CheckOptions(GetFilterOptions());
    d->condition = d->Translate(d->filterText, GetFilterOptions(), d->filtered);

    ClearFieldObjects();
    const Table& fields = d->schema->fields;
    // Sizes: text its declared length (else its longest value); numbers the width of
    // their longest text form, from the smallest and largest value; one statement.
    // Aggregates first, text forms of the extremes outside them.
    QStringList aggregates;
    QStringList measures;
    std::vector<int> measured;
    for (int f = 0; f < fields.FieldCount(); ++f) {
        const FieldDef& def = fields.Def(f);
        const QString read = d->schema->reads[static_cast<size_t>(f)];
        const QString alias = QStringLiteral("ts_m.m%1").arg(aggregates.size());
        if (def.binary) {
            aggregates << QStringLiteral("max(%1) AS m%2").arg(read).arg(aggregates.size());
            measures << alias;
            measured.push_back(f);
        } else if (def.type == FieldType::Text && def.size == 0) {
            aggregates << QStringLiteral("max(length(%1)) AS m%2").arg(read).arg(aggregates.size());
            measures << alias;
            measured.push_back(f);
        } else if (def.type == FieldType::Integer || def.type == FieldType::Float) {
            const ValueKind kind = sql::ValueKindOf(def.type);
            for (const char* extreme : {"min", "max"}) {
                measures << QStringLiteral("length(%1)")
                                .arg(d->Dialect().TextOf(
                                    QStringLiteral("ts_m.m%1").arg(aggregates.size()), kind));
                aggregates << QStringLiteral("%1(%2) AS m%3")
                                  .arg(QLatin1String(extreme), read)
                                  .arg(aggregates.size());
            }
            measured.push_back(f);
        }
    }
    std::vector<int> sizes(static_cast<size_t>(fields.FieldCount()), 0);
    for (int f = 0; f < fields.FieldCount(); ++f) {
        const FieldDef& def = fields.Def(f);
        sizes[static_cast<size_t>(f)] = def.type == FieldType::Boolean ? 5
                                        : def.type == FieldType::Date  ? 10
                                                                       : def.size;
    }
    if (!measures.isEmpty()) {
        SqlText statement;
        statement.sql = QStringLiteral("SELECT %1 FROM (SELECT %2 FROM %3) AS ts_m")
                            .arg(measures.join(QStringLiteral(", ")),
                                 aggregates.join(QStringLiteral(", ")), d->schema->relation);
        QSqlQuery& result = d->session->Run(statement, d->What());
        if (result.next()) {
            int column = 0;
            for (const int f : measured) {
                const FieldDef& def = fields.Def(f);
                int size = result.value(column++).toInt();
                if (def.binary) {
                    size = static_cast<int>(BinaryText(size).size());
                } else if (def.type != FieldType::Text) {
                    size = std::max(size, result.value(column++).toInt());
                }
                sizes[static_cast<size_t>(f)] = size;
            }
        }
        result.finish();
    }
    for (int f = 0; f < fields.FieldCount(); ++f) {
        AddFieldObject(fields.Def(f).name, fields.Def(f).type, sizes[static_cast<size_t>(f)]);
    }
    d->active = true;
    try {
        d->Refresh();
    } catch (...) {
        d->active = false;
        d->Forget();
        throw;
    }
    Q_EMIT fieldsChanged();
    NotifyViewReset();
    NotifyCursorMoved();
}

void SqlDataset::Close()
{
    if (!d->active) {
        return;
    }
    d->active = false;
    d->pending = false;
    d->Forget();
    if (d->session) {
        d->session->ReleasePrepared();
    }
    NotifyViewReset();
    NotifyCursorMoved();
}

bool SqlDataset::IsActive() const
{
    return d->active;
}

void SqlDataset::ApplyHeldChanges()
{
    if (d->pending && d->active) {
        d->Refresh();
    }
}

void SqlDataset::First()
{
    d->cursor.First();
}

void SqlDataset::Last()
{
    d->cursor.Last();
}

void SqlDataset::Next()
{
    d->cursor.Next();
}

void SqlDataset::Prior()
{
    d->cursor.Prior();
}

void SqlDataset::MoveTo(int row)
{
    d->cursor.MoveTo(row);
}

int SqlDataset::RecordCount() const
{
    if (!d->active) {
        return 0;
    }
    d->Settle();
    d->LearnCount();
    return d->Known();
}

bool SqlDataset::IsEmpty() const
{
    if (!d->active) {
        return true;
    }
    d->Settle();
    return d->fetched == 0;
}

int SqlDataset::FetchedRowCount() const
{
    if (!d->active) {
        return 0;
    }
    d->Settle();
    return d->Known();
}

bool SqlDataset::CanFetchMore() const
{
    return d->active && !d->pending && !d->count;
}

void SqlDataset::FetchMore()
{
    if (!d->active) {
        return;
    }
    d->Settle();
    if (d->FetchMore()) {
        NotifyRowsFetched();
    }
}

int SqlDataset::RecNo() const
{
    return d->cursor.RecNo();
}

bool SqlDataset::Bof() const
{
    return d->cursor.Bof();
}

bool SqlDataset::Eof() const
{
    return d->cursor.Eof();
}

QString SqlDataset::GetFilter() const
{
    return d->filterText;
}

void SqlDataset::SetFilter(const QString& expression)
{
    if (expression == d->filterText) {
        return;
    }
    if (!d->active) {
        d->filterText = expression;
        return;
    }
    SqlText condition = d->Translate(expression, GetFilterOptions(), d->filtered); // may raise
    d->filterText = expression;
    if (!d->filtered) {
        return;
    }
    d->condition = std::move(condition);
    if (ControlsDisabled()) {
        d->Defer();
        return;
    }
    d->RefreshAndNotify();
}

bool SqlDataset::GetFiltered() const
{
    return d->filtered;
}

void SqlDataset::SetFiltered(bool filtered)
{
    if (filtered == d->filtered) {
        return;
    }
    if (!d->active) {
        d->filtered = filtered;
        return;
    }
    SqlText condition = d->Translate(d->filterText, GetFilterOptions(), filtered); // may raise
    d->filtered = filtered;
    d->condition = std::move(condition);
    if (ControlsDisabled()) {
        d->Defer();
        return;
    }
    d->RefreshAndNotify();
}

void SqlDataset::SetFilterOptions(FilterOptions options)
{
    if (options == GetFilterOptions()) {
        return;
    }
    if (!d->active) {
        StoreFilterOptions(options);
        return;
    }
    d->CheckOptions(options);                                              // may raise
    SqlText condition = d->Translate(d->filterText, options, d->filtered); // may raise
    const std::vector<OrderColumn> order = d->BuildOrder(d->orderFieldNames, options);
    StoreFilterOptions(options);
    d->condition = std::move(condition);
    d->BuildQuery(order);
    if (ControlsDisabled()) {
        d->Defer();
        return;
    }
    d->RefreshAndNotify();
}

QVariant SqlDataset::Value(int row, int field) const
{
    d->Settle();
    d->CheckRow(row);
    if (field < 0 || field >= GetFieldCount()) {
        throw DatasetError(QStringLiteral("Field index %1 out of range (the dataset has %2 fields)")
                               .arg(field)
                               .arg(GetFieldCount()));
    }
    const RowValues& values = d->Ensure(row);
    return Normalised(d->schema->fields.Def(field), values[field]);
}

QString SqlDataset::GetServerCondition() const
{
    return d->condition.sql;
}

int SqlDataset::StatementCount() const
{
    return d->session ? d->session->StatementCount() : 0;
}

QString SqlDataset::LastStatement() const
{
    return d->session ? d->session->LastStatement() : QString();
}

} // namespace host
