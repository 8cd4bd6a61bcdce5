#include "host/dataset/index_defs.h"

#include "host/dataset/dataset_error.h"

namespace host {

void IndexDefs::CheckPosition(int pos) const
{
    if (pos < 0 || pos >= GetCount()) {
        throw DatasetError(QStringLiteral("Index definition %1 out of range (there are %2)")
                               .arg(pos)
                               .arg(GetCount()));
    }
}

void IndexDefs::Changed() const
{
    if (m_changed) {
        m_changed();
    }
}

void IndexDefs::Delete(int pos)
{
    CheckPosition(pos);
    m_defs.erase(m_defs.begin() + pos);
    Changed();
}

void IndexDefs::Add(const QString& name, const QString& fields, IndexOptions options)
{
    if (name.trimmed().isEmpty()) {
        throw DatasetError(QStringLiteral("Index definition needs a name"));
    }
    if (Find(name) >= 0) {
        throw DatasetError(QStringLiteral("Index \"%1\" already exists").arg(name));
    }
    m_defs.emplace_back(name, fields, options);
    Changed();
}

const IndexDef& IndexDefs::GetIndexDef(int pos) const
{
    CheckPosition(pos);
    return m_defs[static_cast<size_t>(pos)];
}

int IndexDefs::Find(const QString& name) const
{
    for (size_t i = 0; i < m_defs.size(); ++i) {
        if (m_defs[i].GetName().compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void IndexDefs::Clear()
{
    if (m_defs.empty()) {
        return;
    }
    m_defs.clear();
    Changed();
}

} // namespace host
