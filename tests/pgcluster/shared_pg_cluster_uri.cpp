#include "tests/pgcluster/shared_pg_cluster_uri.h"

#include <QFile>
#include <gtest/gtest.h>

namespace testing_support {

QString PgClusterUri()
{
    const QString file = qEnvironmentVariable("TS_PG_URI_FILE");
    if (file.isEmpty()) {
        ADD_FAILURE()
            << "TS_PG_URI_FILE is not set: this test needs the PostgreSQL cluster "
               "that ctest starts (fixture pg); by hand, run scripts/pg-cluster start DIR "
               "and set TS_PG_URI_FILE=DIR/uri";
        return {};
    }
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no PostgreSQL cluster: cannot read " << file.toStdString() << " ("
                      << in.errorString().toStdString() << "); did the test pg_cluster_start fail?";
        return {};
    }
    const QString uri = QString::fromUtf8(in.readAll()).trimmed();
    if (!uri.startsWith(QLatin1String("postgresql://"))) {
        ADD_FAILURE() << file.toStdString() << " holds no PostgreSQL URI";
        return {};
    }
    return uri;
}

} // namespace testing_support
