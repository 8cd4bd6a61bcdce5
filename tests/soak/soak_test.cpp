// A long random session at one dialog over the bundled 100,000 customers: after
// every event the grid must show exactly what a plain evaluation of the dataset's
// filter gives, and Esc must give the host its filter back.
#include "form/tfrm_pesquisa.h"
#include "host/grid/db_grid.h"
#include "host/grid/grid_column.h"
#include "tests/entry/search_fixture.h"
#include "tests/soak/reference_view.h"
#include "tests/soak/resident_memory.h"
#include "tests/soak/soak_user.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <touchsearch/client_dataset.h>
#include <touchsearch/field.h>
#include <touchsearch/pesquisa.h>

namespace {

// ctest's size: about two minutes under the sanitizers on a shared two-core machine
// (most of it the plain evaluations). TS_SOAK_EVENTS=20000 in a release build is the
// long run.
constexpr int kDefaultEvents = 700;
constexpr std::uint64_t kDefaultSeed = 20261208;
// Memory is measured after this many events (the orders and caches are warm by then;
// half the run in a short one) and at the end.
constexpr int kWarmEvents = 1000;
// In a long run without the sanitizers (whose quarantine holds freed memory), the
// resident set may not grow by more than this over the events after the warm-up.
constexpr int kLongRunEvents = 5000;
constexpr double kLongRunGrowthMb = 8.0;

int WarmEvents(int events)
{
    return std::min(kWarmEvents, events / 2);
}

bool Sanitized()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}
// Comparing a whole 100,000-record view after every event would dominate the run
// under the sanitizers: the count and the rows on screen are compared after every
// event, the whole view every kFullEvery events and whenever it is small.
constexpr int kFullEvery = 100;
constexpr int kSmallView = 2000;

int EnvInt(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

std::uint64_t Seed()
{
    bool ok = false;
    const qulonglong seed = qgetenv("TS_SOAK_SEED").toULongLong(&ok);
    return ok ? seed : kDefaultSeed;
}

// Texts as GoogleTest prints them readably.
std::string S(const QString& text)
{
    return text.toStdString();
}

double Mb(std::uint64_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Runs the session once the dialog shows, from its modal loop.
class WhenDialogShows : public QObject {
public:
    explicit WhenDialogShows(std::function<void(TfrmPesquisa&)> action)
        : m_action(std::move(action))
    {
        qApp->installEventFilter(this);
    }
    ~WhenDialogShows() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && frmPesquisa != nullptr && watched == frmPesquisa &&
            !m_started) {
            m_started = true;
            TfrmPesquisa* form = frmPesquisa;
            QTimer::singleShot(0, form, [this, form] {
                m_action(*form);
                // Esc must have closed it; a dialog still open fails and is cancelled.
                QTimer::singleShot(10000, form, [form] {
                    ADD_FAILURE() << "Esc left the dialog open";
                    form->sbtSairClick();
                });
            });
        }
        return false;
    }

private:
    std::function<void(TfrmPesquisa&)> m_action;
    bool m_started = false;
};

struct Figures {
    int events = 0;
    double seconds = 0;
    std::uint64_t warmRss = 0;
    std::uint64_t endRss = 0;
    int evaluations = 0;
    int fullComparisons = 0;
    // Events after which the view was empty, narrowed, or every record the base allows.
    int emptyViews = 0;
    int narrowedViews = 0;
    int fullViews = 0;
    // Where the time went: the events themselves, the plain evaluations, the checks.
    qint64 eventNs = 0;
    qint64 referenceNs = 0;
    qint64 checkNs = 0;
};

} // namespace

class SoakTest : public SearchTest {
protected:
    // One dialog over the sample with the host's filter text `base` (switched on when
    // not empty); joinedBase is the base as the search must join it.
    Figures RunSession(const QString& base, const QString& joinedBase, int events,
                       std::uint64_t seed);

private:
    // Everything the form shows against the model and the plain evaluation.
    void CheckAfter(TfrmPesquisa& form, const host::ClientDataset& customers,
                    const soak::ReferenceView& reference, const soak::SoakUser& user,
                    const QString& textBefore, bool wholeView);
    void CheckScreenRows(TfrmPesquisa& form, const soak::ReferenceView& reference);
    void CheckWholeView(const host::ClientDataset& customers, const soak::ReferenceView& reference);
};

