#include "host/sql/database_url.h"

#include "host/sql/host_probe.h"
#include "host/sql/socket_watchdog.h"
#include "host/sql/sql_dialect.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <libpq-fe.h>
#include <memory>
#include <optional>
#include <touchsearch/dataset_error.h>

namespace host::sql {
namespace {

const QString kPostgreSqlDriver = QStringLiteral("QPSQL");
const char* const kNoServerAnswers = "no server answers";
const QString kSqliteDriver = QStringLiteral("QSQLITE");

using ConninfoOptions = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;

// libpq's reading of a keyword/value string or URI; null with libpq's reason in error.
ConninfoOptions ParseConninfo(const QString& text, QString* error)
{
    char* message = nullptr;
    ConninfoOptions options(PQconninfoParse(text.toUtf8().constData(), &message), &PQconninfoFree);
    if (!options && error)
        *error =
            message ? QString::fromUtf8(message).simplified() : QStringLiteral("out of memory");
    PQfreemem(message);
    return options;
}

bool NamesPassword(const QString& name)
{
    return name.contains(QLatin1String("password"), Qt::CaseInsensitive);
}

// The connection keywords libpq knows (from libpq itself), and "ssl", which a URI may
// also use.
bool IsLibpqKeyword(const QString& name)
{
    static const QSet<QString> keywords = [] {
        QSet<QString> names{QStringLiteral("ssl")};
        const ConninfoOptions defaults(PQconndefaults(), &PQconninfoFree);
        for (const PQconninfoOption* option = defaults.get(); option && option->keyword; ++option)
            names.insert(QString::fromUtf8(option->keyword));
        return names;
    }();
    return keywords.contains(name);
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A URI parameter's name as libpq decodes it; none when it is no valid percent-encoding
// (libpq refuses it).
std::optional<QString> DecodedName(QStringView raw)
{
    const QByteArray bytes = raw.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '%' &&
            (i + 2 >= bytes.size() || !IsHexDigit(bytes[i + 1]) || !IsHexDigit(bytes[i + 2])))
            return std::nullopt;
    }
    const QByteArray decoded = QByteArray::fromPercentEncoding(bytes);
    if (decoded.isEmpty() || decoded.contains('\0'))
        return std::nullopt;
    return QString::fromUtf8(decoded);
}

// A URI ("scheme://…") cut where libpq cuts it, and what of it a message may show.
struct UriText {
    QString scheme; // "postgresql://"
    bool hasUserInfo = false;
    QString user;                // the user information before its ":", as written
    QString body;                // hosts, ports and database, as written
    QStringList shownParameters; // as written
    QSet<QString> shownNames;    // their names, decoded
    // Where the user information ends is unclear: an "@" past it that libpq would read as
    // part of a host, port, database or parameter name (a password holding an "@" or "/"
    // not percent-encoded, whose rest libpq would take for those), or a "?" in it.
    bool unclear = false;
    QString lead; // the user name or host as written before any ":", "@", "/" or "?"
};

UriText ReadUri(QStringView scheme, QStringView rest)
{
    UriText uri;
    uri.scheme = scheme.toString();
    qsizetype lead = 0;
    while (lead < rest.size() && !QStringView(u":@/?#&=,[").contains(rest[lead]))
        ++lead;
    uri.lead = rest.first(lead).toString();

    // libpq ends the user information at the first "@" before any "/", and its user
    // name at the first ":" in it. That "@" may also be one in a parameter's value
    // ("postgresql://host?password=p@ss"): user information holding a "?" is unclear.
    qsizetype start = 0;
    for (qsizetype i = 0; i < rest.size() && rest[i] != u'/'; ++i) {
        if (rest[i] == u'@') {
            const QStringView info = rest.first(i);
            const qsizetype colon = info.indexOf(u':');
            uri.hasUserInfo = true;
            uri.user = (colon < 0 ? info : info.first(colon)).toString();
            uri.unclear = info.contains(u'?');
            start = i + 1;
            break;
        }
    }
    const qsizetype query = rest.indexOf(u'?', start);
    const QStringView body = rest.sliced(start, (query < 0 ? rest.size() : query) - start);
    uri.body = body.toString();
    uri.unclear = uri.unclear || body.contains(u'@');
    if (query < 0)
        return uri;

    // Parameters: a password's value ends at the next "&", so one written with an "&"
    // as it is runs on into what looks like further parameters: after a password only
    // libpq's own keywords are shown.
    bool afterPassword = false;
    for (const QStringView piece : rest.sliced(query + 1).split(u'&')) {
        const qsizetype equals = piece.indexOf(u'=');
        const QStringView rawName = equals < 0 ? piece : piece.first(equals);
        const bool wellFormed = equals > 0 && piece.indexOf(u'=', equals + 1) < 0;
        const std::optional<QString> name = DecodedName(rawName);
        const bool keyword = wellFormed && name && IsLibpqKeyword(*name);
        if (piece.contains(u'@') && !keyword)
            uri.unclear = true;
        // A name that libpq refuses still says "password" to a reader.
        if (NamesPassword(QString::fromUtf8(QByteArray::fromPercentEncoding(rawName.toUtf8())))) {
            afterPassword = true;
            continue;
        }
        if (!wellFormed || !name || (afterPassword && !keyword))
            continue;
        uri.shownParameters << piece.toString();
        uri.shownNames.insert(*name);
    }
    return uri;
}

QString ShownUri(const UriText& uri)
{
    // Where the password ends cannot be told: the scheme and the user name only.
    if (uri.unclear)
        return uri.scheme + uri.lead + QStringLiteral("…");
    QString shown = uri.scheme;
    if (uri.hasUserInfo)
        shown += uri.user + QLatin1Char('@');
    shown += uri.body;
    if (!uri.shownParameters.isEmpty())
        shown += QLatin1Char('?') + uri.shownParameters.join(QLatin1Char('&'));
    return shown;
}

const QRegularExpression& UriScheme()
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme;
}

