#include "demo/zyl/report.h"

#include <QCoreApplication>
#include <cstdio>

namespace zyl {

void Report(const QString& line)
{
    std::fprintf(stderr, "%s: %s\n", QCoreApplication::applicationName().toLocal8Bit().constData(),
                 line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace zyl
