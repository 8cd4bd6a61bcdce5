// Long steps say how far they are: samplegen writing two million customers into a file
// (several seconds in the test build) reports progress on standard error, as plain
// lines since standard error is a pipe here, and ends with a line that says it is done.
#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(Progress, ALongStepPrintsPlainProgressLinesWhenNotOnATerminal)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QProcess samplegen;
    samplegen.start(QCoreApplication::applicationDirPath() + QStringLiteral("/samplegen"),
                    {QStringLiteral("--count"), QStringLiteral("2000000"),
                     QStringLiteral("--output"), folder.filePath(QStringLiteral("big.db"))});
    ASSERT_TRUE(samplegen.waitForFinished(600000));
    ASSERT_EQ(samplegen.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(samplegen.readAllStandardError());
    const QStringList lines = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty()) << "no progress at all";
    // No terminal: no carriage returns or escape sequences, whole lines only.
    EXPECT_FALSE(err.contains(QLatin1Char('\r'))) << err.toStdString();
    EXPECT_FALSE(err.contains(QLatin1Char('\033'))) << err.toStdString();
    const QRegularExpression step(
        QStringLiteral("^samplegen: writing customers: [0-9,]+ of 2,000,000 \\([0-9]+%\\), "
                       "about [0-9]+ s left$"));
    for (int i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_TRUE(step.match(lines.at(i)).hasMatch()) << lines.at(i).toStdString();
    }
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^samplegen: writing customers: 2,000,000 done in [0-9.]+ s$"))
                    .match(lines.constLast())
                    .hasMatch())
        << err.toStdString();
}
