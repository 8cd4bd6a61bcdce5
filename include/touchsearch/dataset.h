#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <memory>
#include <touchsearch/export.h>
#include <touchsearch/field.h>
#include <touchsearch/filter_options.h>

namespace host {

class DatasetPrivate;

// Abstract record set the search form is written against. The "view" is the list
// of records that pass the filter, in the current order; rows are positions in it.
class TOUCHSEARCH_HOST_EXPORT Dataset : public QObject {
    Q_OBJECT

public:
    explicit Dataset(QObject* parent = nullptr);
    ~Dataset() override;

    // Open loads the records and stands on the first one.
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool IsActive() const = 0;

    // Cursor moves within the view.
    virtual void First() = 0;
    virtual void Prior() = 0;
    virtual void Next() = 0;
    virtual void Last() = 0;
    // Moves to a view row; raises on a row outside the view.
    virtual void MoveTo(int row) = 0;

    // Records that pass the filter: the exact number, however much that costs.
    virtual int RecordCount() const = 0;
    // True when no record passes the filter; never needs the whole count.
    virtual bool IsEmpty() const { return RecordCount() == 0; }
    // Rows known so far, for grids that learn the number of rows as they scroll (Qt's
    // canFetchMore/fetchMore): rows 0..FetchedRowCount()-1 exist. FetchMore learns more
    // and announces them with rowsFetched. A dataset that knows its count at once
    // reports it and has nothing more to fetch.
    virtual int FetchedRowCount() const { return RecordCount(); }
    virtual bool CanFetchMore() const { return false; }
    virtual void FetchMore() {}
    // Position of the current record in the view; -1 when the view is empty.
    virtual int RecNo() const = 0;
    // Beginning and end of the view: set after a move that could not go further.
    virtual bool Bof() const = 0;
    virtual bool Eof() const = 0;

    // Filter text and switch. Switch off: every record shows. Switch on: only records
    // for which the expression is true; an empty expression shows every record.
    // Writing the text while the switch is on applies it at once.
    virtual QString GetFilter() const = 0;
    virtual void SetFilter(const QString& expression) = 0;
    virtual bool GetFiltered() const = 0;
    virtual void SetFiltered(bool filtered) = 0;
    // How the filter compares text (default: case-sensitive). On an open dataset the
    // filter in force is applied again under the new options.
    FilterOptions GetFilterOptions() const;
    virtual void SetFilterOptions(FilterOptions options);

    // Fields in declaration order.
    int GetFieldCount() const;
    Field* GetField(int index) const;              // raises outside 0..count-1
    Field* FieldByName(const QString& name) const; // case-insensitive; raises when unknown
    Field* FindField(const QString& name) const;   // case-insensitive; nullptr when unknown

    // Value of a field at a view row (NULL is an invalid QVariant). For grids: they
    // ask only for the rows on screen.
    virtual QVariant Value(int row, int field) const = 0;
    // Text shown for a value: booleans "True"/"False", floats without trailing noise.
    virtual QString DisplayText(int row, int field) const;

    // While controls are disabled the dataset changes as usual but holds back its
    // viewReset and cursorMoved signals; the last EnableControls sends one of each
    // for everything that changed, so a grid refreshes once for a batch of changes.
    // Calls nest; WithControlsDisabled (disabled_controls.h) pairs them.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const;

Q_SIGNALS:
    // The set or order of rows changed (filter, index, open, close, load).
    void viewReset();
    // The cursor moved to another row (also emitted after viewReset).
    void cursorMoved(int row);
    // More rows became known at the end of the view (FetchedRowCount grew); the rows
    // already known are unchanged.
    void rowsFetched();
    // A field's visible flag changed.
    void fieldsChanged();
    // Field::FocusControl was called.
    void focusFieldRequested(host::Field* field);

protected:
    // Subclasses announce changes through these, so that disabled controls hold them.
    void NotifyViewReset();
    void NotifyCursorMoved();
    void NotifyRowsFetched();
    void StoreFilterOptions(FilterOptions options);

    // Runs when the last EnableControls comes, before the held signals go out: a
    // dataset that defers costly work while controls are disabled does it here.
    virtual void ApplyHeldChanges() {}

    Field& AddFieldObject(const QString& name, FieldType type, int size);
    void ClearFieldObjects();

private:
    // Behind a pointer, so that a later 1.y can add to it without moving anything
    // a host or a subclass compiled against. Subclasses keep their own.
    const std::unique_ptr<DatasetPrivate> d;
};

} // namespace host
