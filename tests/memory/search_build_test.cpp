// What PrepareSearch builds on its worker thread: searches that come before it is done,
// and changes to the dataset while it runs.
#include "host/memory/search_build.h"
#include "host/storage/table.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset.h>
#include <vector>

namespace {

const char* const kFirst[] = {"MARIA", "JOÃO", "ANA", "PEDRO", "LUCIA", "JOSE"};
const char* const kLast[] = {"SILVA", "SOUZA", "LIMA", "COSTA", "SANTOS"};

// Enough records that the worker is still building when the test goes on.
constexpr int kRecords = 200000;

std::unique_ptr<host::ClientDataset> MakeCustomers(int records = kRecords)
{
    auto ds = std::make_unique<host::ClientDataset>();
    ds->AddField(QStringLiteral("NOME"), host::FieldType::Text, 60);
    ds->AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
    ds->AddField(QStringLiteral("FONE"), host::FieldType::Text, 11);
    for (int i = 0; i < records; ++i) {
        const QString name = QString::fromUtf8(kFirst[i % 6]) + u' ' +
                             QString::fromUtf8(kLast[(i / 6) % 5]) +
                             (i % 7 == 0 ? QStringLiteral(" DA CRUZ") : QString());
        const QVariant phone =
            i % 11 == 0 ? QVariant()
                        : QVariant(QString::number(11900000000LL + i * 7919LL % 100000000LL));
        ds->AppendRecord({name, qlonglong{i}, phone});
    }
    ds->Open();
    ds->GetIndexDefs().Add(QStringLiteral("NOME"), QStringLiteral("NOME"), {});
    ds->GetIndexDefs().Add(QStringLiteral("CODIGO"), QStringLiteral("CODIGO"), {});
    ds->SetIndexName(QStringLiteral("NOME"));
    return ds;
}

const QStringList kFields{QStringLiteral("NOME"), QStringLiteral("CODIGO"), QStringLiteral("FONE")};

// The filter the form writes for one word typed over the three fields.
QString Word(const QString& word)
{
    QStringList terms;
    for (const QString& field : kFields) {
        const QString like = QStringLiteral("UPPER(") + field + QStringLiteral(") LIKE '");
        terms << like + word + QStringLiteral("%'")
              << like + QStringLiteral("% ") + word + QStringLiteral("%'");
    }
    return u'(' + terms.join(QStringLiteral(" OR ")) + u')';
}

QString Contains(const QString& needle)
{
    QStringList terms;
    for (const QString& field : kFields) {
        terms << QStringLiteral("UPPER(") + field + QStringLiteral(") LIKE '%") + needle +
                     QStringLiteral("%'");
    }
    return u'(' + terms.join(QStringLiteral(" OR ")) + u')';
}

// The codes of the records the filter shows, in view order.
std::vector<qint64> Shown(host::ClientDataset& ds, const QString& filter)
{
    ds.SetFilter(filter);
    ds.SetFiltered(true);
    std::vector<qint64> codes;
    const int code = ds.FindField(QStringLiteral("CODIGO"))->GetIndex();
    for (int row = 0; row < ds.RecordCount(); ++row) {
        codes.push_back(ds.Value(row, code).toLongLong());
    }
    return codes;
}

std::vector<qint64> ShownPlainly(host::ClientDataset& ds, const QString& filter)
{
    ds.SetFastPaths(false);
    std::vector<qint64> codes = Shown(ds, filter);
    ds.SetFastPaths(true);
    return codes;
}

void WaitUntilPrepared(const host::ClientDataset& ds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!ds.SearchPrepared() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_TRUE(ds.SearchPrepared());
}

} // namespace

// Searches before the worker is done get the records a plain evaluation finds, and the
// build is over once they have read what it built.
TEST(SearchBuild, SearchesBeforeTheBuildEndsFindWhatAPlainEvaluationFinds)
{
    auto ds = MakeCustomers();
    ds->PrepareSearch(kFields, true);
    for (const QString& filter :
         {Word(QStringLiteral("SIL")) + QStringLiteral(" AND ") + Word(QStringLiteral("MA")),
          Word(QStringLiteral("119")), Contains(QStringLiteral("79")),
          Contains(QStringLiteral("1234")), Contains(QStringLiteral("ILV")),
          Word(QStringLiteral("CRU"))}) {
        const std::vector<qint64> fast = Shown(*ds, filter);
        EXPECT_FALSE(fast.empty()) << filter.toStdString();
        EXPECT_EQ(fast, ShownPlainly(*ds, filter)) << filter.toStdString();
    }
    // Every part has been read by now, the contains searches' summaries too.
    EXPECT_TRUE(ds->SearchPrepared());
}

