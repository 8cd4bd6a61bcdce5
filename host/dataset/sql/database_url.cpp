#include "host/dataset/sql/database_url.h"

#include "host/dataset/dataset_error.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <libpq-fe.h>
#include <memory>

namespace host {
namespace {

const QString kPostgreSqlDriver = QStringLiteral("QPSQL");
const QString kSqliteDriver = QStringLiteral("QSQLITE");

QString NotAUrl(const QString& url)
{
    return QStringLiteral("\"%1\" is not a database URL; expected postgresql://… or sqlite:PATH")
        .arg(UrlWithoutPassword(url));
}

// A value in libpq's key='value' form. QPSQL turns every ";" of its connect options
// into a space, so a value cannot hold one.
QString ConnectOption(const QString& key, QString value, const QString& url)
{
    if (value.contains(QLatin1Char(';')))
        throw DatasetError(QStringLiteral("\"%1\": the parameter \"%2\" holds a \";\", which the "
                                          "PostgreSQL driver cannot pass on")
                               .arg(UrlWithoutPassword(url), key));
    value.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    value.replace(QLatin1String("'"), QLatin1String("\\'"));
    return key + QLatin1String("='") + value + QLatin1Char('\'');
}

bool IsPortNumber(const QString& value)
{
    bool ok = false;
    const int port = value.toInt(&ok);
    return ok && port > 0 && port < 65536;
}

DatabaseUrl ParsePostgreSql(const QString& url)
{
    DatabaseUrl parsed;
    parsed.kind = DatabaseUrl::Kind::PostgreSql;
    parsed.original = url;
    parsed.shown = UrlWithoutPassword(url);

    char* error = nullptr;
    const std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
        PQconninfoParse(url.toUtf8().constData(), &error), &PQconninfoFree);
    if (!options) {
        const QString reason =
            error ? QString::fromUtf8(error).simplified() : QStringLiteral("out of memory");
        PQfreemem(error);
        throw DatasetError(
            QStringLiteral("\"%1\" is not a valid PostgreSQL URI: %2").arg(parsed.shown, reason));
    }
    for (const PQconninfoOption* option = options.get(); option->keyword; ++option) {
        if (!option->val)
            continue;
        const QString key = QString::fromUtf8(option->keyword);
        const QString value = QString::fromUtf8(option->val);
        if (key == QLatin1String("host"))
            parsed.host = value;
        else if (key == QLatin1String("dbname"))
            parsed.database = value;
        else if (key == QLatin1String("user"))
            parsed.user = value;
        else if (key == QLatin1String("password"))
            parsed.password = value;
        else if (key == QLatin1String("port") && IsPortNumber(value))
            parsed.port = value.toInt();
        else if (key == QLatin1String("options"))
            parsed.serverOptions = value;
        else // a port list or a bad port goes to libpq as written, which names the fault
            parsed.connectOptions << ConnectOption(key, value, url);
    }
    return parsed;
}

QString NextConnectionName()
{
    static std::atomic<unsigned long long> counter{0};
    return QStringLiteral("ts-sql-%1").arg(++counter);
}

[[noreturn]] void RaiseOpenFailure(const DatabaseUrl& url, const QString& reason)
{
    throw DatasetError(
        QStringLiteral("Cannot open the database \"%1\": %2").arg(url.shown, reason));
}

void RequireDriver(const DatabaseUrl& url, const QString& driver, const char* package)
{
    if (!QSqlDatabase::isDriverAvailable(driver))
        RaiseOpenFailure(url,
                         QStringLiteral("QtSql's %1 driver is not installed (Debian package %2)")
                             .arg(driver, QLatin1String(package)));
}

QSqlDatabase OpenPostgreSql(const DatabaseUrl& url, DatabaseAccess access)
{
    RequireDriver(url, kPostgreSqlDriver, "libqt6sql6-psql");
    QStringList options = url.connectOptions;
    const QString serverOptions =
        access == DatabaseAccess::ReadOnly ? ReadOnlyServerOptions(url) : url.serverOptions;
    if (!serverOptions.isEmpty())
        options << ConnectOption(QStringLiteral("options"), serverOptions, url.shown);

    const QString name = NextConnectionName();
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kPostgreSqlDriver, name);
        db.setHostName(url.host);
        db.setDatabaseName(url.database);
        db.setUserName(url.user);
        db.setPassword(url.password);
        if (url.port >= 0)
            db.setPort(url.port);
        db.setConnectOptions(options.join(QLatin1Char(';')));
        if (db.open())
            return db;
        failure = db.lastError().text().simplified();
    }
    QSqlDatabase::removeDatabase(name);
    RaiseOpenFailure(url, failure);
}

