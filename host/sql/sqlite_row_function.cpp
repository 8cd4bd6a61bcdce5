#include "host/sql/sqlite_row_function.h"

#include "host/filter/eval_scratch.h"
#include "host/filter/expression_parser.h"
#include "host/sql/sql_row_writer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>
#include <new>
#include <sqlite3.h>
#include <string_view>
#include <touchsearch/dataset_error.h>

namespace host::sql {

namespace {

std::string_view TextOf(sqlite3_value* value)
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return {bytes ? bytes : "", static_cast<std::size_t>(sqlite3_value_bytes(value))};
}

// A part parsed over a table of the fields it reads, which holds the one record the
// part is decided for.
class ParsedPart {
public:
    explicit ParsedPart(std::string_view description)
    {
        const QJsonObject part =
            QJsonDocument::fromJson(
                QByteArray(description.data(), static_cast<qsizetype>(description.size())))
                .object();
        for (const QJsonValue field : part.value(QLatin1String("fields")).toArray()) {
            const QJsonArray nameAndType = field.toArray();
            const int type = nameAndType.at(1).toInt(-1);
            if (type < static_cast<int>(FieldType::Text) ||
                type > static_cast<int>(FieldType::Date)) {
                throw DatasetError(QStringLiteral("%1: a part of a filter not written for it")
                                       .arg(QLatin1String(SqliteRowFunction::kName)));
            }
            FieldDef def;
            def.name = nameAndType.at(0).toString();
            def.type = static_cast<FieldType>(type);
            m_table.AddField(def);
        }
        m_root = filter::ParseFilter(
            part.value(QLatin1String("filter")).toString(), m_table,
            FilterOptions::fromInt(part.value(QLatin1String("options")).toInt()));
    }

    int FieldCount() const { return m_table.FieldCount(); }

    filter::Tri Test(sqlite3_value** values)
    {
        m_table.ClearRecords();
        for (int f = 0; f < m_table.FieldCount(); ++f) {
            sqlite3_value* value = values[f];
            switch (sqlite3_value_type(value)) {
            case SQLITE_NULL:
                m_writer.Null(f);
                break;
            case SQLITE_INTEGER:
                m_writer.Integer(f, sqlite3_value_int64(value));
                break;
            case SQLITE_FLOAT:
                m_writer.Float(f, sqlite3_value_double(value));
                break;
            default: // text, and bytes as the loader reads them: as text
                m_writer.Text(f, TextOf(value));
                break;
            }
        }
        m_writer.Finish();
        return m_root->Test(0, m_scratch);
    }

private:
    Table m_table;
    SqlRowWriter m_writer{
        m_table, QStringLiteral("a record for %1").arg(QLatin1String(SqliteRowFunction::kName))};
    filter::NodePtr m_root;        // reads m_table's columns: declared after it, dropped before it
    filter::EvalScratch m_scratch; // the statement runs on one thread at a time
};

void DeleteParsedPart(void* part)
{
    delete static_cast<ParsedPart*>(part);
}

void PartFunction(sqlite3_context* context, int count, sqlite3_value** arguments)
{
    try {
        auto* part = static_cast<ParsedPart*>(sqlite3_get_auxdata(context, 0));
        std::unique_ptr<ParsedPart> parsed;
        if (part == nullptr) {
            if (count < 1 || sqlite3_value_type(arguments[0]) != SQLITE_TEXT) {
                throw DatasetError(QStringLiteral("%1: no part of a filter")
                                       .arg(QLatin1String(SqliteRowFunction::kName)));
            }
            parsed = std::make_unique<ParsedPart>(TextOf(arguments[0]));
            part = parsed.get();
        }
        if (count - 1 != part->FieldCount()) {
            throw DatasetError(QStringLiteral("%1: %2 values for %3 fields")
                                   .arg(QLatin1String(SqliteRowFunction::kName))
                                   .arg(count - 1)
                                   .arg(part->FieldCount()));
        }
        const filter::Tri result = part->Test(arguments + 1);
        if (parsed) {
            // Kept with the statement while its argument stays the same.
            sqlite3_set_auxdata(context, 0, parsed.release(), DeleteParsedPart);
        }
        if (result == filter::Tri::Unknown) {
            sqlite3_result_null(context);
        } else {
            sqlite3_result_int(context, result == filter::Tri::True ? 1 : 0);
        }
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    } catch (const std::exception& error) {
        sqlite3_result_error(context, error.what(), -1);
    }
}

} // namespace

QString SqliteRowFunction::Describe(const FilterPart& part)
{
    QJsonArray fields;
    for (const FieldDef& def : part.fields) {
        fields.append(QJsonArray{def.name, static_cast<int>(def.type)});
    }
    const QJsonObject description{{QLatin1String("filter"), part.text},
                                  {QLatin1String("options"), part.options.toInt()},
                                  {QLatin1String("fields"), fields}};
    return QString::fromUtf8(QJsonDocument(description).toJson(QJsonDocument::Compact));
}

bool SqliteRowFunction::Register(sqlite3* db)
{
    constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, kName, -1, kFlags, nullptr, PartFunction, nullptr,
                                      nullptr, nullptr) == SQLITE_OK;
}

} // namespace host::sql
