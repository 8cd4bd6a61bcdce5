#include "host/dataset/client_dataset.h"

#include "host/dataset/dataset_error.h"
#include "host/dataset/dataset_file.h"
#include "host/dataset/filter/expression_parser.h"
#include "host/dataset/filter/record_selection.h"

#include <QFileInfo>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <algorithm>

namespace host {

ClientDataset::ClientDataset(QObject* parent) : Dataset(parent)
{
    m_indexDefs.SetChangedHandler([this] { OnIndexDefsChanged(); });
}

ClientDataset::~ClientDataset() = default;

void ClientDataset::AddField(const QString& name, FieldType type, int size)
{
    if (m_active || m_table.RecordCount() > 0) {
        throw DatasetError(
            QStringLiteral("Cannot add field \"%1\": the dataset is open or holds records")
                .arg(name));
    }
    if (name.trimmed().isEmpty()) {
        throw DatasetError(QStringLiteral("A field needs a name"));
    }
    if (m_table.FindField(name) >= 0) {
        throw DatasetError(QStringLiteral("Field \"%1\" already exists").arg(name));
    }
    if (size < 0) {
        throw DatasetError(QStringLiteral("Field \"%1\": size %2 is negative").arg(name).arg(size));
    }
    m_table.AddField({name, type, type == FieldType::Text ? size : 0});
    AddFieldObject(name, type, m_table.ReportedSize(m_table.FieldCount() - 1));
}

void ClientDataset::AppendRecord(const QVariantList& values)
{
    m_table.AppendRecord(values);
    for (int f = 0; f < m_table.FieldCount(); ++f) {
        GetField(f)->SetSize(m_table.ReportedSize(f));
    }
    DataChanged();
    if (m_active) {
        // Re-ordered and re-filtered when next read, so that appending many records to
        // an open dataset costs one rebuild, not one per record.
        m_viewStale = true;
        NotifyViewReset();
    }
}

void ClientDataset::DataChanged()
{
    ++m_dataVersion;
    m_orders.clear();
    m_foldedOrders.clear();
    m_identity.reset();
    m_lastFiltered = {};
    if (!m_filterText.trimmed().isEmpty() && m_active) {
        // Folded copies of text columns are rebuilt for the new records.
        m_filterRoot = Compile(m_filterText);
    }
}

void ClientDataset::LoadFromFile(const QString& path)
{
    LoadFromTable(LoadTable(path), QFileInfo(path).fileName());
}

void ClientDataset::LoadFromTable(Table loaded, const QString& source)
{
    // The filter in force must fit the new fields; checked before anything changes.
    if (m_active && !m_filterText.trimmed().isEmpty()) {
        try {
            (void)filter::ParseFilter(m_filterText, loaded, GetFilterOptions());
        } catch (const DatasetError& error) {
            throw DatasetError(
                QStringLiteral("Cannot load \"%1\": the filter in force does not apply "
                               "to its fields (%2)")
                    .arg(source, error.Message()));
        }
    }
    loaded.ShrinkToFit();
    SwapTable(std::move(loaded));
#if defined(__GLIBC__)
    // Loading went through large temporary buffers; hand what they left back to the
    // system rather than keep it in the host's heap.
    malloc_trim(0);
#endif
}

void ClientDataset::SwapTable(Table table)
{
    m_table = std::move(table);
    ClearFieldObjects();
    for (int f = 0; f < m_table.FieldCount(); ++f) {
        AddFieldObject(m_table.Def(f).name, m_table.Def(f).type, m_table.ReportedSize(f));
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
    Q_EMIT fieldsChanged();
    if (m_active) {
        RebuildView(false);
        Emit();
    }
}

void ClientDataset::SaveToFile(const QString& path) const
{
    SaveTable(m_table, path);
}

void ClientDataset::Open()
{
    if (m_active) {
        return;
    }
    m_active = true;
    try {
        m_filterRoot = m_filterText.trimmed().isEmpty() ? nullptr : Compile(m_filterText);
    } catch (...) {
        m_active = false;
        throw;
    }
    RebuildView(false);
    Emit();
}

void ClientDataset::Close()
{
    if (!m_active) {
        return;
    }
    m_active = false;
    m_view.reset();
    m_viewStale = false;
    m_lastFiltered = {};
    m_row = -1;
    m_bof = m_eof = true;
    Emit();
}

std::shared_ptr<const filter::Node> ClientDataset::Compile(const QString& text) const
{
    return filter::ParseFilter(text, m_table, GetFilterOptions());
}

void ClientDataset::SetFilterOptions(FilterOptions options)
{
    if (options == GetFilterOptions()) {
        return;
    }
    std::shared_ptr<const filter::Node> root;
    if (m_active && !m_filterText.trimmed().isEmpty()) {
        root = filter::ParseFilter(m_filterText, m_table, options); // may raise
    }
    StoreFilterOptions(options);
    m_filterRoot = std::move(root);
    if (m_active && m_filtered) {
        RebuildView(false);
        Emit();
    }
}

// After a text that does not parse, nothing changes: the previous filter text stays
// stored and the records on show stay exactly those of the previous filter.
void ClientDataset::SetFilter(const QString& expression)
{
    if (expression == m_filterText) {
        return;
    }
    std::shared_ptr<const filter::Node> root;
    if (m_active && !expression.trimmed().isEmpty()) {
        root = Compile(expression); // may raise; nothing has changed yet
    }
    m_filterText = expression;
    m_filterRoot = std::move(root);
    if (m_active && m_filtered) {
        RebuildView(false);
        Emit();
    }
}

void ClientDataset::SetFiltered(bool filtered)
{
    if (filtered == m_filtered) {
        return;
    }
    if (filtered && m_active && !m_filterText.trimmed().isEmpty() && !m_filterRoot) {
        m_filterRoot = Compile(m_filterText); // may raise; the switch stays off
    }
    m_filtered = filtered;
    if (m_active) {
        RebuildView(false);
        Emit();
    }
}

std::vector<SortField> ClientDataset::ResolveIndex(const IndexDef& def) const
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
                          def.GetOptions().testFlag(IndexOption::CaseInsensitive)});
    }
    if (fields.empty()) {
        throw DatasetError(QStringLiteral("Index \"%1\" names no field").arg(def.GetName()));
    }
    return fields;
}

