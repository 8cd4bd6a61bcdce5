#pragma once

#include <QString>
#include <stdexcept>
#include <string>

namespace host {

// The run time's failures. Derives from std::exception, the general class the
// search form catches where it shows a failure to the user.
class DatasetError : public std::runtime_error {
public:
    explicit DatasetError(const QString& message) : std::runtime_error(message.toStdString()) {}
    explicit DatasetError(const std::string& message) : std::runtime_error(message) {}

    QString Message() const { return QString::fromUtf8(what()); }
};

} // namespace host
