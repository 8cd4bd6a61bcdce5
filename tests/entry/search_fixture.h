#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <touchsearch/client_dataset.h>

class TfrmPesquisa;

// Runs an action on the running dialog once it shows, from the event loop. A dialog
// the action leaves open is cancelled after a while and the test fails.
class WhenShown : public QObject {
public:
    explicit WhenShown(std::function<void(TfrmPesquisa&)> action);
    ~WhenShown() override;
    int Shown() const { return m_shown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(TfrmPesquisa&)> m_action;
    int m_shown = 0;
};

// No real pauses, message boxes captured.
class SearchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // ANA, BRUNO, CARLA, CARLOS, DANIEL in NMCLIENTE, codes 1..5, open.
    static std::unique_ptr<host::ClientDataset> Customers(int records = 5);

    QStringList m_messages;
};

// Input as a user gives it.
void Type(TfrmPesquisa& form, const QString& text);
void PressKey(TfrmPesquisa& form, int key, Qt::KeyboardModifiers modifiers = {});
void Tap(TfrmPesquisa& form, const char* component);
void TapRow(TfrmPesquisa& form, int row);
