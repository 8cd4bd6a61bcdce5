#include "host/io/dataset_file.h"
#include "host/sql/sql_row_writer.h"
#include "host/sql/table_readers.h"

#include <QFile>
#include <QFileInfo>
#include <memory>
#include <sqlite3.h>
#include <touchsearch/dataset_error.h>

namespace host::sql {
namespace {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

Db OpenReadOnly(const DatabaseUrl& url)
{
    const auto fail = [&](const QString& reason) {
        throw DatasetError(
            QStringLiteral("Cannot open the database \"%1\": %2").arg(url.shown, reason));
    };
    const QFileInfo file(url.path);
    if (!file.exists())
        fail(QStringLiteral("the file \"%1\" does not exist").arg(url.path));
    if (!file.isFile())
        fail(QStringLiteral("\"%1\" is not a file").arg(url.path));
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(url.path).constData(), &raw,
                                   SQLITE_OPEN_READONLY, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK)
        fail(QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    // Beside the read-only file, the connection itself refuses any change (a temporary
    // table too).
    if (sqlite3_exec(raw, "PRAGMA query_only = 1", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sqlite3_errmsg(raw)));
    return db;
}

Stmt Prepare(sqlite3* db, const QString& sql, const SqlRowWriter& writer)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const char* rest = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), static_cast<int>(text.size()), &stmt, &rest) !=
        SQLITE_OK)
        writer.Fail(QString::fromUtf8(sqlite3_errmsg(db)));
    Stmt prepared(stmt);
    if (!prepared)
        writer.Fail(QStringLiteral("the query is empty"));
    // One statement, and one that only reads: a second would never run, and one that
    // writes (a WITH … DELETE, say) is refused before it runs, not only by the
    // read-only connection when it tries.
    if (rest && QByteArray(rest).trimmed() != "" && QByteArray(rest).trimmed() != ";")
        writer.Fail(QStringLiteral("the query holds more than one statement"));
    if (!sqlite3_stmt_readonly(prepared.get()))
        writer.Fail(QStringLiteral("the query would change the database"));
    return prepared;
}

} // namespace

QString QuoteSqlIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

Table ReadSqliteRows(const DatabaseUrl& url, const QString& select, const QString& source)
{
    Table table;
    SqlRowWriter writer(table, source);
    const Db db = OpenReadOnly(url);
    const Stmt rows = Prepare(db.get(), select, writer);
    sqlite3_stmt* const stmt = rows.get();
    const int columns = sqlite3_column_count(stmt);
    for (int c = 0; c < columns; ++c) {
        const char* declared = sqlite3_column_decltype(stmt, c);
        writer.AddField(io::DefFromDeclared(QString::fromUtf8(sqlite3_column_name(stmt, c)),
                                            QString::fromUtf8(declared ? declared : "")));
    }
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(stmt)) == SQLITE_ROW) {
        writer.BeginRecord();
        for (int c = 0; c < columns; ++c) {
            if (table.Def(c).binary && sqlite3_column_type(stmt, c) != SQLITE_NULL) {
                writer.Bytes(c, sqlite3_column_bytes(stmt, c));
                continue;
            }
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_NULL:
                writer.Null(c);
                break;
            case SQLITE_INTEGER:
                writer.Integer(c, sqlite3_column_int64(stmt, c));
                break;
            case SQLITE_FLOAT:
                writer.Float(c, sqlite3_column_double(stmt, c));
                break;
            default: {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                const auto bytes = static_cast<size_t>(sqlite3_column_bytes(stmt, c));
                writer.Text(c, {text ? text : "", bytes});
                break;
            }
            }
        }
    }
    if (step != SQLITE_DONE)
        writer.Fail(QString::fromUtf8(sqlite3_errmsg(db.get())));
    writer.Finish();
    return table;
}

QStringList SqliteTableNames(const DatabaseUrl& url)
{
    Table unused;
    const SqlRowWriter writer(unused, QStringLiteral("the tables of \"%1\"").arg(url.shown));
    const Db db = OpenReadOnly(url);
    const Stmt names =
        Prepare(db.get(),
                QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view') "
                               "AND name NOT LIKE 'sqlite_%' ORDER BY name"),
                writer);
    QStringList result;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(names.get())) == SQLITE_ROW)
        result << QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(names.get(), 0)));
    if (step != SQLITE_DONE)
        writer.Fail(QString::fromUtf8(sqlite3_errmsg(db.get())));
    return result;
}

} // namespace host::sql
