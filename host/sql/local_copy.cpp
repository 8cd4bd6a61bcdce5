#include "host/sql/local_copy.h"

#include "host/io/dataset_file.h"
#include "host/sql/sql_dialect.h"
#include "host/sql/sql_provider.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sqlite3.h>
#include <thread>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>
#include <unistd.h>

namespace host::sql {
namespace {

[[noreturn]] void Refuse(const QString& path, const QString& reason)
{
    throw DatasetError(
        QStringLiteral("The local copy \"%1\" cannot be written: %2").arg(path, reason));
}

// The data on disc before the name points at it (a power cut after the rename then
// finds the whole new copy or the old one).
bool Flush(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool flushed = ::fsync(fd) == 0;
    ::close(fd);
    return flushed;
}

void AddKeyIndex(const QString& file, const QString& table, const QStringList& key)
{
    if (key.isEmpty()) {
        return;
    }
    QStringList columns;
    for (const QString& name : key) {
        columns << SqlDialect::QuoteIdentifier(name);
    }
    sqlite3* db = nullptr;
    const int opened =
        sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const QByteArray sql = "CREATE UNIQUE INDEX ts_copy_key ON " +
                           SqlDialect::QuoteIdentifier(table).toUtf8() + " (" +
                           columns.join(QStringLiteral(", ")).toUtf8() + ")";
    char* message = nullptr;
    const int rc = opened == SQLITE_OK
                       ? sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message)
                       : opened;
    const QString reason = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
    sqlite3_free(message);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        throw DatasetError(reason);
    }
}

struct Refreshes {
    std::mutex mutex;
    std::map<QString, std::thread> threads;
    std::map<QString, bool> running;
    std::map<QString, QString> failures;

    ~Refreshes()
    {
        for (auto& [path, thread] : threads) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }
};

Refreshes& Registry()
{
    static Refreshes refreshes;
    return refreshes;
}

} // namespace

void CheckLocalCopyPath(const QString& path)
{
    if (path.isEmpty()) {
        Refuse(path, QStringLiteral("no path given"));
    }
    const QFileInfo file(path);
    if (file.exists() && !file.isFile()) {
        Refuse(path, QStringLiteral("it is not a file"));
    }
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir()) {
        Refuse(path, QStringLiteral("the folder \"%1\" does not exist").arg(folder.filePath()));
    }
    if (!folder.isWritable() ||
        ::access(QFile::encodeName(folder.filePath()).constData(), W_OK) != 0) {
        Refuse(path, QStringLiteral("the folder \"%1\" may not be written").arg(folder.filePath()));
    }
}

QDateTime LocalCopyTime(const QString& path)
{
    const QFileInfo file(path);
    return file.isFile() ? file.lastModified() : QDateTime();
}

bool LocalCopyIsStale(const QString& path, int maxAgeSeconds)
{
    const QDateTime written = LocalCopyTime(path);
    return !written.isValid() || written.secsTo(QDateTime::currentDateTime()) >= maxAgeSeconds;
}

QStringList LocalCopyKey(const QString& path)
{
    QStringList key;
    sqlite3* db = nullptr;
    if (QFileInfo(path).isFile() && sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                                    SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db,
                               "SELECT name FROM pragma_index_info('ts_copy_key') ORDER BY seqno",
                               -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                key << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return key;
}

void WriteLocalCopy(const LocalCopyJob& job)
{
    CheckLocalCopyPath(job.path);
    if (job.key.isEmpty()) {
        Refuse(job.path, QStringLiteral("table \"%1\" has neither a primary key nor a unique "
                                        "index on NOT NULL columns, so a copy could not tell "
                                        "its records apart and the cursor could land on "
                                        "another record; give the table a key to keep a copy")
                             .arg(job.table));
    }
    const QString staging = job.path + QStringLiteral(".new");
    try {
        Table table = ReadSqlTable(job.url, job.table);
        table.tableName = job.table;
        io::SaveTable(table, staging); // itself through a temporary file
        AddKeyIndex(staging, job.table, job.key);
        if (!job.searchFields.isEmpty()) {
            (void)SqlDataset::CreateSearchIndexes(QStringLiteral("sqlite:") + staging, job.table,
                                                  job.searchFields, job.options);
        }
        if (!Flush(staging)) {
            Refuse(job.path, QStringLiteral("the new copy cannot be flushed to disc"));
        }
        if (std::rename(QFile::encodeName(staging).constData(),
                        QFile::encodeName(job.path).constData()) != 0) {
            Refuse(job.path, QString::fromLocal8Bit(strerror(errno)));
        }
        (void)Flush(QFileInfo(job.path).absolutePath()); // the rename itself
    } catch (const DatasetError& error) {
        QFile::remove(staging);
        if (error.Message().startsWith(QLatin1String("The local copy"))) {
            throw;
        }
        Refuse(job.path, error.Message());
    }
}

void RefreshLocalCopyInBackground(const LocalCopyJob& job)
{
    Refreshes& registry = Registry();
    const std::lock_guard lock(registry.mutex);
    if (registry.running[job.path]) {
        return;
    }
    auto& thread = registry.threads[job.path];
    if (thread.joinable()) {
        thread.join(); // finished: it cleared its flag
    }
    registry.running[job.path] = true;
    thread = std::thread([job] {
        QString failure;
        try {
            WriteLocalCopy(job);
        } catch (const std::exception& error) {
            failure = QString::fromUtf8(error.what());
        }
        Refreshes& registry = Registry();
        const std::lock_guard lock(registry.mutex);
        registry.failures[job.path] = failure;
        registry.running[job.path] = false;
    });
}

bool LocalCopyRefreshing(const QString& path)
{
    Refreshes& registry = Registry();
    const std::lock_guard lock(registry.mutex);
    return registry.running[path];
}

QString LocalCopyFailure(const QString& path)
{
    Refreshes& registry = Registry();
    const std::lock_guard lock(registry.mutex);
    return registry.failures[path];
}

} // namespace host::sql
