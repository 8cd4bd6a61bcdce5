// The pieces of the translation: text forms of numbers as the server writes them,
// prefix bounds, LIKE as GLOB, and literals that never reach the SQL text.
#include "host/filter/expression_parser.h"
#include "host/sql/keyset_query.h"
#include "host/sql/postgres_dialect.h"
#include "host/sql/sql_dialect.h"
#include "host/sql/sql_session.h"
#include "host/sql/sql_translation.h"
#include "host/sql/sqlite_dialect.h"
#include "host/storage/table.h"
#include "host/text/text_form.h"
#include "tests/sql/sql_fixture.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <initializer_list>
#include <random>
#include <utility>

namespace {

using sql_test::Server;

class ServerTextFormTest : public ::testing::TestWithParam<Server> {};

// A table of CODIGO (its key), NOME and the further fields named, translated for
// PostgreSQL, and the windows of its records ordered by NOME upper-cased (accents set
// aside when the options say so), then CODIGO.
struct PostgresTable {
    explicit PostgresTable(
        std::initializer_list<std::pair<const char*, host::FieldType>> further = {},
        host::FilterOptions filterOptions = host::FilterOption::CaseInsensitive)
        : options(filterOptions)
    {
        schema.AddField({QStringLiteral("CODIGO"), host::FieldType::Integer, 0});
        schema.AddField({QStringLiteral("NOME"), host::FieldType::Text, 10});
        for (const auto& [name, type] : further) {
            schema.AddField({QString::fromLatin1(name), type, 10});
        }
        for (int f = 0; f < schema.FieldCount(); ++f) {
            reads.push_back(u'"' + schema.Def(f).name + u'"');
        }
    }
    host::sql::SqlText Translate(const QString& filter) const
    {
        const host::filter::NodePtr root = host::filter::ParseFilter(filter, schema, options);
        return host::sql::TranslateFilter(*root, schema, dialect, reads);
    }
    host::sql::KeysetQuery ByName() const
    {
        return host::sql::KeysetQuery(
            dialect, QStringLiteral("\"t\""), QStringLiteral("\"CODIGO\", \"NOME\""),
            {{reads[1], host::sql::ValueKind::Text, 1, false, false, true,
              options.testFlag(host::FilterOption::IgnoreAccents)},
             {reads[0], host::sql::ValueKind::Int, 0, false, true, false}},
            QStringList{QStringLiteral("\"CODIGO\"")});
    }

