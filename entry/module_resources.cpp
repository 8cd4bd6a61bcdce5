#include "entry/module_resources.h"

#include "form/touch_hygiene.h"
#include "host/platform/platform.h"

#include <QFileInfo>
#include <QLocale>
#include <QResource>
#include <touchsearch/application.h>

namespace pesquisa {

namespace {

// Runs at load and at unload of the module (or of the program that links it).
const ModuleResources moduleResources;

} // namespace

ModuleResources::ModuleResources()
{
    // Reached first, the application service is destroyed after this object at exit,
    // so the destructor below may still ask it for the hook.
    host::Application::Instance();

    const QString moduleFile =
        host::GetModuleFileNameA(reinterpret_cast<const void*>(&moduleResources));
    const QString bundle = FindLocaleBundle(moduleFile, QLocale::system().name());
    if (!bundle.isEmpty() && QResource::registerResource(bundle)) {
        m_bundle = bundle;
    }
}

ModuleResources::~ModuleResources()
{
    RemoveOwnMessageHook();
    if (!m_bundle.isEmpty()) {
        QResource::unregisterResource(m_bundle);
    }
}

QString ModuleResources::FindLocaleBundle(const QString& moduleFile, const QString& localeName)
{
    if (moduleFile.isEmpty() || localeName.isEmpty()) {
        return {};
    }
    QStringList candidates{localeName};
    const qsizetype separator = localeName.indexOf(QLatin1Char('_'));
    if (separator > 0) {
        candidates.append(localeName.left(separator));
    }
    for (const QString& candidate : candidates) {
        const QString path = moduleFile + QLatin1Char('.') + candidate + QStringLiteral(".rcc");
        if (QFileInfo(path).isFile()) {
            return path;
        }
    }
    return {};
}

bool ModuleResources::RemoveOwnMessageHook()
{
    host::Application& application = host::Application::Instance();
    if (application.GetOnMessage() != &pesquisa::AppEventsMessage) {
        return false;
    }
    application.SetOnMessage(nullptr);
    return true;
}

} // namespace pesquisa