void SoakTest::CheckScreenRows(TfrmPesquisa& form, const soak::ReferenceView& reference)
{
    auto* grid = form.findChild<host::DbGrid*>(QStringLiteral("dbgPesquisa"));
    const QAbstractItemModel* model = grid->model();
    const int count = reference.Count();
    ASSERT_EQ(model->rowCount(), count) << "grid rows";
    if (count == 0) {
        return;
    }
    // The first screen, and the rows the grid shows now.
    const int screen = grid->viewport()->height() / std::max(1, grid->rowHeight(0)) + 1;
    const int top = std::max(0, grid->rowAt(0));
    int bottom = grid->rowAt(grid->viewport()->height() - 1);
    bottom = bottom < 0 ? count - 1 : bottom;
    QList<int> rows;
    for (int row = 0; row < std::min(count, screen); ++row) {
        rows.append(row);
    }
    for (int row = top; row <= bottom; ++row) {
        rows.append(row);
    }
    const host::ClientDataset& plain = reference.Dataset();
    for (int column = 0; column < grid->GetColumnCount(); ++column) {
        const int field = plain.FieldByName(grid->GetColumn(column)->GetFieldName())->GetIndex();
        for (const int row : rows) {
            ASSERT_EQ(S(model->data(model->index(row, column)).toString()),
                      S(plain.DisplayText(row, field)))
                << "row " << row << ", column " << column;
        }
    }
}

void SoakTest::CheckWholeView(const host::ClientDataset& customers,
                              const soak::ReferenceView& reference)
{
    const host::ClientDataset& plain = reference.Dataset();
    const int codigo = plain.FieldByName(QStringLiteral("CODIGO"))->GetIndex();
    const int count = reference.Count();
    ASSERT_EQ(customers.RecordCount(), count);
    for (int row = 0; row < count; ++row) {
        ASSERT_EQ(customers.Value(row, codigo).toLongLong(), plain.Value(row, codigo).toLongLong())
            << "row " << row;
    }
}

void SoakTest::CheckAfter(TfrmPesquisa& form, const host::ClientDataset& customers,
                          const soak::ReferenceView& reference, const soak::SoakUser& user,
                          const QString& textBefore, bool wholeView)
{
    ASSERT_EQ(frmPesquisa, &form);
    ASSERT_TRUE(form.isVisible()) << "the dialog closed";
    ASSERT_FALSE(form.Confirmou());
    ASSERT_EQ(S(m_messages.join(u'|')), "") << "a message box showed";

    const soak::SearchModel& model = user.Model();
    const QString text = form.SearchText();
    EXPECT_EQ(S(text), S(model.text)) << "search text";
    if (text.size() > textBefore.size() && text != QLatin1String("%")) {
        EXPECT_LE(text.size(), form.TamanhoMaximo()) << "the text grew past the limit";
    }
    EXPECT_EQ(S(customers.GetFilter()), S(model.filter)) << "filter text";
    EXPECT_EQ(customers.GetFiltered(), model.filtered) << "filter switch";
    EXPECT_EQ(S(form.CampoPesquisa()), S(model.campo));
    EXPECT_EQ(S(customers.GetIndexName()), S(model.campo));
    EXPECT_EQ(form.TamanhoMaximo(), customers.FieldByName(model.campo)->GetSize());
    EXPECT_EQ(form.CapsLock(), model.capsLock) << "Caps Lock latch";
    EXPECT_EQ(form.ShiftLatched(), model.shift) << "Shift latch";
    EXPECT_EQ(form.ColunaAtual(), model.colunaAtual);

    const int count = reference.Count();
    ASSERT_EQ(customers.RecordCount(), count) << "records on show";
    auto* enter = qobject_cast<QWidget*>(form.FindComponent(QStringLiteral("sbtEnter")));
    EXPECT_EQ(enter->isEnabled(), count > 0) << "Enter enabled";
    if (const std::optional<int> row = user.ExpectedRecNo()) {
        EXPECT_EQ(customers.RecNo(), *row) << "cursor";
    }
    auto* grid = form.findChild<host::DbGrid*>(QStringLiteral("dbgPesquisa"));
    EXPECT_EQ(grid->currentIndex().row(), count > 0 ? customers.RecNo() : -1) << "grid cursor";
    CheckScreenRows(form, reference);
    if (wholeView || count <= kSmallView) {
        CheckWholeView(customers, reference);
    }
}

