#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace pesquisa {

// How far a search reaches beyond its search column: more fields, words in any order,
// the record equal to the text first. Set by the host for the dialogs that follow
// (PesquisaSearchOptions); each new form reads it in InicializaForm.
struct SearchOptions {
    QStringList fields;      // searched beside the search column, in the order given
    bool words = false;      // each word may match anywhere, in any order
    bool exactFirst = false; // the cursor goes to the first record equal to the text
    // True when any option is set; with none, every search is as it always was.
    bool Any() const;
};

// The host's arguments read: names separated by commas, blanks around a name and
// empty names left out; the bits of pesquisa.h (others ignored).
SearchOptions ParseSearchOptions(const QString& fields, std::uint32_t options);

// The options of this module, for the dialogs that follow.
SearchOptions& ModuleSearchOptions();

} // namespace pesquisa
