// No message shows any part of a password given in a database URL, however the URL
// writes it: after "user:", in "?password=", percent-encoded or not, with "@", ":" and
// "/" in it as they are, beside several hosts, or in a libpq keyword/value string. Every
// message the URL leads to is read: the URL shown, the refusal of a malformed one, the
// failure to open it or to read a table through each path (the copy, the live dataset,
// QtSql's connection), against the test run's PostgreSQL cluster.
#include "host/sql/database_url.h"
#include "host/sql/sql_provider.h"
#include "tests/pgcluster/shared_pg_cluster_uri.h"

#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>

using testing_support::PgClusterUri;

namespace {

QString ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

// Every text a host or a user may see for the URL.
QStringList MessagesFor(const QString& url)
{
    QStringList messages{host::UrlWithoutPassword(url)};
    QString shown;
    messages << ErrorOf([&] { shown = host::sql::ParseDatabaseUrl(url).shown; });
    messages << shown;
    messages << ErrorOf([&] { host::sql::ScopedDatabase db(url); });
    messages << ErrorOf([&] { (void)host::SqlTableNames(url); });
    messages << ErrorOf(
        [&] { (void)host::sql::ReadSqlTable(url, QStringLiteral("no_such_table")); });
    messages << ErrorOf(
        [&] { (void)host::sql::ReadSqlTable(url, QStringLiteral("SELECT 1 AS x")); });
    messages << ErrorOf([&] {
        host::SqlDataset live;
        live.SetDatabaseUrl(url);
        live.SetTableName(QStringLiteral("no_such_table"));
        live.Open();
    });
    // A copy whose rows do not fit the filter in force names its source.
    messages << ErrorOf([&] {
        host::ClientDataset dataset;
        dataset.AddField(QStringLiteral("ANTES"), host::FieldType::Integer);
        dataset.Open();
        dataset.SetFilter(QStringLiteral("ANTES = 1"));
        dataset.LoadFromDatabase(url, QStringLiteral("SELECT 1 AS x"));
    });
    return messages;
}

// The first piece of a secret, three characters in a row, that a message holds. Only
// pieces with one of the marks are looked for: signs alone, such as a percent-encoded
// "/" ("%2F"), are in messages of their own.
std::string
Leak(const QStringList& messages, const QStringList& secrets,
     const QString& marks = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"))
{
    for (const QString& secret : secrets) {
        for (qsizetype i = 0; i + 3 <= secret.size(); ++i) {
            const QString piece = secret.mid(i, 3);
            if (std::none_of(piece.begin(), piece.end(),
                             [&](QChar c) { return marks.contains(c); }))
                continue;
            for (const QString& message : messages) {
                if (message.contains(piece))
                    return QStringLiteral("\"%1\" in: %2").arg(piece, message).toStdString();
            }
        }
    }
    return {};
}

// The cluster's socket folder and port, as its URI names them.
struct Cluster {
    QString folder;
    QString port;
};

Cluster ClusterOf(const QString& uri)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("host=([^&]+)&port=(\\d+)")).match(uri);
    return {m.captured(1), m.captured(2)};
}

TEST(UrlSecrecy, AnAtInThePasswordIsRefusedWithoutShowingThePassword)
{
    const QString uri = PgClusterUri();
    ASSERT_FALSE(uri.isEmpty());
    const Cluster cluster = ClusterOf(uri);
    const QString url = QStringLiteral("postgresql://pwuser:p@ss:w0rd@/ts?host=%1&port=%2")
                            .arg(cluster.folder, cluster.port);
    const QStringList messages = MessagesFor(url);
    EXPECT_EQ(Leak(messages, {QStringLiteral("p@ss:w0rd")}), "");
    EXPECT_EQ(host::UrlWithoutPassword(url), QStringLiteral("postgresql://pwuser…"));
    const QString refusal = ErrorOf([&] { host::sql::ScopedDatabase db(url); });
    EXPECT_EQ(refusal,
              QStringLiteral("\"postgresql://pwuser…\" is not a valid PostgreSQL URI: where its "
                             "user name and password end is unclear (an \"@\" past them, or a "
                             "\"?\" before their \"@\"); write \"@\" as %40, \"/\" as %2F and "
                             "\"?\" as %3F in a password, user name or database name"));

    // Percent-encoded, the same password reaches the server and is shown nowhere.
    const QString encoded =
        QStringLiteral("postgresql://postgres:p%40ss%3Aw0rd@/ts?host=%1&port=%2")
            .arg(cluster.folder, cluster.port);
    EXPECT_EQ(host::sql::ParseDatabaseUrl(encoded).password, QStringLiteral("p@ss:w0rd"));
    EXPECT_EQ(ErrorOf([&] { host::sql::ScopedDatabase db(encoded); }), "");
    EXPECT_EQ(
        Leak(MessagesFor(encoded), {QStringLiteral("p@ss:w0rd"), QStringLiteral("ss%3Aw0rd")}), "");
}

