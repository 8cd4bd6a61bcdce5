#include "host/filter/expression_parser.h"
#include "host/filter/record_selection.h"
#include "host/memory/client_dataset_p.h"

#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <algorithm>
#include <future>
#include <system_error>

namespace host {

namespace {

// From this many records up, opening builds the pair summary beside the sort.
constexpr std::uint32_t kSummaryBesideSortRecords = 1 << 16;

} // namespace

ClientDataset::ClientDataset(QObject* parent) : Dataset(parent), d(std::make_unique<Private>(*this))
{
    d->m_indexDefs.SetChangedHandler([this] { d->OnIndexDefsChanged(); });
}

ClientDataset::~ClientDataset() = default;

int ClientDataset::TotalRecordCount() const
{
    return static_cast<int>(d->m_table.RecordCount());
}

bool ClientDataset::IsActive() const
{
    return d->m_active;
}

QString ClientDataset::GetFilter() const
{
    return d->m_filterText;
}

bool ClientDataset::GetFiltered() const
{
    return d->m_filtered;
}

IndexDefs& ClientDataset::GetIndexDefs()
{
    return d->m_indexDefs;
}

const IndexDefs& ClientDataset::GetIndexDefs() const
{
    return d->m_indexDefs;
}

QString ClientDataset::GetIndexName() const
{
    return d->m_indexName;
}

void ClientDataset::SetFastPaths(bool enabled)
{
    d->m_fastPaths = enabled;
}

int ClientDataset::BuiltOrderCount() const
{
    return static_cast<int>(d->m_orders.size());
}

void ClientDataset::AddField(const QString& name, FieldType type, int size)
{
    if (d->m_active || d->m_table.RecordCount() > 0) {
        throw DatasetError(
            QStringLiteral("Cannot add field \"%1\": the dataset is open or holds records")
                .arg(name));
    }
    if (name.trimmed().isEmpty()) {
        throw DatasetError(QStringLiteral("A field needs a name"));
    }
    if (d->m_table.FindField(name) >= 0) {
        throw DatasetError(QStringLiteral("Field \"%1\" already exists").arg(name));
    }
    if (size < 0) {
        throw DatasetError(QStringLiteral("Field \"%1\": size %2 is negative").arg(name).arg(size));
    }
    d->StopSearchBuilds();
    d->m_table.AddField({name, type, type == FieldType::Text ? size : 0});
    AddFieldObject(name, type, d->m_table.ReportedSize(d->m_table.FieldCount() - 1));
}

void ClientDataset::AppendRecord(const QVariantList& values)
{
    d->StopSearchBuilds();
    d->m_table.AppendRecord(values);
    for (int f = 0; f < d->m_table.FieldCount(); ++f) {
        GetField(f)->SetSize(d->m_table.ReportedSize(f));
    }
    d->DataChanged();
    if (d->m_active) {
        // Re-ordered and re-filtered when next read, so that appending many records to
        // an open dataset costs one rebuild, not one per record.
        d->m_viewStale = true;
        NotifyViewReset();
    }
}

void ClientDataset::Private::DataChanged()
{
    ++m_dataVersion;
    m_orders.clear();
    m_foldedOrders.clear();
    m_identity.reset();
    m_lastFiltered = {};
    m_known.clear();
    m_summaries.clear();
    ForgetSearchStructures();
    if (!m_filterText.trimmed().isEmpty() && m_active) {
        // Folded copies of text columns are rebuilt for the new records.
        m_filterRoot = Compile(m_filterText);
    }
}

void ClientDataset::Private::LoadFromTable(Table loaded, const QString& source)
{
    // The filter in force must fit the new fields; checked before anything changes.
    if (m_active && !m_filterText.trimmed().isEmpty()) {
        try {
            (void)filter::ParseFilter(m_filterText, loaded, m_owner.GetFilterOptions());
        } catch (const DatasetError& error) {
            throw DatasetError(
                QStringLiteral("Cannot load \"%1\": the filter in force does not apply "
                               "to its fields (%2)")
                    .arg(source, error.Message()));
        }
    }
    loaded.ShrinkToFit();
    SwapTable(loaded);
#if defined(__GLIBC__)
    // Loading went through large temporary buffers; hand what they left back to the
    // system rather than keep it in the host's heap.
    malloc_trim(0);
#endif
}

void ClientDataset::Private::SwapTable(Table& table)
{
    StopSearchBuilds();
    m_table = std::move(table);
    m_owner.ClearFieldObjects();
    for (int f = 0; f < m_table.FieldCount(); ++f) {
        m_owner.AddFieldObject(m_table.Def(f).name, m_table.Def(f).type, m_table.ReportedSize(f));
    }
    m_filterRoot.reset();
    DataChanged();
    // An index whose fields are gone no longer orders the records.
    if (!m_indexName.isEmpty()) {
        const int pos = m_indexDefs.Find(m_indexName);
        bool usable = pos >= 0;
        if (usable) {
            try {
                (void)ResolveIndex(m_indexDefs.GetIndexDef(pos));
            } catch (const DatasetError&) {
                usable = false;
            }
        }
        if (!usable) {
            m_indexName.clear();
        }
    }
    ++m_orderVersion;
    Q_EMIT m_owner.fieldsChanged();
    if (m_active) {
        RebuildView(false);
        Emit();
    }
}

void ClientDataset::Open()
{
    if (d->m_active) {
        return;
    }
    d->m_active = true;
    try {
        d->m_filterRoot =
            d->m_filterText.trimmed().isEmpty() ? nullptr : d->Compile(d->m_filterText);
    } catch (...) {
        d->m_active = false;
        throw;
    }
    d->RebuildView(false);
    d->Emit();
}

void ClientDataset::Close()
{
    if (!d->m_active) {
        return;
    }
    d->m_active = false;
    d->m_view = {};
    d->m_viewStale = false;
    d->m_lastFiltered = {};
    d->m_known.clear();
    d->m_cursor.Clear();
    d->Emit();
}

std::shared_ptr<const filter::Node> ClientDataset::Private::Compile(const QString& text) const
{
    return filter::ParseFilter(text, m_table, m_owner.GetFilterOptions());
}

void ClientDataset::SetFilterOptions(FilterOptions options)
{
    if (options == GetFilterOptions()) {
        return;
    }
    std::shared_ptr<const filter::Node> root;
    if (d->m_active && !d->m_filterText.trimmed().isEmpty()) {
        root = filter::ParseFilter(d->m_filterText, d->m_table, options); // may raise
    }
    StoreFilterOptions(options);
    d->m_filterRoot = std::move(root);
    const bool ignoreAccents = options.testFlag(FilterOption::IgnoreAccents);
    if (ignoreAccents != d->m_ignoreAccents) {
        // Orders and summaries read the text the other way now: built again on use
        // rather than kept beside the new ones.
        d->m_ignoreAccents = ignoreAccents;
        d->m_orders.clear();
        d->m_foldedOrders.clear();
        d->m_summaries.clear();
        d->ForgetSearchStructures();
        d->m_known.clear();
        d->m_lastFiltered = {};
        ++d->m_orderVersion;
        if (d->m_active) {
            d->RebuildView(true);
            d->Emit();
        }
        return;
    }
    if (d->m_active && d->m_filtered) {
        d->RebuildView(false);
        d->Emit();
    }
}

// After a text that does not parse, nothing changes: the previous filter text stays
// stored and the records on show stay exactly those of the previous filter.
void ClientDataset::SetFilter(const QString& expression)
{
    if (expression == d->m_filterText) {
        return;
    }
    std::shared_ptr<const filter::Node> root;
    if (d->m_active && !expression.trimmed().isEmpty()) {
        root = d->Compile(expression); // may raise; nothing has changed yet
    }
    d->m_filterText = expression;
    d->m_filterRoot = std::move(root);
    if (d->m_active && d->m_filtered) {
        d->RebuildView(false);
        d->Emit();
    }
}

void ClientDataset::SetFiltered(bool filtered)
{
    if (filtered == d->m_filtered) {
        return;
    }
    if (filtered && d->m_active && !d->m_filterText.trimmed().isEmpty() && !d->m_filterRoot) {
        d->m_filterRoot = d->Compile(d->m_filterText); // may raise; the switch stays off
    }
    d->m_filtered = filtered;
    if (d->m_active) {
        d->RebuildView(false);
        d->Emit();
    }
}

std::vector<SortField> ClientDataset::Private::ResolveIndex(const IndexDef& def) const
{
    std::vector<SortField> fields;
    const QStringList names = def.GetFields().split(u';', Qt::SkipEmptyParts);
    for (const QString& raw : names) {
        const QString name = raw.trimmed();
        const int field = m_table.FindField(name);
        if (field < 0) {
            throw DatasetError(
                QStringLiteral("Index \"%1\": unknown field \"%2\"").arg(def.GetName(), name));
        }
        fields.push_back({field, def.GetOptions().testFlag(IndexOption::Descending),
                          def.GetOptions().testFlag(IndexOption::CaseInsensitive),
                          m_ignoreAccents});
    }
    if (fields.empty()) {
        throw DatasetError(QStringLiteral("Index \"%1\" names no field").arg(def.GetName()));
    }
    return fields;
}

void ClientDataset::SetIndexName(const QString& name)
{
    if (name.isEmpty()) {
        if (d->m_indexName.isEmpty()) {
            return;
        }
        d->m_indexName.clear();
    } else {
        const int pos = d->m_indexDefs.Find(name);
        if (pos < 0) {
            throw DatasetError(QStringLiteral("Index \"%1\" not found").arg(name));
        }
        const IndexDef& def = d->m_indexDefs.GetIndexDef(pos);
        const std::vector<SortField> fields = d->ResolveIndex(def); // may raise
        if (def.GetName() == d->m_indexName) {
            return;
        }
        d->m_indexName = def.GetName();
        if (d->m_active) {
            // A search types on the index's first field: its pair summary is built now
            // so that the first contains keystroke finds it ready; for many records on a
            // second thread while this one sorts (both only read the records).
            const int lead = fields[0].field;
            std::future<std::unique_ptr<filter::BigramSummary>> summary;
            if (d->m_table.Def(lead).type == FieldType::Text && d->m_summaries.count(lead) == 0 &&
                d->m_table.RecordCount() >= kSummaryBesideSortRecords) {
                const Column& column = d->m_table.Col(lead);
                const bool ignoreAccents = d->m_ignoreAccents; // read as Summary would
                try {
                    summary = std::async(std::launch::async, [&column, ignoreAccents] {
                        return std::make_unique<filter::BigramSummary>(column, ignoreAccents);
                    });
                } catch (const std::system_error&) {
                    // No thread to be had: Summary builds it here, after the sort.
                }
            }
            (void)d->CurrentOrder();
            if (summary.valid()) {
                d->m_summaries.emplace(lead, summary.get());
            }
            if (d->m_table.Def(lead).type == FieldType::Text) {
                (void)d->Summary(lead);
            }
        }
    }
    ++d->m_orderVersion;
    if (d->m_active) {
        d->RebuildView(true);
        d->Emit();
    }
}

void ClientDataset::Private::OnIndexDefsChanged()
{
    if (m_indexName.isEmpty()) {
        return;
    }
    const int pos = m_indexDefs.Find(m_indexName);
    bool same = pos >= 0;
    if (same) {
        try {
            (void)ResolveIndex(m_indexDefs.GetIndexDef(pos));
        } catch (const DatasetError&) {
            same = false;
        }
    }
    if (same) {
        ++m_orderVersion; // the definition may now name other fields
        if (m_active) {
            RebuildView(true);
            Emit();
        }
        return;
    }
    // The index in use was deleted: the records go back to record order.
    m_indexName.clear();
    ++m_orderVersion;
    if (m_active) {
        RebuildView(true);
        Emit();
    }
}

const ClientDataset::Private::IndexOrder* ClientDataset::Private::CurrentOrder() const
{
    // Asked on every filter change: the answer is kept until the index name, its
    // definition or the data change.
    if (m_currentOrder.valid && m_currentOrder.name == m_indexName &&
        m_currentOrder.orderVersion == m_orderVersion &&
        m_currentOrder.dataVersion == m_dataVersion) {
        return m_currentOrder.order;
    }
    const CurrentOrderCache none{true, m_indexName, m_orderVersion, m_dataVersion, nullptr};
    if (m_indexName.isEmpty()) {
        m_currentOrder = none;
        return nullptr;
    }
    const int pos = m_indexDefs.Find(m_indexName);
    if (pos < 0) {
        m_currentOrder = none;
        return nullptr;
    }
    const IndexDef& def = m_indexDefs.GetIndexDef(pos);
    const std::vector<SortField> fields = ResolveIndex(def);
    QString key;
    for (const SortField& f : fields) {
        key += QString::number(f.field) + (f.descending ? QStringLiteral("d") : QString()) +
               (f.caseInsensitive ? QStringLiteral("i") : QString()) +
               (f.ignoreAccents ? QStringLiteral("a") : QString()) + u';';
    }
    auto it = m_orders.find(key);
    if (it == m_orders.end()) {
        RowsPtr order = SharedFoldedOrder(fields);
        if (!order) {
            order = std::make_shared<Private::Rows>(SortRecords(m_table, fields));
        }
        IndexOrder entry;
        entry.order = std::move(order);
        entry.fields = fields;
        it = m_orders.emplace(key, std::move(entry)).first;
    }
    m_currentOrder = none;
    m_currentOrder.order = &it->second;
    return &it->second;
}

// A text column with no lower-case letter sorts the same with and without case: its
// folded order and its plain ascending order are one vector, sorted once.
ClientDataset::Private::RowsPtr
ClientDataset::Private::SharedFoldedOrder(const std::vector<SortField>& fields) const
{
    if (fields.size() != 1 || fields[0].descending ||
        m_table.Def(fields[0].field).type != FieldType::Text ||
        !m_table.Col(fields[0].field).FoldsToItself(m_ignoreAccents)) {
        return nullptr;
    }
    const auto folded = m_foldedOrders.find(fields[0].field);
    return folded != m_foldedOrders.end() ? folded->second : nullptr;
}

const ClientDataset::Private::Rows& ClientDataset::Private::FoldedOrder(int field) const
{
    auto it = m_foldedOrders.find(field);
    if (it == m_foldedOrders.end()) {
        RowsPtr order;
        if (m_table.Col(field).FoldsToItself(m_ignoreAccents)) {
            const auto plain =
                m_orders.find(QString::number(field) +
                              (m_ignoreAccents ? QStringLiteral("a") : QString()) + u';');
            if (plain != m_orders.end()) {
                order = plain->second.order;
            }
        }
        if (!order) {
            order = std::make_shared<Private::Rows>(
                SortRecords(m_table, {SortField{field, false, true, m_ignoreAccents}}));
        }
        it = m_foldedOrders.emplace(field, std::move(order)).first;
    }
    return *it->second;
}

const filter::BigramSummary& ClientDataset::Private::Summary(int field) const
{
    TakeBuiltSummary(field);
    auto it = m_summaries.find(field);
    if (it == m_summaries.end()) {
        it = m_summaries
                 .emplace(field, std::make_unique<filter::BigramSummary>(m_table.Col(field),
                                                                         m_ignoreAccents))
                 .first;
    }
    return *it->second;
}

std::shared_ptr<const RecordBitmap> ClientDataset::Private::Known(const std::string& key) const
{
    for (auto it = m_known.begin(); it != m_known.end(); ++it) {
        if (it->key != key) {
            continue;
        }
        m_known.splice(m_known.begin(), m_known, it);
        KnownMatches& known = m_known.front();
        if (!known.matches) {
            if (known.view.Picks() != nullptr) {
                known.matches = known.view.SharedPicks(); // shared with the view: no copy
            } else {
                auto bits = std::make_shared<RecordBitmap>(MakeRecordBitmap(m_table.RecordCount()));
                known.view.ForEach([&](std::uint32_t rec) { SetBit(*bits, rec); });
                known.matches = std::move(bits);
            }
        }
        return known.matches;
    }
    return nullptr;
}

void ClientDataset::Private::Remember(const std::string& key, const RecordView& view)
{
    // Whole-order bitmaps and short lists are kept (a bitmap is made only when a later
    // filter asks); a prefix search's ranges are not: finding them again is cheaper.
    const bool picked = view.Picks() != nullptr && view.CoversOrder();
    if (!picked && (view.Picks() != nullptr || view.Size() > 4096)) {
        return;
    }
    m_known.remove_if([&](const KnownMatches& k) { return k.key == key; });
    m_known.push_front({key, view, nullptr});
    if (m_known.size() > kKnownMatches) {
        m_known.pop_back();
    }
}

std::size_t ClientDataset::MemoryBytes() const
{
    std::size_t bytes = 0;
    for (int f = 0; f < d->m_table.FieldCount(); ++f) {
        bytes += d->m_table.Col(f).StorageBytes();
    }
    // Vectors shared between the orders and the views count once.
    std::vector<const void*> seen;
    const auto add = [&](const void* what, std::size_t size) {
        if (what != nullptr && std::find(seen.begin(), seen.end(), what) == seen.end()) {
            seen.push_back(what);
            bytes += size;
        }
    };
    const auto addRows = [&](const Private::Rows* rows) {
        add(rows, rows != nullptr ? rows->size() * sizeof(std::uint32_t) : 0);
    };
    const auto addView = [&](const RecordView& view) {
        addRows(view.Order());
        add(view.Picks(), view.Picks() != nullptr ? view.Picks()->size() * 8 : 0);
        if (view.SharedState() != nullptr) {
            add(view.SharedState(), view.OwnBytes());
        } else {
            bytes += view.OwnBytes();
        }
    };
    for (const auto& [key, entry] : d->m_orders) {
        addRows(entry.order.get());
    }
    for (const auto& [field, order] : d->m_foldedOrders) {
        addRows(order.get());
    }
    for (const auto& [field, summary] : d->m_summaries) {
        bytes += summary->MemoryBytes();
    }
    for (const auto* indexes : {&d->m_wordIndexes, &d->m_fieldBytes}) {
        for (const auto& [field, index] : *indexes) {
            bytes += index->MemoryBytes();
        }
    }
    for (const auto& [field, order] : d->m_leadingOrders) {
        bytes += order->size() * sizeof(std::uint32_t);
    }
    for (const Private::KnownMatches& known : d->m_known) {
        if (known.matches) {
            add(known.matches.get(), known.matches->size() * 8);
        }
        addView(known.view);
    }
    addRows(d->m_identity.get());
    addView(d->m_view);
    addView(d->m_lastFiltered.view);
    if (d->m_lastFiltered.memo) {
        bytes += d->m_lastFiltered.memo->MemoryBytes();
    }
    return bytes;
}

void ClientDataset::Private::RebuildView(bool keepRecord)
{
    std::uint32_t current = 0;
    const int was = m_cursor.Row();
    const bool hadRecord = keepRecord && was >= 0 && static_cast<std::size_t>(was) < m_view.Size();
    if (hadRecord) {
        current = m_view.At(static_cast<std::size_t>(was));
    }
    m_viewStale = false;

    const Private::IndexOrder* order = CurrentOrder();
    Private::RowsPtr all;
    if (order != nullptr) {
        all = order->order;
        m_identity.reset(); // record order is not on show; rebuilt when it is again
    } else {
        if (!m_identity) {
            m_identity = std::make_shared<Private::Rows>(SortRecords(m_table, {}));
        }
        all = m_identity;
    }

    const auto current_ = [&](const Private::FilteredView& v) {
        return v.root && v.dataVersion == m_dataVersion && v.orderVersion == m_orderVersion;
    };
    if (!m_filtered || !m_filterRoot) {
        m_view = RecordView(all);
    } else if (current_(m_lastFiltered) && m_lastFiltered.root->Key() == m_filterRoot->Key()) {
        m_view = m_lastFiltered.view; // the same filter again (switched off and on)
    } else {
        filter::SelectionInput input;
        input.table = &m_table;
        input.root = m_filterRoot.get();
        input.order = all;
        input.ignoreAccents = m_ignoreAccents;
        if (order != nullptr) {
            input.orderFields = order->fields;
        }
        RecordView view;
        std::shared_ptr<const filter::ContainsMemo> memo;
        if (m_fastPaths) {
            if (current_(m_lastFiltered) && filter::Narrows(*m_filterRoot, *m_lastFiltered.root)) {
                input.narrowBase = &m_lastFiltered.view;
                input.narrowMemo = m_lastFiltered.memo.get();
            }
            input.memoOut = &memo;
            input.knownMatches = [this](const std::string& key) { return Known(key); };
            input.foldedOrder = [this](int field) -> const Private::Rows& {
                return FoldedOrder(field);
            };
            input.summary = [this](int field) -> const filter::BigramSummary& {
                return Summary(field);
            };
            input.summaryBuilt = [this](int field) {
                TakeBuiltSummary(field);
                return m_summaries.count(field) != 0 || field == LeadField();
            };
            input.wordIndex = [this](int field) -> const filter::WordIndex& {
                return Words(field);
            };
            input.fieldBytes = [this](int field) -> const filter::WordIndex& {
                return FieldBytes(field);
            };
            input.leadingOrder = [this](int field) -> const LargeVector<std::uint32_t>& {
                return LeadingOrder(field);
            };
            view = filter::SelectFast(input);
        } else {
            view = filter::SelectPlain(input);
        }
        m_view = std::move(view);
        if (m_fastPaths) {
            Remember(m_filterRoot->Key(), m_view);
        }
        m_lastFiltered = {m_filterRoot, m_view, std::move(memo), m_dataVersion, m_orderVersion};
    }

    int row = m_view.Empty() ? -1 : 0;
    if (hadRecord) {
        const std::ptrdiff_t found = m_view.Find(current);
        if (found >= 0) {
            row = static_cast<int>(found);
        }
    }
    m_cursor.Place(row);
}

void ClientDataset::Private::EnsureView() const
{
    if (m_viewStale) {
        // Appends while open are folded in on the next read.
        auto* self = const_cast<Private*>(this);
        self->RebuildView(true);
    }
}

void ClientDataset::Private::Emit()
{
    m_owner.NotifyViewReset();
    m_owner.NotifyCursorMoved();
}

int ClientDataset::RecordCount() const
{
    if (!d->m_active) {
        return 0;
    }
    d->EnsureView();
    return static_cast<int>(d->m_view.Size());
}

QVariant ClientDataset::Value(int row, int field) const
{
    d->CheckRow(row);
    if (field < 0 || field >= d->m_table.FieldCount()) {
        throw DatasetError(QStringLiteral("Field index %1 out of range (the dataset has %2 fields)")
                               .arg(field)
                               .arg(d->m_table.FieldCount()));
    }
    return d->m_table.Col(field).ValueAt(d->m_view.At(static_cast<size_t>(row)));
}

} // namespace host
