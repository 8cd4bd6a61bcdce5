#pragma once

#include <QString>

class QWidget;

namespace host {

// Translates the form's window title and its children's texts (button and label
// captions, placeholders, tool tips) through Qt's translation system, with the
// form's class name as the context. Without an installed translation nothing changes.
void Trad(QWidget* form);

// The footer of a screen: "CODE - vVERSION" (the application's version, or the
// library's when the application sets none). With fiscalMenu, the footer also names
// the F1 fiscal menu: "F1 - Menu Fiscal - CODE - vVERSION". The option is kept for
// callers and changes nothing.
QString MontaRodapeGeral(bool fiscalMenu, const QString& code, const QString& option);

// True when the text is empty or holds only blanks and control characters.
bool EmptyString(const QString& text);

} // namespace host
