// Cursor, filter switch, indexes and fields of the in-memory dataset.
#include "tests/dataset/dataset_fixture.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/disabled_controls.h>

using dataset_test::Codes;
using dataset_test::ErrorOf;
using dataset_test::Filtered;
using dataset_test::MakeCustomers;
using Codes_t = std::vector<qint64>;

TEST(ClientDataset, FilterSwitchSemantics)
{
    auto ds = MakeCustomers();
    const Codes_t all{1, 2, 3, 10, 12, 20, 7, 8};
    // Text written with the switch off: stored, not applied.
    ds->SetFilter("CODIGO > 10");
    EXPECT_EQ(Codes(*ds), all);
    EXPECT_EQ(ds->GetFilter(), "CODIGO > 10");
    ds->SetFiltered(true);
    EXPECT_EQ(Codes(*ds), Codes_t({12, 20}));
    // Writing the text while on applies it at once.
    ds->SetFilter("CODIGO < 3");
    EXPECT_EQ(Codes(*ds), Codes_t({1, 2}));
    // Switch on with empty text: every record.
    ds->SetFilter("");
    EXPECT_TRUE(ds->GetFiltered());
    EXPECT_EQ(Codes(*ds), all);
    ds->SetFilter("   ");
    EXPECT_EQ(Codes(*ds), all);
    // Switch off: every record, whatever the text.
    ds->SetFilter("CODIGO = 1");
    ds->SetFiltered(false);
    EXPECT_EQ(Codes(*ds), all);
    EXPECT_EQ(ds->GetFilter(), "CODIGO = 1");
    ds->SetFiltered(true);
    EXPECT_EQ(Codes(*ds), Codes_t({1}));
}

TEST(ClientDataset, FilterSetBeforeOpenIsAppliedAtOpen)
{
    auto ds = MakeCustomers();
    ds->Close();
    EXPECT_EQ(ds->RecordCount(), 0);
    EXPECT_EQ(ds->RecNo(), -1);
    ds->SetFilter("UF = 'RN'");
    ds->SetFiltered(true);
    ds->Open();
    EXPECT_EQ(Codes(*ds), Codes_t({12, 8}));
    EXPECT_EQ(ds->RecNo(), 0);
    // A bad text set while closed fails at Open, which leaves the dataset closed.
    ds->Close();
    ds->SetFilter("NOPE = 1");
    EXPECT_EQ(ErrorOf([&] { ds->Open(); }), "Filter: unknown field \"NOPE\" at position 1");
    EXPECT_FALSE(ds->IsActive());
    ds->SetFilter("");
    ds->Open();
    EXPECT_EQ(ds->RecordCount(), 8);
}

TEST(ClientDataset, CursorMovesOverTheFilteredView)
{
    auto ds = MakeCustomers();
    Filtered(*ds, "ATIVO = TRUE"); // 1, 3, 12, 7
    QSignalSpy moved(ds.get(), &host::Dataset::cursorMoved);
    EXPECT_EQ(ds->RecNo(), 0);
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
    EXPECT_EQ(ds->FieldByName("codigo")->AsInteger(), 1);
    ds->Next();
    ds->Next();
    EXPECT_EQ(ds->FieldByName("CODIGO")->AsInteger(), 12);
    EXPECT_FALSE(ds->Bof());
    ds->Last();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_EQ(ds->FieldByName("NMCLIENTE")->AsString(), "JOAO SANTOS");
    ds->Next(); // cannot go further
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->RecNo(), 3);
    ds->Prior();
    EXPECT_FALSE(ds->Eof());
    EXPECT_EQ(ds->RecNo(), 2);
    ds->First();
    ds->Prior();
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(ds->RecNo(), 0);
    EXPECT_EQ(moved.count(), 5); // Next, Next, Last, Prior, First; the blocked moves are silent
    EXPECT_EQ(moved.last().at(0).toInt(), 0);
    ds->MoveTo(2);
    EXPECT_EQ(ds->FieldByName("CODIGO")->AsInteger(), 12);
    EXPECT_THROW(ds->MoveTo(4), host::DatasetError);
    EXPECT_THROW(ds->MoveTo(-1), host::DatasetError);
    EXPECT_THROW((void)ds->Value(4, 0), host::DatasetError);
    EXPECT_THROW((void)ds->Value(0, 7), host::DatasetError);
    EXPECT_EQ(ds->RecNo(), 2);

    // A filter change stands on the first record of the new view.
    Filtered(*ds, "CODIGO > 7");
    EXPECT_EQ(ds->RecNo(), 0);
    EXPECT_EQ(ds->FieldByName("CODIGO")->AsInteger(), 10);
    // An empty view: no current record, both ends.
    Filtered(*ds, "CODIGO > 100");
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_EQ(ds->RecNo(), -1);
    EXPECT_TRUE(ds->Bof());
    EXPECT_TRUE(ds->Eof());
    ds->Next();
    ds->Last();
    EXPECT_EQ(ds->RecNo(), -1);
    EXPECT_THROW((void)ds->FieldByName("CODIGO")->Value(), host::DatasetError);
}

