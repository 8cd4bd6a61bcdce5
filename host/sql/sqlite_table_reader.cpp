#include "host/io/dataset_file.h"
#include "host/io/sqlite_reader.h"
#include "host/sql/sql_row_writer.h"
#include "host/sql/table_readers.h"

#include <QFileInfo>
#include <touchsearch/dataset_error.h>

namespace host::sql {
namespace {

using io::SqliteReader;
using io::SqliteValue;

void OpenReadOnly(SqliteReader& reader, const DatabaseUrl& url)
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
    if (!reader.Open(url.path))
        fail(reader.ErrorString());
    // Beside the read-only file, the connection itself refuses any change (a temporary
    // table too).
    if (!reader.ForbidChanges())
        fail(reader.ErrorString());
}

void Prepare(SqliteReader& reader, const QString& sql, const SqlRowWriter& writer)
{
    if (!reader.Prepare(sql))
        writer.Fail(reader.ErrorString());
    if (!reader.HasStatement())
        writer.Fail(QStringLiteral("the query is empty"));
    // One statement, and one that only reads: a second would never run, and one that
    // writes (a WITH … DELETE, say) is refused before it runs, not only by the
    // read-only connection when it tries.
    if (reader.HasMoreStatements())
        writer.Fail(QStringLiteral("the query holds more than one statement"));
    if (!reader.IsReadOnly())
        writer.Fail(QStringLiteral("the query would change the database"));
}

} // namespace

Table ReadSqliteRows(const DatabaseUrl& url, const QString& select, const QString& source)
{
    Table table;
    SqlRowWriter writer(table, source);
    SqliteReader reader;
    OpenReadOnly(reader, url);
    Prepare(reader, select, writer);
    const int columns = reader.ColumnCount();
    for (int c = 0; c < columns; ++c)
        writer.AddField(io::DefFromDeclared(reader.ColumnName(c), reader.DeclaredType(c)));
    while (reader.Next()) {
        writer.BeginRecord();
        for (int c = 0; c < columns; ++c) {
            const SqliteValue type = reader.Type(c);
            if (table.Def(c).binary && type != SqliteValue::Null) {
                writer.Bytes(c, reader.Bytes(c));
                continue;
            }
            switch (type) {
            case SqliteValue::Null:
                writer.Null(c);
                break;
            case SqliteValue::Integer:
                writer.Integer(c, reader.Integer(c));
                break;
            case SqliteValue::Float:
                writer.Float(c, reader.Float(c));
                break;
            case SqliteValue::Text:
            case SqliteValue::Blob:
                writer.Text(c, reader.Text(c));
                break;
            }
        }
    }
    if (reader.Failed())
        writer.Fail(reader.ErrorString());
    writer.Finish();
    return table;
}

QStringList SqliteTableNames(const DatabaseUrl& url)
{
    Table unused;
    const SqlRowWriter writer(unused, QStringLiteral("the tables of \"%1\"").arg(url.shown));
    SqliteReader reader;
    OpenReadOnly(reader, url);
    QStringList names;
    if (!reader.ReadStrings(QStringLiteral("SELECT name FROM sqlite_master WHERE type IN "
                                           "('table', 'view') AND name NOT LIKE 'sqlite_%' "
                                           "ORDER BY name"),
                            names))
        writer.Fail(reader.ErrorString());
    return names;
}

} // namespace host::sql
