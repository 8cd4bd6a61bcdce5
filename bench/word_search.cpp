#include "bench/word_search.h"

#include "bench/till.h"
#include "bench/timing.h"
#include "form/search_condition.h"
#include "form/search_text.h"
#include "host/sql/database_url.h"

#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <touchsearch/filter_text.h>
#include <touchsearch/sql_dataset.h>
#include <vector>

namespace bench {

namespace {

// The search column, then the further fields not equal to it.
QStringList Searched(const QString& searchColumn, const QStringList& fields)
{
    QStringList all{searchColumn};
    for (const QString& field : fields) {
        if (field.compare(searchColumn, Qt::CaseInsensitive) != 0) {
            all << field;
        }
    }
    return all;
}

void Check(QSqlQuery& query, bool ok)
{
    if (!ok) {
        throw std::runtime_error(query.lastError().text().toStdString());
    }
}

void Configure(host::SqlDataset& dataset, const host::sql::ScopedDatabase& db, const QString& table,
               const QString& searchColumn, host::FilterOptions options)
{
    dataset.SetConnectionName(db.ConnectionName());
    dataset.SetTableName(table);
    dataset.SetOrderFields({searchColumn});
    dataset.SetFilterOptions(options);
    // TS_BENCH_WINDOW=N: windows of N rows (SetWindowSize) instead of the default.
    if (const int window = qEnvironmentVariableIntValue("TS_BENCH_WINDOW"); window > 0) {
        dataset.SetWindowSize(window);
    }
}

// A 13-digit code as a scanner sends it (an EAN-13 of a Brazilian product).
QString Burst(QRandomGenerator& random)
{
    QString code = QStringLiteral("789");
    while (code.size() < 13) {
        code += QChar(u'0' + random.bounded(10));
    }
    return code;
}

struct Texts {
    QStringList names{QStringLiteral("MARIA SIL"), QStringLiteral("SILVA MA")};
    QStringList phones; // of the table
};

Texts TextsOf(const QString& url, const QString& table)
{
    Texts texts;
    host::sql::ScopedDatabase db(url);
    QSqlQuery query(db.Database());
    // Telephone numbers of a few customers spread over the table.
    Check(query, query.exec(QStringLiteral("SELECT \"FONE\" FROM %1 WHERE \"CODIGO\" IN "
                                           "(123457, 654321, 999001) ORDER BY \"CODIGO\"")
                                .arg(host::FieldNameInFilter(table))));
    while (query.next()) {
        texts.phones << query.value(0).toString();
    }
    if (texts.phones.isEmpty()) {
        texts.phones << QStringLiteral("11987654321");
    }
    return texts;
}

// What the form has the server plan as the dialog opens; its time in ms.
double PlanAhead(host::SqlDataset& dataset, const QString& searchColumn, const QStringList& fields)
{
    QStringList ahead;
    for (const QString& text : pesquisa::TextsAhead()) {
        ahead << WordsFilter(searchColumn, fields, text);
    }
    return TimeMs([&] { dataset.PlanAhead(ahead); });
}

void Till(const QString& url, const QString& table, const QString& searchColumn,
          const QStringList& fields, host::FilterOptions options, const Texts& texts, int seed,
          int keystrokes, Pace pace, bool warm, std::vector<double>& times,
          std::atomic<int>& failed, std::mutex& lock, std::latch& open,
          std::vector<std::pair<double, QString>>* keys)
{
    host::sql::ScopedDatabase db(url);
    host::SqlDataset dataset;
    Configure(dataset, db, table, searchColumn, options);
    // Opening measures the text fields no length is declared for, over the whole table:
    // sixteen at once take longer than a keystroke may.
    const int timeout = dataset.GetStatementTimeout();
    dataset.SetStatementTimeout(60000);
    dataset.Open();
    dataset.SetStatementTimeout(timeout);
    (void)PlanAhead(dataset, searchColumn, fields);
    QRandomGenerator random(static_cast<quint32>(seed));
    if (warm) {
        // A till that has searched before: each kind of text typed once, untimed, so that
        // its connection holds the statements' plans (as one kept open all day does).
        QRandomGenerator other(static_cast<quint32>(seed) + 1); // the timed keys unchanged
        for (const QString& text :
             {texts.names[0], texts.names[1], texts.phones.front(), Burst(other)}) {
            for (qsizetype length = 1; length <= text.size(); ++length) {
                try {
                    (void)bench::FilterKeystroke(
                        dataset, WordsFilter(searchColumn, fields, text.left(length)));
                } catch (const std::exception&) {
                    // untimed: only the timed keys' time-outs are counted
                }
            }
        }
    }
    open.arrive_and_wait();
    KeyClock clock(pace, random);
    std::vector<double> mine;
    std::vector<std::pair<double, QString>> typed;
    while (static_cast<int>(mine.size()) < keystrokes) {
        const int kind = random.bounded(4);
        const QString text = kind == 0   ? texts.names[0]
                             : kind == 1 ? texts.names[1]
                             : kind == 2 ? texts.phones[random.bounded(texts.phones.size())]
                                         : Burst(random);
        for (int length = 1; length <= text.size() && static_cast<int>(mine.size()) < keystrokes;
             ++length) {
            mine.push_back(clock.Key([&] {
                try {
                    (void)bench::FilterKeystroke(
                        dataset, WordsFilter(searchColumn, fields, text.left(length)));
                } catch (const std::exception&) {
                    // Not answered within the statement time-out: counted, and timed as
                    // long as it took.
                    ++failed;
                }
            }));
            typed.emplace_back(mine.back(), text.left(length));
        }
        clock.NextText();
    }
    const std::lock_guard<std::mutex> guard(lock);
    times.insert(times.end(), mine.begin(), mine.end());
    if (keys) {
        keys->insert(keys->end(), typed.begin(), typed.end());
    }
}

std::vector<double> Tills(const QString& url, const QString& table, const QString& searchColumn,
                          const QStringList& fields, host::FilterOptions options,
                          const Texts& texts, int count, int keystrokes, Pace pace,
                          std::atomic<int>& failed, bool warm = false,
                          std::vector<std::pair<double, QString>>* keys = nullptr)
{
    std::vector<double> times;
    std::mutex lock;
    std::latch open(count);
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back([&, t] {
            Till(url, table, searchColumn, fields, options, texts, 2000 + t, keystrokes, pace, warm,
                 times, failed, lock, open, keys);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return times;
}

} // namespace

QString WordsFilter(const QString& searchColumn, const QStringList& fields, const QString& typed)
{
    // Exactly what the form writes for a live dataset.
    return pesquisa::SearchCondition(pesquisa::AsciiUpper(typed), Searched(searchColumn, fields),
                                     false, true);
}

QString ExactFilter(const QString& searchColumn, const QStringList& fields, const QString& typed)
{
    return pesquisa::ExactCondition(pesquisa::ExactValue(typed), Searched(searchColumn, fields),
                                    false);
}

void MeasureWordSearches(const QString& url, const QString& table, const QString& searchColumn,
                         const QStringList& fields, host::FilterOptions options)
{
    const Texts texts = TextsOf(url, table);
    // TS_BENCH_TILLS_ONLY=1: only the 16 tills back to back, their slowest keys on
    // standard error.
    if (qEnvironmentVariableIntValue("TS_BENCH_TILLS_ONLY") == 1) {
        for (const bool warm : {false, true}) {
            std::atomic<int> failed = 0;
            std::vector<std::pair<double, QString>> keys;
            const std::vector<double> times = Tills(url, table, searchColumn, fields, options,
                                                    texts, 16, 60, Pace{}, failed, warm, &keys);
            std::sort(keys.begin(), keys.end(), std::greater<>());
            std::fprintf(stderr, "%s tills:\n", warm ? "warm" : "new");
            for (std::size_t k = 0; k < std::min<std::size_t>(keys.size(), 40); ++k) {
                std::fprintf(stderr, "%.2f %s\n", keys[k].first, qPrintable(keys[k].second));
            }
            std::printf(" words_tills16%s_p50_ms=%.3f words_tills16%s_p99_ms=%.3f",
                        warm ? "_warm" : "", Percentile(times, 0.5), warm ? "_warm" : "",
                        Percentile(times, 0.99));
        }
        return;
    }
    QRandomGenerator random(77);
    QStringList searches = {texts.names[0], texts.names[1], texts.phones.front(), Burst(random)};
    std::vector<std::string> names = {"maria_sil", "silva_ma", "phone", "burst"};
    // TS_BENCH_EXTRA="T1,T2": further texts typed and timed the same way, each on its own
    // (not in words_ms and words_max).
    const qsizetype kMeasured = searches.size();
    for (const QString& extra :
         qEnvironmentVariable("TS_BENCH_EXTRA").split(u',', Qt::SkipEmptyParts)) {
        searches << extra;
        names.push_back("extra" + std::to_string(names.size() - 3));
    }
    // TS_BENCH_STATEMENTS=1: each keystroke's statement on standard error, for EXPLAIN.
    const bool statements = qEnvironmentVariableIntValue("TS_BENCH_STATEMENTS") == 1;
    std::vector<double> all;
    std::vector<double> exact;
    int timeouts = 0;
    {
        host::sql::ScopedDatabase db(url);
        host::SqlDataset dataset;
        Configure(dataset, db, table, searchColumn, options);
        if (statements) {
            dataset.SetStatementTimeout(600000); // every statement, however slow
        }
        dataset.Open();
        Print("words_plan_ahead_ms", PlanAhead(dataset, searchColumn, fields));
        for (qsizetype s = 0; s < searches.size(); ++s) {
            std::vector<double> times;
            std::fprintf(stderr, "%s:", names[s].c_str());
            for (qsizetype length = 1; length <= searches[s].size(); ++length) {
                const QString typed = searches[s].left(length);
                try {
                    times.push_back(
                        bench::FilterKeystroke(dataset, WordsFilter(searchColumn, fields, typed)));
                } catch (const std::exception&) {
                    ++timeouts; // as slow as the time-out
                    times.push_back(dataset.GetStatementTimeout());
                }
                std::fprintf(stderr, " %.2f", times.back());
                if (statements) {
                    std::fprintf(stderr, "\n%s;\n", qPrintable(dataset.LastStatement()));
                }
                try {
                    exact.push_back(TimeMs([&] {
                        (void)dataset.FirstRowWhere(ExactFilter(searchColumn, fields, typed));
                    }));
                } catch (const std::exception&) {
                    ++timeouts;
                    exact.push_back(dataset.GetStatementTimeout());
                }
            }
            std::fprintf(stderr, "\n%s exact:", names[s].c_str());
            for (std::size_t k = exact.size() - static_cast<std::size_t>(searches[s].size());
                 k < exact.size(); ++k) {
                std::fprintf(stderr, " %.2f", exact[k]);
            }
            std::fprintf(stderr, "\n");
            std::printf(" words_%s_ms=%.3f words_%s_max=%.3f", names[s].c_str(), Median(times),
                        names[s].c_str(), Worst(times));
            if (s < kMeasured) {
                all.insert(all.end(), times.begin(), times.end());
            }
        }
    }
    Print("words_ms", Median(all));
    Print("words_max", Worst(all));
    Print("exact_ms", Median(exact));
    Print("exact_max", Worst(exact));
    std::printf(" words_timeouts=%d", timeouts);
    if (qEnvironmentVariableIntValue("TS_BENCH_SINGLE_ONLY") == 1) {
        return; // the tills left out
    }
    for (const int count : {1, 4, 16}) {
        std::atomic<int> failed = 0;
        const std::vector<double> times =
            Tills(url, table, searchColumn, fields, options, texts, count, 60, Pace{}, failed);
        std::printf(
            " words_tills%d_p50_ms=%.3f words_tills%d_p99_ms=%.3f words_tills%d_timeouts=%d", count,
            Percentile(times, 0.5), count, Percentile(times, 0.99), count, failed.load());
    }
    // The same 16 tills, each having typed each kind of text once before (untimed).
    {
        std::atomic<int> failed = 0;
        const std::vector<double> times =
            Tills(url, table, searchColumn, fields, options, texts, 16, 60, Pace{}, failed, true);
        std::printf(" words_tills16_warm_p50_ms=%.3f words_tills16_warm_p99_ms=%.3f "
                    "words_tills16_warm_timeouts=%d",
                    Percentile(times, 0.5), Percentile(times, 0.99), failed.load());
    }
    // The same 16 tills at a cashier's pace, each key timed from when it was due.
    std::atomic<int> failed = 0;
    const std::vector<double> paced =
        Tills(url, table, searchColumn, fields, options, texts, 16, 80, Pace{true}, failed);
    std::printf(" words_cashier16_p50_ms=%.3f words_cashier16_p99_ms=%.3f "
                "words_cashier16_timeouts=%d",
                Percentile(paced, 0.5), Percentile(paced, 0.99), failed.load());
}

void EnsureNumberColumns(const QString& url, const QString& table)
{
    host::sql::ScopedDatabase db(url, host::sql::DatabaseAccess::Writable);
    QSqlDatabase database = db.Database();
    const QString quoted = host::FieldNameInFilter(table);
    const QSqlRecord columns = database.record(table);
    if (columns.contains(QStringLiteral("FONE")) && columns.contains(QStringLiteral("CPF"))) {
        return;
    }
    QSqlQuery query(database);
    const bool postgres = database.driverName() == QLatin1String("QPSQL");
    // FONE: 10 digits, or 11 beginning with 9 (a mobile); CPF: 11 digits, leading zeros kept.
    // The number (CODIGO times a large odd factor, modulo 10^digits) written with its
    // leading zeros.
    const auto number = [postgres](const QString& factor, const QString& modulus,
                                   const QString& digits) {
        const QString value = QStringLiteral("(CAST(\"CODIGO\" AS bigint) * ") + factor +
                              QStringLiteral(") % ") + modulus;
        return postgres
                   ? QStringLiteral("lpad(CAST(") + value + QStringLiteral(" AS text), ") + digits +
                         QStringLiteral(", '0')")
                   : QStringLiteral("printf('%0") + digits + QStringLiteral("d', ") + value + u')';
    };
    const QString fone =
        number(QStringLiteral("2654435761"), QStringLiteral("10000000000"), QStringLiteral("10"));
    const QString cpf =
        number(QStringLiteral("2654468537"), QStringLiteral("100000000000"), QStringLiteral("11"));
    for (const QString& statement :
         {postgres ? QStringLiteral("SET SESSION default_transaction_read_only = off") : QString(),
          QStringLiteral("ALTER TABLE %1 ADD COLUMN \"FONE\" TEXT").arg(quoted),
          QStringLiteral("ALTER TABLE %1 ADD COLUMN \"CPF\" TEXT").arg(quoted),
          QStringLiteral("UPDATE %1 SET \"FONE\" = CASE WHEN \"CODIGO\" % 3 = 0 THEN '' ELSE "
                         "'9' END || %2, \"CPF\" = %3")
              .arg(quoted, fone, cpf),
          postgres ? QStringLiteral("VACUUM FULL %1").arg(quoted) : QStringLiteral("VACUUM")}) {
        if (!statement.isEmpty()) {
            Check(query, query.exec(statement));
        }
    }
}

} // namespace bench
