#include "demo/zyl/search_module.h"

#include <QFile>
#include <dlfcn.h>

namespace zyl {

namespace {

void* Open(const QString& folder, const char* fileName, int flags)
{
    const QString path = folder + QLatin1Char('/') + QLatin1String(fileName);
    void* handle = dlopen(QFile::encodeName(path).constData(), flags);
    if (handle == nullptr) {
        const char* reason = dlerror();
        throw ModuleError(
            QStringLiteral("cannot load %1: %2")
                .arg(path, QString::fromLocal8Bit(reason != nullptr ? reason : "unknown error"))
                .toStdString());
    }
    return handle;
}

void* Symbol(void* module, const char* name, const char* fileName)
{
    dlerror();
    void* symbol = dlsym(module, name);
    if (symbol == nullptr) {
        throw ModuleError(QStringLiteral("%1 does not export %2")
                              .arg(QLatin1String(fileName), QLatin1String(name))
                              .toStdString());
    }
    return symbol;
}

} // namespace

SearchModule::SearchModule(const QString& folder)
{
    // The fiscal module goes in first and globally, where the search form looks for
    // RelFiscais when F1 asks for the fiscal menu.
    m_fiscal = Open(folder, "libfiscal.so", RTLD_NOW | RTLD_GLOBAL);
    m_module = Open(folder, "libpesquisa.so", RTLD_NOW | RTLD_LOCAL);
    m_pesquisa = reinterpret_cast<PesquisaFunction>(Symbol(m_module, "Pesquisa", "libpesquisa.so"));
    m_searchOptions = reinterpret_cast<SearchOptionsFunction>(
        Symbol(m_module, "PesquisaSearchOptions", "libpesquisa.so"));
    m_slot = static_cast<QWidget* const*>(Symbol(m_module, "frmPesquisa", "libpesquisa.so"));
}

// The modules stay loaded for the life of the program, as Qt keeps its plugins: Qt's
// type registry may still point into them. Their unload routines run at exit.
SearchModule::~SearchModule() = default;

QWidget* SearchModule::RunningDialog() const
{
    return *m_slot;
}

} // namespace zyl
