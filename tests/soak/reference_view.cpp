#include "tests/soak/reference_view.h"

namespace soak {

ReferenceView::ReferenceView(const QString& path)
{
    m_dataset.LoadFromFile(path);
    m_dataset.SetFastPaths(false);
    m_dataset.Open();
}

void ReferenceView::FollowIndexDefs(const host::IndexDefs& defs)
{
    host::IndexDefs& mine = m_dataset.GetIndexDefs();
    bool same = mine.GetCount() == defs.GetCount();
    for (int i = 0; same && i < defs.GetCount(); ++i) {
        const host::IndexDef& a = mine.GetIndexDef(i);
        const host::IndexDef& b = defs.GetIndexDef(i);
        same = a.GetName() == b.GetName() && a.GetFields() == b.GetFields() &&
               a.GetOptions() == b.GetOptions();
    }
    if (same) {
        return;
    }
    m_dataset.SetIndexName(QString());
    mine.Clear();
    for (int i = 0; i < defs.GetCount(); ++i) {
        const host::IndexDef& def = defs.GetIndexDef(i);
        mine.Add(def.GetName(), def.GetFields(), def.GetOptions());
    }
    m_indexName.clear();
}

void ReferenceView::Follow(const host::ClientDataset& shown)
{
    FollowIndexDefs(shown.GetIndexDefs());
    const QString filter = shown.GetFilter();
    const bool filtered = shown.GetFiltered();
    const QString indexName = shown.GetIndexName();
    if (m_evaluations > 0 && filter == m_filter && filtered == m_filtered &&
        indexName == m_indexName) {
        return;
    }
    // Switch off first, so that the index and the text cost one evaluation, not three.
    m_dataset.SetFiltered(false);
    m_dataset.SetIndexName(indexName);
    m_dataset.SetFilter(filter);
    m_dataset.SetFiltered(filtered);
    m_filter = filter;
    m_filtered = filtered;
    m_indexName = indexName;
    ++m_evaluations;
}

} // namespace soak
