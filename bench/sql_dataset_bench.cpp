// What a search keystroke costs on a real database: SqlDataset over a generated table
// of customers in SQLite and PostgreSQL, as the form drives it (filter text, switch off
// and on with controls held, Enter's emptiness test, the first screen of rows).
//
//   sql_dataset_bench RECORDS [postgresql://...]   (SQLite always; PostgreSQL when given)
#include "host/sql/database_url.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <touchsearch/disabled_controls.h>
#include <touchsearch/sql_dataset.h>
#include <vector>

namespace {

const char* const kFirst = "'Maria','José','Ana','João','Antônio','Francisca','Carlos','Paulo',"
                           "'Lucas','Marcelo','Juliana','Mariana','Pedro','Rita','Sérgio','Vera'";
const char* const kLast = "'Silva','Santos','Oliveira','Souza','Lima','Pereira','Ferreira',"
                          "'Costa','Rodrigues','Almeida','Nascimento','Gonçalves','Araújo'";

void Exec(QSqlDatabase db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(query.lastError().text()));
        std::exit(2);
    }
}

void Generate(const QString& url, bool postgres, int records)
{
    const QString name =
        host::sql::OpenDatabase(url, host::sql::DatabaseAccess::Writable).connectionName();
    QSqlDatabase db = QSqlDatabase::database(name, false);
    Exec(db, QStringLiteral("DROP TABLE IF EXISTS clientes"));
    Exec(db, QStringLiteral("CREATE TABLE clientes (CODIGO integer PRIMARY KEY, NMCLIENTE "
                            "varchar(60), CIDADE varchar(30))"));
    if (postgres) {
        Exec(db, QStringLiteral("INSERT INTO clientes SELECT i, (ARRAY[%1])[1 + (i * 7) %% 16] || "
                                "' ' || (ARRAY[%2])[1 + (i * 13) %% 13] || ' ' || i, 'Cidade ' || "
                                "(i %% 500) FROM generate_series(1, %3) AS i")
                     .arg(QLatin1String(kFirst), QLatin1String(kLast))
                     .arg(records)
                     .replace(QLatin1String("%%"), QLatin1String("%")));
    } else {
        Exec(db, QStringLiteral("CREATE TEMP TABLE f(n, v)"));
        Exec(db, QStringLiteral("CREATE TEMP TABLE l(n, v)"));
        const QStringList first = QString::fromUtf8(kFirst).split(u',');
        const QStringList last = QString::fromUtf8(kLast).split(u',');
        for (int i = 0; i < first.size(); ++i) {
            Exec(db, QStringLiteral("INSERT INTO f VALUES (%1, %2)").arg(i).arg(first[i]));
        }
        for (int i = 0; i < last.size(); ++i) {
            Exec(db, QStringLiteral("INSERT INTO l VALUES (%1, %2)").arg(i).arg(last[i]));
        }
        Exec(db, QStringLiteral("WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s "
                                "WHERE i < %1) INSERT INTO clientes SELECT i, (SELECT v FROM f "
                                "WHERE n = (i * 7) % 16) || ' ' || (SELECT v FROM l WHERE n = "
                                "(i * 13) % 13) || ' ' || i, 'Cidade ' || (i % 500) FROM s")
                     .arg(records));
    }
    db = QSqlDatabase();
    host::sql::CloseDatabase(name);
}

double Ms(QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// One keystroke as the form applies it, then what the grid and Enter read.
double Keystroke(host::SqlDataset& ds, const QString& filter)
{
    QElapsedTimer timer;
    timer.start();
    host::WithControlsDisabled(ds, [&] {
        ds.SetFilter(filter);
        ds.SetFiltered(false);
        ds.SetFiltered(true);
    });
    (void)ds.IsEmpty();
    for (int row = 0; row < std::min(20, ds.FetchedRowCount()); ++row) {
        (void)ds.DisplayText(row, 1);
    }
    return Ms(timer);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void Measure(const char* server, const QString& url, int records)
{
    QElapsedTimer timer;
    timer.start();
    host::SqlDataset::CreateSearchIndexes(url, QStringLiteral("clientes"),
                                          {QStringLiteral("NMCLIENTE")});
    const double indexMs = Ms(timer);
    host::SqlDataset ds;
    ds.SetDatabaseUrl(url);
    ds.SetTableName(QStringLiteral("clientes"));
    ds.SetFilterOptions(host::FilterOption::CaseInsensitive);
    timer.restart();
    ds.Open();
    const double openMs = Ms(timer);
    std::vector<double> prefix;
    std::vector<double> contains;
    const int statements = ds.StatementCount();
    for (int repeat = 0; repeat < 3; ++repeat) {
        QString typed;
        for (const QChar c : QStringLiteral("MARIA SILVA")) {
            typed += c;
            prefix.push_back(Keystroke(ds, QStringLiteral("NMCLIENTE LIKE '%1%'").arg(typed)));
        }
        typed = QStringLiteral("%");
        for (const QChar c : QStringLiteral("SOUZA")) {
            typed += c;
            contains.push_back(Keystroke(ds, QStringLiteral("NMCLIENTE LIKE '%1%'").arg(typed)));
        }
    }
    const double perKey = static_cast<double>(ds.StatementCount() - statements) /
                          static_cast<double>(prefix.size() + contains.size());
    Keystroke(ds, QStringLiteral("NMCLIENTE LIKE 'M%'"));
    timer.restart();
    ds.Last();
    const double lastMs = Ms(timer);
    timer.restart();
    ds.MoveTo(ds.RecNo() / 2);
    (void)ds.DisplayText(ds.RecNo(), 1);
    const double farMs = Ms(timer);
    timer.restart();
    const int count = ds.RecordCount();
    const double countMs = Ms(timer);
    std::printf("%-10s records=%d index_ms=%.0f open_ms=%.1f prefix_median_ms=%.2f "
                "prefix_max_ms=%.2f contains_median_ms=%.2f contains_max_ms=%.2f "
                "statements_per_key=%.2f last_ms=%.1f far_row_ms=%.1f M_count=%d\n",
                server, records, indexMs, openMs, Median(prefix),
                *std::max_element(prefix.begin(), prefix.end()), Median(contains),
                *std::max_element(contains.begin(), contains.end()), perKey, lastMs, farMs, count);
    (void)countMs;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("clientes.db"));
    QFile(file).open(QIODevice::WriteOnly);
    const QString sqlite = QStringLiteral("sqlite:") + file;
    Generate(sqlite, false, records);
    Measure("SQLite", sqlite, records);
    if (argc > 2) {
        const QString postgres = QString::fromLocal8Bit(argv[2]);
        Generate(postgres, true, records);
        Measure("PostgreSQL", postgres, records);
    }
    return 0;
}