Figures SoakTest::RunSession(const QString& base, const QString& joinedBase, int events,
                             std::uint64_t seed)
{
    const QString path = QStringLiteral(TS_SAMPLE_DB);
    host::ClientDataset customers;
    customers.LoadFromFile(path);
    customers.Open();
    customers.SetFilter(base);
    customers.SetFiltered(!base.isEmpty());
    soak::ReferenceView reference(path);

    Figures figures;
    bool filteredAtEsc = false;
    QString filterAfterEsc;
    const WhenDialogShows session([&](TfrmPesquisa& form) {
        EXPECT_EQ(S(form.FiltroBase()), S(base));
        EXPECT_EQ(S(form.CampoPesquisa()), "NMCLIENTE");
        soak::SoakUser user(form, customers, reference, seed, base, joinedBase);
        std::deque<QString> recent;
        QElapsedTimer clock;
        clock.start();
        auto* grid = form.findChild<host::DbGrid*>(QStringLiteral("dbgPesquisa"));
        const int baseCount = customers.RecordCount();
        int event = 0;
        while (event < events && !HasFailure()) {
            const QString textBefore = form.SearchText();
            QElapsedTimer part;
            part.start();
            // Each title first, so that every order is built before memory is measured.
            const QString what =
                event < grid->GetColumnCount() ? user.TapTitle(event) : user.Step();
            figures.eventNs += part.nsecsElapsed();
            ++event;
            recent.push_back(QStringLiteral("%1: %2").arg(event).arg(what));
            if (recent.size() > 25) {
                recent.pop_front();
            }
            part.restart();
            reference.Follow(customers);
            figures.referenceNs += part.nsecsElapsed();
            part.restart();
            const bool whole = event % kFullEvery == 0 || event == events;
            figures.fullComparisons += whole ? 1 : 0;
            CheckAfter(form, customers, reference, user, textBefore, whole);
            figures.checkNs += part.nsecsElapsed();
            const int shown = reference.Count();
            figures.emptyViews += shown == 0 ? 1 : 0;
            figures.narrowedViews += shown > 0 && shown < baseCount ? 1 : 0;
            figures.fullViews += shown == baseCount ? 1 : 0;
            if (event == WarmEvents(events)) {
                figures.warmRss = soak::ResidentBytes();
            }
        }
        figures.events = event;
        figures.seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        figures.endRss = soak::ResidentBytes();
        figures.evaluations = reference.Evaluations();
        if (HasFailure()) {
            std::string log;
            for (const QString& line : recent) {
                log += "  " + line.toStdString() + "\n";
            }
            ADD_FAILURE() << "seed " << seed << ", the last events:\n"
                          << log << "filter: " << customers.GetFilter().toStdString();
        }
        filteredAtEsc = customers.GetFiltered();
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_Escape,
                            QStringLiteral("\x1b"), Qt::NoModifier);
        filterAfterEsc = customers.GetFilter();
    });
    EXPECT_FALSE(Pesquisa(&customers, "", "N", 0, 0, 0, 0, true));
    // Byte for byte, as the host wrote it.
    EXPECT_EQ(filterAfterEsc.toUtf8().toStdString(), base.toUtf8().toStdString());
    EXPECT_EQ(customers.GetFilter().toUtf8().toStdString(), base.toUtf8().toStdString());
    EXPECT_EQ(customers.GetFiltered(), filteredAtEsc) << "Esc leaves the switch alone";
    std::printf("soak: %d events, seed %llu, base \"%s\": %.1f s (%.2f ms an event; events "
                "%.1f s, plain evaluations %.1f s, checks %.1f s), %d plain evaluations, %d "
                "whole-view comparisons; views empty/narrowed/whole %d/%d/%d; resident %.1f MB "
                "after %d events, %.1f MB at the end (%+.1f MB)\n",
                figures.events, static_cast<unsigned long long>(seed), qPrintable(base),
                figures.seconds, 1000.0 * figures.seconds / std::max(1, figures.events),
                figures.eventNs / 1e9, figures.referenceNs / 1e9, figures.checkNs / 1e9,
                figures.evaluations, figures.fullComparisons, figures.emptyViews,
                figures.narrowedViews, figures.fullViews, Mb(figures.warmRss),
                WarmEvents(figures.events), Mb(figures.endRss),
                Mb(figures.endRss) - Mb(figures.warmRss));
    std::fflush(stdout);
    return figures;
}

TEST_F(SoakTest, RandomUseShowsWhatThePlainFilterGivesAndEscRestoresIt)
{
    const int events = EnvInt("TS_SOAK_EVENTS", kDefaultEvents);
    const Figures figures = RunSession(QString(), QString(), events, Seed());
    EXPECT_EQ(figures.events, events);
    RecordProperty("events", figures.events);
    RecordProperty("warm_rss_kb", static_cast<int>(figures.warmRss / 1024));
    RecordProperty("end_rss_kb", static_cast<int>(figures.endRss / 1024));
    if (!Sanitized() && events >= kLongRunEvents) {
        EXPECT_LE(Mb(figures.endRss) - Mb(figures.warmRss), kLongRunGrowthMb)
            << "resident memory grew over the session";
    }
}

TEST_F(SoakTest, UnderAHostFilterEscGivesItBackByteForByte)
{
    const int events = std::max(100, EnvInt("TS_SOAK_EVENTS", kDefaultEvents) / 5);
    // A plain condition, and alternatives with odd spacing and an accent, which the
    // search must bracket and Esc must give back untouched.
    const QString plain = QStringLiteral("UF = 'SP'");
    const QString alternatives = QStringLiteral("UF = 'SP'  OR CIDADE = 'Niterói'");
    EXPECT_EQ(RunSession(plain, plain, events, Seed() + 1).events, events);
    EXPECT_EQ(RunSession(alternatives, u'(' + alternatives + u')', events, Seed() + 2).events,
              events);
}
