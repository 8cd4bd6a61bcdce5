#pragma once

#include <QString>

namespace testing_support {

// The libpq URI of the test run's PostgreSQL cluster, read from the file named by
// TS_PG_URI_FILE. Without one, records a failure saying why and returns an empty
// string, so a test reads it with:
//   const QString uri = PgClusterUri();
//   ASSERT_FALSE(uri.isEmpty());
QString PgClusterUri();

} // namespace testing_support
