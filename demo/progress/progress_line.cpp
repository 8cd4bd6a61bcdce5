#include "demo/progress/progress_line.h"

#include <QLocale>
#include <cstdio>
#include <unistd.h>

namespace demo {

namespace {

// Nothing shows for a step shorter than this; then a terminal's line updates this often,
// and a plain line is written this often.
constexpr qint64 kQuietMs = 1000;
constexpr qint64 kTerminalEveryMs = 100;
constexpr qint64 kPlainEveryMs = 5000;

QString Count(qint64 n)
{
    return QLocale(QLocale::English).toString(n);
}

} // namespace

ProgressLine::ProgressLine(QString program)
    : m_program(std::move(program)), m_terminal(isatty(STDERR_FILENO) == 1)
{
}

ProgressLine::~ProgressLine()
{
    End();
}

void ProgressLine::Begin(const QString& what, qint64 total)
{
    End();
    m_what = what;
    m_total = total;
    m_done = 0;
    m_lastShownMs = -1;
    m_active = true;
    m_clock.start();
}

void ProgressLine::Update(qint64 done)
{
    m_done = done;
    if (!m_active) {
        return;
    }
    const qint64 now = m_clock.elapsed();
    if (now < kQuietMs) {
        return;
    }
    const qint64 every = m_terminal ? kTerminalEveryMs : kPlainEveryMs;
    if (m_lastShownMs >= 0 && now - m_lastShownMs < every) {
        return;
    }
    m_lastShownMs = now;
    Print(Line(done), false);
}

void ProgressLine::End()
{
    if (!m_active) {
        return;
    }
    m_active = false;
    if (m_lastShownMs < 0) {
        return;
    }
    Print(QStringLiteral("%1: %2 %3 in %4 s")
              .arg(m_what, Count(m_done),
                   m_total >= 0 ? QStringLiteral("done") : QStringLiteral("in all"))
              .arg(static_cast<double>(m_clock.elapsed()) / 1000.0, 0, 'f', 1),
          true);
}

QString ProgressLine::Line(qint64 done) const
{
    if (m_total <= 0) {
        return QStringLiteral("%1: %2 so far").arg(m_what, Count(done));
    }
    const double share = static_cast<double>(done) / static_cast<double>(m_total);
    QString line = QStringLiteral("%1: %2 of %3 (%4%)")
                       .arg(m_what, Count(done), Count(m_total))
                       .arg(static_cast<int>(share * 100.0));
    if (share > 0.0) {
        const double elapsed = static_cast<double>(m_clock.elapsed()) / 1000.0;
        line += QStringLiteral(", about %1 s left").arg(qRound(elapsed / share - elapsed));
    }
    return line;
}

void ProgressLine::Print(const QString& line, bool final)
{
    const QByteArray text = (m_program + QStringLiteral(": ") + line).toLocal8Bit();
    if (m_terminal) {
        // Back to the line's start, the text, the rest of the old line cleared.
        std::fprintf(stderr, "\r%s\033[K%s", text.constData(), final ? "\n" : "");
    } else {
        std::fprintf(stderr, "%s\n", text.constData());
    }
    std::fflush(stderr);
}

} // namespace demo
