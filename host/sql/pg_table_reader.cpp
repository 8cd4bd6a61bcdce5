#include "host/sql/host_probe.h"
#include "host/sql/socket_watchdog.h"
#include "host/sql/sql_row_writer.h"
#include "host/sql/table_name.h"
#include "host/sql/table_readers.h"

#include <libpq-fe.h>
#include <memory>
#include <string_view>
#include <touchsearch/database.h>
#include <touchsearch/dataset_error.h>
#include <vector>

namespace host::sql {
namespace {

// PostgreSQL's type numbers (pg_type.oid) for the types a field takes.
enum PgType : Oid {
    kBool = 16,
    kBytea = 17,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kOid = 26,
    kFloat4 = 700,
    kFloat8 = 701,
    kBpchar = 1042,
    kVarchar = 1043,
    kDate = 1082,
    kNumeric = 1700,
};

// Rows come a batch at a time from a cursor: the whole result never sits in memory at
// once, and each batch is big enough that round trips do not count.
constexpr int kBatchRows = 20000;

struct ConnectionCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Connection = std::unique_ptr<PGconn, ConnectionCloser>;
using Result = std::unique_ptr<PGresult, ResultClearer>;

QString ErrorText(PGconn* connection)
{
    return QString::fromUtf8(PQerrorMessage(connection)).simplified();
}

// Connects to the URL's servers that answer (sql/host_probe.h), the session read-only.
Connection Connect(const DatabaseUrl& url)
{
    const auto refuse = [&](const QString& reason) {
        throw DatasetError(
            QStringLiteral("Cannot open the database \"%1\": %2").arg(url.shown, reason));
    };
    const HostChoice choice = ChooseHosts(url);
    if (choice.answering == 0)
        refuse(QStringLiteral("no server answers (%1)")
                   .arg(choice.failures.join(QStringLiteral("; "))));
    // The URI as written, so that every libpq parameter it holds applies; the keywords
    // after it override it.
    std::vector<QByteArray> texts{url.original.toUtf8(),      "UTF8",
                                  url.serverOptions.toUtf8(), choice.hosts.toUtf8(),
                                  choice.ports.toUtf8(),      choice.hostaddrs.toUtf8()};
    std::vector<const char*> keywords{"dbname", "client_encoding", "options", "host",
                                      "port",   "hostaddr"};
    const QStringList bounds = BoundingOptions(url);
    for (const QString& bound : bounds) {
        const qsizetype equals = bound.indexOf(QLatin1Char('='));
        texts.push_back(bound.left(equals).toUtf8());
        texts.push_back(bound.mid(equals + 2).chopped(1).toUtf8()); // key='value'
    }
    std::vector<const char*> values;
    for (size_t i = 0; i < 6; ++i)
        values.push_back(texts[i].constData());
    for (size_t i = 6; i < texts.size(); i += 2) {
        keywords.push_back(texts[i].constData());
        values.push_back(texts[i + 1].constData());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    Connection connection(PQconnectdbParams(keywords.data(), values.data(), 1));
    if (!connection || PQstatus(connection.get()) != CONNECTION_OK)
        refuse(connection ? ErrorText(connection.get()) : QStringLiteral("out of memory"));
    const SocketBound bound(PQsocket(connection.get()), url.timeoutMs);
    const Result readOnly(PQexec(connection.get(), kPostgreSqlReadOnly));
    if (!readOnly || PQresultStatus(readOnly.get()) != PGRES_COMMAND_OK)
        refuse(ErrorText(connection.get()));
    return connection;
}

// Every statement goes through the extended query protocol, which takes exactly one
// statement: a query that holds a second one (a COMMIT ending the read-only transaction,
// say) is refused by the server before anything of it runs.
//
// Each waits on the server at most boundMs (sql/socket_watchdog.h): the server's own
// statement_timeout ends a long query with its reason, the watchdog a server that hangs.
Result Exec(PGconn* connection, const QByteArray& sql, ExecStatusType expected,
            const SqlRowWriter& writer, int boundMs)
{
    SocketBound bound(PQsocket(connection), boundMs);
    Result result(
        PQexecParams(connection, sql.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0));
    if (bound.Fired())
        writer.Fail(QStringLiteral("the server did not answer within %1 ms").arg(boundMs));
    if (!result || PQresultStatus(result.get()) != expected) {
        QString reason = ErrorText(connection);
        if (PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) == std::string_view("57014"))
            reason = QStringLiteral("the query ran past the copy's time-out of %1 ms (%2)")
                         .arg(CopyTimeout())
                         .arg(reason);
        writer.Fail(reason);
    }
    return result;
}

FieldDef DefFor(const QString& name, Oid type, int modifier)
{
    FieldDef def;
    def.name = name;
    switch (type) {
    case kBool:
        def.type = FieldType::Boolean;
        break;
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        def.type = FieldType::Integer;
        break;
    case kNumeric:
        // numeric(p,s) with more digits than a double keeps: its text, as a live search
        // reads it (the modifier is p << 16 | s, plus a 4-byte header; none: -1).
        if (modifier >= 4 && ((modifier - 4) >> 16) > 15) {
            def.type = FieldType::Text;
            break;
        }
        def.type = FieldType::Float;
        break;
    case kFloat4:
    case kFloat8:
        def.type = FieldType::Float;
        break;
    case kDate:
        def.type = FieldType::Date;
        break;
    case kBytea:
        def.type = FieldType::Text; // bytes, shown as what they are
        def.binary = true;
        break;
    case kVarchar:
    case kBpchar:
        // The modifier of VARCHAR(n) and CHAR(n) is n plus a 4-byte header.
        def.type = FieldType::Text;
        def.size = modifier > 4 ? modifier - 4 : 0;
        break;
    default:
        // text, name, and every other type by its text form (timestamps, uuid, json, …)
        def.type = FieldType::Text;
        break;
    }
    return def;
}

// A value's text form; CHAR(n) without its trailing spaces, as PostgreSQL's cast to
// text gives it and as a live search reads it.
std::string_view Value(const PGresult* rows, int row, int field, bool padded)
{
    std::string_view value(PQgetvalue(rows, row, field),
                           static_cast<size_t>(PQgetlength(rows, row, field)));
    if (padded) {
        while (!value.empty() && value.back() == ' ')
            value.remove_suffix(1);
    }
    return value;
}

// The number of bytes of a bytea in its text form: hex ("\\x" and two digits a byte,
// the server's default) or escape (a byte as itself, "\\\\" or "\\ooo").
std::int64_t ByteaLength(std::string_view text)
{
    if (text.size() >= 2 && text[0] == '\\' && text[1] == 'x')
        return static_cast<std::int64_t>((text.size() - 2) / 2);
    std::int64_t bytes = 0;
    for (std::size_t i = 0; i < text.size(); ++bytes)
        i += text[i] != '\\' ? 1 : text.substr(i, 2) == "\\\\" ? 2 : 4;
    return bytes;
}

} // namespace

Table ReadPostgreSqlRows(const DatabaseUrl& url, const QString& select, const QString& source)
{
    Table table;
    SqlRowWriter writer(table, source);
    // libpq reads a statement up to its first NUL: the rest of the text would be lost.
    if (select.contains(QChar(u'\0')))
        writer.Fail(QStringLiteral("the query holds a NUL character"));
    const Connection connection = Connect(url);
    PGconn* const pg = connection.get();
    // The query runs inside a cursor in a read-only transaction. One statement cannot end
    // that transaction (COMMIT is no query a cursor takes), nor make it writable: the
    // mode cannot change once a query ran in it, and the session's defaults that a
    // set_config() changes apply only to transactions after it.
    // The server cancels a query running past the copy's time-out; the socket's bound is
    // a little longer, for a server that hangs and cancels nothing.
    const int copyMs = CopyTimeout();
    const int boundMs = copyMs + url.timeoutMs;
    Exec(pg, "SET statement_timeout = " + QByteArray::number(copyMs), PGRES_COMMAND_OK, writer,
         url.timeoutMs);
    Exec(pg, "BEGIN TRANSACTION READ ONLY", PGRES_COMMAND_OK, writer, url.timeoutMs);
    // Dates as YYYY-MM-DD, and the others as the server writes them ("infinity",
    // "0001-01-01 BC"), whatever the server's own setting.
    Exec(pg, "SET LOCAL DateStyle = 'ISO'", PGRES_COMMAND_OK, writer, url.timeoutMs);
    Exec(pg, "DECLARE ts_fill NO SCROLL CURSOR FOR " + select.toUtf8(), PGRES_COMMAND_OK, writer,
         boundMs);
    const QByteArray fetch = "FETCH FORWARD " + QByteArray::number(kBatchRows) + " FROM ts_fill";
    bool first = true;
    std::vector<bool> padded; // CHAR(n): the spaces that pad it are not part of the value
    for (;;) {
        const Result batch = Exec(pg, fetch, PGRES_TUPLES_OK, writer, boundMs);
        PGresult* const rows = batch.get();
        const int fields = PQnfields(rows);
        if (first) {
            for (int f = 0; f < fields; ++f) {
                writer.AddField(
                    DefFor(QString::fromUtf8(PQfname(rows, f)), PQftype(rows, f), PQfmod(rows, f)));
                padded.push_back(PQftype(rows, f) == kBpchar);
            }
            first = false;
        }
        const int count = PQntuples(rows);
        for (int r = 0; r < count; ++r) {
            writer.BeginRecord();
            for (int f = 0; f < fields; ++f) {
                if (PQgetisnull(rows, r, f))
                    writer.Null(f);
                else if (table.Def(f).binary)
                    writer.Bytes(f, ByteaLength(Value(rows, r, f, false)));
                else if (table.Def(f).type == FieldType::Date)
                    writer.DayOrRefuse(f, Value(rows, r, f, false));
                else
                    writer.Text(f, Value(rows, r, f, padded[static_cast<size_t>(f)]));
            }
        }
        if (count < kBatchRows)
            break;
    }
    // Nothing of the transaction is kept: it read only.
    Exec(pg, "ROLLBACK", PGRES_COMMAND_OK, writer, url.timeoutMs);
    writer.Finish();
    return table;
}

QStringList PostgreSqlTableNames(const DatabaseUrl& url)
{
    Table unused;
    const SqlRowWriter writer(unused, QStringLiteral("the tables of \"%1\"").arg(url.shown));
    const Connection connection = Connect(url);
    // The schema first in the search path (current_schema) lists its tables by name
    // alone, first; the others' follow schema by schema.
    const Result result =
        Exec(connection.get(),
             "SELECT n.nspname, c.relname, n.nspname = current_schema() AS here "
             "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
             "WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f') "
             "AND n.nspname NOT IN ('pg_catalog', 'information_schema') "
             "AND n.nspname NOT LIKE 'pg\\_toast%' AND n.nspname NOT LIKE 'pg\\_temp\\_%' "
             "AND has_schema_privilege(n.oid, 'USAGE') AND has_table_privilege(c.oid, 'SELECT') "
             "AND NOT c.relispartition "
             "ORDER BY here DESC, n.nspname, c.relname",
             PGRES_TUPLES_OK, writer, url.timeoutMs);
    QStringList names;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        sql::TableName name;
        name.name = QString::fromUtf8(PQgetvalue(result.get(), r, 1));
        if (PQgetvalue(result.get(), r, 2)[0] != 't')
            name.schema = QString::fromUtf8(PQgetvalue(result.get(), r, 0));
        names << name.Written();
    }
    return names;
}

QString PostgreSqlRelation(const DatabaseUrl& url, const QString& table, const QString& source)
{
    Table unused;
    const SqlRowWriter writer(unused, source);
    sql::TableName name;
    try {
        name = sql::TableName::Parse(table);
    } catch (const DatasetError& error) {
        writer.Fail(error.Message());
    }
    const Connection connection = Connect(url);
    const QByteArray relation = name.Sql().toUtf8();
    const char* const values[] = {relation.constData()};
    const SocketBound bound(PQsocket(connection.get()), url.timeoutMs);
    const Result result(PQexecParams(connection.get(), sql::kPostgresRelationQuery, 1, nullptr,
                                     values, nullptr, nullptr, 0));
    if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK)
        writer.Fail(ErrorText(connection.get()));
    if (PQntuples(result.get()) == 0)
        writer.Fail(sql::PostgresMissingRelation(name));
    const QString problem =
        sql::PostgresRelationProblem(QString::fromUtf8(PQgetvalue(result.get(), 0, 0)),
                                     QString::fromUtf8(PQgetvalue(result.get(), 0, 1)));
    if (!problem.isEmpty())
        writer.Fail(problem);
    return name.Sql();
}

} // namespace host::sql
