#include "host/api/cursor.h"
#include "host/api/cursor_view.h"
#include "host/filter/expression_parser.h"
#include "host/filter/record_selection.h"
#include "host/sql/database_url.h"
#include "host/sql/keyset_query.h"
#include "host/sql/local_copy.h"
#include "host/sql/search_index_target.h"
#include "host/sql/sql_session.h"
#include "host/sql/sql_translation.h"
#include "host/sql/table_schema.h"
#include "host/text/text_form.h"

#include <QDate>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <optional>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>
#include <type_traits>

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

class Q_DECL_HIDDEN SqlDataset::Private : public api::CursorView {
public:
    explicit Private(SqlDataset& owner) : q(owner) {}
    ~Private() { CloseOwnConnection(); }
    Private(const Private&) = delete;
    Private& operator=(const Private&) = delete;

    void CloseOwnConnection()
    {
        m_session.reset();
        if (!m_ownConnection.isEmpty()) {
            sql::CloseDatabase(m_ownConnection);
            m_ownConnection.clear();
        }
    }

    SqlDataset& q;
    QString m_connectionName;
    QString m_databaseUrl;
    QString m_ownConnection; // opened from databaseUrl
    QString m_tableName;
    QStringList m_orderFieldNames;
    int m_window = 50;
    int m_timeoutMs = sql::DatabaseUrl::kDefaultTimeoutMs;
    QString m_copyPath;
    int m_copyMaxAge = 3600;
    bool m_onCopy = false;
    QStringList m_liveKey;       // the live table's key, which orders the copy alike
    bool m_liveKeyKnown = false; // whether the table was read live, its key with it

    std::unique_ptr<sql::SqlSession> m_session;
    std::optional<sql::TableSchema> m_schema;
    std::unique_ptr<KeysetQuery> m_query;
    bool m_active = false;

    QString m_filterText;
    bool m_filtered = false;
    SqlText m_condition; // the filter in force, translated
    // A keystroke's filter as parsed, and that of the last view read whole in one window
    // (with its options): a filter that narrows it selects fewer records than a window.
    std::shared_ptr<const filter::Node> m_root;
    std::shared_ptr<const filter::Node> m_wholeRoot;
    FilterOptions m_wholeOptions;

    // Rows known: 0..fetched-1 exist; cached ones are in rows (a bounded set of windows).
    std::map<int, RowValues> m_rows;
    int m_fetched = 0;
    std::optional<int> m_count;
    RowValues m_headLast; // the row at fetched-1, kept for FetchMore when evicted
    api::Cursor m_cursor{*this};
    bool m_pending = false; // the view must be read again (controls were disabled)
    bool m_stale = false;   // the last reading of the view failed: it stands empty

    QString What() const { return QStringLiteral("Search in table \"%1\"").arg(m_tableName); }

    const SqlDialect& Dialect() const { return m_session->Dialect(); }

