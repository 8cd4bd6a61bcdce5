#include "tests/common/offscreen_screen.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

// Every suite runs on real widgets on the offscreen platform. The screen size
// defaults to 1024x768; TS_SCREEN="WxH" picks another (a suite's own ctest entry
// sets it, since the screen is fixed for the life of the QApplication).
// TS_WINDOW_EVENTS=queued leaves window-system events to the event loop.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);

    int width = 1024;
    int height = 768;
    if (const char* screen = std::getenv("TS_SCREEN")) {
        const QList<QByteArray> parts = QByteArray(screen).split('x');
        if (parts.size() == 2) {
            width = parts[0].toInt();
            height = parts[1].toInt();
        }
    }
    const bool queued = qgetenv("TS_WINDOW_EVENTS") == "queued";
    const QString config = testing_support::WriteOffscreenScreenConfig(width, height, queued);
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toUtf8());

    std::vector<char*> args(argv, argv + argc);
    int qtArgc = argc;
    QApplication app(qtArgc, args.data());
    // The platform has read its screen; the file is no longer needed.
    QFile::remove(config);
    return RUN_ALL_TESTS();
}
