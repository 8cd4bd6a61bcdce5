#pragma once

#include <QFlags>
#include <QString>
#include <functional>
#include <memory>
#include <touchsearch/export.h>

namespace host {

class IndexDefPrivate;
class IndexDefsPrivate;

enum class IndexOption {
    Descending = 0x1,      // largest first (NULLs still first)
    CaseInsensitive = 0x2, // text compared after ASCII upper-casing
};
using IndexOptions = QFlags<IndexOption>;

// One index definition: a name and the fields it orders by ("A;B" for several).
// A value that never changes; copies share it.
class TOUCHSEARCH_HOST_EXPORT IndexDef {
public:
    IndexDef(QString name, QString fields, IndexOptions options);

    const QString& GetName() const;
    const QString& GetFields() const;
    IndexOptions GetOptions() const;

private:
    std::shared_ptr<const IndexDefPrivate> d;
};

// A client dataset's index definitions. Changing them tells the dataset, which drops
// an index in use that no longer exists.
class TOUCHSEARCH_HOST_EXPORT IndexDefs {
public:
    IndexDefs();
    ~IndexDefs();
    IndexDefs(const IndexDefs&) = delete;
    IndexDefs& operator=(const IndexDefs&) = delete;

    int GetCount() const;
    // Raises outside 0..count-1.
    void Delete(int pos);
    // Raises when the name is empty or already defined (names compare without case).
    void Add(const QString& name, const QString& fields, IndexOptions options = {});
    // Raises outside 0..count-1.
    const IndexDef& GetIndexDef(int pos) const;
    // Position of the definition with that name (without case), -1 when none.
    int Find(const QString& name) const;
    void Clear();

    void SetChangedHandler(std::function<void()> handler);

private:
    void CheckPosition(int pos) const;
    void Changed() const;

    // Behind a pointer, so that a later 1.y can add to it without moving anything
    // a host compiled against.
    const std::unique_ptr<IndexDefsPrivate> d;
};

} // namespace host

Q_DECLARE_OPERATORS_FOR_FLAGS(host::IndexOptions)
