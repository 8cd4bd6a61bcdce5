#include "tests/soak/soak_user.h"

#include "form/tfrm_pesquisa.h"
#include "host/grid/db_grid.h"
#include "host/grid/grid_column.h"
#include "host/maker/tblended_bit_btn.h"
#include "tests/soak/reference_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QWheelEvent>
#include <touchsearch/client_dataset.h>
#include <touchsearch/field.h>

namespace soak {

namespace {

const QChar kCedilla(0xE7);
const QChar kCedillaUpper(0xC7);

// The characters the search takes, as the form's users know them.
const QString& Accepted()
{
    static const QString chars = QStringLiteral(" ,./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\\_"
                                                "abcdefghijklmnopqrstuvwxyz") +
                                 kCedillaUpper + kCedilla;
    return chars;
}

// Characters a keyboard types that the search must refuse: the quote among them.
const QString& Refused()
{
    static const QString chars = QStringLiteral("-'\"*();=<>!?+") + QChar(0xE9) + QChar(0xE3);
    return chars;
}

bool IsAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

QChar Upper(QChar c)
{
    return (c >= u'a' && c <= u'z') ? QChar(c.unicode() - 'a' + 'A') : c;
}

QChar Lower(QChar c)
{
    return (c >= u'A' && c <= u'Z') ? QChar(c.unicode() - 'A' + 'a') : c;
}

QString AsciiUpper(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        c = Upper(c);
    }
    return out;
}

// The 42 character keys of the screen keyboard.
QStringList CharacterKeyNames()
{
    QStringList names;
    for (char c = 'a'; c <= 'z'; ++c) {
        names << QStringLiteral("sbt") + QLatin1Char(c);
    }
    for (char c = '0'; c <= '9'; ++c) {
        names << QStringLiteral("sbt") + QLatin1Char(c);
    }
    names << QStringLiteral("sbt_") << QStringLiteral("sbtVirgula") << QStringLiteral("sbtPonto")
          << QStringLiteral("sbtBarraD") << QStringLiteral("sbtBarraE")
          << QStringLiteral("BlendedBitBtn36");
    return names;
}

// Shifted on a keyboard: the Shift key goes down first.
bool NeedsShift(QChar c)
{
    return (c >= u'A' && c <= u'Z') || c == kCedillaUpper ||
           QStringLiteral("_\"*()<>!?+").contains(c);
}

} // namespace

SoakUser::SoakUser(TfrmPesquisa& form, host::ClientDataset& dataset, const ReferenceView& reference,
                   std::uint64_t seed, const QString& baseFilter, const QString& joinedBase)
    : m_form(form), m_dataset(dataset), m_reference(reference), m_random(seed), m_base(baseFilter),
      m_joinedBase(joinedBase)
{
    m_model.filter = dataset.GetFilter();
    m_model.filtered = dataset.GetFiltered();
    m_model.campo = form.CampoPesquisa();
}

host::DbGrid* SoakUser::Grid() const
{
    return m_form.findChild<host::DbGrid*>(QStringLiteral("dbgPesquisa"));
}

QWidget* SoakUser::FocusTarget() const
{
    QWidget* focus = QApplication::focusWidget();
    return focus != nullptr && focus->window() == &m_form ? focus : &m_form;
}

QString SoakUser::Build(const QString& text) const
{
    const QString connector = m_base.isEmpty() ? QString() : QStringLiteral(" AND ");
    return m_joinedBase + connector + QStringLiteral("UPPER(") + m_model.campo +
           QStringLiteral(") LIKE '") + AsciiUpper(text) + QStringLiteral("%'");
}

void SoakUser::Apply(const QString& expression)
{
    m_model.filter = expression;
    m_model.filtered = !expression.isEmpty();
}

void SoakUser::Typed(QChar character)
{
    const int limit = m_dataset.FieldByName(m_model.campo)->GetSize();
    if (m_model.text.size() >= limit || !Accepted().contains(character)) {
        return;
    }
    QChar c = character;
    if (IsAsciiLetter(c)) {
        c = (m_model.capsLock != m_model.shift) ? Upper(c) : Lower(c);
    }
    m_model.shift = false;
    m_model.text += c;
    Apply(Build(m_model.text));
}