// A second call while the first build runs (a title tap just after the window opened,
// or a search by words after one without) builds only what the first does not, and the
// searches read both, in the order the tap set.
TEST(SearchBuild, ASecondPreparationWhileTheFirstRunsAddsToIt)
{
    auto ds = MakeCustomers();
    ds->PrepareSearch({QStringLiteral("NOME"), QStringLiteral("FONE")}, false);
    ds->SetIndexNameAndPrepareSearch(QStringLiteral("CODIGO"), kFields, true);
    EXPECT_EQ(ds->GetIndexName(), QStringLiteral("CODIGO"));
    const std::vector<qint64> cru = Shown(*ds, Word(QStringLiteral("CRU")));
    EXPECT_TRUE(std::is_sorted(cru.begin(), cru.end()));
    for (const QString& filter :
         {Word(QStringLiteral("CRU")), Word(QStringLiteral("1190")), Contains(QStringLiteral("ZA")),
          Contains(QStringLiteral("317")), Contains(QStringLiteral("A CR"))}) {
        const std::vector<qint64> fast = Shown(*ds, filter);
        EXPECT_FALSE(fast.empty()) << filter.toStdString();
        EXPECT_EQ(fast, ShownPlainly(*ds, filter)) << filter.toStdString();
    }
    EXPECT_TRUE(ds->SearchPrepared());
}

// The worker ends by itself; a dataset with nothing to prepare is prepared at once.
TEST(SearchBuild, TheBuildEndsWithoutASearch)
{
    auto ds = MakeCustomers(20000);
    ds->PrepareSearch(kFields, true);
    WaitUntilPrepared(*ds);
    ds->PrepareSearch({QStringLiteral("NO SUCH FIELD")}, true);
    EXPECT_TRUE(ds->SearchPrepared());
    EXPECT_EQ(Shown(*ds, Contains(QStringLiteral("SOUZ"))),
              ShownPlainly(*ds, Contains(QStringLiteral("SOUZ"))));
}

// Records appended, accents set aside or the dataset destroyed while the worker reads
// the records, or after it built but before a search took what it built: the worker is
// stopped, and what it built for the old records is not used.
TEST(SearchBuild, ChangesWhileBuildingStopItAndSearchTheNewState)
{
    for (const bool whileBuilding : {true, false}) {
        auto ds = MakeCustomers();
        ds->PrepareSearch(kFields, true);
        if (!whileBuilding) {
            WaitUntilPrepared(*ds);
        }
        ds->AppendRecord(
            {QStringLiteral("ZULEIDE QUARESMA"), qlonglong{kRecords}, QStringLiteral("555-12345")});
        EXPECT_EQ(Shown(*ds, Word(QStringLiteral("QUAR"))), std::vector<qint64>{kRecords});
        EXPECT_EQ(Shown(*ds, Contains(QStringLiteral("5-123"))), std::vector<qint64>{kRecords});
    }
    {
        auto ds = MakeCustomers();
        ds->PrepareSearch(kFields, true);
        ds->SetFilterOptions(host::FilterOption::IgnoreAccents);
        const QString joao = Word(QStringLiteral("JOAO"));
        const std::vector<qint64> found = Shown(*ds, joao);
        EXPECT_EQ(found.size(),
                  static_cast<std::size_t>(kRecords / 6 + (kRecords % 6 > 1 ? 1 : 0)));
        EXPECT_EQ(found, ShownPlainly(*ds, joao));
    }
    {
        auto ds = MakeCustomers();
        ds->PrepareSearch(kFields, false);
        ds.reset(); // waits for the worker, which reads the records being destroyed
    }
}

namespace {

// Holds the worker before one part until released: what comes before it, and what a
// search waits for, can then be seen without a race.
class PartHeld {
public:
    PartHeld(host::SearchPart part, int field) : m_part(part), m_field(field) {}

    std::function<void(host::SearchPart, int)> Hook()
    {
        return [this](host::SearchPart part, int field) {
            if (part != m_part || field != m_field) {
                return;
            }
            std::unique_lock lock(m_mutex);
            // Bounded, so that a test that waits for the part fails instead of hanging.
            m_timedOut =
                !m_released.wait_for(lock, std::chrono::seconds(30), [this] { return m_release; });
        };
    }
    void Release()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_release = true;
        }
        m_released.notify_all();
    }
    bool TimedOut()
    {
        const std::lock_guard lock(m_mutex);
        return m_timedOut;
    }

private:
    const host::SearchPart m_part;
    const int m_field;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_release = false;
    bool m_timedOut = false;
};

} // namespace