void ClientDataset::SetIndexName(const QString& name)
{
    if (name.isEmpty()) {
        if (m_indexName.isEmpty()) {
            return;
        }
        m_indexName.clear();
    } else {
        const int pos = m_indexDefs.Find(name);
        if (pos < 0) {
            throw DatasetError(QStringLiteral("Index \"%1\" not found").arg(name));
        }
        const IndexDef& def = m_indexDefs.GetIndexDef(pos);
        const std::vector<SortField> fields = ResolveIndex(def); // may raise
        if (def.GetName() == m_indexName) {
            return;
        }
        m_indexName = def.GetName();
        if (m_active) {
            (void)CurrentOrder();
            // A search types on the index's first field: its folded order is built now
            // so that the first keystroke finds it ready.
            if (m_table.Def(fields[0].field).type == FieldType::Text) {
                (void)FoldedOrder(fields[0].field);
            }
        }
    }
    ++m_orderVersion;
    if (m_active) {
        RebuildView(true);
        Emit();
    }
}

void ClientDataset::OnIndexDefsChanged()
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

const ClientDataset::IndexOrder* ClientDataset::CurrentOrder() const
{
    if (m_indexName.isEmpty()) {
        return nullptr;
    }
    const int pos = m_indexDefs.Find(m_indexName);
    if (pos < 0) {
        return nullptr;
    }
    const IndexDef& def = m_indexDefs.GetIndexDef(pos);
    const std::vector<SortField> fields = ResolveIndex(def);
    QString key;
    for (const SortField& f : fields) {
        key += QString::number(f.field) + (f.descending ? QStringLiteral("d") : QString()) +
               (f.caseInsensitive ? QStringLiteral("i") : QString()) + u';';
    }
    auto it = m_orders.find(key);
    if (it == m_orders.end()) {
        RowsPtr order = SharedFoldedOrder(fields);
        if (!order) {
            order = std::make_shared<Rows>(SortRecords(m_table, fields));
        }
        IndexOrder entry;
        entry.rank = RankOf(*order);
        entry.order = std::move(order);
        it = m_orders.emplace(key, std::move(entry)).first;
    }
    return &it->second;
}

