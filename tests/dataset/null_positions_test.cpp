// NULLs survive at every position (the first record, either side of a 64-record flag
// word, the last record) for every field type, through append, SQLite load, CSV load
// and a save/load round trip.
#include "tests/dataset/dataset_fixture.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>
#include <sqlite3.h>

namespace {

constexpr int kRecords = 130;
const std::set<int> kNullAt{0, 63, 64, kRecords - 1};

struct Kind {
    const char* name;
    host::FieldType type;
    const char* sqlType;
};

const Kind kKinds[] = {
    {"TEXTO", host::FieldType::Text, "VARCHAR(20)"},
    {"NUMERO", host::FieldType::Integer, "INTEGER"},
    {"VALOR", host::FieldType::Float, "REAL"},
    {"ATIVO", host::FieldType::Boolean, "BOOLEAN"},
    {"DATA", host::FieldType::Date, "DATE"},
};

QVariant ValueFor(host::FieldType type, int rec)
{
    switch (type) {
    case host::FieldType::Text:
        return QStringLiteral("v%1").arg(rec);
    case host::FieldType::Integer:
        return QVariant::fromValue<qlonglong>(rec + 1);
    case host::FieldType::Float:
        return rec + 0.5;
    case host::FieldType::Boolean:
        return rec % 2 == 0;
    case host::FieldType::Date:
        return QDate(2000, 1, 1).addDays(rec);
    }
    return {};
}

// Every field NULL exactly at kNullAt; CODIGO numbers the records.
std::unique_ptr<host::ClientDataset> MakeBuiltInCode()
{
    auto dataset = std::make_unique<host::ClientDataset>();
    dataset->AddField("CODIGO", host::FieldType::Integer);
    for (const Kind& kind : kKinds) {
        dataset->AddField(kind.name, kind.type, kind.type == host::FieldType::Text ? 20 : 0);
    }
    for (int rec = 0; rec < kRecords; ++rec) {
        QVariantList values{QVariant::fromValue<qlonglong>(rec)};
        for (const Kind& kind : kKinds) {
            values.append(kNullAt.count(rec) ? QVariant() : ValueFor(kind.type, rec));
        }
        dataset->AppendRecord(values);
    }
    dataset->Open();
    return dataset;
}

void ExpectNullsOnlyWhereStored(host::ClientDataset& dataset, const QString& how)
{
    ASSERT_EQ(dataset.RecordCount(), kRecords) << how.toStdString();
    for (const Kind& kind : kKinds) {
        dataset.SetFiltered(false);
        const int field = dataset.FieldByName(kind.name)->GetIndex();
        for (int rec = 0; rec < kRecords; ++rec) {
            const QVariant value = dataset.Value(rec, field);
            if (kNullAt.count(rec)) {
                EXPECT_FALSE(value.isValid())
                    << how.toStdString() << ": " << kind.name << " record " << rec;
            } else {
                EXPECT_TRUE(value.isValid())
                    << how.toStdString() << ": " << kind.name << " record " << rec;
            }
        }
        const std::vector<qint64> nulls =
            dataset_test::Filtered(dataset, QStringLiteral("%1 IS NULL").arg(kind.name));
        EXPECT_EQ(nulls, (std::vector<qint64>{0, 63, 64, kRecords - 1}))
            << how.toStdString() << ": " << kind.name;
        const std::vector<qint64> notNull =
            dataset_test::Filtered(dataset, QStringLiteral("%1 IS NOT NULL").arg(kind.name));
        EXPECT_EQ(notNull.size(), static_cast<size_t>(kRecords - 4))
            << how.toStdString() << ": " << kind.name;
    }
    // A NULL text is not the empty text.
    EXPECT_TRUE(dataset_test::Filtered(dataset, "TEXTO = ''").empty()) << how.toStdString();
    dataset.SetFilter({});
    dataset.SetFiltered(false);
}

void RunSql(sqlite3* db, const QString& sql)
{
    ASSERT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
}

} // namespace

