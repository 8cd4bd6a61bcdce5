// A PostgreSQL database whose text is not in UTF-8 cannot set accents aside (the fold's
// table holds letters its encoding cannot spell): the host hears so when it asks, in
// words, and the dataset goes on searching as before.
#include "host/sql/database_url.h"
#include "tests/common/error_of.h"
#include "tests/pgcluster/shared_pg_cluster_uri.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>

namespace {

bool Exec(const QString& uri, const QStringList& statements)
{
    host::sql::ScopedDatabase db(uri, host::sql::DatabaseAccess::Writable);
    QSqlQuery query(db.Database());
    for (const QString& statement : statements) {
        if (!query.exec(statement)) {
            ADD_FAILURE() << statement.toStdString() << ": "
                          << query.lastError().text().toStdString();
            return false;
        }
    }
    return true;
}

using test_support::ErrorOf;

TEST(Latin1Database, IgnoringAccentsIsRefusedInWordsAndTheSearchGoesOn)
{
    const QString cluster = testing_support::PgClusterUri();
    ASSERT_FALSE(cluster.isEmpty());
    const QString name = QStringLiteral("latin1_%1").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(Exec(cluster, {QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name),
                               QStringLiteral("CREATE DATABASE %1 ENCODING 'LATIN1' LC_COLLATE "
                                              "'C' LC_CTYPE 'C' TEMPLATE template0")
                                   .arg(name)}));
    QString uri = cluster;
    uri.replace(QRegularExpression(QStringLiteral("@/[^?]*\\?")),
                QStringLiteral("@/%1?").arg(name));
    ASSERT_TRUE(
        Exec(uri, {QStringLiteral("CREATE TABLE clientes (\"CODIGO\" integer PRIMARY KEY, "
                                  "\"NMCLIENTE\" text)"),
                   QString::fromUtf8("INSERT INTO clientes VALUES (1, 'João'), (2, 'Joao')")}));
    const QString words = QStringLiteral(
        "Setting accents aside on PostgreSQL needs a database whose text is in UTF-8; this one's "
        "is LATIN1");
    {
        host::SqlDataset ds;
        ds.SetDatabaseUrl(uri);
        ds.SetTableName(QStringLiteral("clientes"));
        ds.SetFilterOptions(host::FilterOption::IgnoreAccents);
        EXPECT_EQ(ErrorOf([&] { ds.Open(); }), words);
        EXPECT_FALSE(ds.IsActive());
        ds.SetFilterOptions({});
        ds.Open();
        ds.SetFilter(QStringLiteral("NMCLIENTE LIKE 'Jo%'"));
        ds.SetFiltered(true);
        EXPECT_EQ(ErrorOf([&] { ds.SetFilterOptions(host::FilterOption::IgnoreAccents); }), words);
        EXPECT_EQ(ds.GetFilterOptions(), host::FilterOptions());
        EXPECT_EQ(ds.RecordCount(), 2);
        EXPECT_EQ(ds.DisplayText(0, 1), QString::fromUtf8("João"));
        EXPECT_TRUE(ErrorOf([&] {
                        host::SqlDataset::CreateSearchIndexes(uri, QStringLiteral("clientes"), {},
                                                              host::FilterOption::IgnoreAccents);
                    }).contains(words));
    }
    EXPECT_TRUE(Exec(cluster, {QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(name)}));
}

} // namespace
