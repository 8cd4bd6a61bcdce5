#include "tests/io/table_compare.h"

#include "host/storage/table.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace io_test {

void RunSql(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

std::string TableDifference(const host::Table& expected, const host::Table& actual)
{
    if (expected.tableName != actual.tableName) {
        return "table name " + expected.tableName.toStdString() + " / " +
               actual.tableName.toStdString();
    }
    if (expected.FieldCount() != actual.FieldCount()) {
        return "field count " + std::to_string(expected.FieldCount()) + " / " +
               std::to_string(actual.FieldCount());
    }
    for (int f = 0; f < expected.FieldCount(); ++f) {
        const host::FieldDef& a = expected.Def(f);
        const host::FieldDef& b = actual.Def(f);
        if (a.name != b.name || a.type != b.type || a.size != b.size || a.binary != b.binary) {
            return "field " + std::to_string(f) + ": " + a.name.toStdString() + " / " +
                   b.name.toStdString();
        }
    }
    if (expected.RecordCount() != actual.RecordCount()) {
        return "record count " + std::to_string(expected.RecordCount()) + " / " +
               std::to_string(actual.RecordCount());
    }
    for (std::uint32_t rec = 0; rec < expected.RecordCount(); ++rec) {
        for (int f = 0; f < expected.FieldCount(); ++f) {
            const QVariant a = expected.Col(f).ValueAt(rec);
            const QVariant b = actual.Col(f).ValueAt(rec);
            if (a != b || a.isNull() != b.isNull()) {
                return "record " + std::to_string(rec) + ", field " + std::to_string(f) + ": " +
                       a.toString().toStdString() + " / " + b.toString().toStdString();
            }
        }
    }
    return {};
}

} // namespace io_test
