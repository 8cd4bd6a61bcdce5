#pragma once

#include <QObject>
#include <QStringList>

namespace host {

// A table of texts on a form: lines "KEY|Text" looked up by key.
class TMessages : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList Messages READ GetMessages WRITE setMessages)

public:
    explicit TMessages(QObject* parent = nullptr);

    QStringList GetMessages() const { return m_messages; }
    void setMessages(const QStringList& messages) { m_messages = messages; }

    // The text of the first line whose key equals the key (without regard to case),
    // everything after its first "|"; empty when no line has that key.
    QString Lookup(const QString& key) const;
    bool Contains(const QString& key) const;

private:
    QStringList m_messages;
};

} // namespace host
