#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

namespace pesquisa {

// Case mapping is ASCII-only: "a"-"z" <-> "A"-"Z"; every other character ("ç", "Ç"
// among them) is left as it is.
char AsciiUpper(char c);
char AsciiLower(char c);
QString AsciiUpper(const QString& text);

// The characters the search accepts: space , . / 0-9 A-Z \ _ a-z Ç ç (70 in all),
// as Windows-1252 bytes.
const QByteArray& AllowedSearchChars();
bool IsAllowedSearchChar(char c);

// The case a typed character takes under the latches, and whether the one-shot
// Shift is used up by it.
struct CasedKey {
    char key;
    bool releaseShift;
};
CasedKey CaseForKey(char key, bool capsLock, bool shift);

// SeVerdadeiro when Flag is true, else SeFalso.
QString Condicao(bool Flag, const QString& SeVerdadeiro, const QString& SeFalso);

// The base filter as it joins the search condition with " AND ". A base that holds
// an OR outside quotes and brackets is bracketed, since AND binds tighter and the
// search would otherwise narrow only its last alternative; any other base is kept
// exactly as the host wrote it.
QString JoinableBase(const QString& base);

// A Windows-1252 byte as a character of the search text, and back ('?' for a
// character the code page does not have).
QChar CharFromByte(char c);
char ByteFromChar(QChar c);

} // namespace pesquisa