TEST(NullPositions, KeptThroughAppendSqliteCsvAndRoundTrip)
{
    QTemporaryDir dir;

    auto built = MakeBuiltInCode();
    ExpectNullsOnlyWhereStored(*built, "append");

    // Saved and loaded again: the file holds SQL NULLs where the records had them.
    const QString saved = dir.filePath("saved.db");
    built->SaveToFile(saved);
    host::ClientDataset reloaded;
    reloaded.LoadFromFile(saved);
    reloaded.Open();
    ExpectNullsOnlyWhereStored(reloaded, "save and load");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(saved).constData(), &db, SQLITE_OPEN_READONLY,
                                  nullptr),
                  SQLITE_OK);
        sqlite3_stmt* statement = nullptr;
        const char* tableQuery = "SELECT name FROM sqlite_master WHERE type = 'table'";
        ASSERT_EQ(sqlite3_prepare_v2(db, tableQuery, -1, &statement, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
        const QString table =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        const QString count =
            QStringLiteral("SELECT count(*) FROM \"%1\" WHERE TEXTO IS NULL AND NUMERO IS NULL "
                           "AND VALOR IS NULL AND ATIVO IS NULL AND DATA IS NULL")
                .arg(table);
        ASSERT_EQ(sqlite3_prepare_v2(db, count.toUtf8().constData(), -1, &statement, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(statement, 0), 4);
        sqlite3_finalize(statement);
        sqlite3_close(db);
    }

    // A database written by another program, NULL in its first row.
    const QString foreign = dir.filePath("foreign.db");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(foreign).constData(), &db), SQLITE_OK);
        RunSql(
            db,
            "CREATE TABLE clientes (CODIGO INTEGER, TEXTO VARCHAR(20), NUMERO INTEGER, VALOR REAL, "
            "ATIVO BOOLEAN, DATA DATE)");
        RunSql(db, "BEGIN");
        for (int rec = 0; rec < kRecords; ++rec) {
            if (kNullAt.count(rec)) {
                RunSql(db, QStringLiteral(
                               "INSERT INTO clientes VALUES (%1, NULL, NULL, NULL, NULL, NULL)")
                               .arg(rec));
            } else {
                RunSql(db,
                       QStringLiteral("INSERT INTO clientes VALUES (%1, 'v%1', %2, %1.5, %3, '%4')")
                           .arg(rec)
                           .arg(rec + 1)
                           .arg(rec % 2 == 0 ? 1 : 0)
                           .arg(QDate(2000, 1, 1).addDays(rec).toString(Qt::ISODate)));
            }
        }
        RunSql(db, "COMMIT");
        sqlite3_close(db);
    }
    host::ClientDataset fromSqlite;
    fromSqlite.LoadFromFile(foreign);
    fromSqlite.Open();
    ExpectNullsOnlyWhereStored(fromSqlite, "SQLite load");

    // CSV: an empty field is NULL, the first data row included. Types are inferred, so
    // the values are written in forms that read back as each type.
    const QString csv = dir.filePath("clientes.csv");
    {
        QFile file(csv);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("CODIGO,TEXTO,NUMERO,VALOR,ATIVO,DATA\n");
        for (int rec = 0; rec < kRecords; ++rec) {
            if (kNullAt.count(rec)) {
                file.write(QStringLiteral("%1,,,,,\n").arg(rec).toUtf8());
            } else {
                file.write(QStringLiteral("%1,v%1,%2,%1.5,%3,%4\n")
                               .arg(rec)
                               .arg(rec + 1)
                               .arg(rec % 2 == 0 ? "true" : "false")
                               .arg(QDate(2000, 1, 1).addDays(rec).toString(Qt::ISODate))
                               .toUtf8());
            }
        }
    }
    host::ClientDataset fromCsv;
    fromCsv.LoadFromFile(csv);
    fromCsv.Open();
    for (const Kind& kind : kKinds) {
        EXPECT_EQ(fromCsv.FieldByName(kind.name)->GetType(), kind.type) << kind.name;
    }
    ExpectNullsOnlyWhereStored(fromCsv, "CSV load");
}

TEST(NullPositions, OnlyRecordIsNullAndOrdersPutItFirst)
{
    host::ClientDataset dataset;
    dataset.AddField("CODIGO", host::FieldType::Integer);
    dataset.AddField("CIDADE", host::FieldType::Text, 20);
    dataset.AppendRecord({QVariant::fromValue<qlonglong>(1), QVariant()});
    dataset.AppendRecord({QVariant::fromValue<qlonglong>(2), QStringLiteral("")});
    dataset.AppendRecord({QVariant::fromValue<qlonglong>(3), QStringLiteral("Natal")});
    dataset.Open();
    EXPECT_EQ(dataset_test::Filtered(dataset, "CIDADE IS NULL"), (std::vector<qint64>{1}));
    EXPECT_EQ(dataset_test::Filtered(dataset, "CIDADE = ''"), (std::vector<qint64>{2}));
    dataset.SetFiltered(false);
    dataset.GetIndexDefs().Add("CIDADE", "CIDADE", {});
    dataset.SetIndexName("CIDADE");
    EXPECT_EQ(dataset_test::Codes(dataset), (std::vector<qint64>{1, 2, 3}));
}
