#include "host/app/progress_reporter.h"

namespace host {

namespace {

constexpr qint64 kEveryMs = 100;

} // namespace

ProgressReporter::ProgressReporter(QString step, qint64 total)
    : m_enabled(Application::Instance().HasProgressHandler())
{
    m_progress.step = std::move(step);
    m_progress.total = total;
    if (m_enabled) {
        m_clock.start();
        Application::Instance().ReportProgress(m_progress);
    }
}

ProgressReporter::~ProgressReporter()
{
    if (m_enabled) {
        m_progress.finished = true;
        // A handler that throws must not end the program from a destructor.
        try {
            Application::Instance().ReportProgress(m_progress);
        } catch (...) {
        }
    }
}

void ProgressReporter::Report()
{
    const qint64 now = m_clock.elapsed();
    if (now - m_lastMs < kEveryMs) {
        return;
    }
    m_lastMs = now;
    Application::Instance().ReportProgress(m_progress);
}

} // namespace host