QSqlDatabase OpenSqlite(const DatabaseUrl& url, DatabaseAccess access)
{
    RequireDriver(url, kSqliteDriver, "libqt6sql6-sqlite");
    const QFileInfo file(url.path);
    // The driver would create a missing file; a database that is not there is an error.
    if (!file.exists())
        RaiseOpenFailure(url, QStringLiteral("the file \"%1\" does not exist").arg(url.path));
    if (!file.isFile())
        RaiseOpenFailure(url, QStringLiteral("\"%1\" is not a file").arg(url.path));

    const QString name = NextConnectionName();
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kSqliteDriver, name);
        db.setDatabaseName(url.path);
        if (access == DatabaseAccess::ReadOnly)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            // SQLite reads the file only at the first statement: a file that is no
            // database fails here rather than in the first search.
            QSqlQuery probe(db);
            if (probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
                return db;
            failure = probe.lastError().text().simplified();
            db.close();
        } else {
            failure = db.lastError().text().simplified();
        }
    }
    QSqlDatabase::removeDatabase(name);
    RaiseOpenFailure(url, failure);
}

} // namespace

QString UrlWithoutPassword(const QString& url)
{
    // By pattern rather than by QUrl, so that a URL too broken to parse still loses it.
    static const QRegularExpression userInfo(
        QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*://[^/@:?#]*):[^@/?#]*@"));
    static const QRegularExpression parameter(QStringLiteral("([?&])password=[^&#]*&?"));
    QString shown = url;
    shown.replace(userInfo, QStringLiteral("\\1@"));
    shown.replace(parameter, QStringLiteral("\\1"));
    if (shown.endsWith(QLatin1Char('?')) || shown.endsWith(QLatin1Char('&')))
        shown.chop(1);
    return shown;
}

QString ReadOnlyServerOptions(const DatabaseUrl& url)
{
    // The server applies its options in order: the last setting of a name wins.
    const QString readOnly = QStringLiteral("-c default_transaction_read_only=on");
    return url.serverOptions.isEmpty() ? readOnly
                                       : url.serverOptions + QLatin1Char(' ') + readOnly;
}

DatabaseUrl ParseDatabaseUrl(const QString& url)
{
    if (url.startsWith(QLatin1String("postgresql://")) ||
        url.startsWith(QLatin1String("postgres://")))
        return ParsePostgreSql(url);
    if (url.startsWith(QLatin1String("sqlite:"))) {
        DatabaseUrl parsed;
        parsed.kind = DatabaseUrl::Kind::Sqlite;
        parsed.path = url.mid(7);
        parsed.original = url;
        parsed.shown = url;
        if (parsed.path.isEmpty())
            throw DatasetError(
                QStringLiteral("\"%1\" names no file; expected sqlite:PATH").arg(url));
        return parsed;
    }
    throw DatasetError(NotAUrl(url));
}

QSqlDatabase OpenDatabase(const QString& url, DatabaseAccess access)
{
    return OpenDatabase(ParseDatabaseUrl(url), access);
}

QSqlDatabase OpenDatabase(const DatabaseUrl& url, DatabaseAccess access)
{
    return url.kind == DatabaseUrl::Kind::PostgreSql ? OpenPostgreSql(url, access)
                                                     : OpenSqlite(url, access);
}

void CloseDatabase(const QString& connectionName)
{
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

ScopedDatabase::ScopedDatabase(const QString& url, DatabaseAccess access)
    : m_url(ParseDatabaseUrl(url)), m_name(OpenDatabase(m_url, access).connectionName())
{
}

ScopedDatabase::~ScopedDatabase()
{
    CloseDatabase(m_name);
}

QSqlDatabase ScopedDatabase::Database() const
{
    return QSqlDatabase::database(m_name, false);
}

} // namespace host
