#include "host/sql/search_index_target.h"

#include "host/sql/sql_dialect.h"

#include <QCryptographicHash>

namespace host::sql {

QString SearchIndexTarget::IndexName(QByteArrayView purpose) const
{
    const QByteArray hash =
        QCryptographicHash::hash((table + u'\x1f' + field).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    return SqlDialect::QuoteIdentifier(
        QStringLiteral("ts_%1_%2").arg(QString::fromLatin1(hash), QString::fromLatin1(purpose)));
}

} // namespace host::sql
