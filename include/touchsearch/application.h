#pragma once

#include <QIcon>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <touchsearch/export.h>
#include <touchsearch/message.h>
#include <utility>

namespace host {

class ApplicationPrivate;

// Application-wide services: title, icon, the message hook, the default exception
// handler and the plain message box. One instance per process.
class TOUCHSEARCH_HOST_EXPORT Application {
public:
    using MessageHook = void (*)(Message& message, bool& handled);
    using MessagePresenter = std::function<void(const QString& title, const QString& text)>;

    // How far a long step of the run time has come: loading a file or copying a
    // database table into a ClientDataset, creating a live table's search indexes.
    struct Progress {
        QString step;          // what is being done, for a person ("Loading \"FILE\"")
        qint64 done = 0;       // items done so far (records, indexes)
        qint64 total = -1;     // items in all; -1 when not known in advance
        bool finished = false; // the step's last report (also when it failed)
    };
    using ProgressHandler = std::function<void(const Progress& progress)>;

    static Application& Instance();

    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The title captions message boxes; until set, the application's name.
    QString GetTitle() const;
    void SetTitle(const QString& title);

    // Setting the icon makes it every window's default icon too.
    QIcon GetIcon() const;
    void SetIcon(const QIcon& icon);

    // The one message hook. Every wheel event the application takes is offered to it
    // as WM_MOUSEWHEEL (target: the focused widget, else the widget under the wheel;
    // wParam's high 16 bits: the signed delta). handled = true drops the event; a
    // message rewritten into WM_KEYDOWN delivers a press and release of that
    // virtual key to the message's target instead of the wheel. Setting a hook
    // replaces the previous one; nullptr removes it.
    void SetOnMessage(MessageHook hook);
    MessageHook GetOnMessage() const;

    // The default exception handler: shows the exception's message.
    void HandleException(const std::exception& error);
    // A plain message box captioned with the title, with the text and an OK button.
    void ShowMessage(const QString& text);

    // Replaces the function that shows message boxes (tests intercept them); an empty
    // function restores the real box. Returns the previous presenter.
    MessagePresenter SetMessagePresenter(MessagePresenter presenter);

    // Sets the function that hears of long steps, on the thread that runs them: one
    // report when a step starts, then at most every tenth of a second, and a last one
    // with finished set. An empty function stops the reports. Returns the previous one.
    ProgressHandler SetProgressHandler(ProgressHandler handler);
    // Hands one report to the handler, if any; the run time's own steps call it.
    void ReportProgress(const Progress& progress);
    bool HasProgressHandler() const;

    // Runs a handler and hands any exception to HandleException, so that none
    // crosses the event loop.
    void RunGuarded(const std::function<void()>& handler);
    template <class F> void Guard(F&& handler)
    {
        RunGuarded(std::function<void()>(std::forward<F>(handler)));
    }

    // Offers one message to the hook; true when the caller must drop the original
    // event. Used by the wheel filter, and by hosts that feed messages of their own.
    bool DispatchToHook(Message& message);

private:
    Application();
    ~Application();
    void EnsureFilter();

    // Behind a pointer, so that a later 1.y can add to it without moving anything
    // a host compiled against.
    const std::unique_ptr<ApplicationPrivate> d;
};

} // namespace host
