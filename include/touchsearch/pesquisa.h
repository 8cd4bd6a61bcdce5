#pragma once

#include <cstdint>

namespace host {
class Dataset;
}
class TfrmPesquisa;

#define PESQUISA_EXPORT __attribute__((visibility("default")))

// The module's service: one search dialog over the host's dataset. Returns true
// when the user confirmed a record; the dataset is then filtered and positioned on
// it. Texts are Windows-1252 bytes, a null pointer meaning empty. Valor1..Valor4
// are accepted and ignored. Raises host::DatasetError for a null or closed dataset
// and for a call while a dialog is already running; failures while the form is
// created or initialised reach the caller after the form is destroyed.
extern "C" PESQUISA_EXPORT bool Pesquisa(host::Dataset* DataSet, const char* TextoAuxiliar,
                                         const char* LimpaFiltro, int32_t Valor1, int32_t Valor2,
                                         int32_t Valor3, int32_t Valor4, bool SemMenuFiscal);

namespace pesquisa {
// The same function under a C++ name, at the same address.
PESQUISA_EXPORT bool Pesquisa(host::Dataset* DataSet, const char* TextoAuxiliar,
                              const char* LimpaFiltro, int32_t Valor1, int32_t Valor2,
                              int32_t Valor3, int32_t Valor4, bool SemMenuFiscal);

// Bits of PesquisaSearchOptions' Options argument.
inline constexpr std::uint32_t SearchWords = 0x1;      // words in any order
inline constexpr std::uint32_t SearchExactFirst = 0x2; // the exact value first
} // namespace pesquisa

// Options for the search dialogs that follow in this process (until set again).
// SearchFields: field names separated by commas, searched beside the search column
// (Windows-1252; null or "" = none; blanks around a name ignored). They are checked
// when a dialog opens, not here: Pesquisa then raises host::DatasetError for a field
// the dataset does not have or that is hidden. Options: SearchWords, SearchExactFirst;
// other bits are ignored. Call it on the user-interface thread, between searches.
extern "C" PESQUISA_EXPORT void PesquisaSearchOptions(const char* SearchFields,
                                                      std::uint32_t Options);

namespace pesquisa {
// The same function under a C++ name, at the same address.
PESQUISA_EXPORT void SetSearchOptions(const char* SearchFields, std::uint32_t Options);
} // namespace pesquisa

// The form of the running dialog; empty outside a call.
extern PESQUISA_EXPORT TfrmPesquisa* frmPesquisa;
