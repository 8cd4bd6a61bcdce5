#pragma once

#include <QObject>
#include <QPointer>

namespace host {

class Dataset;

// Links a dataset to the grids that show it. Does not own the dataset.
class DataSource : public QObject {
    Q_OBJECT

public:
    explicit DataSource(QObject* parent = nullptr);

    // Grids bound to this source show the dataset from now on; nullptr unbinds.
    void SetDataSet(Dataset* dataSet);
    // nullptr when none is set or the dataset was destroyed.
    Dataset* GetDataSet() const;

Q_SIGNALS:
    void dataSetChanged();

private:
    QPointer<Dataset> m_dataSet;
};

} // namespace host
