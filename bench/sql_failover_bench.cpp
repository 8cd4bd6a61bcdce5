// The live search over a primary and a hot standby (scripts/pg-cluster start-replicated):
// many tills at once spread over both servers, typing back to back and at a cashier's
// pace; how long the search form takes to answer a key from the other server after
// the one in use stops or hangs; and from its local copy after every server stops.
// Prints "result" lines of key=value pairs; the servers are stopped, frozen and started
// again through scripts/pg-cluster.
#include "bench/form_path.h"
#include "bench/till.h"
#include "bench/timing.h"
#include "host/platform/platform.h"
#include "host/sql/database_url.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QStringList>
#include <QUrlQuery>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <touchsearch/application.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/sql_dataset.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const QString kTable = QStringLiteral("clientes");
const QString kField = QStringLiteral("NMCLIENTE");
constexpr int kScreenRows = 12;

// Names typed in the failover runs: all but the last letter before the server goes,
// the last one after.
const char* const kFailoverNames[] = {"MARIA", "JOAO P", "ANA C", "PEDRO", "LUCAS M", "SANDRA"};

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

[[noreturn]] void Fail(const QString& why)
{
    throw std::runtime_error(why.toStdString());
}

// The replicated pair: its URIs and the script that stops, freezes and starts its servers.
class Pair {
public:
    Pair(QString dir, QString primary, QString standby)
        : m_dir(std::move(dir)), m_primary(std::move(primary)), m_standby(std::move(standby))
    {
    }

    const QString& Primary() const { return m_primary; }
    const QString& Standby() const { return m_standby; }

    // Both hosts in one URI, first the one named first.
    QString Both(bool standbyFirst, const char* sessionAttrs) const
    {
        const QString& first = standbyFirst ? m_standby : m_primary;
        const QString& second = standbyFirst ? m_primary : m_standby;
        return first.section(u'?', 0, 0) +
               QStringLiteral("?host=%1,%2&port=%3,%4&target_session_attrs=%5")
                   .arg(Query(first, "host"), Query(second, "host"), Query(first, "port"),
                        Query(second, "port"), QLatin1String(sessionAttrs));
    }