TEST(ClientDataset, OneViewResetPerChange)
{
    auto ds = MakeCustomers();
    QSignalSpy resets(ds.get(), &host::Dataset::viewReset);
    ds->SetFilter("CODIGO > 2");
    EXPECT_EQ(resets.count(), 0); // switch off: nothing changes on screen
    ds->SetFiltered(true);
    EXPECT_EQ(resets.count(), 1);
    ds->SetFilter("CODIGO > 3");
    EXPECT_EQ(resets.count(), 2);
    ds->SetFilter("CODIGO > 3"); // same text
    EXPECT_EQ(resets.count(), 2);
    ds->GetIndexDefs().Add("NOME", "NMCLIENTE");
    ds->SetIndexName("NOME");
    EXPECT_EQ(resets.count(), 3);
}

TEST(ClientDataset, DisabledControlsHoldSignalsBackUntilTheBatchEnds)
{
    auto ds = MakeCustomers();
    ds->SetFilter("CODIGO > 2");
    QSignalSpy resets(ds.get(), &host::Dataset::viewReset);
    QSignalSpy moves(ds.get(), &host::Dataset::cursorMoved);
    const int unfiltered = ds->RecordCount();

    host::WithControlsDisabled(*ds, [&] {
        ds->SetFiltered(true);
        EXPECT_LT(ds->RecordCount(), unfiltered); // the data changes at once
        ds->SetFiltered(false);
        ds->SetFiltered(true);
        ds->Last();
    });
    EXPECT_EQ(resets.count(), 1);
    ASSERT_EQ(moves.count(), 1);
    EXPECT_EQ(moves.at(0).at(0).toInt(), ds->RecNo());

    // A failure inside the batch still ends it, and the failure goes on.
    EXPECT_THROW(host::WithControlsDisabled(*ds,
                                            [&] {
                                                ds->First();
                                                ds->SetFilter("NOPE = 1");
                                            }),
                 host::DatasetError);
    EXPECT_FALSE(ds->ControlsDisabled());
    EXPECT_EQ(moves.count(), 2);

    // Nothing changed, nothing sent; unbalanced enables are ignored.
    host::WithControlsDisabled(*ds, [] {});
    ds->EnableControls();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(moves.count(), 2);
}

TEST(ClientDataset, IndexOrderIsStableNullsFirstBytewiseAndNumeric)
{
    auto ds = MakeCustomers();
    ds->AppendRecord({5, QStringLiteral("Ana"), QStringLiteral("Natal"), QStringLiteral("RN"), true,
                      2, QVariant()});
    ds->GetIndexDefs().Add("NOME", "NMCLIENTE");
    ds->GetIndexDefs().Add("LIM", "LIMITE");
    ds->GetIndexDefs().Add("UF_NOME", "UF;NMCLIENTE");
    ds->GetIndexDefs().Add("NOME_CI", "NMCLIENTE", host::IndexOption::CaseInsensitive);
    ds->GetIndexDefs().Add("COD_DESC", "CODIGO", host::IndexOption::Descending);
    ds->GetIndexDefs().Add("NOME_DESC", "NMCLIENTE", host::IndexOption::Descending);
    ASSERT_EQ(ds->GetIndexDefs().GetCount(), 6);
    EXPECT_EQ(ds->GetIndexDefs().GetIndexDef(2).GetName(), "UF_NOME");
    EXPECT_EQ(ds->GetIndexDefs().GetIndexDef(2).GetFields(), "UF;NMCLIENTE");

    ds->SetIndexName("NOME");
    EXPECT_EQ(ds->GetIndexName(), "NOME");
    // NULL first; "Ana" twice in record order (8 before 5); upper-case before
    // lower-case; "Z" + "é" after plain ASCII.
    EXPECT_EQ(Codes(*ds), Codes_t({12, 8, 5, 3, 7, 1, 2, 20, 10}));
    ds->SetIndexName("LIM");
    EXPECT_EQ(Codes(*ds), Codes_t({3, 20, 10, 5, 8, 12, 2, 7, 1}));
    ds->SetIndexName("UF_NOME");
    EXPECT_EQ(Codes(*ds), Codes_t({20, 7, 2, 10, 3, 12, 8, 5, 1}));
    ds->SetIndexName("NOME_CI");
    EXPECT_EQ(Codes(*ds), Codes_t({12, 8, 5, 3, 7, 10, 1, 2, 20}));
    ds->SetIndexName("COD_DESC");
    EXPECT_EQ(Codes(*ds), Codes_t({20, 12, 10, 8, 7, 5, 3, 2, 1}));
    ds->SetIndexName("NOME_DESC"); // NULLs still first; equal names keep record order
    EXPECT_EQ(Codes(*ds), Codes_t({12, 10, 20, 2, 1, 7, 3, 8, 5}));
    // The filtered view follows the index order.
    ds->SetIndexName("NOME");
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE 'J%' OR CODIGO = 12"), Codes_t({12, 7, 1, 10}));
    // Back to record order.
    ds->SetIndexName("");
    EXPECT_EQ(Codes(*ds), Codes_t({1, 10, 12, 7}));
}

