// Random filter texts through the SQL translation, run on SQLite under an authorizer
// that allows only reading the searched table (and the functions the translation
// uses): anything else the statement tries is a finding. The statement must also be
// valid SQL and select the records ClientDataset selects.
#include "host/filter/expression_parser.h"
#include "host/sql/keyset_query.h"
#include "host/sql/sql_translation.h"
#include "host/sql/sqlite_dialect.h"
#include "host/storage/table.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sqlite3.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>

namespace {

[[noreturn]] void Finding(const char* what, const QString& detail)
{
    std::fprintf(stderr, "sql_translation_fuzz: %s: %s\n", what, detail.toUtf8().constData());
    std::abort();
}

const char* const kFunctions[] = {"upper",   "lower",         "trim",           "printf",
                                  "replace", "glob",          "count",          "nullif",
                                  "ts_like", "ts_float_text", "ts_accent_fold", "json_each"};

int Authorize(void*, int action, const char* a, const char* b, const char*, const char*)
{
    switch (action) {
    case SQLITE_SELECT:
        return SQLITE_OK;
    case SQLITE_READ:
        // The table, and the list a long IN list travels in.
        if (a != nullptr && (std::strcmp(a, "dados") == 0 || std::strcmp(a, "json_each") == 0)) {
            return SQLITE_OK;
        }
        break;
    case SQLITE_FUNCTION:
        for (const char* allowed : kFunctions) {
            if (b != nullptr && sqlite3_stricmp(b, allowed) == 0) {
                return SQLITE_OK;
            }
        }
        break;
    default:
        break;
    }
    Finding("the statement tried more than reading the table",
            QStringLiteral("action %1 (%2, %3)")
                .arg(action)
                .arg(QString::fromUtf8(a ? a : ""), QString::fromUtf8(b ? b : "")));
}

struct Fixture {
    sqlite3* db = nullptr;
    host::ClientDataset client;
    host::Table schema;
    std::vector<QString> reads;

