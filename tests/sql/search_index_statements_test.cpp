// The statements CreateSearchIndexes runs, word for word, on both servers: the names it
// gives indexes are kept between runs, and each index must be spelt as the searches that
// use it are.
#include "tests/sql/sql_fixture.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <gtest/gtest.h>

using sql_test::Server;

namespace {

// The statements with the test's table named T and each index's hash H.
QStringList Normalised(QStringList statements, const QString& table)
{
    static const QRegularExpression hash(QStringLiteral("ts_[0-9a-f]{12}_"));
    for (QString& statement : statements) {
        statement.replace(table, QStringLiteral("T"));
        statement.replace(hash, QStringLiteral("ts_H_"));
    }
    return statements;
}

void CreateCustomers(sql_test::TestDatabase& db, const QString& table)
{
    db.CreateTable(table, {{"CODIGO", "INTEGER PRIMARY KEY", "integer PRIMARY KEY"},
                           {"NOME", "VARCHAR(40)", "varchar(40)"},
                           {"UF", "CHAR(2) NOT NULL", "char(2) NOT NULL"},
                           {"DIA", "DATE", "date"}});
}

} // namespace

TEST(SearchIndexStatements, SqliteIndexesEachTextFieldPlainAndUpperCased)
{
    sql_test::TestDatabase db(Server::Sqlite);
    const QString table = db.Table(QStringLiteral("clientes"));
    CreateCustomers(db, table);
    const QStringList statements =
        Normalised(host::SqlDataset::CreateSearchIndexes(db.Url(), table), table);
    EXPECT_EQ(statements, (QStringList{
                              QStringLiteral("PRAGMA query_only = 0"),
                              QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_upper\" ON \"T\" "
                                             "((upper(\"NOME\")))"),
                              QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_text\" ON \"T\" "
                                             "(\"NOME\" COLLATE BINARY)"),
                              QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_upper\" ON \"T\" "
                                             "((upper(\"UF\")))"),
                              QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_text\" ON \"T\" "
                                             "(\"UF\" COLLATE BINARY)"),
                              QStringLiteral("ANALYZE"),
                          }))
        << statements.join(u'\n').toStdString();
}

TEST(SearchIndexStatements, SqliteIndexesEndWithATextKey)
{
    sql_test::TestDatabase db(Server::Sqlite);
    const QString table = db.Table(QStringLiteral("itens"));
    db.CreateTable(table, {{"SIGLA", "TEXT NOT NULL", ""}, {"NOME", "TEXT", ""}},
                   QStringLiteral("PRIMARY KEY (\"SIGLA\")"));
    const QStringList statements = Normalised(
        host::SqlDataset::CreateSearchIndexes(db.Url(), table, {QStringLiteral("NOME")}), table);
    EXPECT_EQ(statements,
              (QStringList{
                  QStringLiteral("PRAGMA query_only = 0"),
                  QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_upper\" ON \"T\" "
                                 "((upper(\"NOME\")), (\"SIGLA\") COLLATE BINARY)"),
                  QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_text\" ON \"T\" "
                                 "(\"NOME\" COLLATE BINARY, (\"SIGLA\") COLLATE BINARY)"),
                  QStringLiteral("ANALYZE"),
              }))
        << statements.join(u'\n').toStdString();
}

TEST(SearchIndexStatements, PostgresIndexesEachTextFieldOrderedAndByTrigrams)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("clientes"));
    CreateCustomers(db, table);
    const QStringList statements =
        Normalised(host::SqlDataset::CreateSearchIndexes(db.Url(), table), table);
    EXPECT_EQ(
        statements,
        (QStringList{
            QStringLiteral("SET client_min_messages = warning"),
            QStringLiteral("SET SESSION default_transaction_read_only = off"),
            QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_upper\" ON \"T\" ((upper(\"NOME\" "
                           "COLLATE \"C\")) NULLS FIRST, \"CODIGO\") INCLUDE (\"NOME\")"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_text\" ON \"T\" ((\"NOME\") COLLATE "
                           "\"C\" NULLS FIRST, \"CODIGO\")"),
            QStringLiteral("ALTER INDEX \"ts_H_upper\" ALTER COLUMN 1 SET STATISTICS 1000"),
            QStringLiteral("ALTER TABLE \"T\" ALTER COLUMN \"NOME\" SET STATISTICS 1000"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_upper_words_trgm\" ON \"T\" USING "
                           "gin ((substr(upper(\"NOME\" COLLATE \"C\"), NULLIF(strpos(upper("
                           "\"NOME\" COLLATE \"C\"), ' '), 0))) gin_trgm_ops)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_upper_trgm\" ON \"T\" USING gin "
                           "((upper(\"NOME\" COLLATE \"C\")) gin_trgm_ops)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_trgm\" ON \"T\" USING gin "
                           "((\"NOME\") COLLATE \"C\" gin_trgm_ops)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_upper\" ON \"T\" ((upper(CAST(\"UF\" "
                           "AS text) COLLATE \"C\")), \"CODIGO\") INCLUDE (\"UF\")"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_text\" ON \"T\" ((CAST(\"UF\" AS "
                           "text)) COLLATE \"C\", \"CODIGO\") INCLUDE (\"UF\")"),
            QStringLiteral("ALTER INDEX \"ts_H_upper\" ALTER COLUMN 1 SET STATISTICS 1000"),
            QStringLiteral("ALTER INDEX \"ts_H_text\" ALTER COLUMN 1 SET STATISTICS 1000"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_upper_words_trgm\" ON \"T\" USING "
                           "gin ((substr(upper(CAST(\"UF\" AS text) COLLATE \"C\"), "
                           "NULLIF(strpos(upper(CAST(\"UF\" AS text) COLLATE \"C\"), ' '), 0))) "
                           "gin_trgm_ops)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_upper_trgm\" ON \"T\" USING gin "
                           "((upper(CAST(\"UF\" AS text) COLLATE \"C\")) gin_trgm_ops)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_trgm\" ON \"T\" USING gin "
                           "((CAST(\"UF\" AS text)) COLLATE \"C\" gin_trgm_ops)"),
            QStringLiteral("VACUUM (ANALYZE) \"T\""),
        }))
        << statements.join(u'\n').toStdString();
}