TEST(UrlSecrecy, LibpqsQuotesOfMalformedUrisLeaveOutThePassword)
{
    // libpq quotes the value it cannot decode, or the whole URI.
    for (const QString& url : {QStringLiteral("postgresql://u:Zq%zzKv@h/db"),
                               QStringLiteral("postgresql:///db?password=Zq%zzKv"),
                               QStringLiteral("postgresql:///db?password=Zq%00Kv"),
                               QStringLiteral("postgresql://u:ZqKvX@[::1/db"),
                               QStringLiteral("postgresql://u:ZqKvX@[::1]x/db"),
                               QStringLiteral("postgresql:///db?password=ZqKvX=Jw"),
                               QStringLiteral("postgresql:///db?password=Zq&KvXJw"),
                               QStringLiteral("postgresql:///db?password=Zq&KvXJw=1"),
                               QStringLiteral("postgresql:///db?Password=ZqKvX"),
                               QStringLiteral("postgresql:///db?pass%77ord=ZqKvX"),
                               QStringLiteral("postgresql:///db?sslpassword=ZqKvX"),
                               QStringLiteral("postgresql://u:Zq/Kv?X=J@h/db"),
                               QStringLiteral("postgresql://u:Zq/KvX@h/db")}) {
        const QStringList messages = MessagesFor(url);
        EXPECT_EQ(Leak(messages, {QStringLiteral("ZqKvXJw"), QStringLiteral("Zq%zzKv"),
                                  QStringLiteral("Zq%00Kv"), QStringLiteral("ZqKvX=Jw"),
                                  QStringLiteral("Zq&KvXJw"), QStringLiteral("Zq/Kv?X=J"),
                                  QStringLiteral("Zq/KvX")}),
                  "")
            << url.toStdString();
    }
    // What is no secret is still named.
    const QString unknown = ErrorOf(
        [] { host::sql::ParseDatabaseUrl(QStringLiteral("postgresql://h/db?colour=red")); });
    EXPECT_TRUE(unknown.contains(QLatin1String("\"colour\""))) << unknown.toStdString();
}

TEST(UrlSecrecy, KeywordValueStringsAreRefusedWithoutTheirPassword)
{
    const QString uri = PgClusterUri();
    ASSERT_FALSE(uri.isEmpty());
    const Cluster cluster = ClusterOf(uri);
    const QString text =
        QStringLiteral("host=%1 port=%2 dbname=ts user=postgres password='Zq Kv\\'X'")
            .arg(cluster.folder, cluster.port);
    const QString refusal = ErrorOf([&] { host::sql::ScopedDatabase db(text); });
    EXPECT_TRUE(refusal.contains(QLatin1String("is not a database URL"))) << refusal.toStdString();
    EXPECT_TRUE(refusal.contains(QLatin1String("dbname=ts"))) << refusal.toStdString();
    EXPECT_EQ(Leak(MessagesFor(text), {QStringLiteral("Zq Kv'X")}), "");
    EXPECT_EQ(
        Leak(MessagesFor(QStringLiteral("host=h password=ZqKv'X")), {QStringLiteral("ZqKv'X")}),
        "");
}

// Random passwords in random URL forms. A password alternates rare capitals with
// characters a URL gives meaning to, so that any three of its characters in a row hold
// a capital and a sign no message has of its own.
class UrlForms {
public:
    UrlForms(unsigned seed, Cluster cluster) : m_random(seed), m_cluster(std::move(cluster)) {}

    QString password;
    QStringList secrets; // the password as the URL writes it too

