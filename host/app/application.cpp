#include "host/app/application.h"

#include "host/app/message_hook_filter.h"

#include <QApplication>
#include <QMessageBox>
#include <QtDebug>

namespace host {

namespace {

void ShowMessageBox(const QString& title, const QString& text)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        qWarning().noquote() << title << ":" << text;
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace

Application& Application::Instance()
{
    static Application instance;
    return instance;
}

QString Application::GetTitle() const
{
    return m_title.isEmpty() ? QCoreApplication::applicationName() : m_title;
}

void Application::SetTitle(const QString& title)
{
    m_title = title;
}

QIcon Application::GetIcon() const
{
    if (m_icon.isNull() && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        return QApplication::windowIcon();
    }
    return m_icon;
}

void Application::SetIcon(const QIcon& icon)
{
    m_icon = icon;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        QApplication::setWindowIcon(icon);
    }
}

void Application::SetOnMessage(MessageHook hook)
{
    m_hook = hook;
    if (hook != nullptr) {
        EnsureFilter();
    }
}

void Application::EnsureFilter()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (m_filter || app == nullptr) {
        return;
    }
    // A child of the application object: it goes when the application goes.
    m_filter = new MessageHookFilter(app);
    app->installEventFilter(m_filter);
}

bool Application::DispatchToHook(Message& message)
{
    const MessageHook hook = m_hook;
    if (hook == nullptr) {
        return false;
    }
    bool handled = false;
    Guard([&] { hook(message, handled); });
    return handled;
}

void Application::HandleException(const std::exception& error)
{
    ShowMessage(QString::fromUtf8(error.what()));
}

void Application::ShowMessage(const QString& text)
{
    if (m_presenter) {
        m_presenter(GetTitle(), text);
        return;
    }
    ShowMessageBox(GetTitle(), text);
}

Application::MessagePresenter Application::SetMessagePresenter(MessagePresenter presenter)
{
    return std::exchange(m_presenter, std::move(presenter));
}

void Application::RunGuarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        HandleException(error);
    } catch (...) {
        ShowMessage(QStringLiteral("An unexpected error occurred."));
    }
}

} // namespace host
