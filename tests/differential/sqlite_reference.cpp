#include "tests/differential/sqlite_reference.h"

#include <QDate>
#include <QList>
#include <algorithm>
#include <sqlite3.h>
#include <stdexcept>

namespace differential {

namespace {

QString Quoted(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

[[noreturn]] void Fail(sqlite3* db, const QString& sql)
{
    throw std::runtime_error(QStringLiteral("SQLite: %1 in: %2")
                                 .arg(QString::fromUtf8(sqlite3_errmsg(db)), sql)
                                 .toStdString());
}

void Exec(sqlite3* db, const QString& sql)
{
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(db, sql);
    }
}

const char* SqlType(host::FieldType type)
{
    switch (type) {
    case host::FieldType::Text:
    case host::FieldType::Date:
        return "TEXT";
    case host::FieldType::Integer:
    case host::FieldType::Boolean:
        return "INTEGER";
    case host::FieldType::Float:
        return "REAL";
    }
    return "";
}

void BindText(sqlite3_stmt* stmt, int column, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt, column, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
}

bool IsBasicLatinLetter(uint c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsMark(uint c)
{
    const QChar::Category category = QChar::category(static_cast<char32_t>(c));
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
           category == QChar::Mark_Enclosing;
}

void Unaccent(sqlite3_context* context, int count, sqlite3_value** arguments)
{
    if (sqlite3_value_type(arguments[0]) != SQLITE_TEXT) {
        sqlite3_result_value(context, arguments[0]);
        return;
    }
    char letterCase = 0;
    if (count > 1 && sqlite3_value_type(arguments[1]) == SQLITE_TEXT) {
        letterCase = reinterpret_cast<const char*>(sqlite3_value_text(arguments[1]))[0];
    }
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(arguments[0])),
                          sqlite3_value_bytes(arguments[0]));
    QString out;
    for (const uint c : text.toUcs4()) {
        const char32_t code = static_cast<char32_t>(c);
        const QString one = QString::fromUcs4(&code, 1);
        const QList<uint> parts = one.normalized(QString::NormalizationForm_D).toUcs4();
        const bool folds = parts.size() > 1 && IsBasicLatinLetter(parts[0]) &&
                           std::all_of(parts.begin() + 1, parts.end(), IsMark);
        if (!folds) {
            out += one;
            continue;
        }
        QChar letter(static_cast<char16_t>(parts[0]));
        if (letterCase == 'U') {
            letter = letter.toUpper();
        } else if (letterCase == 'L') {
            letter = letter.toLower();
        }
        out += letter;
    }
    const QByteArray utf8 = out.toUtf8();
    sqlite3_result_text(context, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

} // namespace

SqliteReference::SqliteReference(const TableShape& table)
    : m_idColumn(Quoted(table.fields[static_cast<size_t>(table.idField)].name))
{
    if (sqlite3_open(":memory:", &m_db) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        throw std::runtime_error(
            ("SQLite: cannot open a memory database: " + message).toStdString());
    }
    try {
        for (const int arguments : {1, 2}) {
            if (sqlite3_create_function_v2(m_db, "unaccent", arguments,
                                           SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, Unaccent,
                                           nullptr, nullptr, nullptr) != SQLITE_OK) {
                Fail(m_db, QStringLiteral("unaccent"));
            }
        }
        Exec(m_db, QStringLiteral("PRAGMA case_sensitive_like = ON"));
        QStringList columns;
        for (const FieldShape& f : table.fields) {
            columns << Quoted(f.name) + u' ' + QLatin1String(SqlType(f.type));
        }
        Exec(m_db, QStringLiteral("CREATE TABLE t (%1)").arg(columns.join(QStringLiteral(", "))));
        Exec(m_db, QStringLiteral("BEGIN"));
        for (const QVariantList& row : table.rows) {
            Insert(table, row);
        }
        Exec(m_db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_finalize(m_insert);
        sqlite3_close(m_db);
        throw;
    }
}

void SqliteReference::Insert(const TableShape& table, const QVariantList& row)
{
    QStringList marks;
    for (int f = 0; f < table.FieldCount(); ++f) {
        marks << QStringLiteral("?");
    }
    const QString insert =
        QStringLiteral("INSERT INTO t VALUES (%1)").arg(marks.join(QStringLiteral(", ")));
    if (m_insert == nullptr && sqlite3_prepare_v2(m_db, insert.toUtf8().constData(), -1, &m_insert,
                                                  nullptr) != SQLITE_OK) {
        Fail(m_db, insert);
    }
    sqlite3_stmt* stmt = m_insert;
    for (int f = 0; f < table.FieldCount(); ++f) {
        const QVariant& v = row[f];
        const int column = f + 1;
        if (!v.isValid()) {
            sqlite3_bind_null(stmt, column);
            continue;
        }
        switch (table.fields[static_cast<size_t>(f)].type) {
        case host::FieldType::Text:
            BindText(stmt, column, v.toString());
            break;
        case host::FieldType::Date:
            BindText(stmt, column, v.toDate().toString(Qt::ISODate));
            break;
        case host::FieldType::Integer:
            sqlite3_bind_int64(stmt, column, v.toLongLong());
            break;
        case host::FieldType::Boolean:
            sqlite3_bind_int64(stmt, column, v.toBool() ? 1 : 0);
            break;
        case host::FieldType::Float:
            sqlite3_bind_double(stmt, column, v.toDouble());
            break;
        }
    }
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE) {
        Fail(m_db, insert);
    }
}

SqliteReference::~SqliteReference()
{
    sqlite3_finalize(m_insert);
    sqlite3_close(m_db);
}

std::vector<qint64> SqliteReference::SelectIds(const QString& where, const QString& orderBy) const
{
    QString sql = QStringLiteral("SELECT %1 FROM t").arg(m_idColumn);
    if (!where.isEmpty()) {
        sql += QStringLiteral(" WHERE ") + where;
    }
    sql += QStringLiteral(" ORDER BY ") + (orderBy.isEmpty() ? m_idColumn : orderBy);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        Fail(m_db, sql);
    }
    std::vector<qint64> ids;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        ids.push_back(sqlite3_column_int64(stmt, 0));
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        Fail(m_db, sql);
    }
    return ids;
}

} // namespace differential
