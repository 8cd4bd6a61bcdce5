// Random passwords written into random database URL forms (after "user:", as a
// "password" parameter, percent-encoded or with "@", ":", "/", "?", "&", "=" and "%" as
// they are, beside one or several hosts, or in a keyword/value string): neither the URL
// as messages show it nor the refusal of a malformed one may hold three characters in a
// row of the password. A password alternates rare capitals with signs, so that every
// three characters of it hold a capital no other part of a message has.
#include "host/sql/database_url.h"

#include <QUrl>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <touchsearch/dataset_error.h>

namespace {

const QString kCapitals = QStringLiteral("QZXJKVW");
const QString kRawSigns = QStringLiteral("@:/?#&=% !$'()*+,;[]~\\\"");

[[noreturn]] void Finding(const QString& url, const QString& piece, const QString& message)
{
    std::fprintf(stderr, "database_url_fuzz: \"%s\" of the password shown for %s: %s\n",
                 piece.toUtf8().constData(), url.toUtf8().constData(),
                 message.toUtf8().constData());
    std::abort();
}

void Check(const QString& url, const QStringList& secrets)
{
    QStringList messages{host::UrlWithoutPassword(url)};
    try {
        messages << host::sql::ParseDatabaseUrl(url).shown;
    } catch (const host::DatasetError& error) {
        messages << QString::fromUtf8(error.what());
    }
    for (const QString& secret : secrets) {
        for (qsizetype i = 0; i + 3 <= secret.size(); ++i) {
            const QString piece = secret.mid(i, 3);
            bool marked = false;
            for (const QChar c : piece)
                marked = marked || kCapitals.contains(c);
            if (!marked)
                continue;
            for (const QString& message : messages) {
                if (message.contains(piece))
                    Finding(url, piece, message);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    const unsigned form = data[0] % 8;
    const unsigned hostsChoice = (data[0] / 8) % 5;
    const bool raw = (data[1] & 1) != 0;
    const size_t phase = (data[1] >> 1) & 1;
    const bool socket = (data[1] & 4) != 0;
    QString password;
    for (size_t i = 2; i < size && password.size() < 48; ++i) {
        password += (i % 2 == phase) ? kCapitals[data[i] % kCapitals.size()]
                                     : kRawSigns[data[i] % kRawSigns.size()];
    }
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(password));
    const QString written = raw ? password : encoded;
    const QString hosts[] = {QString(), QStringLiteral("localhost"),
                             QStringLiteral("h1:5432,h2:5433"), QStringLiteral("[::1]:1,h"),
                             QStringLiteral("%2Frun%2Fpg")};
    const QString host = hosts[hostsChoice];
    const QString query = socket ? QStringLiteral("?host=/run/pg&port=5432") : QString();
    const QString more = socket ? QStringLiteral("&") : QStringLiteral("?");
    QString url;
    switch (form) {
    case 0:
        url = QStringLiteral("postgresql://ana:") + written + u'@' + host + QStringLiteral("/db") +
              query;
        break;
    case 1:
        url =
            QStringLiteral("postgres://:") + written + u'@' + host + QStringLiteral("/db") + query;
        break;
    case 2:
        url = QStringLiteral("postgresql://ana@") + host + QStringLiteral("/db") + query + more +
              QStringLiteral("password=") + written;
        break;
    case 3:
        url = QStringLiteral("postgresql://") + host + QStringLiteral("/db") + query + more +
              QStringLiteral("pass%77ord=") + written + QStringLiteral("&application_name=x");
        break;
    case 4:
        url = QStringLiteral("postgresql://") + host + QStringLiteral("?password=") + written +
              QStringLiteral("&sslmode=disable");
        break;
    case 5:
        url = QStringLiteral("postgresql://ana:") + written + u'@' + host +
              QStringLiteral("/db?password=") + written;
        break;
    case 6: {
        QString quoted = password;
        quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
        quoted.replace(QLatin1String("'"), QLatin1String("\\'"));
        url = QStringLiteral("host=/run/pg dbname=db user=ana password='") + quoted + u'\'';
        break;
    }
    default:
        url = QStringLiteral("host=/run/pg dbname=db password=") + written +
              QStringLiteral(" user=ana");
        break;
    }
    Check(url, {password, encoded});
    return 0;
}
