#pragma once

#include <QString>
#include <exception>
#include <functional>

namespace test_support {

// The message of what f raises, empty when it raises nothing.
inline QString ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

} // namespace test_support