void SoakUser::Backspaced()
{
    m_model.text.chop(1);
    Apply(m_model.text.isEmpty() ? m_base : Build(m_model.text));
}

void SoakUser::Cleared()
{
    m_model.text.clear();
    Apply(m_base);
}

QChar SoakUser::RandomCharacter()
{
    if (m_random.Chance(12)) {
        return Refused().at(m_random.Below(static_cast<int>(Refused().size())));
    }
    return Accepted().at(m_random.Below(static_cast<int>(Accepted().size())));
}

QChar SoakUser::NextCharacterOfARecord()
{
    const int count = m_reference.Count();
    const host::ClientDataset& records = m_reference.Dataset();
    const host::Field* field = records.FindField(m_model.campo);
    if (count == 0 || field == nullptr) {
        return RandomCharacter();
    }
    const QString value = AsciiUpper(records.DisplayText(m_random.Below(count), field->GetIndex()));
    if (value.isEmpty()) {
        return RandomCharacter();
    }
    QString typed = AsciiUpper(m_model.text);
    int at = static_cast<int>(typed.size());
    if (typed.startsWith(u'%')) {
        typed.remove(0, 1);
        const qsizetype found =
            typed.contains(u'%') || typed.contains(u'_') ? -1 : value.indexOf(typed);
        at = found < 0 ? m_random.Below(static_cast<int>(value.size()))
                       : static_cast<int>(found + typed.size());
    }
    return at < value.size() ? value.at(at) : RandomCharacter();
}

QString SoakUser::TypePhysical(QChar character, Qt::KeyboardModifiers modifiers)
{
    if (NeedsShift(character)) {
        modifiers |= Qt::ShiftModifier;
    }
    // Qt names a Latin-1 key by its upper-case character.
    const auto key = static_cast<Qt::Key>(character.toUpper().unicode());
    QTest::sendKeyEvent(QTest::Click, FocusTarget(), key, QString(character), modifiers);
    // The Shift key itself latches Shift before the character arrives.
    if (modifiers & Qt::ShiftModifier) {
        m_model.shift = true;
    }
    const Qt::KeyboardModifiers command = modifiers & (Qt::ControlModifier | Qt::AltModifier);
    if (command == Qt::NoModifier || command == (Qt::ControlModifier | Qt::AltModifier)) {
        Typed(character);
    }
    return QStringLiteral("key '%1'%2")
        .arg(character)
        .arg(modifiers != Qt::NoModifier ? QStringLiteral(" mod") : QString());
}

QString SoakUser::TypeOnScreen(QChar character)
{
    if (character == kCedilla || character == kCedillaUpper) {
        auto* key = qobject_cast<QWidget*>(m_form.FindComponent(QStringLiteral("sbtCCdil")));
        const QChar sent = (m_model.capsLock != m_model.shift) ? kCedillaUpper : kCedilla;
        QTest::mouseClick(key, Qt::LeftButton, Qt::NoModifier, key->rect().center());
        Typed(sent);
        return QStringLiteral("tap cedilla");
    }
    for (const QString& name : CharacterKeyNames()) {
        auto* key = qobject_cast<host::TBlendedBitBtn*>(m_form.FindComponent(name));
        if (key != nullptr && key->GetTag() == Upper(character).unicode()) {
            QTest::mouseClick(key, Qt::LeftButton, Qt::NoModifier, key->rect().center());
            Typed(QChar(key->GetTag()));
            return QStringLiteral("tap %1").arg(name);
        }
    }
    return TypePhysical(character);
}

QString SoakUser::TypeCharacter(bool screen)
{
    const QChar c = m_random.Chance(75) ? NextCharacterOfARecord() : RandomCharacter();
    if (screen) {
        return TypeOnScreen(c);
    }
    if (m_random.Chance(3)) {
        // Ctrl or Alt with a letter is a command, never a character.
        return TypePhysical(c, m_random.Chance(50) ? Qt::ControlModifier : Qt::AltModifier);
    }
    return TypePhysical(c);
}

