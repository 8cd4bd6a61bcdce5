// The same expressions over the same records in SQLite, where the semantics agree
// (case-sensitive LIKE, ASCII-only UPPER, byte-wise text order, NULL logic).
#include "tests/dataset/dataset_fixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <sqlite3.h>

using dataset_test::Filtered;

namespace {

std::vector<qint64> SqliteCodes(sqlite3* db, const QString& where)
{
    std::vector<qint64> codes;
    const QByteArray sql = ("SELECT CODIGO FROM dados WHERE " + where + " ORDER BY rowid").toUtf8();
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db) << " in " << sql.constData();
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
        codes.push_back(sqlite3_column_int64(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return codes;
}

} // namespace

TEST(SqliteCrossCheck, SameRecordsAsSqlite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("clientes.db");
    auto ds = dataset_test::MakeCustomers();
    ds->SaveToFile(path);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA case_sensitive_like = ON", nullptr, nullptr, nullptr),
              SQLITE_OK);

    const char* const expressions[] = {
        "UPPER(NMCLIENTE) LIKE 'JOAO%'",
        "UPPER(NMCLIENTE) LIKE 'JO%' AND ATIVO = 1",
        "NMCLIENTE LIKE 'Jo_o%'",
        "NMCLIENTE LIKE '%a%a%'",
        "NMCLIENTE LIKE '_é%'",
        "NMCLIENTE NOT LIKE 'J%'",
        "UPPER(NMCLIENTE) LIKE '%SILVA%' OR UPPER(NMCLIENTE) LIKE '%ARAúJO%'",
        "LOWER(NMCLIENTE) LIKE '%conceiÇÃo'",
        "UPPER(NMCLIENTE) = 'JOãO GONçALVES'",
        "NOT CODIGO = 1 AND CODIGO < 4",
        "ATIVO = 1 AND CODIGO = 2 OR CODIGO = 20",
        "NOT (ATIVO = 1)",
        "CODIGO IN (1, 3, 99)",
        "CODIGO NOT IN (1, NULL)",
        "UF IN ('RN', 'SP')",
        "CIDADE IS NULL OR ATIVO IS NULL",
        "LIMITE IS NOT NULL AND LIMITE * 2 >= 200",
        "CODIGO * 2 + 1 = 21",
        "-CODIGO < -10",
        "TRIM(CIDADE) = 'Natal'",
        "NMCLIENTE > 'Zz'",
        "NMCLIENTE < 'Ana Z' AND NMCLIENTE >= 'Ana'",
        "NASCIMENTO > '1989-12-31'",
        "NASCIMENTO LIKE '19_5%'",
        "NMCLIENTE = 'Zé D''Ávila'",
    };
    for (const char* expression : expressions) {
        const QString text = QString::fromUtf8(expression);
        std::vector<qint64> ours = Filtered(*ds, text);
        EXPECT_EQ(ours, SqliteCodes(db, text)) << expression;
    }
    sqlite3_close(db);
}
