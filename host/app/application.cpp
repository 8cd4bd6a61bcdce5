#include "host/app/message_hook_filter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QtDebug>
#include <touchsearch/application.h>

namespace host {

class ApplicationPrivate {
public:
    QString m_title;
    QIcon m_icon;
    Application::MessageHook m_hook = nullptr;
    Application::MessagePresenter m_presenter;
    Application::ProgressHandler m_progress;
    QPointer<app::MessageHookFilter> m_filter;
};

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

Application::Application() : d(std::make_unique<ApplicationPrivate>()) {}

Application::~Application() = default;

Application::MessageHook Application::GetOnMessage() const
{
    return d->m_hook;
}

QString Application::GetTitle() const
{
    return d->m_title.isEmpty() ? QCoreApplication::applicationName() : d->m_title;
}

void Application::SetTitle(const QString& title)
{
    d->m_title = title;
}

QIcon Application::GetIcon() const
{
    if (d->m_icon.isNull() &&
        qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        return QApplication::windowIcon();
    }
    return d->m_icon;
}

void Application::SetIcon(const QIcon& icon)
{
    d->m_icon = icon;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        QApplication::setWindowIcon(icon);
    }
}

void Application::SetOnMessage(MessageHook hook)
{
    d->m_hook = hook;
    if (hook != nullptr) {
        EnsureFilter();
    }
}

void Application::EnsureFilter()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (d->m_filter || app == nullptr) {
        return;
    }
    // A child of the application object: it goes when the application goes.
    d->m_filter = new host::app::MessageHookFilter(app);
    app->installEventFilter(d->m_filter);
}

bool Application::DispatchToHook(Message& message)
{
    const MessageHook hook = d->m_hook;
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
    if (d->m_presenter) {
        d->m_presenter(GetTitle(), text);
        return;
    }
    ShowMessageBox(GetTitle(), text);
}

Application::MessagePresenter Application::SetMessagePresenter(MessagePresenter presenter)
{
    return std::exchange(d->m_presenter, std::move(presenter));
}

Application::ProgressHandler Application::SetProgressHandler(ProgressHandler handler)
{
    return std::exchange(d->m_progress, std::move(handler));
}

void Application::ReportProgress(const Progress& progress)
{
    if (d->m_progress) {
        d->m_progress(progress);
    }
}

bool Application::HasProgressHandler() const
{
    return static_cast<bool>(d->m_progress);
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
