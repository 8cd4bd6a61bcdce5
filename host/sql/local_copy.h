#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <touchsearch/filter_options.h>

namespace host::sql {

// A full copy of a searched table in an SQLite file on the till, searched when no server
// answers. Written beside itself (PATH.new, then renamed over PATH): a reader holds the
// file it opened, a crash during a refresh leaves the previous copy as it was, and no
// one ever opens a half-written copy.
struct LocalCopyJob {
    QString url;   // the live database
    QString table; // as the dataset names it
    QString path;
    QStringList key;          // the live table's unique key: the copy's, for the same order
    QStringList searchFields; // text fields given search indexes, as on the server
    FilterOptions options;
};

// Raises naming the path when the copy could not be written there (no such folder, one
// that may not be written, a folder in the copy's place).
void CheckLocalCopyPath(const QString& path);

// When the copy was written (invalid: there is none).
QDateTime LocalCopyTime(const QString& path);

// Whether a copy is missing or older than maxAgeSeconds.
bool LocalCopyIsStale(const QString& path, int maxAgeSeconds);

// The columns of the copy's unique key (the live table's, written with it), empty when
// the file holds none or is no copy.
QStringList LocalCopyKey(const QString& path);

// Reads the table on a connection of its own and writes the copy; raises naming the
// copy and the reason, the previous copy intact. A table with neither a primary key nor
// a unique key of NOT NULL columns is refused: its records could not be told apart on
// the copy, and a search moving there could land on another record than the one shown.
void WriteLocalCopy(const LocalCopyJob& job);

// WriteLocalCopy on a thread of its own, unless one already runs for that path. The
// thread ends within the copy's time-out (host::CopyTimeout) plus the writing; the
// process waits for it when it ends.
void RefreshLocalCopyInBackground(const LocalCopyJob& job);
bool LocalCopyRefreshing(const QString& path);
// Why the last refresh of the path failed (empty when it did not).
QString LocalCopyFailure(const QString& path);

} // namespace host::sql
