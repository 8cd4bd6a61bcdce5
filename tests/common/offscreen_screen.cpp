#include "tests/common/offscreen_screen.h"

#include <QDir>
#include <QFile>
#include <QString>

namespace testing_support {

QString WriteOffscreenScreenConfig(int width, int height)
{
    const QString path =
        QDir::temp().filePath(QStringLiteral("ts-offscreen-%1x%2.json").arg(width).arg(height));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QString json =
            QStringLiteral(
                R"({"synchronousWindowSystemEvents": true, "windowFrameMargins": false,
 "screens": [{"name": "ts", "x": 0, "y": 0, "width": %1, "height": %2,
 "logicalDpiX": 96, "logicalDpiY": 96, "dpr": 1}]})")
                .arg(width)
                .arg(height);
        file.write(json.toUtf8());
    }
    return path;
}

} // namespace testing_support
