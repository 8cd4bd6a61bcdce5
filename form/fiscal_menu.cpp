#include "form/fiscal_menu.h"

#include "host/platform/platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <utility>

namespace pesquisa {

namespace {

constexpr char kFiscalModule[] = "libfiscal.so";

// An address inside this module, to find the module's own file.
const int kModuleAnchor = 0;

void* OpenFiscalModule()
{
    // The module stays loaded once found: the menu it opens may come back any time.
    static void* handle = nullptr;
    if (handle != nullptr) {
        return handle;
    }
    handle = dlopen(kFiscalModule, RTLD_NOLOAD | RTLD_NOW);
    if (handle != nullptr) {
        return handle;
    }
    QString folder = QFileInfo(host::GetModuleFileNameA(&kModuleAnchor)).absolutePath();
    if (folder.isEmpty() ||
        !QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(kFiscalModule))) {
        folder = QCoreApplication::applicationDirPath();
    }
    const QString path = folder + QLatin1Char('/') + QLatin1String(kFiscalModule);
    if (QFileInfo::exists(path)) {
        handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW);
    }
    return handle;
}

FiscalMenuProcedure FindInFiscalModule()
{
    void* module = OpenFiscalModule();
    if (module == nullptr) {
        return nullptr;
    }
    auto* variable = reinterpret_cast<FiscalMenuProcedure*>(dlsym(module, "RelFiscais"));
    return variable != nullptr ? *variable : nullptr;
}

FiscalMenuLocator& Locator()
{
    static FiscalMenuLocator locator;
    return locator;
}

} // namespace

FiscalMenuProcedure FindRelFiscais()
{
    const FiscalMenuLocator& locator = Locator();
    return locator ? locator() : FindInFiscalModule();
}

FiscalMenuLocator SetFiscalMenuLocator(FiscalMenuLocator locator)
{
    return std::exchange(Locator(), std::move(locator));
}

} // namespace pesquisa