// Each part is handed over when built: with the names' words held back, the bytes of every
// text field and the orders of the code and the phone are there to be taken, so that a
// scanned code waits for none of the words.
TEST(SearchBuild, EachPartIsTakenWithoutWaitingForTheOthers)
{
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    table.AddField({QStringLiteral("CODIGO"), host::FieldType::Integer, 0});
    table.AddField({QStringLiteral("FONE"), host::FieldType::Text, 0});
    for (int i = 0; i < 5000; ++i) {
        table.AppendRecord(
            {QString::fromUtf8(kFirst[i % 6]) + u' ' + QString::fromUtf8(kLast[i % 5]),
             qlonglong{i}, QString::number(11900000000LL + i)});
    }
    constexpr int kName = 0;
    constexpr int kCode = 1;
    constexpr int kPhone = 2;
    PartHeld held(host::SearchPart::Words, kName);
    host::SearchBuildPlan plan;
    plan.byWords = true;
    plan.words = {kName, kPhone};
    plan.leading = {kCode};
    plan.leadingUnlessSpaced = {kName, kPhone};
    plan.summaries = {kCode};
    plan.starting = held.Hook();
    host::SearchBuild build(table, plan);

    build.Await(host::SearchPart::Bytes, kName);
    build.Await(host::SearchPart::Leading, kCode);
    build.Await(host::SearchPart::Leading, kPhone);
    build.Await(host::SearchPart::Words, kPhone);
    build.Await(host::SearchPart::Leading, kName); // none comes: the names hold spaces
    host::SearchStructures early = build.TakeBuilt();
    EXPECT_FALSE(held.TimedOut());
    EXPECT_TRUE(build.TypedPending(kName, true));
    EXPECT_FALSE(build.Ready());
    ASSERT_EQ(early.bytes.count(kName), 1U);
    EXPECT_FALSE(early.bytes[kName]->MayHold("7"));
    EXPECT_TRUE(early.bytes[kName]->MayHold("MA"));
    EXPECT_EQ(early.words.count(kName), 0U);
    ASSERT_EQ(early.words.count(kPhone), 1U);
    EXPECT_TRUE(early.words[kPhone]->Spaceless());
    EXPECT_EQ(early.leadingOrders.count(kName), 0U);
    ASSERT_EQ(early.leadingOrders.count(kCode), 1U);
    EXPECT_EQ(early.leadingOrders[kCode]->size(), 5000U);
    EXPECT_EQ(early.leadingOrders.count(kPhone), 1U);

    held.Release();
    build.AwaitTyped();
    host::SearchStructures late = build.TakeBuilt();
    ASSERT_EQ(late.words.count(kName), 1U);
    EXPECT_TRUE(late.words[kName]->HasWords());
    EXPECT_EQ(late.leadingOrders.size() + late.bytes.size(), 0U); // taken once
    EXPECT_EQ(build.TakeSummaries().summaries.count(kCode), 1U);
    EXPECT_TRUE(build.Ready());
    EXPECT_FALSE(build.TypedPending(kName, true));
    EXPECT_FALSE(held.TimedOut());
}

// A part a search waits for is built next, before parts planned ahead of it: with the
// code's order held back on one thread, a letter typed at once has the names' words from
// the other, which would otherwise start them only once every order is built.
TEST(SearchBuild, APartASearchWaitsForIsBuiltAheadOfItsTurn)
{
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    table.AddField({QStringLiteral("CODIGO"), host::FieldType::Integer, 0});
    for (int i = 0; i < 5000; ++i) {
        table.AppendRecord(
            {QString::fromUtf8(kFirst[i % 6]) + u' ' + QString::fromUtf8(kLast[i % 5]),
             qlonglong{i}});
    }
    constexpr int kName = 0;
    constexpr int kCode = 1;
    PartHeld held(host::SearchPart::Leading, kCode);
    host::SearchBuildPlan plan;
    plan.byWords = true;
    plan.words = {kName};
    plan.leading = {kCode};
    plan.starting = held.Hook();
    host::SearchBuild build(table, plan);

    build.Await(host::SearchPart::Words, kName);
    host::SearchStructures early = build.TakeBuilt();
    EXPECT_FALSE(held.TimedOut());
    ASSERT_EQ(early.words.count(kName), 1U);
    EXPECT_TRUE(early.words[kName]->HasWords());
    EXPECT_EQ(early.leadingOrders.count(kCode), 0U); // still held back

    held.Release();
    build.AwaitTyped();
    EXPECT_EQ(build.TakeBuilt().leadingOrders.count(kCode), 1U);
    EXPECT_FALSE(held.TimedOut());
}
