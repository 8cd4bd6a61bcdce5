#pragma once

#include <QFlags>
#include <QString>
#include <functional>
#include <vector>

namespace host {

enum class IndexOption {
    Descending = 0x1,      // largest first (NULLs still first)
    CaseInsensitive = 0x2, // text compared after ASCII upper-casing
};
using IndexOptions = QFlags<IndexOption>;

// One index definition: a name and the fields it orders by ("A;B" for several).
class IndexDef {
public:
    IndexDef(QString name, QString fields, IndexOptions options)
        : m_name(std::move(name)), m_fields(std::move(fields)), m_options(options)
    {
    }
    const QString& GetName() const { return m_name; }
    const QString& GetFields() const { return m_fields; }
    IndexOptions GetOptions() const { return m_options; }

private:
    QString m_name;
    QString m_fields;
    IndexOptions m_options;
};

// A client dataset's index definitions. Changing them tells the dataset, which drops
// an index in use that no longer exists.
class IndexDefs {
public:
    int GetCount() const { return static_cast<int>(m_defs.size()); }
    // Raises outside 0..count-1.
    void Delete(int pos);
    // Raises when the name is empty or already defined (names compare without case).
    void Add(const QString& name, const QString& fields, IndexOptions options = {});
    // Raises outside 0..count-1.
    const IndexDef& GetIndexDef(int pos) const;
    // Position of the definition with that name (without case), -1 when none.
    int Find(const QString& name) const;
    void Clear();

    void SetChangedHandler(std::function<void()> handler) { m_changed = std::move(handler); }

private:
    void CheckPosition(int pos) const;
    void Changed() const;

    std::vector<IndexDef> m_defs;
    std::function<void()> m_changed;
};

} // namespace host

Q_DECLARE_OPERATORS_FOR_FLAGS(host::IndexOptions)