// A text column with no lower-case letter sorts the same with and without case: its
// folded order and its plain ascending order are one vector, sorted once.
ClientDataset::RowsPtr ClientDataset::SharedFoldedOrder(const std::vector<SortField>& fields) const
{
    if (fields.size() != 1 || fields[0].descending ||
        m_table.Def(fields[0].field).type != FieldType::Text ||
        !m_table.Col(fields[0].field).FoldsToItself()) {
        return nullptr;
    }
    const auto folded = m_foldedOrders.find(fields[0].field);
    return folded != m_foldedOrders.end() ? folded->second : nullptr;
}

const ClientDataset::Rows& ClientDataset::FoldedOrder(int field) const
{
    auto it = m_foldedOrders.find(field);
    if (it == m_foldedOrders.end()) {
        RowsPtr order;
        if (m_table.Col(field).FoldsToItself()) {
            const auto plain = m_orders.find(QString::number(field) + u';');
            if (plain != m_orders.end()) {
                order = plain->second.order;
            }
        }
        if (!order) {
            order = std::make_shared<Rows>(SortRecords(m_table, {SortField{field, false, true}}));
        }
        it = m_foldedOrders.emplace(field, std::move(order)).first;
    }
    return *it->second;
}

std::size_t ClientDataset::MemoryBytes() const
{
    std::size_t bytes = 0;
    for (int f = 0; f < m_table.FieldCount(); ++f) {
        bytes += m_table.Col(f).StorageBytes();
    }
    // Vectors shared between the orders and the views count once.
    std::vector<const Rows*> seen;
    const auto add = [&](const Rows* rows) {
        if (rows != nullptr && std::find(seen.begin(), seen.end(), rows) == seen.end()) {
            seen.push_back(rows);
            bytes += rows->size() * sizeof(std::uint32_t);
        }
    };
    for (const auto& [key, entry] : m_orders) {
        add(entry.order.get());
        add(&entry.rank);
    }
    for (const auto& [field, order] : m_foldedOrders) {
        add(order.get());
    }
    add(m_identity.get());
    add(m_lastFiltered.rows.get());
    add(m_view.get());
    return bytes;
}

void ClientDataset::RebuildView(bool keepRecord)
{
    std::uint32_t current = 0;
    const bool hadRecord =
        keepRecord && m_view && m_row >= 0 && m_row < static_cast<int>(m_view->size());
    if (hadRecord) {
        current = (*m_view)[static_cast<size_t>(m_row)];
    }
    m_viewStale = false;

    const IndexOrder* order = CurrentOrder();
    RowsPtr all;
    if (order != nullptr) {
        all = order->order;
        m_identity.reset(); // record order is not on show; rebuilt when it is again
    } else {
        if (!m_identity) {
            m_identity = std::make_shared<Rows>(SortRecords(m_table, {}));
        }
        all = m_identity;
    }

    if (!m_filtered || !m_filterRoot) {
        m_view = all;
    } else if (m_lastFiltered.rows && m_lastFiltered.dataVersion == m_dataVersion &&
               m_lastFiltered.orderVersion == m_orderVersion &&
               m_lastFiltered.root->Key() == m_filterRoot->Key()) {
        m_view = m_lastFiltered.rows; // the same filter again (switched off and on)
    } else {
        filter::SelectionInput input;
        input.table = &m_table;
        input.root = m_filterRoot.get();
        input.order = order != nullptr ? order->order.get() : nullptr;
        input.rank = order != nullptr ? &order->rank : nullptr;
        RowsPtr rows;
        if (m_fastPaths) {
            if (m_lastFiltered.rows && m_lastFiltered.dataVersion == m_dataVersion &&
                m_lastFiltered.orderVersion == m_orderVersion &&
                filter::Narrows(*m_filterRoot, *m_lastFiltered.root)) {
                input.narrowBase = m_lastFiltered.rows.get();
            }
            input.foldedOrder = [this](int field) -> const Rows& { return FoldedOrder(field); };
            rows = std::make_shared<Rows>(filter::SelectFast(input));
        } else {
            rows = std::make_shared<Rows>(filter::SelectPlain(input));
        }
        m_lastFiltered = {m_filterRoot, rows, m_dataVersion, m_orderVersion};
        m_view = rows;
    }

    m_row = m_view->empty() ? -1 : 0;
    if (hadRecord) {
        for (size_t i = 0; i < m_view->size(); ++i) {
            if ((*m_view)[i] == current) {
                m_row = static_cast<int>(i);
                break;
            }
        }
    }
    m_bof = m_row <= 0;
    m_eof = m_view->empty();
}

