#pragma once

#include <QStringList>
#include <memory>
#include <touchsearch/dataset.h>
#include <touchsearch/export.h>
#include <touchsearch/index_defs.h>

namespace host {

// In-memory, columnar dataset: fields defined in code or read from a file, a filter
// in the expression language, and index definitions whose name orders the records.
//
// The view (records that pass the filter, in index order) is a vector of record
// numbers; the cursor walks it. Each index's order is computed once and kept until
// the data changes.
class TOUCHSEARCH_HOST_EXPORT ClientDataset : public Dataset {
    Q_OBJECT

public:
    explicit ClientDataset(QObject* parent = nullptr);
    ~ClientDataset() override;

    // Defines a field; only while the dataset is closed and holds no records. For text,
    // size is the most characters a value may have (0: no limit, and the field then
    // reports its longest value as its size).
    void AddField(const QString& name, FieldType type, int size = 0);
    // Appends a record (one value per field; an invalid QVariant is NULL). Raises naming
    // the field when a value does not fit; the dataset is then unchanged.
    void AppendRecord(const QVariantList& values);
    // Every record, filter aside.
    int TotalRecordCount() const;

    // Replaces fields and records with a file's: an SQLite database with one table, or
    // CSV when the name ends in ".csv". Raises naming the file and the reason; the
    // dataset then keeps what it had. An open dataset stays open on the new records.
    void LoadFromFile(const QString& path);
    // Replaces fields and records with a database table's or query's rows, read once:
    // url is "postgresql://…" or "sqlite:PATH", tableOrQuery a table's name, a SELECT,
    // or empty for the database's only table. Types and NULLs are kept, text sizes come
    // from VARCHAR(n) and CHAR(n); on any failure the dataset keeps what it had.
    void LoadFromDatabase(const QString& url, const QString& tableOrQuery = QString());
    // Writes fields and records as an SQLite database with one table.
    void SaveToFile(const QString& path) const;

    void Open() override;
    void Close() override;
    bool IsActive() const override;

    void First() override;
    void Prior() override;
    void Next() override;
    void Last() override;
    void MoveTo(int row) override;

    int RecordCount() const override;
    int RecNo() const override;
    bool Bof() const override;
    bool Eof() const override;

    QString GetFilter() const override;
    // On an open dataset the text is parsed at once. A text that does not parse raises
    // and changes nothing: the previous filter text, switch and view stay as they were.
    void SetFilter(const QString& expression) override;
    bool GetFiltered() const override;
    void SetFiltered(bool filtered) override;
    // A filter in force that does not parse under the new options raises and changes
    // nothing.
    void SetFilterOptions(FilterOptions options) override;

    QVariant Value(int row, int field) const override;

    IndexDefs& GetIndexDefs();
    const IndexDefs& GetIndexDefs() const;
    QString GetIndexName() const;
    // Orders the view by the named index (empty: record order); the current record stays
    // current. Raises when no index has that name or it names an unknown field.
    virtual void SetIndexName(const QString& name);

    // The first row of the current view, in view order, for which the expression (in the
    // filter language, under the filter options) is True; -1 when none, or when the
    // dataset is closed. A text that does not parse raises, as SetFilter does. An OR of
    // whole-value matches ("UPPER(A) LIKE 'X' OR UPPER(B) LIKE 'X'") is found through
    // the fields' orders, at a cost that does not grow with the view.
    int FirstRowWhere(const QString& expression) const;
    // Starts building, on a worker thread, what a search on these fields reads (the words
    // of a text field, its folded order, an integer field's order by text, then the pair
    // summaries a contains search reads), so that the first keystrokes of a search over
    // several fields find it ready; byWords: the search looks for words. Returns at once;
    // a search that needs a part before it is built waits for that part. Unknown names are
    // ignored. Everything built is kept until the data changes.
    void PrepareSearch(const QStringList& fields, bool byWords);
    // SetIndexName, then PrepareSearch: the buffers the order's sort frees as it ends are
    // what the build takes first, which spares it that much fresh memory (on a virtual
    // machine that hands freed memory back to its host, the larger part of its time).
    void SetIndexNameAndPrepareSearch(const QString& name, const QStringList& fields, bool byWords);
    // Whether everything PrepareSearch started is built (never waits).
    bool SearchPrepared() const;

    // Fast paths (index ranges, narrowing from the previous view, column scans) on or
    // off. Off, every filter is evaluated record by record over the whole order; both
    // give the same records in the same order.
    void SetFastPaths(bool enabled);

    // Bytes held for the records, the index orders and the views (capacity aside).
    std::size_t MemoryBytes() const;
    // Index orders computed so far (each index's order is built on first use).
    int BuiltOrderCount() const;

private:
    class Private;

    std::unique_ptr<Private> d;
};

} // namespace host