TEST(ClientDataset, IndexNameErrorsAndDefinitionChanges)
{
    auto ds = MakeCustomers();
    EXPECT_EQ(ErrorOf([&] { ds->SetIndexName("NMCLIENTE"); }), "Index \"NMCLIENTE\" not found");
    ds->GetIndexDefs().Add("RUIM", "NMCLIENTE;NADA");
    EXPECT_EQ(ErrorOf([&] { ds->SetIndexName("RUIM"); }), "Index \"RUIM\": unknown field \"NADA\"");
    EXPECT_EQ(ds->GetIndexName(), "");
    EXPECT_EQ(ErrorOf([&] { ds->GetIndexDefs().Add("ruim", "UF"); }),
              "Index \"ruim\" already exists");
    EXPECT_THROW(ds->GetIndexDefs().Delete(1), host::DatasetError);
    EXPECT_THROW((void)ds->GetIndexDefs().GetIndexDef(-1), host::DatasetError);

    // The form's preparation: delete every definition at position 0, add one per field,
    // order by one, keeping the current record.
    ds->GetIndexDefs().Add("NMCLIENTE", "NMCLIENTE");
    ds->SetIndexName("NMCLIENTE");
    ds->MoveTo(3);
    const qint64 current = ds->FieldByName("CODIGO")->AsInteger();
    while (ds->GetIndexDefs().GetCount() > 0) {
        ds->GetIndexDefs().Delete(0);
    }
    // The index in use is gone: record order, same record.
    EXPECT_EQ(ds->GetIndexName(), "");
    EXPECT_EQ(Codes(*ds), Codes_t({1, 2, 3, 10, 12, 20, 7, 8}));
    EXPECT_EQ(ds->FieldByName("CODIGO")->AsInteger(), current);
    for (int f = 0; f < ds->GetFieldCount(); ++f) {
        ds->GetIndexDefs().Add(ds->GetField(f)->GetName(), ds->GetField(f)->GetName());
    }
    ds->SetIndexName("CODIGO");
    EXPECT_EQ(Codes(*ds), Codes_t({1, 2, 3, 7, 8, 10, 12, 20}));
    EXPECT_EQ(ds->FieldByName("CODIGO")->AsInteger(), current);
}

