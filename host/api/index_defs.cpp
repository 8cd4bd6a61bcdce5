#include <touchsearch/dataset_error.h>
#include <touchsearch/index_defs.h>
#include <utility>
#include <vector>

namespace host {

class IndexDefPrivate {
public:
    QString m_name;
    QString m_fields;
    IndexOptions m_options;
};

IndexDef::IndexDef(QString name, QString fields, IndexOptions options)
    : d(std::make_shared<const IndexDefPrivate>(
          IndexDefPrivate{std::move(name), std::move(fields), options}))
{
}

const QString& IndexDef::GetName() const
{
    return d->m_name;
}

const QString& IndexDef::GetFields() const
{
    return d->m_fields;
}

IndexOptions IndexDef::GetOptions() const
{
    return d->m_options;
}

class IndexDefsPrivate {
public:
    std::vector<IndexDef> m_defs;
    std::function<void()> m_changed;
};

IndexDefs::IndexDefs() : d(std::make_unique<IndexDefsPrivate>()) {}

IndexDefs::~IndexDefs() = default;

int IndexDefs::GetCount() const
{
    return static_cast<int>(d->m_defs.size());
}

void IndexDefs::SetChangedHandler(std::function<void()> handler)
{
    d->m_changed = std::move(handler);
}

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
    if (d->m_changed) {
        d->m_changed();
    }
}

void IndexDefs::Delete(int pos)
{
    CheckPosition(pos);
    d->m_defs.erase(d->m_defs.begin() + pos);
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
    d->m_defs.emplace_back(name, fields, options);
    Changed();
}

const IndexDef& IndexDefs::GetIndexDef(int pos) const
{
    CheckPosition(pos);
    return d->m_defs[static_cast<size_t>(pos)];
}

int IndexDefs::Find(const QString& name) const
{
    for (size_t i = 0; i < d->m_defs.size(); ++i) {
        if (d->m_defs[i].GetName().compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void IndexDefs::Clear()
{
    if (d->m_defs.empty()) {
        return;
    }
    d->m_defs.clear();
    Changed();
}

} // namespace host
