#pragma once

#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QWidget>

namespace host::app {

// Application-wide event filter that offers wheel events to the application's
// message hook and carries out what the hook decided.
class MessageHookFilter : public QObject {
    Q_OBJECT

public:
    explicit MessageHookFilter(QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The last wheel event offered to the hook.
    struct Offered {
        QPointer<QWidget> widget;
        const QEvent* event = nullptr;
        quint64 timestamp = 0;
        QPoint delta;
        QPointF globalPosition;
    };
    Offered m_lastOffered;
};

} // namespace host::app
