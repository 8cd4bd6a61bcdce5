#include <touchsearch/dataset_error.h>
#include <touchsearch/index_defs.h>
#include <utility>
#include <vector>

namespace host {

class IndexDefPrivate {
public:
    QString name;
    QString fields;
    IndexOptions options;
};

IndexDef::IndexDef(QString name, QString fields, IndexOptions options)
    : d(std::make_shared<const IndexDefPrivate>(
          IndexDefPrivate{std::move(name), std::move(fields), options}))
{
}

const QString& IndexDef::GetName() const
{
    return d->name;
}

const QString& IndexDef::GetFields() const
{
    return d->fields;
}

IndexOptions IndexDef::GetOptions() const
{
    return d->options;
}

class IndexDefsPrivate {
public:
    std::vector<IndexDef> defs;
    std::function<void()> changed;
};

IndexDefs::IndexDefs() : d(std::make_unique<IndexDefsPrivate>()) {}

IndexDefs::~IndexDefs() = default;

int IndexDefs::GetCount() const
{
    return static_cast<int>(d->defs.size());
}

void IndexDefs::SetChangedHandler(std::function<void()> handler)
{
    d->changed = std::move(handler);
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
    if (d->changed) {
        d->changed();
    }
}

void IndexDefs::Delete(int pos)
{
    CheckPosition(pos);
    d->defs.erase(d->defs.begin() + pos);
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
    d->defs.emplace_back(name, fields, options);
    Changed();
}

const IndexDef& IndexDefs::GetIndexDef(int pos) const
{
    CheckPosition(pos);
    return d->defs[static_cast<size_t>(pos)];
}

int IndexDefs::Find(const QString& name) const
{
    for (size_t i = 0; i < d->defs.size(); ++i) {
        if (d->defs[i].GetName().compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void IndexDefs::Clear()
{
    if (d->defs.empty()) {
        return;
    }
    d->defs.clear();
    Changed();
}

} // namespace host
