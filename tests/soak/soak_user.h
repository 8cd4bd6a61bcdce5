#pragma once

#include "tests/soak/soak_random.h"

#include <QString>
#include <optional>

class QWidget;
class TfrmPesquisa;

namespace host {
class ClientDataset;
class DbGrid;
} // namespace host

namespace soak {

class ReferenceView;

// What the form should show after an event, kept from the events alone: the search
// text, the filter text and switch the search wrote, the search column, the latches
// and the column-step position.
struct SearchModel {
    QString text;
    QString filter;
    bool filtered = false;
    QString campo;
    bool capsLock = false;
    bool shift = true;
    int colunaAtual = 0;
};

// A user at the dialog: picks one event at random and gives it to the form as real
// input (key presses to the focused control, taps on the keys, titles and rows,
// wheel turns over the grid), and updates the model with what the event must do.
class SoakUser {
public:
    // baseFilter: the filter text the dialog captured; joinedBase: the same as the
    // search joins it (bracketed when it holds alternatives).
    SoakUser(TfrmPesquisa& form, host::ClientDataset& dataset, const ReferenceView& reference,
             std::uint64_t seed, const QString& baseFilter, const QString& joinedBase);

    // Performs the next event; returns what it was, for the log.
    QString Step();
    // Taps the title of every column once (the orders are all built early).
    QString TapTitle(int column);

    const SearchModel& Model() const { return m_model; }
    // The cursor row the last event must have left, when it decides one.
    std::optional<int> ExpectedRecNo() const { return m_expectedRecNo; }

private:
    QString TypeCharacter(bool screen);
    QString TypePhysical(QChar character, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    QString TypeOnScreen(QChar character);
    QString TapKey(const char* name);
    QString PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                     const QString& text = QString());
    QString Wheel();
    QString TapRow();
    QString TapTitleAtRandom();
    QString Cursor();
    QString ColumnStep(bool forward);

    // The next character a user hunting for a real record would type.
    QChar NextCharacterOfARecord();
    QChar RandomCharacter();
    // The model's side of a typed character, screen or physical.
    void Typed(QChar character);
    void Backspaced();
    void Cleared();
    QString Build(const QString& text) const;
    void Apply(const QString& expression);

    QWidget* FocusTarget() const;
    host::DbGrid* Grid() const;

    TfrmPesquisa& m_form;
    host::ClientDataset& m_dataset;
    const ReferenceView& m_reference;
    SoakRandom m_random;
    QString m_base;
    QString m_joinedBase;
    SearchModel m_model;
    std::optional<int> m_expectedRecNo;
};

} // namespace soak