TEST(SearchIndexStatements, PostgresIndexesTheAccentFoldWhenAsked)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("nomes"));
    db.CreateTable(table, {{"CODIGO", "", "integer PRIMARY KEY"}, {"NOME", "", "text"}});
    const QStringList statements =
        Normalised(host::SqlDataset::CreateSearchIndexes(db.Url(), table, {QStringLiteral("NOME")},
                                                         host::FilterOption::IgnoreAccents),
                   table);
    ASSERT_EQ(statements.size(), 16) << statements.join(u'\n').toStdString();
    EXPECT_EQ(statements[5].left(statements[5].indexOf(QLatin1String(" ON "))),
              QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_upper_unaccented\""));
    EXPECT_TRUE(statements[5].contains(QLatin1String("translate(\"NOME\", ")));
    EXPECT_TRUE(
        statements[5].endsWith(QLatin1String(" NULLS FIRST, \"CODIGO\") INCLUDE (\"NOME\")")))
        << statements[5].toStdString();
    EXPECT_EQ(statements[6].left(statements[6].indexOf(QLatin1String(" ON "))),
              QStringLiteral("CREATE INDEX IF NOT EXISTS \"ts_H_unaccented\""));
    EXPECT_TRUE(statements[7].startsWith(QLatin1String(
        "CREATE INDEX IF NOT EXISTS \"ts_H_upper_unaccented_trgm\" ON \"T\" USING gin")));
    EXPECT_TRUE(statements[8].startsWith(
        QLatin1String("CREATE INDEX IF NOT EXISTS \"ts_H_unaccented_trgm\" ON \"T\" USING gin")));
    EXPECT_TRUE(statements[12].startsWith(QLatin1String(
        "CREATE INDEX IF NOT EXISTS \"ts_H_upper_unaccented_words_trgm\" ON \"T\" USING gin")));
    EXPECT_EQ(statements[15], QStringLiteral("VACUUM (ANALYZE) \"T\""));
}

