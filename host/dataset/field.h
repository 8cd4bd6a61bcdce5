#pragma once

#include "host/dataset/field_type.h"

#include <QDate>
#include <QString>
#include <QVariant>

namespace host {

class Dataset;

// One column of a dataset. Owned by its dataset; values are those of the dataset's
// current record.
class Field {
public:
    Field(Dataset& dataset, int index, QString name, FieldType type, int size);

    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    Dataset& GetDataSet() const { return *m_dataset; }
    int GetIndex() const { return m_index; }
    const QString& GetName() const { return m_name; }
    FieldType GetType() const { return m_type; }

    // Text fields: the declared number of characters. Numeric fields: the width of
    // their longest text form, so that a code column can be searched.
    int GetSize() const { return m_size; }
    void SetSize(int size) { m_size = size; }

    bool GetVisible() const { return m_visible; }
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
    Dataset* m_dataset;
    int m_index;
    QString m_name;
    FieldType m_type;
    int m_size;
    bool m_visible = true;
};

} // namespace host