    QString Next()
    {
        password.clear();
        const int length = 3 + static_cast<int>(m_random() % 12);
        const bool raw = m_random() % 2 == 0;
        const int phase = static_cast<int>(m_random() % 2);
        for (int i = 0; i < length; ++i) {
            const bool letter = i % 2 == phase;
            password += letter ? Pick(QStringLiteral("QZXJKVW"))
                               : Pick(raw ? QStringLiteral("@:/?#&=% !$'()*+,;[]~\\\"")
                                          : QStringLiteral("@:/?#&=%+ ,;'\"~"));
        }
        const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(password));
        const QString written = raw ? password : encoded;
        secrets = QStringList{password, encoded};

        const QString scheme =
            m_random() % 4 == 0 ? QStringLiteral("postgres://") : QStringLiteral("postgresql://");
        const QString user =
            m_random() % 2 == 0 ? QStringLiteral("postgres") : QStringLiteral("pwuser");
        const QString hosts =
            Pick({QString(), QStringLiteral("localhost"), QStringLiteral("localhost:1,[::1]:1"),
                  QStringLiteral("%2Fnonexistent,%2Fnone%2Fsuch:5"),
                  QString::fromLatin1(QUrl::toPercentEncoding(m_cluster.folder)) +
                      QLatin1Char(':') + m_cluster.port});
        const QString socket =
            m_random() % 3 == 0
                ? QString()
                : QStringLiteral("host=%1&port=%2").arg(m_cluster.folder, m_cluster.port);
        const auto query = [&](const QString& extra) {
            QStringList parameters;
            if (!socket.isEmpty())
                parameters << socket;
            if (!extra.isEmpty())
                parameters.insert(static_cast<qsizetype>(m_random() % (parameters.size() + 1)),
                                  extra);
            if (m_random() % 3 == 0)
                parameters << QStringLiteral("application_name=zyl");
            return parameters.isEmpty() ? QString() : QLatin1Char('?') + parameters.join(u'&');
        };
        switch (m_random() % 6) {
        case 0: // in the user information
            return scheme + user + QLatin1Char(':') + written + QLatin1Char('@') + hosts +
                   QStringLiteral("/ts") + query({});
        case 1: // without a user name
            return scheme + QLatin1Char(':') + written + QLatin1Char('@') + hosts +
                   QStringLiteral("/ts") + query({});
        case 2: // as a parameter
            return scheme + user + QLatin1Char('@') + hosts + QStringLiteral("/ts") +
                   query(QStringLiteral("password=") + written);
        case 3: // as a parameter whose name is percent-encoded
            return scheme + hosts + QStringLiteral("/ts") +
                   query(QStringLiteral("pass%77ord=") + written);
        case 4: // both
            return scheme + user + QLatin1Char(':') + written + QLatin1Char('@') + hosts +
                   QStringLiteral("/ts") + query(QStringLiteral("password=") + encoded);
        default: { // a keyword/value string
            QString quoted = password;
            quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
            quoted.replace(QLatin1String("'"), QLatin1String("\\'"));
            return QStringLiteral("host=%1 port=%2 dbname=ts user=%3 password='%4'")
                .arg(m_cluster.folder, m_cluster.port, user, quoted);
        }
        }
    }

private:
    QString Pick(const QString& characters)
    {
        return characters.mid(static_cast<qsizetype>(m_random() % characters.size()), 1);
    }
    QString Pick(const QStringList& items)
    {
        return items[static_cast<qsizetype>(m_random() % items.size())];
    }

    std::mt19937 m_random;
    Cluster m_cluster;
};

TEST(UrlSecrecy, RandomUrlFormsNeverShowAPieceOfTheirPassword)
{
    const QString uri = PgClusterUri();
    ASSERT_FALSE(uri.isEmpty());
    const Cluster cluster = ClusterOf(uri);
    UrlForms forms(90210, cluster);
    int opened = 0;
    for (int i = 0; i < 150; ++i) {
        const QString url = forms.Next();
        if (ErrorOf([&] { host::sql::ScopedDatabase db(url); }).isEmpty())
            ++opened;
        // The cluster's folder has a random name of its own ("pg-cluster.20XSmk"): a
        // piece of a password that it happens to hold is no leak.
        QStringList messages = MessagesFor(url);
        for (QString& message : messages) {
            message.replace(cluster.folder, QStringLiteral("FOLDER"));
        }
        const std::string leak = Leak(messages, forms.secrets, QStringLiteral("QZXJKVW"));
        ASSERT_EQ(leak, "") << url.toStdString();
    }
    EXPECT_GT(opened, 0); // some forms reach the server and read
}

} // namespace
