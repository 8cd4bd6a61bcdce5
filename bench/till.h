#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <vector>

class QRandomGenerator;

namespace host {
class SqlDataset;
}

namespace bench {

// A simulated till's search over the customers: the name prefixes a cashier types and
// one keystroke as the search form makes it (the filter it writes, then the first
// screen of rows read), without the widgets, so that many run at once on threads.

// The start of a name a till types, chosen by the till's seeded generator.
QString TillName(QRandomGenerator& random);

// The filter the form writes for the text typed so far.
QString TillFilter(const QString& typed);

// How a till's keys follow each other: back to back, or at a cashier's pace, a key due
// keyMs after the one before it and pauseMs between texts.
struct Pace {
    bool cashier = false;
    int keyMs = 150;
    int pauseMs = 1000;
};

// Times a till's keys at its pace. At a cashier's pace a key waits until it is due and
// its time runs from then: a slow answer delays the keys behind it (they queue, as in
// the form), and they count it. Tills start at random moments within one pause, as
// customers arrive.
class KeyClock {
public:
    KeyClock(Pace pace, QRandomGenerator& random);
    // Presses one key (press() answers it) and returns its time in ms.
    double Key(const std::function<void()>& press);
    // The pause between two texts.
    void NextText();

private:
    using Clock = std::chrono::steady_clock;
    Pace m_pace;
    Clock::time_point m_due;
};

// One keystroke: the filter set and the first screen read; its time in ms.
double FilterKeystroke(host::SqlDataset& dataset, const QString& filter);
// The same for the filter the form writes for the text typed.
double TillKeystroke(host::SqlDataset& dataset, const QString& typed);

} // namespace bench
