#pragma once

// ClientDataset's state: the records, the filter, the index orders and the view. Only
// the dataset's own sources include this header.
#include "host/dataset/client_dataset.h"
#include "host/dataset/record_order.h"
#include "host/dataset/table.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace host {

class ClientDataset::Private {
public:
    using Rows = std::vector<std::uint32_t>;
    using RowsPtr = std::shared_ptr<const Rows>;
    struct IndexOrder {
        RowsPtr order;
        Rows rank;
    };
    struct FilteredView {
        std::shared_ptr<const filter::Node> root;
        RowsPtr rows;
        std::uint64_t dataVersion = 0;
        std::uint64_t orderVersion = 0;
    };

    std::vector<SortField> ResolveIndex(const IndexDef& def) const;
    const IndexOrder* CurrentOrder() const;
    const Rows& FoldedOrder(int field) const;
    RowsPtr SharedFoldedOrder(const std::vector<SortField>& fields) const;

    Table m_table;
    bool m_active = false;
    bool m_fastPaths = true;

    QString m_filterText;
    bool m_filtered = false;
    std::shared_ptr<const filter::Node> m_filterRoot; // parsed m_filterText, when open

    IndexDefs m_indexDefs;
    QString m_indexName;

    // Orders by index field list (and options), kept until the data changes.
    mutable std::map<QString, IndexOrder> m_orders;
    mutable std::map<int, RowsPtr> m_foldedOrders;
    mutable RowsPtr m_identity;
    std::uint64_t m_dataVersion = 0;
    std::uint64_t m_orderVersion = 0;
    FilteredView m_lastFiltered; // the latest filtered result, for narrowing and reuse

    mutable RowsPtr m_view;
    mutable bool m_viewStale = false;
    int m_row = -1;
    bool m_bof = true;
    bool m_eof = true;
};

} // namespace host
