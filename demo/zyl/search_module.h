#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>

class QWidget;

namespace host {
class Dataset;
}

namespace zyl {

class ModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The search module and the fiscal module, loaded at run time by file name from a
// folder (the program's own), as a host program loads them.
class SearchModule {
public:
    using PesquisaFunction = bool (*)(host::Dataset*, const char*, const char*, std::int32_t,
                                      std::int32_t, std::int32_t, std::int32_t, bool);

    // Loads libpesquisa.so and libfiscal.so from the folder; raises ModuleError
    // naming the file and the loader's message.
    explicit SearchModule(const QString& folder);
    ~SearchModule();
    SearchModule(const SearchModule&) = delete;
    SearchModule& operator=(const SearchModule&) = delete;

    using SearchOptionsFunction = void (*)(const char*, std::uint32_t);

    PesquisaFunction Pesquisa() const { return m_pesquisa; }
    // PesquisaSearchOptions: the searched fields and options of the searches that follow.
    SearchOptionsFunction SearchOptions() const { return m_searchOptions; }
    // The running dialog (the exported slot frmPesquisa); nullptr outside a call.
    QWidget* RunningDialog() const;

private:
    void* m_module = nullptr;
    void* m_fiscal = nullptr;
    PesquisaFunction m_pesquisa = nullptr;
    SearchOptionsFunction m_searchOptions = nullptr;
    // The slot holds a TfrmPesquisa*, a QDialog by single inheritance: read as a QWidget*.
    QWidget* const* m_slot = nullptr;
};

} // namespace zyl
