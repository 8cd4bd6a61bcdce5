// The README's pictures of the dialog are what the current build draws: the script that
// makes them runs here into a temporary folder, and each picture is compared with the
// committed one, pixel by pixel with a small tolerance. When the look changes on
// purpose, scripts/readme-pictures draws them anew.
#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Pixels whose colour differs by more than a rounding's worth in some channel.
int DifferingPixels(const QImage& a, const QImage& b)
{
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > 8 || std::abs(qGreen(p) - qGreen(q)) > 8 ||
                std::abs(qBlue(p) - qBlue(q)) > 8) {
                ++differing;
            }
        }
    }
    return differing;
}

} // namespace

TEST(ReadmePictures, AreWhatTheCurrentBuildDraws)
{
    QTemporaryDir drawn;
    ASSERT_TRUE(drawn.isValid());
    QProcess script;
    script.start(QStringLiteral(TS_SOURCE_DIR "/scripts/readme-pictures"),
                 {QCoreApplication::applicationDirPath(), drawn.path()});
    ASSERT_TRUE(script.waitForFinished(300000));
    ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();

    for (const char* name : {"search.png", "contains.png"}) {
        const QString committedPath = QStringLiteral(TS_SOURCE_DIR "/docs/images/") + name;
        const QImage committed = QImage(committedPath).convertToFormat(QImage::Format_RGB32);
        const QImage now =
            QImage(drawn.filePath(QLatin1String(name))).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(committed.isNull()) << committedPath.toStdString() << " is missing";
        ASSERT_FALSE(now.isNull()) << name << " was not drawn";
        ASSERT_EQ(committed.size(), now.size()) << name;
        // A few hundred pixels of antialiasing may differ; a changed text, row or
        // colour changes thousands.
        const int differing = DifferingPixels(committed, now);
        EXPECT_LE(differing, committed.width() * committed.height() / 500)
            << name << ": " << differing
            << " pixels differ from what the build draws; if the look changed on purpose, "
               "run scripts/readme-pictures and commit docs/images";
    }
}