void ClientDataset::EnsureView() const
{
    if (m_viewStale) {
        // Appends while open are folded in on the next read.
        auto* self = const_cast<ClientDataset*>(this);
        self->RebuildView(true);
    }
}

void ClientDataset::Emit()
{
    NotifyViewReset();
    NotifyCursorMoved();
}

int ClientDataset::RecordCount() const
{
    if (!m_active) {
        return 0;
    }
    EnsureView();
    return static_cast<int>(m_view->size());
}

int ClientDataset::RecNo() const
{
    if (!m_active) {
        return -1;
    }
    EnsureView();
    return m_row;
}

void ClientDataset::First()
{
    if (!m_active) {
        return;
    }
    EnsureView();
    const int target = m_view->empty() ? -1 : 0;
    const bool moved = target != m_row;
    m_row = target;
    m_bof = true;
    m_eof = m_view->empty();
    if (moved) {
        NotifyCursorMoved();
    }
}

void ClientDataset::Last()
{
    if (!m_active) {
        return;
    }
    EnsureView();
    const int target = static_cast<int>(m_view->size()) - 1;
    const bool moved = target != m_row;
    m_row = target;
    m_eof = true;
    m_bof = m_view->empty();
    if (moved) {
        NotifyCursorMoved();
    }
}

void ClientDataset::Next()
{
    if (!m_active) {
        return;
    }
    EnsureView();
    if (m_row + 1 >= static_cast<int>(m_view->size())) {
        m_eof = true;
        return;
    }
    ++m_row;
    m_bof = m_eof = false;
    NotifyCursorMoved();
}

void ClientDataset::Prior()
{
    if (!m_active) {
        return;
    }
    EnsureView();
    if (m_row <= 0) {
        m_bof = true;
        return;
    }
    --m_row;
    m_bof = m_eof = false;
    NotifyCursorMoved();
}

void ClientDataset::CheckRow(int row) const
{
    if (!m_active) {
        throw DatasetError(QStringLiteral("The dataset is not open"));
    }
    EnsureView();
    if (row < 0 || row >= static_cast<int>(m_view->size())) {
        throw DatasetError(QStringLiteral("Row %1 out of range (the view has %2 records)")
                               .arg(row)
                               .arg(m_view->size()));
    }
}

void ClientDataset::MoveTo(int row)
{
    CheckRow(row);
    const bool moved = row != m_row;
    m_row = row;
    m_bof = m_eof = false;
    if (moved) {
        NotifyCursorMoved();
    }
}

QVariant ClientDataset::Value(int row, int field) const
{
    CheckRow(row);
    if (field < 0 || field >= m_table.FieldCount()) {
        throw DatasetError(QStringLiteral("Field index %1 out of range (the dataset has %2 fields)")
                               .arg(field)
                               .arg(m_table.FieldCount()));
    }
    return m_table.Col(field).ValueAt((*m_view)[static_cast<size_t>(row)]);
}

} // namespace host