QString SoakUser::TapKey(const char* name)
{
    auto* key = qobject_cast<QWidget*>(m_form.FindComponent(QString::fromLatin1(name)));
    QTest::mouseClick(key, Qt::LeftButton, Qt::NoModifier, key->rect().center());
    return QStringLiteral("tap %1").arg(QLatin1String(name));
}

QString SoakUser::PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    QTest::sendKeyEvent(QTest::Click, FocusTarget(), key, text, modifiers);
    if (modifiers & Qt::ShiftModifier) {
        m_model.shift = true;
    }
    return QStringLiteral("press %1").arg(QKeySequence(key | modifiers).toString());
}

QString SoakUser::Wheel()
{
    host::DbGrid* grid = Grid();
    const bool gridFocused = QApplication::focusWidget() == grid;
    const int deltas[] = {120, -120, 360, -360, 0, 15};
    const int delta = deltas[m_random.Below(6)];
    const int row = m_dataset.RecNo();
    const QPoint centre = grid->viewport()->rect().center();
    QWheelEvent wheel(centre, grid->viewport()->mapToGlobal(centre), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid->viewport(), &wheel);
    const int count = m_dataset.RecordCount();
    if (gridFocused && count > 0) {
        // One row a wheel message, whatever its size.
        m_expectedRecNo = delta > 0 ? std::max(0, row - 1) : std::min(count - 1, row + 1);
    } else if (count > 0) {
        m_expectedRecNo = row;
    }
    return QStringLiteral("wheel %1%2").arg(delta).arg(gridFocused ? QString() : " unfocused");
}

QString SoakUser::TapRow()
{
    host::DbGrid* grid = Grid();
    const int count = m_dataset.RecordCount();
    if (count == 0) {
        return Wheel();
    }
    const int top = grid->rowAt(0);
    int bottom = grid->rowAt(grid->viewport()->height() - 1);
    if (bottom < 0) {
        bottom = count - 1;
    }
    const int row = top + m_random.Below(bottom - top + 1);
    const int y = grid->rowViewportPosition(row) + grid->rowHeight(row) / 2;
    if (y < 0 || y >= grid->viewport()->height()) {
        return Cursor();
    }
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(grid->viewport()->width() / 2, y));
    m_expectedRecNo = row;
    return QStringLiteral("tap row %1").arg(row);
}

QString SoakUser::TapTitle(int column)
{
    host::DbGrid* grid = Grid();
    QHeaderView* header = grid->horizontalHeader();
    const auto titleX = [&] {
        return header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    };
    if (titleX() < 0 || titleX() >= header->viewport()->width()) {
        // Off screen: step the grid to it first, as a user would.
        while (m_model.colunaAtual < column) {
            ColumnStep(true);
        }
        while (m_model.colunaAtual > column) {
            ColumnStep(false);
        }
    }
    const int x = titleX();
    if (x < 0 || x >= header->viewport()->width()) {
        return QStringLiteral("title %1 out of sight").arg(column);
    }
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(x, header->height() / 2));
    m_model.campo = grid->GetColumn(column)->GetFieldName();
    return QStringLiteral("tap title %1").arg(m_model.campo);
}

QString SoakUser::TapTitleAtRandom()
{
    host::DbGrid* grid = Grid();
    QHeaderView* header = grid->horizontalHeader();
    QList<int> visible;
    for (int c = 0; c < grid->GetColumnCount(); ++c) {
        const int x = header->sectionViewportPosition(c) + header->sectionSize(c) / 2;
        if (x >= 0 && x < header->viewport()->width()) {
            visible.append(c);
        }
    }
    if (visible.isEmpty()) {
        return Cursor();
    }
    return TapTitle(visible.at(m_random.Below(static_cast<int>(visible.size()))));
}