// Text that is no URI: a libpq keyword/value string keeps its keywords but the
// passwords; other text is cut before anything that may lead to a password.
QString ShownOtherText(const QString& text)
{
    if (text.contains(QLatin1Char('='))) {
        if (const ConninfoOptions options = ParseConninfo(text, nullptr)) {
            QStringList pairs;
            for (const PQconninfoOption* option = options.get(); option->keyword; ++option) {
                const QString name = QString::fromUtf8(option->keyword);
                if (option->val && !NamesPassword(name))
                    pairs << name + QLatin1Char('=') + QString::fromUtf8(option->val);
            }
            return pairs.join(QLatin1Char(' '));
        }
    }
    qsizetype cut = text.indexOf(QLatin1String("password"), 0, Qt::CaseInsensitive);
    if (const qsizetype at = text.indexOf(QLatin1Char('@')); at >= 0) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        const qsizetype before = colon >= 0 && colon < at ? colon : at;
        cut = cut < 0 ? before : std::min(cut, before);
    }
    return cut < 0 ? text : text.left(cut) + QStringLiteral("…");
}

// libpq's reason for refusing a URI, without what it quotes of the URI unless that is a
// parameter name the shown URI holds: libpq quotes whole values and even the whole URI,
// passwords included.
QString LibpqReason(const QString& reason, const QSet<QString>& shownNames)
{
    const qsizetype quote = reason.indexOf(QLatin1String(": \""));
    if (quote >= 0 && reason.endsWith(QLatin1Char('"'))) {
        const QString quoted = reason.mid(quote + 3, reason.size() - quote - 4);
        return shownNames.contains(quoted) ? reason : reason.left(quote);
    }
    // A reason of another form (a translation, say) loses whatever it quotes.
    const qsizetype first = reason.indexOf(QLatin1Char('"'));
    return first < 0 ? reason : reason.left(first).trimmed();
}

QString NotAUrl(const QString& url)
{
    return QStringLiteral("\"%1\" is not a database URL; expected postgresql://… or sqlite:PATH")
        .arg(UrlWithoutPassword(url));
}