    void RequireClosed(const char* what) const
    {
        if (m_active) {
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
        const Table& fields = m_schema->fields;
        const bool fold = options.testFlag(FilterOption::CaseInsensitive);
        const bool ignoreAccents = options.testFlag(FilterOption::IgnoreAccents);
        QStringList chosen;
        for (const QString& name : names) {
            const int f = fields.FindField(name.trimmed());
            if (f < 0) {
                throw DatasetError(QStringLiteral("Order: unknown field \"%1\" in table \"%2\"")
                                       .arg(name, m_tableName));
            }
            if (!chosen.contains(fields.Def(f).name)) {
                chosen << fields.Def(f).name;
            }
        }
        if (chosen.isEmpty()) {
            chosen = m_schema->primaryKey.isEmpty() ? QStringList{fields.Def(0).name}
                                                    : m_schema->primaryKey;
        }
        std::vector<OrderColumn> order;
        QStringList exact; // columns ordered by their own value
        for (const QString& name : chosen) {
            const int f = fields.FindField(name);
            const bool text = fields.Def(f).type == FieldType::Text;
            const bool folded = fold && text;
            const bool accents = ignoreAccents && text;
            order.push_back({m_schema->reads[static_cast<size_t>(f)],
                             sql::ValueKindOf(fields.Def(f).type), f, false,
                             m_schema->notNull.contains(fields.Def(f).name), folded, accents});
            if (!folded && !accents) {
                exact << name;
            }
        }
        bool unique = !m_schema->uniqueKey.isEmpty();
        for (const QString& name : m_schema->uniqueKey) {
            if (!exact.contains(name)) {
                const int f = fields.FindField(name);
                order.push_back({m_schema->reads[static_cast<size_t>(f)],
                                 sql::ValueKindOf(fields.Def(f).type), f, false, true});
            }
        }
        if (!unique && m_schema->rowIdentity) {
            order.push_back({Dialect().RowIdentity(), Dialect().RowIdentityKind(),
                             fields.FieldCount(), true, true});
        } else if (!unique) {
            // No key and no row identity (a view): every field, then the rank of a record
            // among those identical to it (Relation numbers them). Identical records show
            // the same, so which of them gets which rank matters not; what the rank adds
            // is that each is paged past once, none skipped, none repeated.
            for (int f = 0; f < fields.FieldCount(); ++f) {
                if (!exact.contains(fields.Def(f).name)) {
                    order.push_back({m_schema->reads[static_cast<size_t>(f)],
                                     sql::ValueKindOf(fields.Def(f).type), f, false,
                                     m_schema->notNull.contains(fields.Def(f).name)});
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
        for (int n = 2; m_schema->fields.FindField(name) >= 0; ++n) {
            name = QStringLiteral("ts_rank%1").arg(n);
        }
        return name;
    }

    // Whether the order ends in a column that is no field (the row identity, or the
    // rank of identical records), read after the fields.
    bool EndsInHiddenColumn(const std::vector<OrderColumn>& order) const
    {
        return order.back().valueIndex >= m_schema->fields.FieldCount();
    }

    // What the statements read from: the relation, numbered when the order ends in the
    // rank of identical records.
    QString Relation(const std::vector<OrderColumn>& order) const
    {
        if (!EndsInHiddenColumn(order) || order.back().rowIdentity) {
            return m_schema->relation;
        }
        QStringList fields;
        for (const QString& read : m_schema->reads) {
            fields << read;
        }
        // The filter stays outside the numbering and the view (a long one pushed down
        // into them would be too deep for SQLite).
        const QString whole = Dialect().SubqueryFence();
        return QStringLiteral("(SELECT *, row_number() OVER (PARTITION BY %1) AS %2 FROM %3%4) "
                              "AS ts_numbered")
            .arg(fields.join(QStringLiteral(", ")), order.back().read, m_schema->relation, whole);
    }

    void BuildQuery(const std::vector<OrderColumn>& order)
    {
        QStringList select;
        for (int f = 0; f < m_schema->fields.FieldCount(); ++f) {
            select << Dialect().SelectedValue(m_schema->reads[static_cast<size_t>(f)],
                                              sql::ValueKindOf(m_schema->fields.Def(f).type), f);
        }
        if (EndsInHiddenColumn(order)) {
            select << order.back().read;
        }
        // Where the dialect asks, a window is read by its keys first (index-only, with the
        // search indexes); elsewhere the server finds a covering index by itself.
        QStringList keys;
        if (Dialect().ReadsWindowByKeys() && !EndsInHiddenColumn(order)) {
            for (const QString& name : m_schema->uniqueKey) {
                keys << m_schema->reads[static_cast<size_t>(m_schema->fields.FindField(name))];
            }
        }
        m_query = std::make_unique<KeysetQuery>(Dialect(), Relation(order),
                                                select.join(QStringLiteral(", ")), order, keys);
        LearnOrderedIndexes(order.front());
    }

    // Which of the indexes that read a search in the order the database holds: the word
    // positions of its first column (CreateSearchIndexes makes them on the search column
    // read folded) and the other fields' prefix buckets in that order. Without them a
    // word start after the first word is found through the trigrams, as the server could
    // not read a position's records in order, and a prefix's records are all sorted.
    void LearnOrderedIndexes(const OrderColumn& first) const
    {
        if (first.rowIdentity || !first.folded || first.accents || m_schema->view ||
            first.valueIndex >= m_schema->fields.FieldCount()) {
            return;
        }
        const Table& fields = m_schema->fields;
        const QString orderField = fields.Def(first.valueIndex).name;
        sql::SearchIndexTarget target;
        target.table = m_schema->table;
        target.qualifier = sql::SchemaQualifier(*m_schema);
        target.field = orderField;
        SqlText statement;
        statement.values << target.QualifiedIndexName(SqlDialect::WordPositionPurpose(0));
        QStringList texts; // as a prefix range of each field reads it
        for (int f = 0; f < fields.FieldCount(); ++f) {
            const FieldType type = fields.Def(f).type;
            if (f == first.valueIndex || (type != FieldType::Text && type != FieldType::Integer)) {
                continue;
            }
            const QString& read = m_schema->reads[static_cast<size_t>(f)];
            target.field = fields.Def(f).name;
            statement.values << target.QualifiedIndexName(SqlDialect::BucketPurpose(orderField));
            texts << (type == FieldType::Text ? Dialect().Upper(read)
                                              : Dialect().TextOf(read, sql::ValueKind::Int));
        }
        statement.sql = Dialect().IndexesCheck(static_cast<int>(statement.values.size()));
        if (statement.sql.isEmpty()) {
            return;
        }
        try {
            QSqlQuery& result = m_session->Run(statement, What());
            if (result.next()) {
                m_query->SetWordPositionsIndexed(result.value(0).toBool());
                QStringList bucketed;
                for (qsizetype t = 0; t < texts.size(); ++t) {
                    if (result.value(static_cast<int>(t) + 1).toBool()) {
                        bucketed << texts[t];
                    }
                }
                m_query->SetBucketed(bucketed);
            }
            result.finish();
        } catch (const DatasetError&) {
            // the window's own statement tells what failed
        }
    }

    // SQLite keeps any value in any column whatever its declared type: text "abc" in a
    // REAL column, an integer in a DATE one, "yes" in a BOOLEAN one. A live search would
    // compare such a value as it is stored yet show it as something else (0, "", False),
    // so a table holding one is refused as the file loader and the copy refuse it,
    // naming the field and the record (counted in the table's order, as they count).
    void CheckStoredValues() const
    {
        const Table& fields = m_schema->fields;
        std::vector<int> checked;
        const std::vector<SqlText> statements =
            Dialect().StrayValueQueries(fields, SqlDialect::QuoteIdentifier(m_tableName), checked);
        if (statements.empty()) {
            return;
        }
        QSqlQuery* result = nullptr;
        try {
            result = &m_session->Run(statements.front(), What());
        } catch (const DatasetError&) {
            result = &m_session->Run(statements.back(), What()); // a table WITHOUT ROWID
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
        throw DatasetError(
            QStringLiteral("Table \"%1\" in %2: %3")
                .arg(m_tableName, sql::DescribeDatabase(m_session->Database()), reason));
    }

    // Raises when the database cannot search under the options (accents set aside on a
    // PostgreSQL database whose text is not in UTF-8), before any keystroke meets it.
    void CheckOptions(FilterOptions options) const
    {
        if (options.testFlag(FilterOption::IgnoreAccents)) {
            (void)Dialect().AccentFolded(QStringLiteral("x"));
        }
    }

    // parsed: set to the filter's tree when not null.
    SqlText Translate(const QString& text, FilterOptions options, bool on,
                      std::shared_ptr<const filter::Node>* parsed = nullptr) const
    {
        if (!on || text.trimmed().isEmpty()) {
            return {};
        }
        std::shared_ptr<const filter::Node> root =
            filter::ParseFilter(text, m_schema->fields, options);
        SqlText condition = sql::TranslateFilter(*root, m_schema->fields, Dialect(),
                                                 m_schema->reads, sql::FilterSource{text, options});
        if (parsed != nullptr) {
            *parsed = std::move(root);
        }
        return condition;
    }

    // Whether a keystroke's filter narrows the last one whose view was read whole: the
    // walks of a search over several fields, which could not fill a window, are left out.
    bool NarrowsWholeView(const std::shared_ptr<const filter::Node>& root) const
    {
        return root && m_wholeRoot && m_wholeOptions == q.GetFilterOptions() &&
               filter::Narrows(*root, *m_wholeRoot);
    }

    void ReadRows(QSqlQuery& result, std::vector<RowValues>& out) const
    {
        const int columns =
            m_schema->fields.FieldCount() + (EndsInHiddenColumn(m_query->Order()) ? 1 : 0);
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
        return OrOnCopy([&] {
            QSqlQuery& result =
                m_session->Run(m_query->Window(anchor, descending, limit, offset), What());
            std::vector<RowValues> out;
            ReadRows(result, out);
            result.finish();
            return out;
        });
    }

    // Runs a reading; when no server answers and there is a local copy, once more on
    // the copy.
    template <class Reading> std::invoke_result_t<Reading&> OrOnCopy(Reading&& reading)
    {
        try {
            return reading();
        } catch (const sql::ServerUnreachable&) {
            if (m_onCopy || !CopyUsable()) {
                throw;
            }
            Attach(true);
            Rebuild();
            Q_EMIT q.sourceChanged();
            return reading();
        }
    }

    // A copy written with the live table's key: on it the records are in the same order,
    // and a window read from a row seen live lands where it would have live.
    bool CopyUsable() const
    {
        if (m_copyPath.isEmpty() || m_databaseUrl.isEmpty() || !QFileInfo(m_copyPath).isFile()) {
            return false;
        }
        const QStringList key = sql::LocalCopyKey(m_copyPath);
        return !key.isEmpty() && (!m_liveKeyKnown || key == m_liveKey);
    }

    // Connects to the database (the URL's servers, the host's connection, or the local
    // copy) and reads the table's schema, every statement within the time-out.
    void Attach(bool copy)
    {
        if (copy || m_onCopy || !m_session) {
            CloseOwnConnection();
            if (copy || !m_databaseUrl.isEmpty()) {
                sql::DatabaseUrl url = sql::ParseDatabaseUrl(
                    copy ? QStringLiteral("sqlite:") + m_copyPath : m_databaseUrl);
                url.timeoutMs = m_timeoutMs;
                m_ownConnection =
                    sql::OpenDatabase(url, sql::DatabaseAccess::ReadOnly).connectionName();
                m_session = std::make_unique<sql::SqlSession>(m_ownConnection, url);
            } else {
                m_session = std::make_unique<sql::SqlSession>(m_connectionName);
            }
        }
        m_onCopy = copy;
        m_session->SetTimeout(m_timeoutMs);
        m_session->Start();
        QSqlDatabase db = m_session->Database();
        const sql::SocketBound bound = m_session->Bound();
        sql::TableSchema schema = sql::ReadTableSchema(db, m_session->Dialect(), m_tableName);
        if (copy) {
            // The copy's key is the live one (its unique index), though the copy's columns
            // are not declared NOT NULL: the order ends in it as live, not in the rowid.
            const QStringList key = m_liveKeyKnown ? m_liveKey : sql::LocalCopyKey(m_copyPath);
            if (schema.primaryKey.isEmpty()) {
                schema.primaryKey = key;
            }
            if (!key.isEmpty()) {
                schema.uniqueKey = key;
            }
            for (const QString& name : key) {
                if (!schema.notNull.contains(name)) {
                    schema.notNull << name;
                }
            }
        } else {
            m_liveKey = schema.primaryKey.isEmpty() ? schema.uniqueKey : schema.primaryKey;
            m_liveKeyKnown = true;
        }
        m_schema = std::move(schema);
    }

    // The statements again for the database attached, the filter and order as they were.
    void Rebuild()
    {
        BuildQuery(BuildOrder(m_orderFieldNames, q.GetFilterOptions()));
        m_root.reset();
        m_condition = Translate(m_filterText, q.GetFilterOptions(), m_filtered, &m_root);
        m_query->SetCondition(m_condition);
    }

    // A copy missing or too old is written again in the background from the live table.
    void RefreshCopyIfStale() const
    {
        if (m_onCopy || m_copyPath.isEmpty() || m_databaseUrl.isEmpty() ||
            !sql::LocalCopyIsStale(m_copyPath, m_copyMaxAge)) {
            return;
        }
        sql::LocalCopyJob job;
        job.url = m_databaseUrl;
        job.table = m_tableName;
        job.path = m_copyPath;
        job.key = m_liveKey;
        job.options = q.GetFilterOptions();
        for (const QString& name : m_orderFieldNames) {
            const int f = m_schema->fields.FindField(name.trimmed());
            if (f >= 0 && m_schema->fields.Def(f).type == FieldType::Text) {
                job.searchFields << m_schema->fields.Def(f).name;
            }
        }
        sql::RefreshLocalCopyInBackground(job);
    }

    void Forget()
    {
        m_rows.clear();
        m_fetched = 0;
        m_count.reset();
        m_headLast.clear();
        m_cursor.Clear();
    }

    // Reads the first window of the view. On failure the view is empty and the
    // failure goes on to the caller.
    void Refresh()
    {
        m_pending = false;
        Forget();
        m_query->SetCondition(m_condition);
        std::vector<RowValues> first;
        try {
            first = Fetch(nullptr, false, m_window + 1, 0);
        } catch (...) {
            // Empty until asked again: a grid must not go on fetching from a server
            // that just failed (each try would tell the failure once more).
            m_stale = true;
            m_count = 0;
            throw;
        }
        m_stale = false;
        Store(0, first);
        m_fetched = static_cast<int>(first.size());
        if (m_fetched <= m_window) {
            m_count = m_fetched;
        }
        m_wholeRoot = m_fetched <= m_window ? m_root : nullptr;
        m_wholeOptions = q.GetFilterOptions();
        if (!first.empty()) {
            m_headLast = first.back();
        }
        m_cursor.Place(first.empty() ? -1 : 0);
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
        m_pending = true;
        q.NotifyViewReset();
    }

    // Brings a deferred view up to date before it is read.
    void Settle() override
    {
        if (m_pending && !q.ControlsDisabled()) {
            RefreshAndNotify();
        }
    }

    void Store(int start, const std::vector<RowValues>& values)
    {
        for (size_t i = 0; i < values.size(); ++i) {
            m_rows[start + static_cast<int>(i)] = values[i];
        }
    }

    // Keeps the cache bounded: the rows farthest from the one in use go first.
    void Evict(int around)
    {
        const size_t limit = static_cast<size_t>(m_window) * 8;
        while (m_rows.size() > limit) {
            const int low = m_rows.begin()->first;
            const int high = m_rows.rbegin()->first;
            if (around - low > high - around) {
                m_rows.erase(m_rows.begin());
            } else {
                m_rows.erase(std::prev(m_rows.end()));
            }
        }
    }

    bool FetchMore()
    {
        if (m_count || !m_active) {
            return false;
        }
        const int before = m_fetched;
        std::vector<RowValues> more;
        try {
            more = Fetch(m_headLast.isEmpty() ? nullptr : &m_headLast, false, m_window + 1, 0);
        } catch (...) {
            m_count = m_fetched; // no more rows until the next change; the failure is told once
            throw;
        }
        Store(m_fetched, more);
        m_fetched += static_cast<int>(more.size());
        if (static_cast<int>(more.size()) <= m_window) {
            m_count = m_fetched;
        }
        if (!more.empty()) {
            m_headLast = more.back();
        }
        Evict(m_fetched - 1);
        return m_fetched > before;
    }

    int Known() const { return m_count ? *m_count : m_fetched; }

    int ExactCount()
    {
        if (!m_count) {
            m_count = OrOnCopy([&] {
                QSqlQuery& result = m_session->Run(m_query->Count(), What());
                const int count = result.next() ? result.value(0).toInt() : 0;
                result.finish();
                return count;
            });
            // Rows may have come or gone since the first window: never fewer than known.
            m_count = std::max(*m_count, m_fetched);
        }
        return *m_count;
    }

    // Whether two rows read are the same record: the same values in every column of
    // the order, which ends in a unique key.
    bool SameRecord(const RowValues& a, const RowValues& b) const
    {
        for (const OrderColumn& column : m_query->Order()) {
            if (a[column.valueIndex] != b[column.valueIndex]) {
                return false;
            }
        }
        return true;
    }

    // The first row of the view where the expression holds: the first such record in
    // the view's order (one statement), then its place, from the rows at hand or by
    // counting the rows before it in the same order. A place past the rows known makes
    // it known, the rows between read when asked for (keyset from it).
    int FirstRowWhere(const QString& expression)
    {
        Settle();
        if (!m_active) {
            return -1;
        }
        const SqlText further = Translate(expression, q.GetFilterOptions(), true); // may raise
        if (m_fetched == 0) {
            return -1;
        }
        if (further.sql.isEmpty()) {
            return 0;
        }
        const std::vector<RowValues> found = OrOnCopy([&] {
            QSqlQuery& result = m_session->Run(m_query->FirstWhere(further), What());
            std::vector<RowValues> out;
            ReadRows(result, out);
            result.finish();
            return out;
        });
        if (found.empty()) {
            return -1;
        }
        const RowValues& row = found.front();
        for (const auto& [place, values] : m_rows) {
            if (SameRecord(values, row)) {
                return place;
            }
        }
        const int place = OrOnCopy([&] {
            QSqlQuery& result = m_session->Run(m_query->CountBefore(row), What());
            const int count = result.next() ? result.value(0).toInt() : 0;
            result.finish();
            return count;
        });
        if (place >= Known()) {
            if (m_count) {
                return -1; // the records changed on the server since the view was read
            }
            m_fetched = place + 1;
            m_headLast = row;
            m_rows[place] = row;
            Evict(place);
            q.NotifyRowsFetched();
        } else {
            m_rows[place] = row;
            Evict(place);
        }
        return place;
    }

    // Makes the row's values available, reading a window around it from the nearest
    // known row (keyset), from the start or from the end.
    const RowValues& Ensure(int target)
    {
        auto it = m_rows.find(target);
        if (it != m_rows.end()) {
            return it->second;
        }
        const int half = m_window / 2;
        auto above = m_rows.lower_bound(target);
        const int total = Known();
        int bestCost = target; // from the start, skipping target rows
        enum class From { Start, Below, Above, End } from = From::Start;
        if (above != m_rows.begin()) {
            const int low = std::prev(above)->first;
            if (target - low < bestCost) {
                bestCost = target - low;
                from = From::Below;
            }
        }
        if (above != m_rows.end() && above->first - target < bestCost) {
            bestCost = above->first - target;
            from = From::Above;
        }
        if (m_count && total - 1 - target < bestCost) {
            from = From::End;
        }
        switch (from) {
        case From::Start: {
            const int start = std::max(0, target - half);
            Store(start, Fetch(nullptr, false, m_window, start));
            break;
        }
        case From::Below: {
            const auto anchor = std::prev(above);
            const int start = std::max(anchor->first + 1, target - half);
            const RowValues key = anchor->second;
            Store(start, Fetch(&key, false, m_window, start - anchor->first - 1));
            break;
        }
        case From::Above:
        case From::End: {
            const bool keyed = from == From::Above;
            const int limit = keyed ? above->first - 1 : total - 1;
            const int end = std::min(limit, target + half);
            const RowValues key = keyed ? above->second : RowValues();
            const std::vector<RowValues> back =
                Fetch(keyed ? &key : nullptr, true, m_window, limit - end);
            for (size_t i = 0; i < back.size(); ++i) {
                m_rows[end - static_cast<int>(i)] = back[i];
            }
            break;
        }
        }
        Evict(target);
        it = m_rows.find(target);
        if (it == m_rows.end()) {
            throw DatasetError(QStringLiteral("%1: row %2 is no longer there (the records "
                                              "changed on the server)")
                                   .arg(What())
                                   .arg(target + 1));
        }
        return it->second;
    }

    void CheckRow(int target) const
    {
        if (!m_active) {
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
    bool IsOpen() const override { return m_active; }
    int KnownRows() const override { return Known(); }
    int FirstRow() override
    {
        if (m_stale && !q.ControlsDisabled()) {
            // A view the server could not give: going to the first record asks again.
            RefreshAndNotify();
        }
        return m_fetched == 0 ? -1 : 0;
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
    d->m_databaseUrl.clear();
    d->m_connectionName = name;
}

QString SqlDataset::GetConnectionName() const
{
    return d->m_ownConnection.isEmpty() ? d->m_connectionName : d->m_ownConnection;
}

void SqlDataset::SetDatabaseUrl(const QString& url)
{
    d->RequireClosed("database");
    (void)sql::ParseDatabaseUrl(url); // a malformed URL raises now, naming it
    d->CloseOwnConnection();
    d->m_databaseUrl = url;
    d->m_connectionName.clear();
}

QString SqlDataset::GetDatabaseUrl() const
{
    return d->m_databaseUrl;
}

void SqlDataset::SetTableName(const QString& table)
{
    d->RequireClosed("table");
    d->m_tableName = table;
}

QString SqlDataset::GetTableName() const
{
    return d->m_tableName;
}

void SqlDataset::SetOrderFields(const QStringList& fields)
{
    if (d->m_active) {
        const std::vector<OrderColumn> order =
            d->BuildOrder(fields, GetFilterOptions()); // may raise
        d->m_orderFieldNames = fields;
        d->BuildQuery(order);
        if (ControlsDisabled()) {
            d->Defer();
            return;
        }
        d->RefreshAndNotify();
        return;
    }
    d->m_orderFieldNames = fields;
}

QStringList SqlDataset::GetOrderFields() const
{
    return d->m_orderFieldNames;
}

QStringList SqlDataset::GetEffectiveOrder() const
{
    QStringList names;
    if (d->m_query) {
        for (const OrderColumn& column : d->m_query->Order()) {
            names << (column.valueIndex >= d->m_schema->fields.FieldCount()
                          ? (column.rowIdentity ? column.read : d->OrdinalName())
                          : d->m_schema->fields.Def(column.valueIndex).name);
        }
    }
    return names;
}

void SqlDataset::SetWindowSize(int rows)
{
    d->m_window = std::max(2, rows);
}

int SqlDataset::GetWindowSize() const
{
    return d->m_window;
}

void SqlDataset::SetStatementTimeout(int ms)
{
    d->m_timeoutMs = ms > 0 ? ms : sql::DatabaseUrl::kDefaultTimeoutMs;
    if (d->m_session) {
        d->m_session->SetTimeout(d->m_timeoutMs);
    }
}

int SqlDataset::GetStatementTimeout() const
{
    return d->m_timeoutMs;
}

void SqlDataset::SetLocalCopy(const QString& path, int maxAgeSeconds)
{
    d->RequireClosed("local copy");
    if (!path.isEmpty()) {
        sql::CheckLocalCopyPath(path);
    }
    d->m_copyPath = path;
    d->m_copyMaxAge = std::max(0, maxAgeSeconds);
}

QString SqlDataset::GetLocalCopyPath() const
{
    return d->m_copyPath;
}

bool SqlDataset::IsOnLocalCopy() const
{
    return d->m_onCopy;
}

QDateTime SqlDataset::LocalCopyTime() const
{
    return d->m_copyPath.isEmpty() ? QDateTime() : sql::LocalCopyTime(d->m_copyPath);
}

bool SqlDataset::IsRefreshingLocalCopy() const
{
    return !d->m_copyPath.isEmpty() && sql::LocalCopyRefreshing(d->m_copyPath);
}

QString SqlDataset::LocalCopyFailure() const
{
    return d->m_copyPath.isEmpty() ? QString() : sql::LocalCopyFailure(d->m_copyPath);
}

bool SqlDataset::TryServerAgain()
{
    if (!d->m_onCopy) {
        return true;
    }
    try {
        d->Attach(false);
    } catch (const sql::ServerUnreachable&) {
        try {
            d->Attach(true);
            d->Rebuild();
        } catch (...) {
            d->m_query.reset(); // made for the dialect just let go of
            Close();
            throw;
        }
        return false;
    }
    d->Rebuild();
    if (d->m_active) {
        if (ControlsDisabled()) {
            d->Defer();
        } else {
            d->RefreshAndNotify();
        }
        d->RefreshCopyIfStale();
    }
    Q_EMIT sourceChanged();
    return true;
}

void SqlDataset::Open()
{
    if (d->m_active) {
        return;
    }
    if (d->m_connectionName.isEmpty() && d->m_databaseUrl.isEmpty()) {
        throw DatasetError(QStringLiteral("SQL dataset: no database named"));
    }
    try {
        d->Attach(false);
    } catch (const sql::ServerUnreachable&) {
        if (!d->CopyUsable()) {
            throw;
        }
        d->Attach(true);
    }
    d->CheckStoredValues();
    d->BuildQuery(d->BuildOrder(d->m_orderFieldNames, GetFilterOptions()));
    d->CheckOptions(GetFilterOptions());
    d->m_root.reset();
    d->m_condition = d->Translate(d->m_filterText, GetFilterOptions(), d->m_filtered, &d->m_root);

    ClearFieldObjects();
    const Table& fields = d->m_schema->fields;
    // Sizes: text its declared length (else its longest value); numbers the width of
    // their longest text form, from the smallest and largest value; one statement.
    // Aggregates first, text forms of the extremes outside them.
    QStringList aggregates;
    QStringList measures;
    std::vector<int> measured;
    for (int f = 0; f < fields.FieldCount(); ++f) {
        const FieldDef& def = fields.Def(f);
        const QString read = d->m_schema->reads[static_cast<size_t>(f)];
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
                                 aggregates.join(QStringLiteral(", ")), d->m_schema->relation);
        QSqlQuery& result = d->m_session->Run(statement, d->What());
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
    d->m_active = true;
    try {
        d->Refresh();
    } catch (...) {
        d->m_active = false;
        d->Forget();
        throw;
    }
    d->RefreshCopyIfStale();
    Q_EMIT fieldsChanged();
    NotifyViewReset();
    NotifyCursorMoved();
}

void SqlDataset::Close()
{
    if (!d->m_active) {
        return;
    }
    d->m_active = false;
    d->m_pending = false;
    d->Forget();
    if (d->m_session) {
        d->m_session->ReleasePrepared();
    }
    NotifyViewReset();
    NotifyCursorMoved();
}

bool SqlDataset::IsActive() const
{
    return d->m_active;
}

void SqlDataset::ApplyHeldChanges()
{
    if (d->m_pending && d->m_active) {
        d->Refresh();
    }
}

void SqlDataset::First()
{
    d->m_cursor.First();
}

void SqlDataset::Last()
{
    d->m_cursor.Last();
}

void SqlDataset::Next()
{
    d->m_cursor.Next();
}

void SqlDataset::Prior()
{
    d->m_cursor.Prior();
}

void SqlDataset::MoveTo(int row)
{
    d->m_cursor.MoveTo(row);
}

int SqlDataset::RecordCount() const
{
    if (!d->m_active) {
        return 0;
    }
    d->Settle();
    d->LearnCount();
    return d->Known();
}

bool SqlDataset::IsEmpty() const
{
    if (!d->m_active) {
        return true;
    }
    d->Settle();
    return d->m_fetched == 0;
}

int SqlDataset::FetchedRowCount() const
{
    if (!d->m_active) {
        return 0;
    }
    d->Settle();
    return d->Known();
}

bool SqlDataset::CanFetchMore() const
{
    return d->m_active && !d->m_pending && !d->m_count;
}

void SqlDataset::FetchMore()
{
    if (!d->m_active) {
        return;
    }
    d->Settle();
    if (d->FetchMore()) {
        NotifyRowsFetched();
    }
}

int SqlDataset::RecNo() const
{
    return d->m_cursor.RecNo();
}

bool SqlDataset::Bof() const
{
    return d->m_cursor.Bof();
}

bool SqlDataset::Eof() const
{
    return d->m_cursor.Eof();
}

QString SqlDataset::GetFilter() const
{
    return d->m_filterText;
}

void SqlDataset::SetFilter(const QString& expression)
{
    if (expression == d->m_filterText) {
        return;
    }
    if (!d->m_active) {
        d->m_filterText = expression;
        return;
    }
    std::shared_ptr<const filter::Node> root;
    SqlText condition =
        d->Translate(expression, GetFilterOptions(), d->m_filtered, &root); // may raise
    d->m_filterText = expression;
    if (!d->m_filtered) {
        return;
    }
    d->m_condition = std::move(condition);
    d->m_query->SetFew(d->NarrowsWholeView(root));
    d->m_root = std::move(root);
    if (ControlsDisabled()) {
        d->Defer();
        return;
    }
    d->RefreshAndNotify();
}

bool SqlDataset::GetFiltered() const
{
    return d->m_filtered;
}

void SqlDataset::SetFiltered(bool filtered)
{
    if (filtered == d->m_filtered) {
        return;
    }
    if (!d->m_active) {
        d->m_filtered = filtered;
        return;
    }
    std::shared_ptr<const filter::Node> root;
    SqlText condition =
        d->Translate(d->m_filterText, GetFilterOptions(), filtered, &root); // may raise
    d->m_filtered = filtered;
    d->m_condition = std::move(condition);
    d->m_root = std::move(root);
    d->m_query->SetFew(false);
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
    if (!d->m_active) {
        StoreFilterOptions(options);
        return;
    }
    d->CheckOptions(options); // may raise
    std::shared_ptr<const filter::Node> root;
    SqlText condition = d->Translate(d->m_filterText, options, d->m_filtered, &root); // may raise
    const std::vector<OrderColumn> order = d->BuildOrder(d->m_orderFieldNames, options);
    StoreFilterOptions(options);
    d->m_condition = std::move(condition);
    d->m_root = std::move(root);
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
    return Normalised(d->m_schema->fields.Def(field), values[field]);
}

void SqlDataset::PlanAhead(const QStringList& filters)
{
    if (!d->m_active || !d->Dialect().KeepsPlans()) {
        return;
    }
    // A filter whose view comes whole in one window is planned also as a keystroke that
    // narrows such a view reads it (no walks); one that many records meet is not: without
    // the walks its run would sort every match.
    std::vector<SqlText> conditions;
    for (const QString& filter : filters) {
        conditions.push_back(d->Translate(filter, GetFilterOptions(), true));
    }
    const int limit = d->m_window + 1;
    for (const SqlText& condition : conditions) {
        try {
            const SqlText statement = d->m_query->FirstWindowOf(condition, limit);
            QSqlQuery& result = d->m_session->Run(statement, d->What());
            int rows = 0;
            while (rows < limit && result.next()) {
                ++rows;
            }
            result.finish();
            if (rows == limit) {
                continue;
            }
            const SqlText narrowing = d->m_query->FirstWindowOf(condition, limit, true);
            if (narrowing.sql != statement.sql) {
                d->m_session->Run(narrowing, d->What()).finish();
            }
        } catch (const DatasetError&) {
            return; // a server that fails now fails each one: one time-out at most
        }
    }
}

int SqlDataset::FirstRowWhere(const QString& expression) const
{
    return d->FirstRowWhere(expression);
}

QString SqlDataset::GetServerCondition() const
{
    return d->m_condition.sql;
}

int SqlDataset::StatementCount() const
{
    return d->m_session ? d->m_session->StatementCount() : 0;
}

QString SqlDataset::LastStatement() const
{
    return d->m_session ? d->m_session->LastStatement() : QString();
}

} // namespace host
