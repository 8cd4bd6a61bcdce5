#pragma once

#include <QString>

namespace pesquisa {

// What the module takes when it is loaded and gives back when it is unloaded: the
// optional localised resource bundle beside the module file and the application's
// message hook, which must not outlive the module's code.
class ModuleResources {
public:
    ModuleResources();
    ~ModuleResources();
    ModuleResources(const ModuleResources&) = delete;
    ModuleResources& operator=(const ModuleResources&) = delete;

    // The bundle registered at load; empty when there was none.
    const QString& Bundle() const { return m_bundle; }

    // "<module file>.<locale>.rcc" beside the module, then the language alone
    // ("pt_BR", then "pt"); empty when neither file exists.
    static QString FindLocaleBundle(const QString& moduleFile, const QString& localeName);

    // Removes the application's message hook when it is still the form's wheel hook.
    // Returns whether it did.
    static bool RemoveOwnMessageHook();

private:
    QString m_bundle;
};

} // namespace pesquisa
