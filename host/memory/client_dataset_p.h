#pragma once

// ClientDataset's state: the records, the filter, the index orders and the view. Only
// the dataset's own sources include this header.
#include "host/api/cursor.h"
#include "host/api/cursor_view.h"
#include "host/filter/bigram_summary.h"
#include "host/filter/contains_memo.h"
#include "host/filter/expression.h"
#include "host/filter/word_index.h"
#include "host/memory/search_build.h"
#include "host/storage/record_order.h"
#include "host/storage/record_view.h"
#include "host/storage/table.h"

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <touchsearch/client_dataset.h>
#include <vector>

namespace host {

class Q_DECL_HIDDEN ClientDataset::Private : public api::CursorView {
public:
    explicit Private(ClientDataset& owner) : m_owner(owner) {}
    Private(const Private&) = delete;
    Private& operator=(const Private&) = delete;

    using Rows = std::vector<std::uint32_t>;
    using RowsPtr = std::shared_ptr<const Rows>;
    struct IndexOrder {
        RowsPtr order;
        std::vector<SortField> fields;
    };
    struct FilteredView {
        std::shared_ptr<const filter::Node> root;
        RecordView view;
        std::shared_ptr<const filter::ContainsMemo> memo; // of its contains search, if kept
        std::uint64_t dataVersion = 0;
        std::uint64_t orderVersion = 0;
    };
    // The exact matches of a recent filter, by its key: a base filter's, which every
    // keystroke of a search joined to it finds here instead of evaluating it again.
    struct KnownMatches {
        std::string key;
        RecordView view;
        std::shared_ptr<const RecordBitmap> matches; // made from the view on first use
    };
    static constexpr std::size_t kKnownMatches = 4;

    std::vector<SortField> ResolveIndex(const IndexDef& def) const;
    const IndexOrder* CurrentOrder() const;
    const Rows& FoldedOrder(int field) const;
    RowsPtr SharedFoldedOrder(const std::vector<SortField>& fields) const;
    const filter::BigramSummary& Summary(int field) const;
    const filter::WordIndex& Words(int field) const;
    // The field's word index when built, else one of its bytes alone.
    const filter::WordIndex& FieldBytes(int field) const;
    // The field the view's order leads with (its pair summary is built with the order);
    // -1 in record order.
    int LeadField() const;
    const LargeVector<std::uint32_t>& LeadingOrder(int field) const;
    // Drops what was built for searches over several fields (the data or the way text is
    // read changed), stopping the builds under way first.
    void ForgetSearchStructures();
    // Stops the builds PrepareSearch started; before the table changes.
    void StopSearchBuilds();
    // Takes what those builds built into the maps below: what typing reads that is built
    // (never waiting), and with the summaries everything (waiting for it).
    void TakeBuiltTyped() const;
    // Waits for the field's part when a build under way brings it, then takes what is
    // built.
    void AwaitBuilt(SearchPart part, int field) const;
    void TakeBuiltSummaries() const;
    bool SummaryPending(int field) const;
    // Takes the summaries when a build still brings the field's (waiting for it).
    void TakeBuiltSummary(int field) const;
    void Keep(SearchStructures built) const;
    // The records for which a filter that ORs whole-value LIKE terms ('X') is True,
    // found through the fields' orders or word lists; false when it is no such filter.
    bool WholeValueMatches(const filter::Node& root, Rows& out) const;
    std::shared_ptr<const RecordBitmap> Known(const std::string& key) const;
    void Remember(const std::string& key, const RecordView& view);

    // Replaces fields and records with a table built aside (by a file or a database
    // reader), on the same terms as LoadFromFile; source names it in messages.
    void LoadFromTable(Table table, const QString& source);
    void SwapTable(Table& table);
    void DataChanged();
    void OnIndexDefsChanged();
    std::shared_ptr<const filter::Node> Compile(const QString& text) const;
    // Rebuilds the view from the filter and index; keepRecord: stay on the same record.
    void RebuildView(bool keepRecord);
    void EnsureView() const;
    void Emit();
    void CheckRow(int row) const;

    // The cursor walks m_view (client_dataset_cursor.cpp).
    bool IsOpen() const override { return m_active; }
    void Settle() override;
    int KnownRows() const override { return static_cast<int>(m_view.Size()); }
    void RequireRow(int row) override;
    void CursorMoved() override;

    ClientDataset& m_owner;
    Table m_table;
    bool m_active = false;
    bool m_fastPaths = true;
    // FilterOption::IgnoreAccents in force: index orders, folded orders and pair
    // summaries are of the text as a search then reads it.
    bool m_ignoreAccents = false;

    QString m_filterText;
    bool m_filtered = false;
    std::shared_ptr<const filter::Node> m_filterRoot; // parsed m_filterText, when open

    IndexDefs m_indexDefs;
    QString m_indexName;

    // Orders by index field list (and options), kept until the data changes.
    mutable std::map<QString, IndexOrder> m_orders;
    // The order CurrentOrder found, and for which index name and versions.
    struct CurrentOrderCache {
        bool valid = false;
        QString name;
        std::uint64_t orderVersion = 0;
        std::uint64_t dataVersion = 0;
        const IndexOrder* order = nullptr;
    };
    mutable CurrentOrderCache m_currentOrder;
    mutable std::map<int, RowsPtr> m_foldedOrders;
    mutable RowsPtr m_identity;
    std::uint64_t m_dataVersion = 0;
    std::uint64_t m_orderVersion = 0;
    FilteredView m_lastFiltered;             // the latest filtered result, for narrowing and reuse
    mutable std::list<KnownMatches> m_known; // most recently used first
    mutable std::map<int, std::unique_ptr<filter::BigramSummary>> m_summaries;
    // Per field, for searches over several fields: the words of a text field, and the
    // records by the first bytes of their folded text (leading_order.h).
    mutable std::map<int, std::unique_ptr<filter::WordIndex>> m_wordIndexes; // with words
    mutable std::map<int, std::unique_ptr<filter::WordIndex>> m_fieldBytes;  // bytes alone
    mutable std::map<int, std::unique_ptr<const LargeVector<std::uint32_t>>> m_leadingOrders;
    // The builds PrepareSearch started on a worker thread (search_build.h), oldest first;
    // after m_table, so that they end before it goes.
    mutable std::vector<std::unique_ptr<SearchBuild>> m_searchBuilds;

    RecordView m_view;
    mutable bool m_viewStale = false;
    api::Cursor m_cursor{*this};
};

} // namespace host
