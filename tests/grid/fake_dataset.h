#pragma once

#include <QStringList>
#include <touchsearch/dataset.h>

namespace testing_support {

// An in-memory dataset for grid tests: row r of field f reads "F<f>-R<r>" (integer
// fields read r). It counts the values asked of it, so tests can prove that a grid
// asks only for the rows on screen.
class FakeDataset : public host::Dataset {
    Q_OBJECT

public:
    explicit FakeDataset(int rows = 0, QObject* parent = nullptr);

    host::Field& Add(const QString& name, host::FieldType type = host::FieldType::Text,
                     int size = 20);
    // Replaces the view with one of the given size; a view reset, the cursor on row 0.
    void SetRowCount(int rows);

    void Open() override;
    void Close() override;
    bool IsActive() const override { return m_active; }
    void First() override;
    void Prior() override;
    void Next() override;
    void Last() override;
    void MoveTo(int row) override;
    int RecordCount() const override { return m_active ? m_rows : 0; }
    int RecNo() const override { return m_active && m_rows > 0 ? m_row : -1; }
    bool Bof() const override { return m_bof; }
    bool Eof() const override { return m_eof; }
    QString GetFilter() const override { return m_filter; }
    void SetFilter(const QString& expression) override { m_filter = expression; }
    bool GetFiltered() const override { return m_filtered; }
    void SetFiltered(bool filtered) override { m_filtered = filtered; }
    QVariant Value(int row, int field) const override;

    int ValueCalls() const { return m_valueCalls; }
    void ResetValueCalls() { m_valueCalls = 0; }
    // Rows the cursor was moved to through MoveTo, in order.
    const QList<int>& Moves() const { return m_moves; }

private:
    void Go(int row);

    int m_rows;
    int m_row = 0;
    bool m_active = true;
    bool m_bof = true;
    bool m_eof = false;
    bool m_filtered = false;
    QString m_filter;
    mutable int m_valueCalls = 0;
    QList<int> m_moves;
};

} // namespace testing_support
