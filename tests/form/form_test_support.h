#pragma once

#include "form/tfrm_pesquisa.h"

#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <touchsearch/application.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset.h>
#include <vector>

class QWidget;

namespace host {
class TBlendedBitBtn;
class DbGrid;
class Edit;
} // namespace host

namespace form_test {

// A dataset that is not a client dataset: every record passes, and the filter text
// and switch are only recorded. SetFilter can be made to fail.
class RecordingDataset : public host::Dataset {
public:
    RecordingDataset(const QStringList& fields, int records);

    void Open() override { m_active = true; }
    void Close() override { m_active = false; }
    bool IsActive() const override { return m_active; }
    void First() override { m_row = m_records > 0 ? 0 : -1; }
    void Prior() override;
    void Next() override;
    void Last() override { m_row = m_records - 1; }
    void MoveTo(int row) override { m_row = row; }
    int RecordCount() const override { return m_records; }
    int RecNo() const override { return m_row; }
    bool Bof() const override { return m_row <= 0; }
    bool Eof() const override { return m_row >= m_records - 1; }
    QString GetFilter() const override { return m_filter; }
    void SetFilter(const QString& expression) override;
    bool GetFiltered() const override { return m_filtered; }
    void SetFiltered(bool filtered) override { m_filtered = filtered; }
    QVariant Value(int row, int field) const override;

    // The next SetFilter calls raise this message (empty: they succeed).
    QString failWith;
    QStringList filterHistory;

private:
    int m_records;
    int m_row = 0;
    bool m_active = true;
    QString m_filter;
    bool m_filtered = false;
};

// Customers: CODIGO (integer), NMCLIENTE (text 40), CIDADE (text 30), ATIVO (integer),
// with names JOANA, JOAO, ANA, BRUNO, MARIA, ANTONIO.
std::unique_ptr<host::ClientDataset> MakeClients();
// A client dataset with the given text fields of size 10 and two records.
std::unique_ptr<host::ClientDataset> MakeTextDataset(const QStringList& fields);

// Replaces Sleep, the message boxes and the host program path for one test.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new form, initialised over the dataset.
    std::unique_ptr<TfrmPesquisa> MakeForm(host::Dataset* dataSet,
                                           const QString& limpaFiltro = QStringLiteral("N"),
                                           bool semMenuFiscal = false);
    // Shows the form (non-blocking) and makes it the active window.
    void Show(TfrmPesquisa& form);
    // Lets the posted close requests run.
    static void ProcessPosted();

    static host::TBlendedBitBtn* Key(TfrmPesquisa& form, const QString& name);
    static host::DbGrid* Grid(TfrmPesquisa& form);
    static host::Edit* SearchBox(TfrmPesquisa& form);
    // Taps an on-screen key with the mouse.
    static void Tap(TfrmPesquisa& form, const QString& name);
    // Physical keys to the focused control of the form.
    static void Press(TfrmPesquisa& form, Qt::Key key,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    static void Type(TfrmPesquisa& form, const QString& text);

    QTemporaryDir dir;
    std::vector<unsigned> sleeps;
    std::function<void()> duringSleep;
    QStringList messages;

private:
    std::function<void(unsigned)> m_previousSleep;
    host::Application::MessagePresenter m_previousPresenter;
};

} // namespace form_test
