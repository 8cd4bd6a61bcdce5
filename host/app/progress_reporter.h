#pragma once

#include <QElapsedTimer>
#include <touchsearch/application.h>

namespace host {

// One long step's reports to the application's progress handler: the start, then at
// most every tenth of a second, and the end when it goes out of scope (also when the
// step fails). Costs a test of a flag an item when no handler is set.
class ProgressReporter {
public:
    ProgressReporter(QString step, qint64 total);
    ~ProgressReporter();
    ProgressReporter(const ProgressReporter&) = delete;
    ProgressReporter& operator=(const ProgressReporter&) = delete;

    void Advance(qint64 done)
    {
        m_progress.done = done;
        // The clock is read once every 256 items.
        if (m_enabled && (done & 0xFF) == 0) {
            Report();
        }
    }
    void SetTotal(qint64 total) { m_progress.total = total; }

private:
    void Report();

    Application::Progress m_progress;
    QElapsedTimer m_clock;
    qint64 m_lastMs = 0;
    bool m_enabled;
};

} // namespace host
