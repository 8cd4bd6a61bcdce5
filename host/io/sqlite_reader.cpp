#include "host/io/sqlite_reader.h"

#include <QFile>
#include <sqlite3.h>

namespace host::io {

void SqliteCloser::operator()(sqlite3* db) const
{
    sqlite3_close_v2(db);
}

void SqliteCloser::operator()(sqlite3_stmt* statement) const
{
    sqlite3_finalize(statement);
}

bool SqliteReader::Fail()
{
    m_failed = true;
    m_error = QString::fromUtf8(sqlite3_errmsg(m_db.get()));
    return false;
}

bool SqliteReader::Open(const QString& path)
{
    m_statement.reset();
    m_failed = false;
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    m_db.reset(raw);
    if (rc != SQLITE_OK) {
        m_failed = true;
        m_error = QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
        return false;
    }
    return true;
}

bool SqliteReader::ForbidChanges()
{
    if (sqlite3_exec(m_db.get(), "PRAGMA query_only = 1", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Fail();
    }
    return true;
}

bool SqliteReader::Prepare(const QString& sql)
{
    m_statement.reset();
    m_failed = false;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    const char* rest = nullptr;
    const int rc = sqlite3_prepare_v2(m_db.get(), text.constData(), static_cast<int>(text.size()),
                                      &statement, &rest);
    m_statement.reset(statement);
    m_rest = rest != nullptr ? QByteArray(rest) : QByteArray();
    return rc == SQLITE_OK || Fail();
}

bool SqliteReader::HasMoreStatements() const
{
    const QByteArray rest = m_rest.trimmed();
    return !rest.isEmpty() && rest != ";";
}

bool SqliteReader::IsReadOnly() const
{
    return sqlite3_stmt_readonly(m_statement.get()) != 0;
}

int SqliteReader::ColumnCount() const
{
    return sqlite3_column_count(m_statement.get());
}

QString SqliteReader::ColumnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_statement.get(), column));
}

QString SqliteReader::DeclaredType(int column) const
{
    const char* declared = sqlite3_column_decltype(m_statement.get(), column);
    return QString::fromUtf8(declared ? declared : "");
}

bool SqliteReader::Next()
{
    const int step = sqlite3_step(m_statement.get());
    if (step == SQLITE_ROW) {
        return true;
    }
    if (step != SQLITE_DONE) {
        Fail();
    }
    return false;
}

SqliteValue SqliteReader::Type(int column) const
{
    switch (sqlite3_column_type(m_statement.get(), column)) {
    case SQLITE_INTEGER:
        return SqliteValue::Integer;
    case SQLITE_FLOAT:
        return SqliteValue::Float;
    case SQLITE_TEXT:
        return SqliteValue::Text;
    case SQLITE_BLOB:
        return SqliteValue::Blob;
    default:
        return SqliteValue::Null;
    }
}

std::int64_t SqliteReader::Integer(int column) const
{
    return sqlite3_column_int64(m_statement.get(), column);
}

double SqliteReader::Float(int column) const
{
    return sqlite3_column_double(m_statement.get(), column);
}

std::string_view SqliteReader::Text(int column) const
{
    // The text first: its length is that of the value once converted to text.
    const auto* text =
        reinterpret_cast<const char*>(sqlite3_column_text(m_statement.get(), column));
    const auto bytes = static_cast<std::size_t>(sqlite3_column_bytes(m_statement.get(), column));
    return {text ? text : "", bytes};
}

std::int64_t SqliteReader::Bytes(int column) const
{
    return sqlite3_column_bytes(m_statement.get(), column);
}

bool SqliteReader::ReadStrings(const QString& sql, QStringList& out)
{
    if (!Prepare(sql)) {
        return false;
    }
    while (Next()) {
        out << QString::fromUtf8(Text(0).data());
    }
    return !m_failed;
}

} // namespace host::io