TEST(ClientDataset, FieldsSizesAndValues)
{
    auto ds = MakeCustomers();
    ASSERT_EQ(ds->GetFieldCount(), 7);
    EXPECT_EQ(ds->FieldByName("NMCLIENTE")->GetSize(), 60);
    EXPECT_EQ(ds->FieldByName("UF")->GetSize(), 2);
    EXPECT_EQ(ds->FieldByName("CODIGO")->GetSize(), 2); // "10", "12", "20"
    EXPECT_EQ(ds->FieldByName("LIMITE")->GetSize(), 6); // "1500.5"
    EXPECT_EQ(ds->FieldByName("ATIVO")->GetSize(), 5);  // "False"
    EXPECT_EQ(ds->FieldByName("NASCIMENTO")->GetSize(), 10);
    EXPECT_EQ(ErrorOf([&] { ds->FieldByName("NOME"); }), "Field \"NOME\" not found");
    EXPECT_EQ(ds->FindField("nome"), nullptr);

    EXPECT_EQ(ds->Value(0, 1).toString(), "João Gonçalves");
    EXPECT_FALSE(ds->Value(4, 1).isValid()); // NULL
    EXPECT_EQ(ds->DisplayText(0, 4), "True");
    EXPECT_EQ(ds->DisplayText(0, 5), "1500.5");
    ds->MoveTo(3);
    EXPECT_TRUE(ds->FieldByName("ATIVO")->IsNull());
    EXPECT_EQ(ds->FieldByName("NASCIMENTO")->AsDate(), QDate(2000, 1, 1));
    EXPECT_DOUBLE_EQ(ds->FieldByName("LIMITE")->AsFloat(), 0.0);

    // A value that does not fit leaves the dataset unchanged.
    EXPECT_EQ(ErrorOf([&] {
                  ds->AppendRecord({99, "x", "y", "TOO LONG", true, 1.0, QVariant()});
              }),
              "Field \"UF\" in record 9: \"TOO LONG\" is longer than 2 characters");
    EXPECT_EQ(ErrorOf([&] {
                  ds->AppendRecord({"abc", "x", "y", "SP", true, 1.0, QVariant()});
              }),
              "Field \"CODIGO\" in record 9: \"abc\" is not an integer");
    EXPECT_THROW(ds->AppendRecord({1, 2}), host::DatasetError);
    EXPECT_EQ(ds->TotalRecordCount(), 8);
    // Fields only while closed and empty.
    EXPECT_THROW(ds->AddField("NOVO", host::FieldType::Text, 5), host::DatasetError);

    // Appending to an open dataset shows the record at once (filter and order kept).
    ds->GetIndexDefs().Add("COD", "CODIGO");
    ds->SetIndexName("COD");
    Filtered(*ds, "CODIGO >= 10");
    ds->AppendRecord({11, "Novo", "Natal", "RN", true, 123456.25, QVariant()});
    ds->AppendRecord({1, "Outro", "Natal", "RN", true, 1.0, QVariant()});
    EXPECT_EQ(Codes(*ds), Codes_t({10, 11, 12, 20}));
    EXPECT_EQ(ds->FieldByName("LIMITE")->GetSize(), 9); // "123456.25"
}

// Large enough for the radix sort of the index builder (more than 65,536 records), with
// long shared prefixes, mixed case and NULLs: the order must equal a plain stable sort.
TEST(ClientDataset, LargeIndexOrderMatchesAReferenceSort)
{
    host::ClientDataset ds;
    ds.AddField("CODIGO", host::FieldType::Integer);
    ds.AddField("NOME", host::FieldType::Text, 100);
    const char* const parts[] = {"Maria da ", "MARIA DA ", "maria ",
                                 "Conceição", "CONCEIçãO", "Silva",
                                 "silva",     "",          "Maria da Conceição Silva",
                                 "Á",         "a"};
    std::vector<QByteArray> names;
    std::vector<bool> nulls;
    std::uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245U + 12345U, (seed >> 16) & 0x7FFF; };
    const int count = 70000;
    for (int i = 0; i < count; ++i) {
        QByteArray name;
        const int pieces = static_cast<int>(next() % 4);
        for (int p = 0; p < pieces; ++p) {
            name += parts[next() % std::size(parts)];
        }
        const bool null = next() % 50 == 0;
        names.push_back(name);
        nulls.push_back(null);
        ds.AppendRecord({i, null ? QVariant() : QVariant(QString::fromUtf8(name))});
    }
    ds.GetIndexDefs().Add("NOME", "NOME");
    ds.GetIndexDefs().Add("NOME_CI", "NOME", host::IndexOption::CaseInsensitive);
    ds.Open();
    for (const bool folded : {false, true}) {
        std::vector<qint64> expected(count);
        for (int i = 0; i < count; ++i) {
            expected[static_cast<size_t>(i)] = i;
        }
        const auto key = [&](qint64 i) {
            QByteArray k = names[static_cast<size_t>(i)];
            if (folded) {
                for (char& c : k) {
                    c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
                }
            }
            return k;
        };
        std::stable_sort(expected.begin(), expected.end(), [&](qint64 a, qint64 b) {
            const bool nullA = nulls[static_cast<size_t>(a)];
            const bool nullB = nulls[static_cast<size_t>(b)];
            if (nullA || nullB) {
                return nullA && !nullB;
            }
            return key(a) < key(b);
        });
        ds.SetIndexName(folded ? "NOME_CI" : "NOME");
        ASSERT_EQ(Codes(ds), expected) << (folded ? "case-insensitive" : "byte order");
    }
}
