#include "form/host_program.h"

#include "form/search_text.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace pesquisa {

namespace {

QString& OverriddenPath()
{
    static QString path;
    return path;
}

} // namespace

QString HostProgramPath()
{
    const QString& path = OverriddenPath();
    return path.isEmpty() ? QCoreApplication::applicationFilePath() : path;
}

void SetHostProgramPath(const QString& path)
{
    OverriddenPath() = path;
}

bool IsZylHost(const QString& programPath)
{
    const QString name = AsciiUpper(QFileInfo(programPath).fileName());
    return name == QLatin1String("ZYL.EXE") || name == QLatin1String("ZYL");
}

QString ParameterFilePath(const QString& programPath)
{
    return QFileInfo(programPath).absolutePath() + QLatin1String("/PARAMETROSZYL.CDS");
}

} // namespace pesquisa