    // scripts/pg-cluster halt|freeze|thaw|restart DIR primary|standby
    void Do(const char* command, const char* role) const
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(BENCH_PG_CLUSTER_SCRIPT),
                      {QLatin1String(command), m_dir, QLatin1String(role)});
        if (!process.waitForFinished(180000) || process.exitCode() != 0) {
            Fail(QStringLiteral("pg-cluster %1 %2 failed: %3")
                     .arg(QLatin1String(command), QLatin1String(role),
                          QString::fromLocal8Bit(process.readAll())));
        }
    }

    // Waits (bounded) until the standby answers as a standby and holds all the primary
    // wrote.
    void WaitForStandby() const
    {
        const QString target = Ask(m_primary, "SELECT pg_current_wal_insert_lsn()").toString();
        const auto deadline = Clock::now() + std::chrono::seconds(120);
        const QString caughtUp = QStringLiteral("SELECT pg_is_in_recovery() AND "
                                                "pg_last_wal_replay_lsn() >= '%1'::pg_lsn")
                                     .arg(target);
        while (Clock::now() < deadline) {
            try {
                if (Ask(m_standby, caughtUp.toUtf8().constData()).toBool()) {
                    return;
                }
            } catch (const std::exception&) {
                // still starting
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Fail(QStringLiteral("the standby did not come back within 120 s"));
    }

    static QVariant Ask(const QString& uri, const char* sql)
    {
        const host::sql::ScopedDatabase db(uri);
        QSqlQuery query(db.Database());
        if (!query.exec(QString::fromLatin1(sql)) || !query.next()) {
            Fail(QStringLiteral("cannot ask %1: %2").arg(QLatin1String(sql), uri));
        }
        return query.value(0);
    }

private:
    static QString Query(const QString& uri, const char* key)
    {
        return QUrlQuery(uri.section(u'?', 1)).queryItemValue(QLatin1String(key));
    }

    QString m_dir;
    QString m_primary;
    QString m_standby;
};

void Configure(host::SqlDataset& dataset, const QString& url)
{
    dataset.SetDatabaseUrl(url);
    dataset.SetTableName(kTable);
    dataset.SetOrderFields({kField});
    dataset.SetFilterOptions(host::FilterOption::CaseInsensitive);
}

// Whether the dataset's connection is on a standby (asked on the caller's thread, the
// dataset's).
bool OnStandby(const host::SqlDataset& dataset)
{
    QSqlQuery query(QSqlDatabase::database(dataset.GetConnectionName(), false));
    return query.exec(QStringLiteral("SELECT pg_is_in_recovery()")) && query.next() &&
           query.value(0).toBool();
}

// The codes of the first screen of records.
QStringList FirstScreen(host::SqlDataset& dataset)
{
    QStringList codes;
    const int rows = std::min(dataset.FetchedRowCount(), kScreenRows);
    for (int row = 0; row < rows; ++row) {
        QStringList values;
        for (int f = 0; f < dataset.GetFieldCount(); ++f) {
            values << dataset.DisplayText(row, f);
        }
        codes << values.join(u'|');
    }
    return codes;
}

// What a search for the text finds on the primary alone: the first screen and the count.
struct Expected {
    QStringList screen;
    int count = 0;
};

Expected Reference(const Pair& pair, const QString& typed)
{
    host::SqlDataset dataset;
    Configure(dataset, pair.Primary());
    dataset.Open();
    dataset.SetFilter(bench::TillFilter(typed));
    dataset.SetFiltered(true);
    return {FirstScreen(dataset), dataset.RecordCount()};
}

// --- Many tills at once ---

struct TillsResult {
    std::vector<double> times;
    int onStandby = 0;
    int failures = 0;
};

// One till: its own dataset and connection (even tills name the standby first, odd ones
// the primary, any role will do), opened one at a time, typing seeded names at its pace.
void Till(const QString& url, int seed, int keystrokes, bench::Pace pace, TillsResult& result,
          std::mutex& lock, std::mutex& opening, std::latch& open)
{
    host::SqlDataset dataset;
    Configure(dataset, url);
    bool standby = false;
    {
        const std::lock_guard guard(opening);
        dataset.Open();
        standby = OnStandby(dataset);
    }
    open.arrive_and_wait();
    QRandomGenerator random(static_cast<quint32>(seed));
    bench::KeyClock clock(pace, random);
    std::vector<double> mine;
    int failures = 0;
    while (static_cast<int>(mine.size()) < keystrokes) {
        const QString name = bench::TillName(random);
        for (int length = 1; length <= name.size() && static_cast<int>(mine.size()) < keystrokes;
             ++length) {
            mine.push_back(clock.Key([&] {
                try {
                    (void)bench::TillKeystroke(dataset, name.left(length));
                } catch (const std::exception&) {
                    ++failures;
                }
            }));
        }
        clock.NextText();
    }
    const std::lock_guard guard(lock);
    result.times.insert(result.times.end(), mine.begin(), mine.end());
    result.onStandby += standby ? 1 : 0;
    result.failures += failures;
}

TillsResult Tills(const Pair& pair, int count, int keystrokes, bench::Pace pace)
{
    TillsResult result;
    std::mutex lock;
    std::mutex opening;
    std::latch open(count);
    std::vector<std::thread> threads;
    const QString standbyFirst = pair.Both(true, "any");
    const QString primaryFirst = pair.Both(false, "any");
    for (int t = 0; t < count; ++t) {
        threads.emplace_back([&, t] {
            Till(t % 2 == 0 ? standbyFirst : primaryFirst, 2000 + t, keystrokes, pace, result, lock,
                 opening, open);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return result;
}

void PrintTills(const char* what, const TillsResult& result)
{
    std::printf(" %s_p50_ms=%.3f %s_p99_ms=%.3f %s_max_ms=%.3f %s_keys=%zu %s_failed=%d", what,
                bench::Percentile(result.times, 0.5), what, bench::Percentile(result.times, 0.99),
                what, bench::Worst(result.times), what, result.times.size(), what, result.failures);
}

// --- A server going away under the search form ---

// Messages the form would show; none is expected.
QStringList& Messages()
{
    static QStringList messages;
    return messages;
}

// One run: the form on the standby, a name typed but for its last letter, the server
// taken away (stop: the standby halted; freeze: the standby stopped with SIGSTOP; offline:
// both halted, the dataset with a local copy; hung: both frozen, with the copy), then the
// last letter. Returns the time from the server gone to that key answered; raises when
// the key was not answered by the other host (or the copy) with the whole text and the
// records the primary gives. retryMs: for hung, what the next dialog's try of the servers
// (TryServerAgain) costs while they still hang.
double AwayOnce(const Pair& pair, const char* how, const QString& name, const QString& copy,
                std::vector<double>& retryMs)
{
    const bool hung = qstrcmp(how, "hung") == 0;
    const bool offline = hung || qstrcmp(how, "offline") == 0;
    const Expected expected = Reference(pair, name);
    host::SqlDataset dataset;
    Configure(dataset, pair.Both(true, "prefer-standby"));
    if (offline) {
        dataset.SetLocalCopy(copy, 3600);
    }
    dataset.Open();
    if (!OnStandby(dataset)) {
        Fail(QStringLiteral("%1: the dataset did not open on the standby").arg(QLatin1String(how)));
    }
    const auto deadline = Clock::now() + std::chrono::seconds(300);
    while (dataset.IsRefreshingLocalCopy() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (offline && (!QFile::exists(copy) || !dataset.LocalCopyFailure().isEmpty())) {
        Fail(QStringLiteral("no local copy: %1").arg(dataset.LocalCopyFailure()));
    }
    Messages().clear();
    double ms = 0;
    {
        bench::FormPath path(dataset, QString());
        for (qsizetype i = 0; i + 1 < name.size(); ++i) {
            path.Type(name[i].toLatin1());
        }
        if (offline) {
            pair.Do(hung ? "freeze" : "halt", "standby");
            pair.Do(hung ? "freeze" : "halt", "primary");
        } else {
            pair.Do(qstrcmp(how, "stop") == 0 ? "halt" : "freeze", "standby");
        }
        const Clock::time_point gone = Clock::now();
        path.Type(name.back().toLatin1());
        ms = MsSince(gone);
        const QString where =
            offline ? QStringLiteral("the local copy") : QStringLiteral("the primary");
        if (!Messages().isEmpty()) {
            Fail(QStringLiteral("%1: the form said \"%2\"")
                     .arg(QLatin1String(how), Messages().join(u' ')));
        }
        if (path.SearchText().compare(name, Qt::CaseInsensitive) != 0 ||
            dataset.GetFilter() != bench::TillFilter(name)) {
            Fail(QStringLiteral("%1: typed \"%2\", the search holds \"%3\" (filter %4)")
                     .arg(QLatin1String(how), name, path.SearchText(), dataset.GetFilter()));
        }
        if (offline ? !dataset.IsOnLocalCopy() : OnStandby(dataset)) {
            Fail(QStringLiteral("%1: the key was not answered by %2")
                     .arg(QLatin1String(how), where));
        }
        if (FirstScreen(dataset) != expected.screen || dataset.RecordCount() != expected.count) {
            Fail(QStringLiteral("%1: %2 shows other records for \"%3\"")
                     .arg(QLatin1String(how), where, name));
        }
    }
    if (hung) {
        retryMs.push_back(bench::TimeMs([&] {
            if (dataset.TryServerAgain()) {
                Fail(QStringLiteral("hung: a frozen server answered"));
            }
        }));
        pair.Do("thaw", "primary");
        pair.Do("thaw", "standby");
    } else if (offline) {
        pair.Do("restart", "primary");
        pair.Do("restart", "standby");
    } else if (qstrcmp(how, "stop") == 0) {
        pair.Do("restart", "standby");
    } else {
        pair.Do("thaw", "standby");
    }
    pair.WaitForStandby();
    return ms;
}

void Away(const Pair& pair, const char* how, int repeats, const QString& copy)
{
    std::vector<double> times;
    std::vector<double> retries;
    for (int r = 0; r < repeats; ++r) {
        const QString name =
            QString::fromLatin1(kFailoverNames[static_cast<size_t>(r) % std::size(kFailoverNames)]);
        times.push_back(AwayOnce(pair, how, name, copy, retries));
    }
    std::fprintf(stderr, "%s:", how);
    for (const double ms : times) {
        std::fprintf(stderr, " %.1f", ms);
    }
    std::fprintf(stderr, "\n");
    std::printf(" %s_median_ms=%.1f %s_worst_ms=%.1f %s_runs=%d", how, bench::Median(times), how,
                bench::Worst(times), how, repeats);
    if (!retries.empty()) {
        std::printf(" %s_retry_median_ms=%.1f", how, bench::Median(retries));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString dir;
    QString copy;
    QStringList lines{QStringLiteral("tills"), QStringLiteral("failover"),
                      QStringLiteral("offline")};
    int tills = 64;
    int cashierKeys = 160;
    int repeats = 5;
    bool createIndexes = false;
    bool usage = false;
    for (qsizetype i = 1; i < args.size() && !usage; ++i) {
        const QString& arg = args[i];
        const bool valued = i + 1 < args.size();
        if (arg == QLatin1String("--pair") && valued) {
            dir = args[++i];
        } else if (arg == QLatin1String("--copy") && valued) {
            copy = args[++i];
        } else if (arg == QLatin1String("--lines") && valued) {
            lines = args[++i].split(u',');
        } else if (arg == QLatin1String("--tills") && valued) {
            tills = args[++i].toInt();
        } else if (arg == QLatin1String("--cashier-keys") && valued) {
            cashierKeys = args[++i].toInt();
        } else if (arg == QLatin1String("--create-indexes")) {
            createIndexes = true;
        } else if (arg == QLatin1String("--repeats") && valued) {
            repeats = args[++i].toInt();
        } else {
            usage = true;
        }
    }
    if (usage || dir.isEmpty() || copy.isEmpty() || tills < 1 || repeats < 1) {
        std::cerr << "usage: sql_failover_bench --pair DIR --copy FILE [--lines "
                     "tills,failover,offline] [--tills N] [--cashier-keys N] [--repeats N] "
                     "[--create-indexes]\n"
                     "  DIR: a pair started with scripts/pg-cluster start-replicated DIR, the "
                     "table clientes loaded and indexed\n";
        return 2;
    }
    host::SetSleepFunction([](unsigned) {});
    host::Application::Instance().SetMessagePresenter(
        [](const QString&, const QString& text) { Messages().append(text); });
    auto read = [&](const char* name) {
        QFile file(dir + u'/' + QLatin1String(name));
        if (!file.open(QIODevice::ReadOnly)) {
            Fail(QStringLiteral("cannot read %1").arg(file.fileName()));
        }
        return QString::fromUtf8(file.readAll()).trimmed();
    };
    try {
        const Pair pair(dir, read("primary-uri"), read("standby-uri"));
        if (createIndexes) {
            const double ms = bench::TimeMs([&] {
                (void)host::SqlDataset::CreateSearchIndexes(pair.Primary(), kTable, {kField},
                                                            host::FilterOption::CaseInsensitive);
                // Their pages to disc now, not in the middle of the keystrokes.
                const host::sql::ScopedDatabase db(pair.Primary(),
                                                   host::sql::DatabaseAccess::Writable);
                QSqlQuery checkpoint(db.Database());
                (void)checkpoint.exec(QStringLiteral("CHECKPOINT"));
            });
            std::fprintf(stderr, "indexes: %.0f ms\n", ms);
        }
        pair.WaitForStandby();
        // The form's one-time costs (widgets, style, fonts) first.
        {
            host::ClientDataset tiny;
            tiny.AddField(kField, host::FieldType::Text, 60);
            tiny.AppendRecord({QStringLiteral("JOAO SILVA")});
            tiny.Open();
            bench::FormPath warm(tiny, QString());
            warm.Type('J');
        }
        if (lines.contains(QLatin1String("tills"))) {
            const TillsResult burst = Tills(pair, tills, 60, bench::Pace{});
            const TillsResult cashier = Tills(pair, tills, cashierKeys, bench::Pace{true});
            std::printf("result tills=%d on_standby=%d", tills, cashier.onStandby);
            PrintTills("burst", burst);
            PrintTills("cashier", cashier);
            std::printf("\n");
            std::fflush(stdout);
        }
        if (lines.contains(QLatin1String("failover"))) {
            std::printf("result failover");
            Away(pair, "stop", repeats, copy);
            Away(pair, "freeze", repeats, copy);
            std::printf("\n");
            std::fflush(stdout);
        }
        if (lines.contains(QLatin1String("offline"))) {
            QFile::remove(copy);
            std::printf("result offline");
            Away(pair, "offline", std::max(1, repeats - 2), copy);
            Away(pair, "hung", std::max(1, repeats - 2), copy);
            std::printf("\n");
        }
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::cerr << "\nsql_failover_bench: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
