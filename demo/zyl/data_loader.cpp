#include "demo/zyl/data_loader.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/database.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/field.h>
#include <touchsearch/sql_dataset.h>

namespace zyl {

namespace {

QString Quoted(const QString& identifier)
{
    QString quoted = identifier;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Copies one table, with its declared column types, into a new database file of its
// own: the dataset loads files that hold a single table.
void CopyTable(const QString& source, const QString& table, const QString& target)
{
    sqlite3* db = nullptr;
    const auto fail = [&](const QString& what) {
        const bool failed = db == nullptr || sqlite3_errcode(db) != SQLITE_OK;
        const QString reason =
            db != nullptr && failed
                ? QStringLiteral(" (%1)").arg(QString::fromUtf8(sqlite3_errmsg(db)))
                : QString();
        sqlite3_close(db);
        throw host::DatasetError(QStringLiteral("%1: %2%3").arg(source, what, reason));
    };
    const QByteArray targetName = QFile::encodeName(target);
    if (sqlite3_open_v2(targetName.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        fail(QStringLiteral("cannot make a copy of the table"));
    }
    sqlite3_stmt* statement = nullptr;
    const QByteArray sourceName = QFile::encodeName(source);
    if (sqlite3_prepare_v2(db, "ATTACH DATABASE ?1 AS src", -1, &statement, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("cannot open the database"));
    }
    sqlite3_bind_text(statement, 1, sourceName.constData(), static_cast<int>(sourceName.size()),
                      SQLITE_TRANSIENT);
    const int attached = sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (attached != SQLITE_DONE) {
        fail(QStringLiteral("cannot open the database"));
    }
    if (sqlite3_prepare_v2(
            db,
            "SELECT name, sql FROM src.sqlite_master WHERE type = 'table' AND name = "
            "?1 COLLATE NOCASE",
            -1, &statement, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("cannot read the list of tables"));
    }
    const QByteArray tableName = table.toUtf8();
    sqlite3_bind_text(statement, 1, tableName.constData(), static_cast<int>(tableName.size()),
                      SQLITE_TRANSIENT);
    QString name;
    QByteArray createSql;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        createSql = reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
    }
    sqlite3_finalize(statement);
    if (createSql.isEmpty()) {
        fail(QStringLiteral("there is no table \"%1\"").arg(table));
    }
    // The CREATE statement names no schema, so it makes the table in the copy (main).
    const QByteArray copy =
        QStringLiteral("INSERT INTO main.%1 SELECT * FROM src.%1").arg(Quoted(name)).toUtf8();
    if (sqlite3_exec(db, createSql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, copy.constData(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, "DETACH DATABASE src", nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("cannot read the table \"%1\"").arg(table));
    }
    sqlite3_close(db);
}

std::unique_ptr<host::ClientDataset> LoadFile(const Options& options, const QString& programFolder)
{
    QString file = options.data;
    if (file.isEmpty()) {
        file = programFolder + QLatin1Char('/') + QLatin1String(kSampleFile);
        if (!QFileInfo(file).isFile()) {
            throw host::DatasetError(QStringLiteral("the bundled sample %1 is missing; build it "
                                                    "with the project or pass --data FILE")
                                         .arg(file));
        }
    }
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) {
        // Shown as a URL is: a libpq keyword/value string given here is no file, and its
        // password must not be printed.
        throw host::DatasetError(
            QStringLiteral("%1: no such readable file").arg(host::UrlWithoutPassword(file)));
    }
    const bool csv = info.suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0;

    auto dataset = std::make_unique<host::ClientDataset>();
    if (!options.table.isEmpty()) {
        if (csv) {
            throw host::DatasetError(
                QStringLiteral("--table applies to SQLite files; %1 is a CSV file").arg(file));
        }
        QTemporaryDir folder;
        if (!folder.isValid()) {
            throw host::DatasetError(
                QStringLiteral("cannot make a temporary folder to read table %1")
                    .arg(options.table));
        }
        const QString copy = folder.filePath(QStringLiteral("table.db"));
        CopyTable(file, options.table, copy);
        dataset->LoadFromFile(copy);
    } else {
        dataset->LoadFromFile(file);
    }
    return dataset;
}

// A database's table searched live, on a read-only connection of the dataset's own.
void OpenLive(const Options& options, LoadedData& loaded)
{
    const QString table =
        options.table.isEmpty() ? host::OnlySqlTable(options.data) : options.table;
    auto dataset = std::make_unique<host::SqlDataset>();
    dataset->SetDatabaseUrl(options.data);
    dataset->SetTableName(table);
    if (!options.order.isEmpty())
        dataset->SetOrderFields(options.order);
    if (options.statementTimeoutMs > 0)
        dataset->SetStatementTimeout(options.statementTimeoutMs);
    if (!options.localCopy.isEmpty())
        dataset->SetLocalCopy(options.localCopy, options.localCopyAge);
    loaded.dataset = std::move(dataset);
}

// The filter options the command line asks for.
host::FilterOptions FilterOptionsOf(const Options& options)
{
    host::FilterOptions filterOptions;
    filterOptions.setFlag(host::FilterOption::CaseInsensitive, options.caseInsensitive);
    filterOptions.setFlag(host::FilterOption::IgnoreAccents, options.ignoreAccents);
    return filterOptions;
}

void CreateIndexes(const Options& options, const host::SqlDataset& dataset)
{
    QStringList fields;
    for (int i = 0; i < dataset.GetFieldCount(); ++i) {
        const host::Field* field = dataset.GetField(i);
        if (field->GetVisible() && field->GetType() == host::FieldType::Text)
            fields << field->GetName();
    }
    try {
        host::SqlDataset::CreateSearchIndexes(dataset.GetConnectionName(), dataset.GetTableName(),
                                              fields, FilterOptionsOf(options));
    } catch (const std::exception& e) {
        throw host::DatasetError(
            QStringLiteral("--create-indexes on %1: %2")
                .arg(host::UrlWithoutPassword(options.data), QString::fromUtf8(e.what())));
    }
}

} // namespace

LoadedData::LoadedData() = default;
LoadedData::LoadedData(LoadedData&&) noexcept = default;
LoadedData& LoadedData::operator=(LoadedData&&) noexcept = default;
LoadedData::~LoadedData() = default;

LoadedData LoadDataset(const Options& options, const QString& programFolder)
{
    LoadedData loaded;
    if (options.copyTimeoutMs > 0)
        host::SetCopyTimeout(options.copyTimeoutMs);
    const bool url = IsDatabaseUrl(options.data);
    const QString source = url ? host::UrlWithoutPassword(options.data)
                           : options.data.isEmpty()
                               ? programFolder + QLatin1Char('/') + QLatin1String(kSampleFile)
                               : options.data;
    if (url && !options.copy) {
        OpenLive(options, loaded);
    } else if (url) {
        auto dataset = std::make_unique<host::ClientDataset>();
        dataset->LoadFromDatabase(options.data, options.table);
        loaded.dataset = std::move(dataset);
    } else {
        loaded.dataset = LoadFile(options, programFolder);
    }
    host::Dataset* dataset = loaded.dataset.get();
    dataset->setObjectName(QStringLiteral("cdsZyl"));
    if (!dataset->IsActive()) {
        dataset->Open();
    }
    for (const QString& name : options.hide) {
        host::Field* field = dataset->FindField(name);
        if (field == nullptr) {
            throw host::DatasetError(
                QStringLiteral("--hide: %1 has no field \"%2\"").arg(source, name));
        }
        field->SetVisible(false);
    }
    if (options.createIndexes)
        CreateIndexes(options, static_cast<const host::SqlDataset&>(*dataset));
    dataset->SetFilterOptions(FilterOptionsOf(options));
    if (options.filter) {
        try {
            dataset->SetFilter(*options.filter);
        } catch (const std::exception& e) {
            throw host::DatasetError(QStringLiteral("--filter \"%1\": %2")
                                         .arg(*options.filter, QString::fromUtf8(e.what())));
        }
    }
    if (options.filtered) {
        dataset->SetFiltered(true);
    }
    return loaded;
}

} // namespace zyl