// A value in libpq's key='value' form. QPSQL turns every ";" of its connect options
// into a space, so a value cannot hold one.
QString ConnectOption(const QString& key, QString value, const QString& shownUrl)
{
    if (value.contains(QLatin1Char(';')))
        throw DatasetError(QStringLiteral("\"%1\": the parameter \"%2\" holds a \";\", which the "
                                          "PostgreSQL driver cannot pass on")
                               .arg(shownUrl, key));
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

[[noreturn]] void RaiseBadUri(const QString& shown, const QString& reason)
{
    throw DatasetError(
        QStringLiteral("\"%1\" is not a valid PostgreSQL URI: %2").arg(shown, reason));
}

// libpq 15's values; libpq itself would refuse another only when connecting.
void CheckSessionAttrs(const QString& value, const QString& shown)
{
    static const QStringList known{QStringLiteral("any"),       QStringLiteral("read-write"),
                                   QStringLiteral("read-only"), QStringLiteral("primary"),
                                   QStringLiteral("standby"),   QStringLiteral("prefer-standby")};
    if (!known.contains(value))
        RaiseBadUri(shown, QStringLiteral("target_session_attrs \"%1\" is none of %2")
                               .arg(value, known.join(QStringLiteral(", "))));
}

// Several servers: every host named, and one port for all or one for each.
void CheckServerLists(const DatabaseUrl& url)
{
    const qsizetype servers = std::max(url.hosts.size(), url.hostaddrs.size());
    if (servers > 1) {
        for (const QStringList* list : {&url.hosts, &url.hostaddrs}) {
            if (list->size() > 1 && list->contains(QString()))
                RaiseBadUri(url.shown,
                            QStringLiteral("its list of %1 hosts has an empty entry (\"%2\")")
                                .arg(list->size())
                                .arg(list->join(QLatin1Char(','))));
        }
        if (!url.hosts.isEmpty() && !url.hostaddrs.isEmpty() &&
            url.hosts.size() != url.hostaddrs.size())
            RaiseBadUri(url.shown, QStringLiteral("it names %1 hosts and %2 host addresses")
                                       .arg(url.hosts.size())
                                       .arg(url.hostaddrs.size()));
    }
    if (url.ports.size() > 1 && url.ports.size() != servers)
        RaiseBadUri(url.shown, QStringLiteral("it names %1 hosts and %2 ports; give one port "
                                              "for all or one for each host")
                                   .arg(servers)
                                   .arg(url.ports.size()));
    for (const QString& port : url.ports) {
        if (!port.isEmpty() && !IsPortNumber(port))
            RaiseBadUri(url.shown, QStringLiteral("\"%1\" is not a port number").arg(port));
    }
}

DatabaseUrl ParsePostgreSql(const QString& url)
{
    DatabaseUrl parsed;
    parsed.kind = DatabaseUrl::Kind::PostgreSql;
    parsed.original = url;
    parsed.shown = UrlWithoutPassword(url);

    const QRegularExpressionMatch scheme = UriScheme().match(url);
    const UriText text =
        ReadUri(scheme.capturedView(), QStringView(url).sliced(scheme.capturedLength()));
    if (text.unclear) {
        throw DatasetError(QLatin1Char('"') + parsed.shown +
                           QStringLiteral("\" is not a valid PostgreSQL URI: where its user "
                                          "name and password end is unclear (an \"@\" past "
                                          "them, or a \"?\" before their \"@\"); write \"@\" "
                                          "as %40, \"/\" as %2F and \"?\" as %3F in a "
                                          "password, user name or database name"));
    }
    QString error;
    const ConninfoOptions options = ParseConninfo(url, &error);
    if (!options) {
        throw DatasetError(QStringLiteral("\"%1\" is not a valid PostgreSQL URI: %2")
                               .arg(parsed.shown, LibpqReason(error, text.shownNames)));
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
        else if (key == QLatin1String("options"))
            parsed.serverOptions = value;
        else if (key == QLatin1String("port"))
            parsed.ports = value.split(QLatin1Char(','));
        else if (key == QLatin1String("hostaddr"))
            parsed.hostaddrs = value.split(QLatin1Char(','));
        else if (key == QLatin1String("target_session_attrs"))
            CheckSessionAttrs(value, parsed.shown);
        if (key == QLatin1String("host"))
            parsed.hosts = value.split(QLatin1Char(','));
        else if (key != QLatin1String("dbname") && key != QLatin1String("user") &&
                 key != QLatin1String("password") && key != QLatin1String("options") &&
                 key != QLatin1String("port") && key != QLatin1String("hostaddr"))
            parsed.connectOptions << ConnectOption(key, value, parsed.shown);
    }
    CheckServerLists(parsed);
    if (parsed.ports.size() == 1 && IsPortNumber(parsed.ports.front()))
        parsed.port = parsed.ports.front().toInt();
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

} // namespace

bool ConnectPostgreSql(QSqlDatabase& db, const DatabaseUrl& url, DatabaseAccess access,
                       QString& failure)
{
    const HostChoice choice = ChooseHosts(url);
    if (choice.answering == 0) {
        failure = QLatin1String(kNoServerAnswers) +
                  QStringLiteral(" (%1)").arg(choice.failures.join(QStringLiteral("; ")));
        return false;
    }
    QStringList options = url.connectOptions + BoundingOptions(url);
    if (!choice.ports.isEmpty())
        options << ConnectOption(QStringLiteral("port"), choice.ports, url.shown);
    if (!choice.hostaddrs.isEmpty())
        options << ConnectOption(QStringLiteral("hostaddr"), choice.hostaddrs, url.shown);
    if (!url.serverOptions.isEmpty())
        options << ConnectOption(QStringLiteral("options"), url.serverOptions, url.shown);
    db.setHostName(choice.hosts);
    db.setDatabaseName(url.database);
    db.setUserName(url.user);
    db.setPassword(url.password);
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db.open()) {
        failure = db.lastError().text().simplified();
        return false;
    }
    if (access == DatabaseAccess::ReadOnly) {
        const SocketBound bound(db, url.timeoutMs);
        QSqlQuery query(db);
        if (!query.exec(QString::fromLatin1(kPostgreSqlReadOnly))) {
            failure = query.lastError().text().simplified();
            query.finish();
            db.close();
            return false;
        }
    }
    return true;
}

