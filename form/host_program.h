#pragma once

#include <QString>

namespace pesquisa {

// Path of the running host program (QCoreApplication::applicationFilePath()), unless
// a test has set another one.
QString HostProgramPath();
// An empty path goes back to the real program path.
void SetHostProgramPath(const QString& path);

// The file-name part of the path, upper-cased by the ASCII rule, is "ZYL.EXE", or
// "ZYL" (a program without extension, as on Linux).
bool IsZylHost(const QString& programPath);

// The parameter file beside the host program.
QString ParameterFilePath(const QString& programPath);

} // namespace pesquisa
