// Types TS_KEYS into the search dialog once it shows: characters as key presses
// with their text, {Enter} and {Esc} as those keys. The keys go to the focused
// widget of the dialog, as a keyboard's would.
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QTimer>
#include <cstdio>

namespace {

struct Key {
    int code;
    QString text;
};

QList<Key> ParseKeys(const QString& script)
{
    QList<Key> keys;
    for (qsizetype i = 0; i < script.size(); ++i) {
        if (script.mid(i).startsWith(QLatin1String("{Enter}"))) {
            keys.append({Qt::Key_Return, QStringLiteral("\r")});
            i += 6;
        } else if (script.mid(i).startsWith(QLatin1String("{Esc}"))) {
            keys.append({Qt::Key_Escape, QStringLiteral("\x1b")});
            i += 4;
        } else {
            const QChar c = script.at(i);
            const int code = c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A') : c.unicode();
            keys.append({code, QString(c)});
        }
    }
    return keys;
}

void Press(QWidget* window, const Key& key)
{
    QWidget* receiver = QApplication::focusWidget();
    if (receiver == nullptr || receiver->window() != window) {
        receiver = window;
    }
    QKeyEvent press(QEvent::KeyPress, key.code, Qt::NoModifier, key.text);
    QApplication::sendEvent(receiver, &press);
    QKeyEvent release(QEvent::KeyRelease, key.code, Qt::NoModifier, key.text);
    QApplication::sendEvent(receiver, &release);
}

class DialogWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (event->type() == QEvent::Show && dialog != nullptr && !m_played &&
            dialog->objectName() == QLatin1String("TfrmPesquisa")) {
            m_played = true;
            // After the show has finished, from the dialog's own event loop.
            QTimer::singleShot(0, dialog, [dialog] {
                for (const Key& key : ParseKeys(qEnvironmentVariable("TS_KEYS"))) {
                    if (!dialog->isVisible()) {
                        std::fprintf(stderr,
                                     "keys_shim: the dialog closed before the keys ended\n");
                        return;
                    }
                    Press(dialog, key);
                }
            });
        }
        return false;
    }

private:
    bool m_played = false;
};

void Install()
{
    QCoreApplication::instance()->installEventFilter(
        new DialogWatcher(QCoreApplication::instance()));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(Install)