    Fixture()
    {
        sqlite3_open(":memory:", &db);
        const char* setup =
            "CREATE TABLE dados (CODIGO INTEGER PRIMARY KEY, NMCLIENTE VARCHAR(20), "
            "ATIVO BOOLEAN, LIMITE REAL, NASC DATE);"
            "INSERT INTO dados VALUES (1, 'João Gonçalves', 1, 10.5, '1980-05-01');"
            "INSERT INTO dados VALUES (2, 'MARIA', 0, NULL, NULL);"
            "INSERT INTO dados VALUES (3, NULL, 1, -3.0, '2000-01-01');"
            "INSERT INTO dados VALUES (40, 'ana_%''x', NULL, 1e9, '1999-12-31');"
            "CREATE TABLE segredo (senha TEXT); INSERT INTO segredo VALUES ('x');";
        if (sqlite3_exec(db, setup, nullptr, nullptr, nullptr) != SQLITE_OK) {
            std::abort();
        }
        if (!host::sql::SqliteDialect::RegisterFunctions(db)) {
            std::abort();
        }
        sqlite3_set_authorizer(db, Authorize, nullptr);
        client.AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
        client.AddField(QStringLiteral("NMCLIENTE"), host::FieldType::Text, 20);
        client.AddField(QStringLiteral("ATIVO"), host::FieldType::Boolean);
        client.AddField(QStringLiteral("LIMITE"), host::FieldType::Float);
        client.AddField(QStringLiteral("NASC"), host::FieldType::Date);
        client.AppendRecord({1, QStringLiteral("João Gonçalves"), true, 10.5, QDate(1980, 5, 1)});
        client.AppendRecord({2, QStringLiteral("MARIA"), false, QVariant(), QVariant()});
        client.AppendRecord({3, QVariant(), true, -3.0, QDate(2000, 1, 1)});
        client.AppendRecord({40, QStringLiteral("ana_%'x"), QVariant(), 1e9, QDate(1999, 12, 31)});
        client.Open();
        for (const auto& [name, type, size] : {std::tuple{"CODIGO", host::FieldType::Integer, 0},
                                               std::tuple{"NMCLIENTE", host::FieldType::Text, 20},
                                               std::tuple{"ATIVO", host::FieldType::Boolean, 0},
                                               std::tuple{"LIMITE", host::FieldType::Float, 0},
                                               std::tuple{"NASC", host::FieldType::Date, 0}}) {
            schema.AddField({QString::fromLatin1(name), type, size});
        }
        reads = {QStringLiteral("\"CODIGO\""), QStringLiteral("\"NMCLIENTE\""),
                 QStringLiteral("\"ATIVO\""), QStringLiteral("\"LIMITE\""),
                 QStringLiteral("CAST(\"NASC\" AS TEXT)")};
    }
};

Fixture& Shared()
{
    static Fixture* fixture = new Fixture;
    return *fixture;
}

// A limit of the server (expression depth, pattern length) is an answer, not a finding.
bool IsServerLimit(const char* message)
{
    for (const char* limit :
         {"too large", "too complex", "too many", "too big", "stack overflow"}) {
        if (std::strstr(message, limit) != nullptr) {
            return true;
        }
    }
    return false;
}

std::set<qlonglong> Run(Fixture& f, const host::sql::SqlText& statement, bool& limited)
{
    sqlite3_stmt* raw = nullptr;
    const QByteArray sql = statement.sql.toUtf8();
    limited = false;
    if (sqlite3_prepare_v2(f.db, sql.constData(), static_cast<int>(sql.size()), &raw, nullptr) !=
        SQLITE_OK) {
        if (IsServerLimit(sqlite3_errmsg(f.db))) {
            limited = true;
            return {};
        }
        Finding("the translation is not valid SQL",
                QString::fromUtf8(sqlite3_errmsg(f.db)) + QStringLiteral(": ") + statement.sql);
    }
    const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> stmt(raw, sqlite3_finalize);
    if (sqlite3_bind_parameter_count(raw) != statement.values.size()) {
        Finding("placeholders and bound values differ", statement.sql);
    }
    for (int i = 0; i < statement.values.size(); ++i) {
        const QVariant& v = statement.values[i];
        if (!v.isValid() || v.isNull()) {
            sqlite3_bind_null(raw, i + 1);
        } else if (v.typeId() == QMetaType::QString) {
            const QByteArray text = v.toString().toUtf8();
            sqlite3_bind_text(raw, i + 1, text.constData(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
        } else if (v.typeId() == QMetaType::Double) {
            sqlite3_bind_double(raw, i + 1, v.toDouble());
        } else {
            sqlite3_bind_int64(raw, i + 1, v.toLongLong());
        }
    }
    std::set<qlonglong> codes;
    int rc = 0;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        codes.insert(sqlite3_column_int64(raw, 0));
    }
    if (rc != SQLITE_DONE) {
        if (IsServerLimit(sqlite3_errmsg(f.db))) {
            limited = true;
            return {};
        }
        Finding("the statement failed", QString::fromUtf8(sqlite3_errmsg(f.db)));
    }
    return codes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fixture& f = Shared();
    // The first byte picks the options; the rest is the filter text.
    const bool caseInsensitive = size > 0 && (data[0] & 1) != 0;
    const bool ignoreAccents = size > 0 && (data[0] & 2) != 0;
    const QString text = size > 0 ? QString::fromUtf8(reinterpret_cast<const char*>(data + 1),
                                                      static_cast<qsizetype>(size - 1))
                                  : QString();
    host::FilterOptions options;
    options.setFlag(host::FilterOption::CaseInsensitive, caseInsensitive);
    options.setFlag(host::FilterOption::IgnoreAccents, ignoreAccents);
    host::filter::NodePtr root;
    try {
        root = host::filter::ParseFilter(text, f.schema, options);
    } catch (const host::DatasetError&) {
        return 0;
    }
    const host::sql::SqliteDialect dialect;
    host::sql::SqlText condition;
    try {
        condition = host::sql::TranslateFilter(*root, f.schema, dialect, f.reads);
    } catch (const host::DatasetError& error) {
        // Only text the server cannot take (a NUL character) may be refused here.
        if (!error.Message().contains(QLatin1String("NUL"))) {
            Finding("the translation refused a filter the parser took", error.Message());
        }
        return 0;
    }

    host::sql::KeysetQuery query(dialect, QStringLiteral("\"dados\""),
                                 QStringLiteral("\"CODIGO\", \"NMCLIENTE\""),
                                 {{QStringLiteral("\"NMCLIENTE\""), host::sql::ValueKind::Text, 1},
                                  {QStringLiteral("\"CODIGO\""), host::sql::ValueKind::Int, 0}});
    query.SetCondition(condition);
    bool limited = false;
    const std::set<qlonglong> selected = Run(f, query.Window(nullptr, false, 100, 0), limited);
    if (limited) {
        return 0;
    }
    const host::sql::RowValues anchor{QVariant::fromValue<qlonglong>(2), QStringLiteral("MARIA")};
    (void)Run(f, query.Window(&anchor, false, 100, 0), limited);
    (void)Run(f, query.Window(&anchor, true, 100, 1), limited);

    // The same records as ClientDataset.
    std::set<qlonglong> expected;
    try {
        f.client.SetFilterOptions(options);
        f.client.SetFilter(text);
        f.client.SetFiltered(true);
    } catch (const host::DatasetError& error) {
        Finding("ClientDataset refused what the parser took", error.Message());
    }
    for (int row = 0; row < f.client.RecordCount(); ++row) {
        expected.insert(f.client.Value(row, 0).toLongLong());
    }
    f.client.SetFiltered(false);
    if (expected != selected) {
        Finding("SQLite and ClientDataset select different records",
                text + QStringLiteral(" -> ") + condition.sql);
    }
    return 0;
}
