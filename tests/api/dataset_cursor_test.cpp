// The cursor is one for every dataset: the same records in a ClientDataset and in a
// SqlDataset reading them from SQLite a few rows at a time give the same current row,
// Bof and Eof after every move, and the same cursorMoved signals.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/disabled_controls.h>
#include <touchsearch/sql_dataset.h>

namespace {

constexpr int kRecords = 23;

const char* const kFilters[] = {"CODIGO > 5",
                                "CODIGO < 4",
                                "CODIGO > 100",
                                "NOME LIKE 'B%'",
                                "CODIGO >= 10 AND CODIGO <= 12",
                                ""};

struct Pair {
    Pair()
    {
        client.AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
        client.AddField(QStringLiteral("NOME"), host::FieldType::Text, 10);
        for (int code = 1; code <= kRecords; ++code) {
            client.AppendRecord({code, QString(QChar(u'A' + code % 3)) + QString::number(code)});
        }
        const QString path = dir.filePath(QStringLiteral("records.db"));
        client.SaveToFile(path);
        sql.SetDatabaseUrl(QStringLiteral("sqlite:") + path);
        sql.SetTableName(QStringLiteral("dados"));
        sql.SetWindowSize(4); // Next and MoveTo meet rows not read yet
    }

    QTemporaryDir dir;
    host::ClientDataset client;
    host::SqlDataset sql;
};

// Runs a step on both datasets: both raise or neither does.
template <class F> void Both(Pair& p, F&& step)
{
    bool clientRaised = false;
    bool sqlRaised = false;
    try {
        step(static_cast<host::Dataset&>(p.client));
    } catch (const host::DatasetError&) {
        clientRaised = true;
    }
    try {
        step(static_cast<host::Dataset&>(p.sql));
    } catch (const host::DatasetError&) {
        sqlRaised = true;
    }
    EXPECT_EQ(clientRaised, sqlRaised);
}

} // namespace

TEST(DatasetCursor, BothDatasetsMoveAlikeAndSignalAlike)
{
    Pair p;
    QSignalSpy clientMoves(&p.client, &host::Dataset::cursorMoved);
    QSignalSpy sqlMoves(&p.sql, &host::Dataset::cursorMoved);
    const auto expectAlike = [&](const char* what, int step) {
        EXPECT_EQ(clientMoves, sqlMoves) << what << " at step " << step;
        clientMoves.clear();
        sqlMoves.clear();
        EXPECT_EQ(p.client.Bof(), p.sql.Bof()) << what << " at step " << step;
        EXPECT_EQ(p.client.Eof(), p.sql.Eof()) << what << " at step " << step;
        ASSERT_EQ(p.client.RecNo(), p.sql.RecNo()) << what << " at step " << step;
        const int row = p.client.RecNo();
        if (row >= 0) {
            EXPECT_EQ(p.client.Value(row, 0), p.sql.Value(row, 0)) << what << " at step " << step;
        }
        EXPECT_EQ(clientMoves, sqlMoves) << what << " (reading) at step " << step;
    };

    // Closed: moves do nothing, and there is no row.
    Both(p, [](host::Dataset& d) {
        d.First();
        d.Next();
        d.Last();
        d.Prior();
    });
    expectAlike("closed", -1);
    Both(p, [](host::Dataset& d) { d.MoveTo(0); });
    Both(p, [](host::Dataset& d) { d.Open(); });
    expectAlike("open", 0);

    std::mt19937 rng(5);
    for (int step = 1; step <= 400; ++step) {
        const int what = static_cast<int>(rng() % 11);
        const char* name = "";
        switch (what) {
        case 0:
            name = "First";
            Both(p, [](host::Dataset& d) { d.First(); });
            break;
        case 1:
            name = "Last";
            Both(p, [](host::Dataset& d) { d.Last(); });
            break;
        case 2:
        case 3:
            name = "Next";
            Both(p, [](host::Dataset& d) { d.Next(); });
            break;
        case 4:
            name = "Prior";
            Both(p, [](host::Dataset& d) { d.Prior(); });
            break;
        case 5: {
            // A row both know: the live one learns rows as the grid asks for them.
            name = "MoveTo";
            const int known = p.sql.FetchedRowCount();
            if (known > 0) {
                const int row = static_cast<int>(rng() % static_cast<unsigned>(known));
                Both(p, [row](host::Dataset& d) { d.MoveTo(row); });
            }
            break;
        }
        case 6: {
            name = "MoveTo outside";
            const int row = rng() % 2 == 0 ? -1 : p.client.RecordCount();
            Both(p, [row](host::Dataset& d) { d.MoveTo(row); });
            break;
        }
        case 7: {
            name = "SetFilter";
            const QString filter = QString::fromLatin1(kFilters[rng() % std::size(kFilters)]);
            Both(p, [&](host::Dataset& d) {
                d.SetFilter(filter);
                d.SetFiltered(true);
            });
            break;
        }
        case 8:
            name = "SetFiltered";
            Both(p, [](host::Dataset& d) { d.SetFiltered(!d.GetFiltered()); });
            break;
        case 9:
            name = "moves with controls disabled";
            Both(p, [](host::Dataset& d) {
                host::WithControlsDisabled(d, [&] {
                    d.Next();
                    d.Next();
                    d.Prior();
                });
            });
            break;
        case 10:
            name = "Close and Open";
            Both(p, [](host::Dataset& d) {
                d.Close();
                d.Next();
                d.Open();
            });
            break;
        }
        expectAlike(name, step);
        if (::testing::Test::HasFailure()) {
            FAIL() << "first difference at step " << step << " (" << name << ")";
        }
    }
}