    host::Table schema;
    std::vector<QString> reads;
    host::FilterOptions options;
    host::sql::PostgresDialect dialect;
};

// Every double's text form computed by the server equals ClientDataset's.
TEST_P(ServerTextFormTest, RealNumbersMeetTextInClientDatasetsForm)
{
    sql_test::TestDatabase db(GetParam());
    // Through the dataset's session, which prepares the connection as a search needs.
    host::sql::SqlSession session(db.ReaderConnection());
    session.Start();
    QSqlDatabase connection = session.Database();
    const std::unique_ptr<host::sql::SqlDialect> dialect =
        host::sql::SqlDialect::ForDriver(connection.driverName());
    std::mt19937_64 rng(99);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -1.0,
                                  0.1 + 0.2,
                                  1e15,
                                  1e14,
                                  999999999999999.0,
                                  9999999999999999.0,
                                  1e-4,
                                  1e-5,
                                  0.00012345,
                                  123456.789,
                                  1e300,
                                  -2.5e-300,
                                  1e21,
                                  5e-324,
                                  1.7976931348623157e308,
                                  2.0 / 3.0,
                                  100.0,
                                  1e16};
    for (int i = 0; i < 300; ++i) {
        const double mantissa = std::uniform_real_distribution<double>(-10, 10)(rng);
        const int exponent = static_cast<int>(rng() % 80) - 40;
        values.push_back(i % 4 == 0 ? std::round(mantissa * 1000)
                                    : mantissa * std::pow(10.0, exponent));
    }
    for (const double value : values) {
        host::sql::SqlText statement;
        const QString parameter = dialect->Parameter(statement, host::sql::ValueKind::Float, value);
        statement.sql =
            QStringLiteral("SELECT ") + dialect->TextOf(parameter, host::sql::ValueKind::Float);
        QSqlQuery query(connection);
        ASSERT_TRUE(query.prepare(statement.sql)) << query.lastError().text().toStdString();
        for (const QVariant& v : statement.values) {
            query.addBindValue(v);
        }
        ASSERT_TRUE(query.exec()) << query.lastError().text().toStdString();
        ASSERT_TRUE(query.next());
        char buffer[host::kTextFormBuffer];
        EXPECT_EQ(query.value(0).toString().toStdString(),
                  std::string(host::FloatText(value, buffer)))
            << "value " << value;
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerTextFormTest,
                         ::testing::Values(Server::Sqlite, Server::Postgres),
                         [](const ::testing::TestParamInfo<Server>& info) {
                             return std::string(sql_test::ServerName(info.param));
                         });

TEST(SqlTranslation, PrefixSuccessorIsTheNextTextInCodePointOrder)
{
    EXPECT_EQ(host::sql::PrefixSuccessor("AB"), "AC");
    EXPECT_EQ(host::sql::PrefixSuccessor("A\x7F"), "A\xC2\x80");           // U+007F -> U+0080
    EXPECT_EQ(host::sql::PrefixSuccessor("\xC3\xA7"), "\xC3\xA8");         // ç -> è
    EXPECT_EQ(host::sql::PrefixSuccessor("\xED\x9F\xBF"), "\xEE\x80\x80"); // past the surrogates
    EXPECT_EQ(host::sql::PrefixSuccessor("A\xF4\x8F\xBF\xBF"), "B");       // U+10FFFF carries
    EXPECT_EQ(host::sql::PrefixSuccessor("\xF4\x8F\xBF\xBF"), "");
    EXPECT_EQ(host::sql::PrefixSuccessor(""), "");
}

TEST(SqlTranslation, LikePatternsBecomeGlobPatternsThatMatchTheSame)
{
    EXPECT_EQ(host::sql::SqliteDialect::GlobOf("JO%"), "JO*");
    EXPECT_EQ(host::sql::SqliteDialect::GlobOf("_a%b_"), "?a*b?");
    EXPECT_EQ(host::sql::SqliteDialect::GlobOf("[*?]"), "[[][*][?]]");
}

TEST(SqlTranslation, OnlyNullableOrderColumnsSayWhereNullsGo)
{
    // An ordinary index serves "ASC" on a NOT NULL key; "ASC NULLS FIRST" would need an
    // index of its own on PostgreSQL, and a first window would sort every match.
    const host::sql::SqliteDialect dialect;
    EXPECT_EQ(dialect.OrderTerm(QStringLiteral("\"ID\""), host::sql::ValueKind::Int, false, false),
              QStringLiteral("\"ID\" ASC"));
    EXPECT_EQ(dialect.OrderTerm(QStringLiteral("\"ID\""), host::sql::ValueKind::Int, true, true),
              QStringLiteral("\"ID\" DESC NULLS LAST"));
}

TEST(SqlTranslation, LiteralsAreBoundNeverWritten)
{
    host::Table schema;
    schema.AddField({QStringLiteral("NOME"), host::FieldType::Text, 10});
    schema.AddField({QStringLiteral("N"), host::FieldType::Integer, 0});
    const host::sql::SqliteDialect dialect;
    const host::filter::NodePtr root = host::filter::ParseFilter(
        QStringLiteral("NOME = 'zzq''x' OR N IN (12345, 'qqw') OR NOME LIKE 'abc%' OR N > 4.75"),
        schema);
    const host::sql::SqlText sql = host::sql::TranslateFilter(*root, schema, dialect);
    for (const char* literal : {"zzq", "12345", "qqw", "abc", "4.75"}) {
        EXPECT_FALSE(sql.sql.contains(QLatin1String(literal))) << sql.sql.toStdString();
    }
    EXPECT_EQ(sql.sql.count(u'?'), sql.values.size()) << sql.sql.toStdString();
    EXPECT_TRUE(sql.values.contains(QStringLiteral("zzq'x")));
}

// A prefix goes to PostgreSQL as its range alone (planned once for any values, read in
// order off the index); a contains search is a LIKE checked entry by entry, planned for
// its pattern, whose window is read by its keys first.
TEST(SqlTranslation, PrefixesAreRangesAndContainsWindowsTakeTheirKeysFirst)
{
    const PostgresTable table;
    const auto translated = [&](const char* filter) {
        return table.Translate(QString::fromLatin1(filter));
    };
    const host::sql::SqlText prefix = translated("NOME LIKE 'JO%'");
    EXPECT_FALSE(prefix.scans);
    EXPECT_FALSE(prefix.sql.contains(QLatin1String("LIKE"))) << prefix.sql.toStdString();
    EXPECT_EQ(prefix.values, (QVariantList{QStringLiteral("JO"), QStringLiteral("JP")}));
    const host::sql::SqlText contains = translated("NOME LIKE '%JO%'");
    EXPECT_TRUE(contains.scans);
    EXPECT_TRUE(translated("NOME LIKE 'J_%'").scans); // not a plain prefix

    host::sql::KeysetQuery query = table.ByName();
    query.SetCondition(prefix);
    const host::sql::SqlText prefixWindow = query.Window(nullptr, false, 51, 0);
    EXPECT_FALSE(prefixWindow.scans);
    EXPECT_FALSE(prefixWindow.sql.contains(QLatin1String(" IN (SELECT")))
        << prefixWindow.sql.toStdString();
    query.SetCondition(contains);
    const host::sql::SqlText containsWindow = query.Window(nullptr, false, 51, 0);
    EXPECT_TRUE(containsWindow.scans);
    EXPECT_TRUE(query.Count().scans);
    EXPECT_TRUE(containsWindow.sql.startsWith(QLatin1String(
        "SELECT \"CODIGO\", \"NOME\" FROM \"t\" WHERE (\"CODIGO\") IN (SELECT \"CODIGO\" FROM")))
        << containsWindow.sql.toStdString();
    // Ordered upper-cased, the unique key after it.
    EXPECT_TRUE(containsWindow.sql.endsWith(QLatin1String(
        "ORDER BY (upper(\"NOME\" COLLATE \"C\")) COLLATE \"C\" ASC NULLS FIRST, \"CODIGO\" ASC")))
        << containsWindow.sql.toStdString();

    // A search of words over two fields: the walks of the order check each row by the
    // matches alone, the search through the indexes keeps their ranges and the words
    // after the first. Both with the same values, in the order of their placeholders.
    const host::sql::SqlText words =
        translated("(NOME LIKE 'JO%' OR NOME LIKE '% JO%' OR NOME LIKE '1%' OR CODIGO LIKE '1%')");
    ASSERT_TRUE(words.spread);
    ASSERT_TRUE(words.perRow);
    query.SetCondition(words);
    const host::sql::SqlText wordsWindow = query.Window(nullptr, false, 51, 0);
    const QString& sql = wordsWindow.sql;
    const qsizetype walks = sql.indexOf(QLatin1String("ts_walk AS MATERIALIZED ("));
    const qsizetype found = sql.indexOf(QLatin1String("UNION ALL SELECT * FROM (SELECT"));
    ASSERT_GE(walks, 0) << sql.toStdString();
    ASSERT_GT(found, walks) << sql.toStdString();
    const QString walked = sql.mid(walks, found - walks);
    EXPECT_FALSE(walked.contains(QLatin1String("strpos"))) << walked.toStdString();
    EXPECT_FALSE(walked.contains(QLatin1String(">= ?"))) << walked.toStdString();
    // Per walk: the two patterns of the name at once, the digits against the name as
    // stored, the code's text.
    EXPECT_EQ(walked.count(QLatin1String(" LIKE ")), 6) << walked.toStdString();
    EXPECT_TRUE(sql.mid(found).contains(QLatin1String("strpos"))) << sql.toStdString();
    EXPECT_EQ(wordsWindow.values.size(), sql.count(u'?')) << sql.toStdString();
    // The name's two patterns bound as one array, in its text form.
    EXPECT_EQ(wordsWindow.values.mid(0, 3),
              (QVariantList{QStringLiteral("{\"JO%\",\"% JO%\"}"), QStringLiteral("1%"),
                            QStringLiteral("1%")}));
    // The walks check a letter against the upper-cased name the order's index hands on
    // with each row, and a pattern without letters against the name as it is stored:
    // neither upper-cases a row again.
    const QLatin1String where(") AS ts_w WHERE ");
    qsizetype at = walked.indexOf(where);
    ASSERT_GE(at, 0) << walked.toStdString();
    for (; at >= 0; at = walked.indexOf(where, at + 1)) {
        const qsizetype from = at + where.size();
        const QString checked =
            walked.mid(from, walked.indexOf(QLatin1String(" ORDER BY"), from) - from);
        EXPECT_FALSE(checked.contains(QLatin1String("upper("))) << checked.toStdString();
        EXPECT_EQ(checked.count(QLatin1String("(ts_w.ts_o0) COLLATE \"C\" LIKE ANY")), 1)
            << checked.toStdString();
        EXPECT_EQ(checked.count(QLatin1String("(\"NOME\") COLLATE \"C\" LIKE")), 1)
            << checked.toStdString();
    }
}

// With accents set aside too, a walk folds no row for a pattern without letters: the
// text as stored holds its digits where the folded text does. A letter keeps the fold
// (the name's off the order's index), once a row for all the patterns of a text.
TEST(SqlTranslation, WalksCheckDigitsAgainstTheStoredTextWithAccentsSetAside)
{
    const PostgresTable table({{"FONE", host::FieldType::Text}},
                              host::FilterOptions(host::FilterOption::CaseInsensitive) |
                                  host::FilterOption::IgnoreAccents);
    host::sql::KeysetQuery query = table.ByName();
    const auto walked = [&](const char* typed) {
        const QString filter =
            QStringLiteral("NOME LIKE '%1%' OR NOME LIKE '% %1%' OR FONE LIKE '%1%' OR "
                           "FONE LIKE '% %1%'")
                .arg(QLatin1String(typed));
        query.SetCondition(table.Translate(filter));
        const QString sql = query.Window(nullptr, false, 51, 0).sql;
        const QLatin1String where(") AS ts_w WHERE ");
        const qsizetype from = sql.indexOf(where) + where.size();
        return sql.mid(from, sql.indexOf(QLatin1String(" ORDER BY"), from) - from);
    };
    const QString digits = walked("12");
    EXPECT_FALSE(digits.contains(QLatin1String("translate("))) << digits.toStdString();
    EXPECT_FALSE(digits.contains(QLatin1String("upper("))) << digits.toStdString();
    // Each text folded once a row, its two patterns matched at once.
    const QString letters = walked("JO");
    EXPECT_EQ(letters.count(QLatin1String("ts_w.ts_o0")), 1) << letters.toStdString();
    EXPECT_EQ(letters.count(QLatin1String("translate(")), 1) << letters.toStdString();
    EXPECT_EQ(letters.count(QLatin1String(" LIKE ANY (CAST(")), 2) << letters.toStdString();
}

// A search of two words over two fields found through the indexes: the records whose
// name begins with the first word are read apart, off the order's index, and so are those
// whose phone does, off the phone's; the other alternatives of that word are joined by OR,
// and the second word's terms stand once beside them (the server would take them out of
// each alternative anyway, after reading and planning them as many times).
TEST(SqlTranslation, TheOtherAlternativesShareTheRestOfTheConditionOnce)
{
    const PostgresTable table({{"FONE", host::FieldType::Text}});
    const host::sql::SqlText words = table.Translate(
        QStringLiteral("(NOME LIKE 'JO%' OR NOME LIKE '% JO%' OR FONE LIKE 'JO%' OR "
                       "FONE LIKE '% JO%') AND (NOME LIKE 'SI%' OR NOME LIKE '% SI%' OR "
                       "FONE LIKE 'SI%' OR FONE LIKE '% SI%')"));
    ASSERT_TRUE(words.alternatives);
    host::sql::KeysetQuery query = table.ByName();
    query.SetCondition(words);
    const host::sql::SqlText window = query.Window(nullptr, false, 51, 0);
    EXPECT_EQ(window.values.size(), window.sql.count(u'?')) << window.sql.toStdString();
    // "% SI%" twice in each of the two walks (in the arrays of patterns a text is matched
    // against at once), twice beside the names that begin with "JO", twice beside the
    // phones that do, twice beside the other alternatives.
    const auto bound = [&](const QString& pattern) {
        const QString element = u'"' + pattern + u'"';
        return std::count_if(window.values.begin(), window.values.end(), [&](const QVariant& v) {
            return v.toString() == pattern || v.toString().contains(element);
        });
    };
    EXPECT_EQ(bound(QStringLiteral("% SI%")), 10) << window.sql.toStdString();
    EXPECT_EQ(bound(QStringLiteral("% JO%")), 6) << window.sql.toStdString();
    const qsizetype found = window.sql.indexOf(QLatin1String("UNION ALL SELECT * FROM (SELECT"));
    ASSERT_GE(found, 0) << window.sql.toStdString();
    EXPECT_TRUE(window.sql.mid(found).contains(QLatin1String(") OR (")))
        << window.sql.toStdString();
}

// The word that drives a search of words is the longest of four characters or more, or
// of three digits; the others are checked on the records it finds. A shorter one drives
// only where every word is: then the first.
TEST(SqlTranslation, TheLongestWordDrivesASearchOfWords)
{
    const PostgresTable table({{"FONE", host::FieldType::Text}});
    const auto driver = [&](const char* first, const char* second) {
        const QString filter =
            QStringLiteral("(NOME LIKE '%1%' OR NOME LIKE '% %1%' OR FONE LIKE '%1%' OR "
                           "FONE LIKE '% %1%') AND (NOME LIKE '%2%' OR NOME LIKE '% %2%' OR "
                           "FONE LIKE '%2%' OR FONE LIKE '% %2%')")
                .arg(QLatin1String(first), QLatin1String(second));
        const host::sql::SqlText words = table.Translate(filter);
        EXPECT_TRUE(words.alternatives) << filter.toStdString();
        if (!words.alternatives) {
            return QString();
        }
        // The driving word is the one the alternatives hold; the rest holds the other.
        QString word;
        for (const host::sql::SqlAlternative& option : words.alternatives->options) {
            if (!option.word.isEmpty()) {
                word = option.word;
            }
        }
        EXPECT_FALSE(words.alternatives->rest.sql.isEmpty());
        return word;
    };
    EXPECT_EQ(driver("M", "7828356416"), QStringLiteral("7828356416"));
    EXPECT_EQ(driver("M", "782"), QStringLiteral("782"));
    EXPECT_EQ(driver("M", "78"), QStringLiteral("M"));
    EXPECT_EQ(driver("JO", "SOU"), QStringLiteral("JO"));
    EXPECT_EQ(driver("JO", "SOUZ"), QStringLiteral("SOUZ"));
    EXPECT_EQ(driver("MARIA", "SIL"), QStringLiteral("MARIA"));
    EXPECT_EQ(driver("SILVA", "MARIA"), QStringLiteral("SILVA"));
    EXPECT_EQ(driver("ANA", "MARIANA"), QStringLiteral("MARIANA"));
}

// A pattern that needs what a number's text never holds (a space; in an integer's, any
// character but a digit or a minus sign) is false without a look at the records, where
// no NOT turns it; a float's text keeps its letters ("1e+20"), and a NOT keeps the match.
TEST(SqlTranslation, PatternsANumbersTextCannotHoldAreFalseOutright)
{
    const PostgresTable table({{"PRECO", host::FieldType::Float}});
    const auto translated = [&](const char* filter) {
        return table.Translate(QString::fromLatin1(filter));
    };
    for (const char* never : {"CODIGO LIKE 'MA%'", "CODIGO LIKE '% 1%'", "CODIGO LIKE '1.5%'",
                              "UPPER(TRIM(CODIGO)) LIKE '%E%'", "PRECO LIKE '% 1%'"}) {
        const host::sql::SqlText sql = translated(never);
        EXPECT_EQ(sql.sql, QLatin1String("(1 = 0)")) << never;
        EXPECT_TRUE(sql.values.isEmpty()) << never;
    }
    for (const char* may : {"CODIGO LIKE '-1%'", "CODIGO LIKE '_2%'", "PRECO LIKE '1E%'",
                            "PRECO LIKE '1.5%'", "NOT CODIGO LIKE 'MA%'"}) {
        const host::sql::SqlText sql = translated(may);
        EXPECT_NE(sql.sql, QLatin1String("(1 = 0)")) << may;
        EXPECT_FALSE(sql.values.isEmpty()) << may;
    }
}

// Only what lies deeper than SQLite's parser takes is decided record by record by this
// program; the prefix beside it stays a range the index on the field serves.
TEST(SqlTranslation, OnlyWhatNestsTooDeepForSqliteIsDecidedRecordByRecord)
{
    sql_test::TestDatabase db(Server::Sqlite);
    const QString table = db.Table(QStringLiteral("fundo"));
    db.CreateTable(table, {{"ID", "INTEGER PRIMARY KEY", ""},
                           {"NOME", "TEXT", ""},
                           {"QTD", "INTEGER", ""},
                           {"PRECO", "REAL", ""}});
    db.Exec(QStringLiteral("CREATE INDEX \"%1_nome\" ON \"%1\" (\"NOME\")").arg(table));
    host::Table schema;
    schema.AddField({QStringLiteral("ID"), host::FieldType::Integer, 0});
    schema.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    schema.AddField({QStringLiteral("QTD"), host::FieldType::Integer, 0});
    schema.AddField({QStringLiteral("PRECO"), host::FieldType::Float, 0});

    QString deep = QStringLiteral("QTD = 0");
    for (int i = 0; i < 80; ++i) {
        deep = QStringLiteral("(PRECO > %1 %2 %3)")
                   .arg(i)
                   .arg(QLatin1String(i % 2 ? "OR" : "AND"), deep);
    }
    const QString filter = QStringLiteral("NOME LIKE 'JO%' AND ") + deep;
    const host::filter::NodePtr root = host::filter::ParseFilter(filter, schema);
    const host::sql::SqliteDialect dialect;
    const host::sql::SqlText sql =
        host::sql::TranslateFilter(*root, schema, dialect, {}, {filter, {}});
    EXPECT_EQ(sql.sql.count(QLatin1String("ts_filter_part(")), 1) << sql.sql.toStdString();
    EXPECT_TRUE(sql.sql.contains(QLatin1String("ts_filter_part(?, \"QTD\", \"PRECO\")")))
        << sql.sql.toStdString();
    EXPECT_TRUE(sql.sql.startsWith(
        QLatin1String("(((\"NOME\" GLOB ?) AND (\"NOME\") COLLATE BINARY >= ? AND")))
        << sql.sql.toStdString();
    // Without the filter's text every part is SQL, as deep as the filter.
    EXPECT_FALSE(host::sql::TranslateFilter(*root, schema, dialect)
                     .sql.contains(QLatin1String("ts_filter_part")));

    host::sql::SqlSession session(db.ReaderConnection());
    session.Start();
    host::sql::SqlText plan = sql;
    plan.sql =
        QStringLiteral("EXPLAIN QUERY PLAN SELECT \"ID\" FROM \"%1\" WHERE %2").arg(table, sql.sql);
    QSqlQuery& steps = session.Run(plan, QStringLiteral("Plan"));
    QString details;
    while (steps.next()) {
        details += steps.value(3).toString() + u'\n';
    }
    steps.finish();
    EXPECT_TRUE(details.contains(QLatin1String("USING INDEX")) ||
                details.contains(QLatin1String("USING COVERING INDEX")))
        << details.toStdString();
}

} // namespace