QString SoakUser::Cursor()
{
    const int row = m_dataset.RecNo();
    const int count = m_dataset.RecordCount();
    static const char* const names[] = {"sbtPrimeiro", "sbtRolarCima", "sbtRolarBaixo",
                                        "sbtUltimo"};
    const int which = m_random.Below(4);
    const QString done = TapKey(names[which]);
    if (count > 0) {
        const int expected[] = {0, std::max(0, row - 1), std::min(count - 1, row + 1), count - 1};
        m_expectedRecNo = expected[which];
    }
    return done;
}

QString SoakUser::ColumnStep(bool forward)
{
    const int columns = Grid()->GetColumnCount();
    if (forward) {
        m_model.colunaAtual = std::min(columns - 1, m_model.colunaAtual + 1);
    } else {
        m_model.colunaAtual = std::max(0, m_model.colunaAtual - 1);
    }
    return TapKey(forward ? "sbtAvancar" : "sbtVoltar");
}

QString SoakUser::Step()
{
    m_expectedRecNo.reset();
    // A user who sees nothing backs off more often.
    if (m_dataset.RecordCount() == 0 && m_random.Chance(40)) {
        switch (m_random.Below(5)) {
        case 3:
            // Enter is off: neither the key nor a double tap confirms.
            return PressKey(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        case 4: {
            QWidget* viewport = Grid()->viewport();
            QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, viewport->rect().center());
            return QStringLiteral("double tap");
        }
        case 0:
            Backspaced();
            return PressKey(Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
        case 1:
            TapKey("spdBackSpace");
            Backspaced();
            return QStringLiteral("tap spdBackSpace");
        default:
            TapKey("sbtLimpar");
            Cleared();
            return QStringLiteral("tap sbtLimpar");
        }
    }
    const int roll = m_random.Below(1000);
    if (roll < 250) {
        return TypeCharacter(false);
    }
    if (roll < 450) {
        return TypeCharacter(true);
    }
    if (roll < 460) {
        return TypeOnScreen(kCedilla);
    }
    if (roll < 490) {
        m_model.shift = !m_model.shift;
        return TapKey("sbtShift");
    }
    if (roll < 505) {
        m_model.shift = false;
        m_model.capsLock = !m_model.capsLock;
        return TapKey("spdCapsLock");
    }
    if (roll < 512) {
        m_model.shift = false;
        m_model.capsLock = !m_model.capsLock;
        return PressKey(Qt::Key_CapsLock);
    }
    if (roll < 520) {
        m_model.shift = true;
        return PressKey(Qt::Key_Shift);
    }
    if (roll < 600) {
        Backspaced();
        return PressKey(Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
    }
    if (roll < 660) {
        Backspaced();
        return TapKey("spdBackSpace");
    }
    if (roll < 675) {
        Cleared();
        return PressKey(Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    }
    if (roll < 690) {
        Cleared();
        return TapKey("sbtLimpar");
    }
    if (roll < 695) {
        Cleared();
        return PressKey(Qt::Key_Delete, Qt::ControlModifier);
    }
    if (roll < 715) {
        m_model.text = QStringLiteral("%");
        return TapKey("sbtFiltro");
    }
    if (roll < 725) {
        m_model.text = QStringLiteral("%");
        return PressKey(Qt::Key_Percent, Qt::ShiftModifier, QStringLiteral("%"));
    }
    if (roll < 730) {
        // Ctrl+5 and Alt+5 are not the "%" key.
        return PressKey(Qt::Key_5, m_random.Chance(50) ? Qt::ControlModifier : Qt::AltModifier);
    }
    if (roll < 750) {
        return TapTitleAtRandom();
    }
    if (roll < 830) {
        return Cursor();
    }
    if (roll < 880) {
        return Wheel();
    }
    if (roll < 900) {
        return ColumnStep(true);
    }
    if (roll < 920) {
        return ColumnStep(false);
    }
    if (roll < 950) {
        return TapRow();
    }
    if (roll < 960) {
        return TapKey("edtFiltro");
    }
    if (roll < 990) {
        const Qt::Key keys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown};
        return PressKey(keys[m_random.Below(4)]);
    }
    if (roll < 995) {
        return PressKey(Qt::Key_F1);
    }
    return PressKey(Qt::Key_F4, Qt::AltModifier);
}

} // namespace soak
