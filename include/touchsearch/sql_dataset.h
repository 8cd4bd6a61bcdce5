#pragma once

#include <QDateTime>
#include <QStringList>
#include <memory>
#include <touchsearch/dataset.h>
#include <touchsearch/export.h>

namespace host {

// A dataset over one table of a database reached through QtSql (SQLite or
// PostgreSQL), searched live on the server. Its filter is the language ClientDataset
// speaks, parsed by the same parser and translated to the server's SQL so that it
// selects the same records. Rows come in windows around the ones asked for (keyset
// pagination on the order, which ends in a unique key), so nothing costs more as the
// table grows except an exact count, computed only when RecordCount is asked.
//
// The connection is a QSqlDatabase the host opened (by connection name); the dataset
// makes it read-only and never writes (on PostgreSQL it also sets the session's
// jit, plan_cache_mode and, when it has none, statement_timeout; on SQLite its
// mmap_size). CreateSearchIndexes is the one call that writes, on a connection of its own.
class TOUCHSEARCH_HOST_EXPORT SqlDataset : public Dataset {
    Q_OBJECT

public:
    explicit SqlDataset(QObject* parent = nullptr);
    ~SqlDataset() override;

    // Only while closed. Either a connection the host opened (by its QtSql name; the
    // open dataset keeps statements prepared on it, so close the dataset before
    // removing the connection), or a database URL ("postgresql://…", "sqlite:PATH")
    // that Open opens read-only on a connection of the dataset's own, closed again
    // when the dataset goes.
    void SetConnectionName(const QString& name);
    QString GetConnectionName() const;
    void SetDatabaseUrl(const QString& url);
    QString GetDatabaseUrl() const;
    void SetTableName(const QString& table);
    QString GetTableName() const;

    // Fields the records are ordered by (empty: the primary key, else the first field);
    // a unique key breaks ties, so paging never skips or repeats a record (without one,
    // the row identity, and for a view every field and the rank of identical records). With the
    // case-insensitive filter option text fields order by their upper-cased (ASCII)
    // value, as ClientDataset's case-insensitive index does, so that the search's index
    // also gives the order. On an open dataset the view is read again; an unknown field
    // raises and changes nothing.
    void SetOrderFields(const QStringList& fields);
    QStringList GetOrderFields() const;
    // The order in force, tie-breaking key included (after Open).
    QStringList GetEffectiveOrder() const;

    // How long a statement, or connecting, may wait on a server (default 1,000 ms). A
    // statement not answered in time is abandoned and counts as a lost connection: the
    // dataset connects again to whichever of the URL's servers answers (a URL may name
    // several: "postgresql://h1,h2/db?target_session_attrs=prefer-standby"), the one
    // just lost tried last, and runs the statement there, the view and the cursor as they
    // were. On PostgreSQL the server is told to end a statement 500 ms after the time-out
    // (statement_timeout), so that one abandoned does not run on there for nobody, unless
    // the session has a statement_timeout already (the URL's options, the host's
    // connection, the role or the database). An SQLite file held by a writer is waited
    // for this long. Any time.
    void SetStatementTimeout(int ms);
    int GetStatementTimeout() const;

    // Keeps a full copy of the table in an SQLite file at path (only while closed; an
    // empty path: none), written on a thread of its own, with a connection of its own,
    // when the dataset opens live and the copy is missing or older than maxAgeSeconds.
    // When no server answers (at Open or in the middle of a search), the search goes on
    // over the copy, the same records in the same order, and sourceChanged is emitted;
    // TryServerAgain goes back to the server. Raises naming the path when no copy could
    // be written there. A table with neither a primary key nor a unique index on NOT
    // NULL columns gets no copy (LocalCopyFailure says so): on a copy its records could
    // not be told apart, and the cursor could land on another record than the one shown.
    // Only a copy written with the table's key is searched.
    void SetLocalCopy(const QString& path, int maxAgeSeconds = 3600);
    QString GetLocalCopyPath() const;
    bool IsOnLocalCopy() const;
    // When the copy searched (or else the one on disc) was written; invalid when none.
    QDateTime LocalCopyTime() const;
    // Whether a refresh of the copy runs, and why the last one failed (empty if it did not).
    bool IsRefreshingLocalCopy() const;
    QString LocalCopyFailure() const;
    // On the copy: tries the servers again (within the time-out); back on the server,
    // the view is read there and sourceChanged is emitted. Returns whether it is live.
    bool TryServerAgain();

