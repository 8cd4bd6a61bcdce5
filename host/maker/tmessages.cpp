#include "host/maker/tmessages.h"

namespace host {

namespace {

// Position of the line's key separator; -1 for a line without one.
qsizetype FindLine(const QStringList& lines, const QString& key, QString* text)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar >= 0 && QStringView(line).left(bar).compare(key, Qt::CaseInsensitive) == 0) {
            if (text != nullptr) {
                *text = line.mid(bar + 1);
            }
            return i;
        }
    }
    return -1;
}

} // namespace

TMessages::TMessages(QObject* parent) : QObject(parent) {}

QString TMessages::Lookup(const QString& key) const
{
    QString text;
    FindLine(m_messages, key, &text);
    return text;
}

bool TMessages::Contains(const QString& key) const
{
    return FindLine(m_messages, key, nullptr) >= 0;
}

} // namespace host