// The ordered indexes of each field named hold the other fields searched with it (a walk
// of the search column's order over a search of them all, and a prefix of another field,
// read the index alone), a long text excepted; one made before those fields were searched
// with it is made again holding them, once.
TEST(SearchIndexStatements, PostgresOrderedIndexesHoldTheFieldsSearchedWithThem)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("contatos"));
    db.CreateTable(table, {{"CODIGO", "", "integer PRIMARY KEY"},
                           {"NOME", "", "varchar(40)"},
                           {"FONE", "", "varchar(11)"},
                           {"cpf", "", "varchar(11)"},
                           {"OBS", "", "text"}});
    // The definitions of the table's indexes.
    const auto definitions = [&]() {
        QSqlQuery query(db.Writer());
        query.prepare(QStringLiteral("SELECT pg_get_indexdef(indexrelid) FROM pg_index "
                                     "WHERE indrelid = to_regclass(?)"));
        query.addBindValue(u'"' + table + u'"');
        EXPECT_TRUE(query.exec());
        QStringList found;
        while (query.next()) {
            found << query.value(0).toString();
        }
        return found;
    };
    // The definition of the upper-cased index of the field.
    const auto upperIndex = [&](const QString& field) {
        const QRegularExpression upper(QStringLiteral("\\(upper\\(+\"%1\"").arg(field));
        for (const QString& definition : definitions()) {
            if (definition.contains(QLatin1String("_upper ON ")) && definition.contains(upper)) {
                return definition;
            }
        }
        return QString();
    };
    const auto drops = [](const QStringList& statements) {
        return statements.filter(QStringLiteral("DROP INDEX")).size();
    };
    // The word positions' indexes of the table, by the purpose that ends their names.
    const auto wordIndexes = [&]() {
        QSqlQuery query(db.Writer());
        query.prepare(QStringLiteral("SELECT c.relname, pg_get_indexdef(i.indexrelid) FROM "
                                     "pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
                                     "WHERE i.indrelid = to_regclass(?) ORDER BY 1"));
        query.addBindValue(u'"' + table + u'"');
        EXPECT_TRUE(query.exec());
        QStringList found;
        while (query.next()) {
            const QString name = query.value(0).toString();
            static const QRegularExpression word(QStringLiteral("_upper_word(\\d+|s_beyond)$"));
            if (name.contains(word)) {
                found << name.mid(name.indexOf(QLatin1String("_upper_word")) + 1) + u' ' +
                             query.value(1).toString().section(QLatin1String(" INCLUDE "), 1);
            }
        }
        return found;
    };
    EXPECT_EQ(drops(host::SqlDataset::CreateSearchIndexes(db.Url(), table, {"NOME"})), 0);
    EXPECT_TRUE(upperIndex("NOME").endsWith(QLatin1String(" INCLUDE (\"NOME\")")))
        << upperIndex("NOME").toStdString();
    // A field searched alone gets no word positions: no search over several fields reads
    // them.
    EXPECT_EQ(wordIndexes(), QStringList());
    // NOME's upper-cased and plain indexes are made again (a column named in lower case
    // too, which the server writes without quotes).
    const QStringList searched = {"NOME", "FONE", "cpf", "OBS"};
    EXPECT_EQ(drops(host::SqlDataset::CreateSearchIndexes(db.Url(), table, searched)), 2);
    EXPECT_TRUE(upperIndex("NOME").endsWith(QLatin1String(" INCLUDE (\"NOME\", \"FONE\", cpf)")))
        << upperIndex("NOME").toStdString();
    // Every field named holds the others (the long text held by none): a prefix of FONE is
    // read with the order's values (NOME) and checked against the rest off FONE's index
    // alone.
    EXPECT_TRUE(upperIndex("FONE").endsWith(QLatin1String(" INCLUDE (\"FONE\", \"NOME\", cpf)")))
        << upperIndex("FONE").toStdString();
    EXPECT_TRUE(
        upperIndex("OBS").endsWith(QLatin1String(" INCLUDE (\"OBS\", \"NOME\", \"FONE\", cpf)")))
        << upperIndex("OBS").toStdString();
    EXPECT_EQ(drops(host::SqlDataset::CreateSearchIndexes(db.Url(), table, searched)), 0);
    // The search column's word positions, second to eighth, hold the fields searched with
    // it; the words past them have their own (trigram) index. The other fields get none.
    const QStringList positions = wordIndexes();
    QStringList expected;
    for (int position = 2; position <= 8; ++position) {
        expected << QStringLiteral(
                        "upper_word%1 (\"NOME\", \"FONE\", cpf) WHERE "
                        "(split_part(upper(((\"NOME\")::text COLLATE \"C\")), ' '::text, "
                        "%1) <> ''::text)")
                        .arg(position);
    }
    expected << QStringLiteral("upper_words_beyond ");
    EXPECT_EQ(positions, expected) << positions.join(u'\n').toStdString();

    // The key searched by its text: its ordered index ends with the key and holds the
    // fields searched with it. One made when it was searched alone (holding none) is
    // made again, once, when it is searched with them.
    const auto textFormIndex = [&]() {
        for (const QString& definition : definitions()) {
            if (definition.contains(QLatin1String("_text_form ON "))) {
                return definition.section(QLatin1String(" USING btree "), 1);
            }
        }
        return QString();
    };
    EXPECT_EQ(drops(host::SqlDataset::CreateSearchIndexes(db.Url(), table, {"CODIGO"})), 0);
    EXPECT_EQ(textFormIndex(), QStringLiteral("(((\"CODIGO\")::text) COLLATE \"C\", \"CODIGO\")"));
    const QStringList withKey = {"NOME", "FONE", "cpf", "OBS", "CODIGO"};
    EXPECT_EQ(drops(host::SqlDataset::CreateSearchIndexes(db.Url(), table, withKey)), 1);
    EXPECT_EQ(textFormIndex(), QStringLiteral("(((\"CODIGO\")::text) COLLATE \"C\", \"CODIGO\") "
                                              "INCLUDE (\"NOME\", \"FONE\", cpf)"));
    EXPECT_EQ(drops(host::SqlDataset::CreateSearchIndexes(db.Url(), table, withKey)), 0);
}
