// Keystroke latency of the search form over a live PostgreSQL table (SqlDataset,
// case-insensitive), beside QSqlTableModel with setFilter and select on the same table
// and filter; K tills typing at once, each on its own connection; and the time to fill
// a client dataset with the whole table. Prints one "result" line of key=value pairs.
#include "bench/form_path.h"
#include "bench/till.h"
#include "bench/timing.h"
#include "host/platform/platform.h"
#include "host/sql/database_url.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <latch>
#include <mutex>
#include <thread>
#include <touchsearch/client_dataset.h>
#include <touchsearch/sql_dataset.h>
#include <vector>

namespace {

constexpr int kScreenRows = 12;
constexpr int VK_BACK = 8;
const QString kTable = QStringLiteral("clientes");
const QString kField = QStringLiteral("NMCLIENTE");

std::vector<double> TypeEach(bench::FormPath& path, const char* text)
{
    std::vector<double> times;
    for (const char* c = text; *c; ++c) {
        times.push_back(path.Type(*c));
    }
    return times;
}

// The anchor: what a Qt developer would write, a table model re-selected per keystroke
// with the same condition, its first screen read.
double QSqlTableModelMs(const QString& url, const char* text)
{
    host::sql::ScopedDatabase db(url);
    QSqlTableModel model(nullptr, db.Database());
    model.setTable(kTable);
    // The same records in the same order as the live search gives them.
    model.setSort(model.fieldIndex(kField), Qt::AscendingOrder);
    std::vector<double> times;
    QString typed;
    for (const char* c = text; *c; ++c) {
        typed += QLatin1Char(*c);
        times.push_back(bench::TimeMs([&] {
            model.setFilter(QStringLiteral("upper(\"%1\") LIKE '%2%'").arg(kField, typed));
            model.select();
            const int rows = model.rowCount();
            double sink = 0;
            for (int row = 0; row < std::min(rows, kScreenRows); ++row) {
                for (int column = 0; column < model.columnCount(); ++column) {
                    sink += model.data(model.index(row, column)).toString().size();
                }
            }
            (void)sink;
        }));
    }
    return bench::Median(times);
}

// The searched table over a connection, ordered by the searched names under the
// search's options: with case ignored, the names' upper-cased index then gives each
// keystroke's first window.
void Configure(host::SqlDataset& dataset, const host::sql::ScopedDatabase& db,
               host::FilterOptions options)
{
    dataset.SetConnectionName(db.ConnectionName());
    dataset.SetTableName(kTable);
    dataset.SetOrderFields({kField});
    dataset.SetFilterOptions(options);
}

// One till: its own connection and dataset, typing seeded random names a character at a
// time, each keystroke the filter the form writes and its first screen read.
void Till(const QString& url, host::FilterOptions options, int seed, int keystrokes,
          std::vector<double>& times, std::mutex& lock, std::latch& open)
{
    host::sql::ScopedDatabase db(url);
    host::SqlDataset dataset;
    Configure(dataset, db, options);
    dataset.Open();
    // Typing starts when every till is open: the keystrokes meet each other, not the
    // openings' reading of the table.
    open.arrive_and_wait();
    QRandomGenerator random(static_cast<quint32>(seed));
    std::vector<double> mine;
    while (static_cast<int>(mine.size()) < keystrokes) {
        const QString name = bench::TillName(random);
        for (int length = 1; length <= name.size() && static_cast<int>(mine.size()) < keystrokes;
             ++length) {
            mine.push_back(bench::TillKeystroke(dataset, name.left(length)));
        }
    }
    const std::lock_guard<std::mutex> guard(lock);
    times.insert(times.end(), mine.begin(), mine.end());
}

std::vector<double> Tills(const QString& url, host::FilterOptions options, int count,
                          int keystrokes)
{
    std::vector<double> times;
    std::mutex lock;
    std::latch open(count);
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back(
            [&, t] { Till(url, options, 1000 + t, keystrokes, times, lock, open); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return times;
}

} // namespace

using bench::Print;

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool createIndexes = false;
    // The search is case-insensitive; --ignore-accents sets accents aside as well.
    host::FilterOptions options = host::FilterOption::CaseInsensitive;
    bool usage = args.size() < 3 || args[1] != QLatin1String("--url");
    for (qsizetype i = 3; i < args.size() && !usage; ++i) {
        if (args[i] == QLatin1String("--create-indexes")) {
            createIndexes = true;
        } else if (args[i] == QLatin1String("--ignore-accents")) {
            options |= host::FilterOption::IgnoreAccents;
        } else {
            usage = true;
        }
    }
    if (usage) {
        std::cerr << "usage: sql_keystroke_bench --url postgresql://... [--create-indexes] "
                     "[--ignore-accents]\n";
        return 2;
    }
    const QString url = args[2];
    host::SetSleepFunction([](unsigned) {});
    try {
        // The form's one-time costs (widgets, style, fonts) first.
        {
            host::ClientDataset tiny;
            tiny.AddField(kField, host::FieldType::Text, 60);
            tiny.AppendRecord({QStringLiteral("JOAO SILVA")});
            tiny.Open();
            bench::FormPath warm(tiny, QString());
            warm.Type('J');
        }
        double indexMs = 0;
        if (createIndexes) {
            host::sql::ScopedDatabase db(url);
            indexMs = bench::TimeMs([&] {
                host::SqlDataset::CreateSearchIndexes(db.ConnectionName(), kTable, {kField},
                                                      options);
            });
            // The load's and the indexes' pages go to disk now, not in the middle of the
            // keystrokes (PostgreSQL; best effort, it needs a superuser's rights).
            if (db.Database().driverName() == QLatin1String("QPSQL")) {
                QSqlQuery checkpoint(db.Database());
                (void)checkpoint.exec(QStringLiteral("CHECKPOINT"));
            }
        }
        const double baselineRss = bench::CurrentRssMb();

        const char* prefixText = "JOAO S";
        std::vector<double> prefix;
        std::vector<double> contains;
        std::vector<double> backspace;
        double openMs = 0;
        int prefixRows = 0;
        int records = 0;
        {
            host::sql::ScopedDatabase db(url);
            host::SqlDataset dataset;
            Configure(dataset, db, options);
            openMs = bench::TimeMs([&] { dataset.Open(); });
            bench::FormPath path(dataset, QString());
            openMs += path.OpenMs();
            prefix = TypeEach(path, prefixText);
            prefixRows = path.RowCount();
            for (int i = 0; i < 6; ++i) {
                backspace.push_back(path.KeyDown(VK_BACK));
            }
            path.Percent();
            contains = TypeEach(path, "SILVA");
            dataset.SetFilter(QString());
            records = dataset.RecordCount();
        }
        const double liveRss = bench::PeakRssMb();
        const double liveGrowth = bench::CurrentRssMb() - baselineRss;

        const double anchorMs = QSqlTableModelMs(url, prefixText);

        std::vector<std::pair<int, std::vector<double>>> tills;
        for (const int count : {1, 4, 16}) {
            tills.emplace_back(count, Tills(url, options, count, 60));
        }

        double loadMs = 0;
        int loaded = 0;
        {
            host::ClientDataset copy;
            loadMs = bench::TimeMs([&] { copy.LoadFromDatabase(url, kTable); });
            loaded = copy.TotalRecordCount();
        }

        // Each keystroke on standard error, for looking into a slow one.
        for (const auto& [what, times] :
             {std::pair{"prefix", prefix}, {"backspace", backspace}, {"contains", contains}}) {
            std::fprintf(stderr, "%s:", what);
            for (const double ms : times) {
                std::fprintf(stderr, " %.2f", ms);
            }
            std::fprintf(stderr, "\n");
        }
        std::vector<double> all = prefix;
        all.insert(all.end(), backspace.begin(), backspace.end());
        all.insert(all.end(), contains.begin(), contains.end());
        std::printf("result records=%d prefix_rows=%d", records, prefixRows);
        Print("open_ms", openMs);
        Print("prefix_ms", bench::Median(prefix));
        Print("prefix_max", bench::Worst(prefix));
        Print("contains_ms", bench::Median(contains));
        Print("bksp_ms", bench::Median(backspace));
        Print("first_ms", bench::Worst(all));
        Print("rss_mb", liveRss);
        Print("live_growth_mb", liveGrowth);
        Print("qsqltablemodel_ms", anchorMs);
        Print("vs_qsqltablemodel", anchorMs / std::max(bench::Median(prefix), 1e-6));
        for (const auto& [count, times] : tills) {
            std::printf(" tills%d_p50_ms=%.3f tills%d_p99_ms=%.3f", count,
                        bench::Percentile(times, 0.5), count, bench::Percentile(times, 0.99));
        }
        Print("index_ms", indexMs);
        std::printf(" copy_records=%d", loaded);
        Print("copy_ms", loadMs);
        std::printf("\n");
    } catch (const std::exception& e) {
        std::cerr << "sql_keystroke_bench: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
