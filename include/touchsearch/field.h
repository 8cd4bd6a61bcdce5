#pragma once

#include <QDate>
#include <QString>
#include <QVariant>
#include <memory>
#include <touchsearch/export.h>
#include <touchsearch/field_type.h>

namespace host {

class Dataset;
class FieldPrivate;

// One column of a dataset. Owned by its dataset; values are those of the dataset's
// current record.
class TOUCHSEARCH_HOST_EXPORT Field {
public:
    Field(Dataset& dataset, int index, QString name, FieldType type, int size);
    ~Field();

    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    Dataset& GetDataSet() const;
    int GetIndex() const;
    const QString& GetName() const;
    FieldType GetType() const;

    // Text fields: the declared number of characters. Numeric fields: the width of
    // their longest text form, so that a code column can be searched.
    int GetSize() const;
    void SetSize(int size);

    bool GetVisible() const;
    void SetVisible(bool visible);

    // Current record's value; reading on an empty or closed dataset raises.
    QVariant Value() const;
    bool IsNull() const;
    QString AsString() const;
    bool AsBoolean() const;
    qint64 AsInteger() const;
    double AsFloat() const;
    QDate AsDate() const;

    // Selects this field's column in every grid that shows the dataset and gives
    // that grid the input focus.
    void FocusControl();

private:
    // Behind a pointer, so that a later 1.y can add to it without moving anything
    // a host compiled against.
    const std::unique_ptr<FieldPrivate> d;
};

} // namespace host
