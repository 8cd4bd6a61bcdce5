#include "bench/till.h"

#include "bench/timing.h"

#include <QRandomGenerator>
#include <algorithm>
#include <iterator>
#include <thread>
#include <touchsearch/sql_dataset.h>

namespace bench {
namespace {

constexpr int kScreenRows = 12;
const QString kField = QStringLiteral("NMCLIENTE");

const char* const kNames[] = {"JOAO S",  "MARIA D", "ANA C",  "CARLOS A", "FERNANDA", "PEDRO L",
                              "LUCAS M", "JULIANA", "RAFAEL", "BEATRIZ",  "MARCOS F", "SANDRA"};

} // namespace

QString TillName(QRandomGenerator& random)
{
    return QString::fromLatin1(kNames[random.bounded(static_cast<int>(std::size(kNames)))]);
}

QString TillFilter(const QString& typed)
{
    return QStringLiteral("%1 LIKE '%2%'").arg(kField, typed);
}

double FilterKeystroke(host::SqlDataset& dataset, const QString& filter)
{
    return TimeMs([&] {
        dataset.SetFilter(filter);
        dataset.SetFiltered(true);
        const int rows = std::min(dataset.FetchedRowCount(), kScreenRows);
        double sink = 0;
        for (int row = 0; row < rows; ++row) {
            for (int f = 0; f < dataset.GetFieldCount(); ++f) {
                sink += dataset.DisplayText(row, f).size();
            }
        }
        (void)sink;
    });
}

KeyClock::KeyClock(Pace pace, QRandomGenerator& random)
    : m_pace(pace),
      m_due(Clock::now() +
            std::chrono::milliseconds(pace.cashier ? random.bounded(pace.pauseMs) : 0))
{
}

double KeyClock::Key(const std::function<void()>& press)
{
    if (m_pace.cashier) {
        std::this_thread::sleep_until(m_due);
    }
    const Clock::time_point start = m_pace.cashier ? m_due : Clock::now();
    press();
    m_due += std::chrono::milliseconds(m_pace.keyMs);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void KeyClock::NextText()
{
    m_due += std::chrono::milliseconds(m_pace.pauseMs);
}

double TillKeystroke(host::SqlDataset& dataset, const QString& typed)
{
    return FilterKeystroke(dataset, TillFilter(typed));
}

} // namespace bench
