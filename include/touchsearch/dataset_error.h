#pragma once

#include <QString>
#include <stdexcept>
#include <string>
#include <touchsearch/export.h>

namespace host {

// The run time's failures. Derives from std::exception, the general class the
// search form catches where it shows a failure to the user.
class TOUCHSEARCH_HOST_EXPORT DatasetError : public std::runtime_error {
public:
    explicit DatasetError(const QString& message) : std::runtime_error(message.toStdString()) {}
    explicit DatasetError(const std::string& message) : std::runtime_error(message) {}
    DatasetError(const DatasetError&) = default;
    DatasetError& operator=(const DatasetError&) = default;
    // Out of line: the class's type information then lives in the run time alone, so
    // a host catches what the module throws by this one type.
    ~DatasetError() override;

    QString Message() const { return QString::fromUtf8(what()); }
};

} // namespace host
