#include "tests/common/offscreen_screen.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <QString>
#include <unistd.h>

namespace testing_support {

QString WriteOffscreenScreenConfig(int width, int height, bool queued)
{
    // One file per process, written atomically: suites start in parallel and the
    // platform plugin must never read a half-written file.
    const QString path = QDir::temp().filePath(
        QStringLiteral("ts-offscreen-%1x%2-%3.json").arg(width).arg(height).arg(::getpid()));
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const QString json =
            QStringLiteral(
                R"({"synchronousWindowSystemEvents": %3, "windowFrameMargins": false,
 "screens": [{"name": "ts", "x": 0, "y": 0, "width": %1, "height": %2,
 "logicalDpiX": 96, "logicalDpiY": 96, "dpr": 1}]})")
                .arg(width)
                .arg(height)
                .arg(queued ? QStringLiteral("false") : QStringLiteral("true"));
        file.write(json.toUtf8());
        file.commit();
    }
    return path;
}

} // namespace testing_support
