// Arbitrary text as a keys script: parse it or refuse it with a position inside it.
#include "demo/zyl/keys_script.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString script =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const zyl::KeysScript parsed = zyl::KeysScript::Parse(script);
        for (const zyl::ScriptStep& step : parsed.Steps()) {
            if (step.position < 1 || step.position > script.size() + 1) {
                std::abort();
            }
        }
    } catch (const zyl::KeysScriptError& error) {
        if (error.Position() < 1 || error.Position() > script.size() + 1) {
            std::abort();
        }
    }
    return 0;
}
