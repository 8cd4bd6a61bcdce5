#include "host/sql/table_name.h"

#include "host/sql/sql_dialect.h"

#include <QStringList>
#include <map>
#include <touchsearch/dataset_error.h>

namespace host::sql {

namespace {

[[noreturn]] void Malformed(const QString& written, const QString& what)
{
    throw DatasetError(QStringLiteral("\"%1\" is not a table name: %2; write TABLE or "
                                      "SCHEMA.TABLE, a part in double quotes when it holds a dot "
                                      "or a quote")
                           .arg(written, what));
}

} // namespace

TableName TableName::Parse(const QString& written)
{
    QStringList parts;
    QString part;
    bool quoted = false; // the current part was quoted (nothing may follow its quote)
    const qsizetype n = written.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = written[i];
        if (c == u'.') {
            if (part.isEmpty() && !quoted) {
                Malformed(written, QStringLiteral("a part before a dot is empty"));
            }
            parts << part;
            part.clear();
            quoted = false;
            continue;
        }
        if (quoted) {
            Malformed(written, QStringLiteral("text follows a closing quote"));
        }
        if (c == u'"' && part.isEmpty()) {
            qsizetype j = i + 1;
            for (;;) {
                if (j >= n) {
                    Malformed(written, QStringLiteral("a quote is not closed"));
                }
                if (written[j] == u'"') {
                    if (j + 1 < n && written[j + 1] == u'"') {
                        part += u'"';
                        j += 2;
                        continue;
                    }
                    break;
                }
                part += written[j];
                ++j;
            }
            if (part.isEmpty()) {
                Malformed(written, QStringLiteral("a quoted part is empty"));
            }
            quoted = true;
            i = j;
            continue;
        }
        if (c == u'"') {
            Malformed(written, QStringLiteral("a quote inside a part that is not quoted"));
        }
        part += c;
    }
    if (part.isEmpty() && !quoted) {
        Malformed(written, parts.isEmpty() ? QStringLiteral("it is empty")
                                           : QStringLiteral("the part after a dot is empty"));
    }
    parts << part;
    if (parts.size() > 2) {
        Malformed(written, QStringLiteral("it has %1 parts").arg(parts.size()));
    }
    TableName name;
    name.name = parts.takeLast();
    if (!parts.isEmpty()) {
        name.schema = parts.front();
    }
    return name;
}

QString TableName::Sql() const
{
    const QString table = SqlDialect::QuoteIdentifier(name);
    return schema.isEmpty() ? table : SqlDialect::QuoteIdentifier(schema) + u'.' + table;
}

QString TableName::WrittenPart(const QString& part)
{
    const bool plain = !part.isEmpty() && !part.contains(u'.') && !part.contains(u'"') &&
                       !part.front().isSpace() && !part.back().isSpace();
    if (plain) {
        return part;
    }
    QString quoted = part;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString TableName::Written() const
{
    return schema.isEmpty() ? WrittenPart(name) : WrittenPart(schema) + u'.' + WrittenPart(name);
}

const char* const kPostgresRelationQuery =
    "SELECT n.nspname, c.relkind FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
    "WHERE c.oid = to_regclass($1)";

QString PostgresRelationProblem(const QString& schema, const QString& kind)
{
    if (schema == QLatin1String("pg_catalog") || schema == QLatin1String("information_schema") ||
        schema.startsWith(QLatin1String("pg_toast"))) {
        return QStringLiteral("it is a system catalogue (schema %1), not a table of the "
                              "database's own; name a table (SCHEMA.TABLE for one outside the "
                              "search path)")
            .arg(schema);
    }
    if (QStringList{QStringLiteral("r"), QStringLiteral("p"), QStringLiteral("v"),
                    QStringLiteral("m"), QStringLiteral("f")}
            .contains(kind)) {
        return {};
    }
    static const std::map<QString, QString> kinds = {
        {QStringLiteral("S"), QStringLiteral("a sequence")},
        {QStringLiteral("i"), QStringLiteral("an index")},
        {QStringLiteral("I"), QStringLiteral("an index")},
        {QStringLiteral("c"), QStringLiteral("a composite type")},
        {QStringLiteral("t"), QStringLiteral("a TOAST table")}};
    const auto it = kinds.find(kind);
    return QStringLiteral("it is %1, not a table or a view")
        .arg(it != kinds.end() ? it->second : QStringLiteral("no table"));
}

QString PostgresMissingRelation(const TableName& name)
{
    return name.schema.isEmpty()
               ? QStringLiteral("no such table in the schemas of the search path")
               : QStringLiteral("no such table in schema \"%1\"").arg(name.schema);
}

} // namespace host::sql
