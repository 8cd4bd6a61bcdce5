#pragma once

#include <QString>

namespace zyl {

// Writes "PROGRAM: line" to standard error at once: a message, or an answer a driving
// program waits for. PROGRAM is the application's name (zyl, touchsearch-pick).
void Report(const QString& line);

} // namespace zyl