QSqlDatabase OpenPostgreSqlDatabase(const DatabaseUrl& url, DatabaseAccess access)
{
    RequireDriver(url, kPostgreSqlDriver, "libqt6sql6-psql");
    const QString name = NextConnectionName();
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kPostgreSqlDriver, name);
        if (ConnectPostgreSql(db, url, access, failure))
            return db;
    }
    QSqlDatabase::removeDatabase(name);
    if (failure.startsWith(QLatin1String(kNoServerAnswers)))
        throw ServerUnreachable(
            QStringLiteral("Cannot open the database \"%1\": %2").arg(url.shown, failure));
    RaiseOpenFailure(url, failure);
}

QSqlDatabase OpenSqliteDatabase(const DatabaseUrl& url, DatabaseAccess access)
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
        // A writer holding the file waits this long, not SQLite's driver default.
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(url.timeoutMs);
        if (access == DatabaseAccess::ReadOnly)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
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

} // namespace host::sql

// Declared in the public <touchsearch/database.h>.
namespace host {

QString UrlWithoutPassword(const QString& url)
{
    using namespace sql;
    // An SQLite file's path holds no password.
    if (url.startsWith(QLatin1String("sqlite:")))
        return url;
    const QRegularExpressionMatch scheme = UriScheme().match(url);
    if (!scheme.hasMatch())
        return ShownOtherText(url);
    return ShownUri(
        ReadUri(scheme.capturedView(), QStringView(url).sliced(scheme.capturedLength())));
}

} // namespace host

namespace host::sql {

const char* const kPostgreSqlReadOnly = "SET SESSION default_transaction_read_only = on";

QStringList BoundingOptions(const DatabaseUrl& url)
{
    const auto set = [&](const char* key) {
        const QString prefix = QLatin1String(key) + QLatin1Char('=');
        for (const QString& option : url.connectOptions) {
            if (option.startsWith(prefix))
                return true;
        }
        return false;
    };
    const int seconds = std::max(2, (url.timeoutMs + 999) / 1000); // libpq's least is 2
    const std::pair<const char*, QString> bounds[] = {
        {"connect_timeout", QString::number(seconds)},
        {"keepalives", QStringLiteral("1")},
        {"keepalives_idle", QString::number(seconds)},
        {"keepalives_interval", QStringLiteral("1")},
        {"keepalives_count", QStringLiteral("3")},
        {"tcp_user_timeout", QString::number(std::max(2000, 2 * url.timeoutMs))},
    };
    QStringList options;
    for (const auto& [key, value] : bounds) {
        if (!set(key))
            options << QLatin1String(key) + QLatin1String("='") + value + QLatin1Char('\'');
    }
    return options;
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
    return SqlDialect::ForUrl(url)->Open(url, access);
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

} // namespace host::sql
