#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

namespace demo {

// Progress of a long step on standard error, in the form a terminal user expects: one
// line that updates in place on a terminal, plain lines every few seconds when standard
// error is a file or a pipe. A step that ends within about a second prints nothing.
//   PROGRAM: WHAT: 3,400,000 of 10,000,000 (34%), about 12 s left
class ProgressLine {
public:
    explicit ProgressLine(QString program);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Starts a step; total is -1 when unknown (the line then shows the count only).
    void Begin(const QString& what, qint64 total);
    // The step has done this many; cheap enough to call for every item (the clock is
    // read once every 1,024).
    void Advance(qint64 done)
    {
        m_done = done;
        if ((done & 0x3FF) == 0) {
            Update(done);
        }
    }
    // The same, reading the clock every time: for reports that come now and then.
    void Update(qint64 done);
    bool Active() const { return m_active; }
    // Ends the step: a line that was shown says how long it took.
    void End();

private:
    QString Line(qint64 done) const;
    void Print(const QString& line, bool final);

    QString m_program;
    QString m_what;
    qint64 m_total = -1;
    qint64 m_done = 0;
    qint64 m_lastShownMs = -1; // -1: nothing shown yet in this step
    QElapsedTimer m_clock;
    bool m_terminal = false;
    bool m_active = false;
};

} // namespace demo