    // Rows read per statement (default 50: a few screens of the search's grid; a
    // keystroke reads one window, so fewer rows make it cheaper for the server).
    void SetWindowSize(int rows);
    int GetWindowSize() const;

    // Reads the table's columns and the first window. Raises naming the table and the
    // database when either is missing or unreachable.
    void Open() override;
    void Close() override;
    bool IsActive() const override;

    void First() override;
    void Prior() override;
    void Next() override;
    void Last() override;
    void MoveTo(int row) override;

    // The exact number of records that pass the filter (one COUNT on the server the
    // first time after a change).
    int RecordCount() const override;
    bool IsEmpty() const override;
    int FetchedRowCount() const override;
    bool CanFetchMore() const override;
    void FetchMore() override;
    int RecNo() const override;
    bool Bof() const override;
    bool Eof() const override;

    // A text that does not parse raises and changes nothing. A server failure keeps the
    // new text, empties the view and raises; the next change, or First, tries the
    // server again.
    QString GetFilter() const override;
    void SetFilter(const QString& expression) override;
    bool GetFiltered() const override;
    void SetFiltered(bool filtered) override;
    void SetFilterOptions(FilterOptions options) override;

    QVariant Value(int row, int field) const override;

    // Has the server plan, ahead of the keystrokes, the statements that the first window
    // of each filter reads (also as a keystroke reads it that narrows a view read whole),
    // where it keeps a plan for the connection's next run (PostgreSQL): the first
    // keystroke of each kind then costs no planning. The dataset
    // stays as it is (its filter, view and cursor); elsewhere this does nothing. A text
    // that does not parse raises as SetFilter does; the first statement that fails ends
    // it quietly (the keystroke that needs the server tells it).
    void PlanAhead(const QStringList& filters);

    // The first row of the view, in its order, where the expression (the filter
    // language, under the filter options) holds; -1 when none. Two statements at most:
    // the first such record in the view's order, then how many rows come before it. A
    // row past those read so far becomes known, so the cursor can move to it. A text
    // that does not parse raises as SetFilter does.
    int FirstRowWhere(const QString& expression) const;

    // The condition last sent to the server, and the statements run so far: for
    // diagnostics and for measuring what a keystroke costs.
    QString GetServerCondition() const;
    int StatementCount() const;
    // The last statement sent, its values written in (for EXPLAIN).
    QString LastStatement() const;

    // Creates in the database what a live search needs: for every text field named,
    // an index on its upper-cased value (prefix search) and, on PostgreSQL, trigram
    // indexes (pg_trgm) for contains search and for the words after the first (a search
    // of words); for every integer field named, an index on its text form (and on
    // PostgreSQL a trigram one), which a search over several fields matches; no fields:
    // every text field. On PostgreSQL the ordered indexes of the first field named also
    // hold the other fields named (numbers, and texts declared at most 64 long), so name
    // the search column first and the fields searched with it after it. Opens its own
    // writable connection to the database, named by URL or by the name of a connection
    // to it; returns the statements it ran. Without these indexes the search still works,
    // only slower.
    static QStringList CreateSearchIndexes(const QString& database, const QString& table,
                                           const QStringList& fields = {});
    // The same for searches under the given filter options: with IgnoreAccents, on
    // PostgreSQL the indexes are on the accent-folded values, spelt as the search spells
    // them. SQLite gets no such index (it would need this program's SQL function to be
    // read at all), so it scans there.
    static QStringList CreateSearchIndexes(const QString& database, const QString& table,
                                           const QStringList& fields, FilterOptions options);

Q_SIGNALS:
    // The dataset moved from the server to its local copy or back.
    void sourceChanged();

protected:
    void ApplyHeldChanges() override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace host
