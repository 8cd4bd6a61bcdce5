#include "host/grid/data_source.h"

#include <touchsearch/dataset.h>

namespace host {

DataSource::DataSource(QObject* parent) : QObject(parent) {}

void DataSource::SetDataSet(Dataset* dataSet)
{
    if (m_dataSet == dataSet) {
        return;
    }
    if (m_dataSet) {
        disconnect(m_dataSet, &QObject::destroyed, this, nullptr);
    }
    m_dataSet = dataSet;
    if (dataSet != nullptr) {
        connect(dataSet, &QObject::destroyed, this, &DataSource::dataSetChanged);
    }
    Q_EMIT dataSetChanged();
}

Dataset* DataSource::GetDataSet() const
{
    return m_dataSet.data();
}

} // namespace host
