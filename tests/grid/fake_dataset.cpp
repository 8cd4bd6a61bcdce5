#include "tests/grid/fake_dataset.h"

#include <algorithm>
#include <touchsearch/dataset_error.h>

namespace testing_support {

FakeDataset::FakeDataset(int rows, QObject* parent) : host::Dataset(parent), m_rows(rows) {}

host::Field& FakeDataset::Add(const QString& name, host::FieldType type, int size)
{
    host::Field& field = AddFieldObject(name, type, size);
    Q_EMIT fieldsChanged();
    return field;
}

void FakeDataset::SetRowCount(int rows)
{
    m_rows = rows;
    m_row = 0;
    Q_EMIT viewReset();
    Q_EMIT cursorMoved(RecNo());
}

void FakeDataset::Open()
{
    m_active = true;
    m_row = 0;
    Q_EMIT viewReset();
    Q_EMIT cursorMoved(RecNo());
}

void FakeDataset::Close()
{
    m_active = false;
    Q_EMIT viewReset();
}

void FakeDataset::Go(int row)
{
    const int last = std::max(0, RecordCount() - 1);
    m_bof = row < 0;
    m_eof = row > last;
    m_row = std::clamp(row, 0, last);
    Q_EMIT cursorMoved(RecNo());
}

void FakeDataset::First()
{
    Go(0);
    m_bof = true;
}

void FakeDataset::Prior()
{
    Go(m_row - 1);
}

void FakeDataset::Next()
{
    Go(m_row + 1);
}

void FakeDataset::Last()
{
    Go(RecordCount() - 1);
    m_eof = true;
}

void FakeDataset::MoveTo(int row)
{
    if (row < 0 || row >= RecordCount()) {
        throw host::DatasetError(QStringLiteral("Row %1 outside the view").arg(row));
    }
    m_moves.append(row);
    Go(row);
}

QVariant FakeDataset::Value(int row, int field) const
{
    ++m_valueCalls;
    if (GetField(field)->GetType() == host::FieldType::Integer) {
        return row;
    }
    return QStringLiteral("F%1-R%2").arg(field).arg(row);
}

} // namespace testing_support
