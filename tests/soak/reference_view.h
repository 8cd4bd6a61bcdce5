#pragma once

#include <QString>
#include <touchsearch/client_dataset.h>
#include <vector>

namespace soak {

// A twin of the searched dataset, loaded from the same file, with the fast paths off:
// it shows the plain evaluation of the filter text, switch and index that the
// searched dataset has, record by record over the whole index order.
class ReferenceView {
public:
    explicit ReferenceView(const QString& path);

    // Takes the searched dataset's index definitions, index name, filter text and
    // switch; evaluates again only when one of them changed.
    void Follow(const host::ClientDataset& shown);

    int Count() const { return m_dataset.RecordCount(); }
    const host::ClientDataset& Dataset() const { return m_dataset; }
    // Plain evaluations so far.
    int Evaluations() const { return m_evaluations; }

private:
    void FollowIndexDefs(const host::IndexDefs& defs);

    host::ClientDataset m_dataset;
    QString m_filter;
    bool m_filtered = false;
    QString m_indexName;
    int m_evaluations = 0;
};

} // namespace soak
