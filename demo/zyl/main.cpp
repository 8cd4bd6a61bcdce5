// zyl, the demo host: loads the search module and the fiscal module from its own
// folder, builds a client dataset, calls Pesquisa and prints the outcome as one line
// of JSON. Exit status: 0 confirmed, 1 cancelled, 2 error, 3 the keys script ended
// with the dialog open and no display to carry on.
//
// The search pauses for a second where the touch screen needs it (host::Sleep);
// --no-pause replaces that pause with none, for tests and benchmarks only.

#include "demo/progress/progress_line.h"
#include "demo/zyl/control_channel.h"
#include "demo/zyl/data_loader.h"
#include "demo/zyl/keys_script.h"
#include "demo/zyl/layout_report.h"
#include "demo/zyl/options.h"
#include "demo/zyl/outcome.h"
#include "demo/zyl/report.h"
#include "demo/zyl/script_player.h"
#include "demo/zyl/search_module.h"
#include "host/platform/platform.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QScopeGuard>
#include <QWindow>
#include <cstdio>
#include <memory>
#include <optional>
#include <touchsearch/application.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/pesquisa.h>
#include <touchsearch/windows1252.h>

namespace {

// Typed when there is no display and nothing else was asked for: the start of a
// common name, a screenshot, the first row, Enter.
constexpr char kBuiltInScreenshot[] = "zyl-screenshot.png";
const QString kBuiltInScript =
    QStringLiteral("mar<shot:%1>[row:0]{Enter}").arg(QLatin1String(kBuiltInScreenshot));

void PrintError(const QString& message)
{
    zyl::Report(message);
}

bool IsHeadless()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        return true;
    }
    const bool displays = platform == QLatin1String("eglfs") ||
                          platform == QLatin1String("linuxfb") || platform == QLatin1String("vnc");
    return !displays && qEnvironmentVariableIsEmpty("DISPLAY") &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The search box text of the running dialog.
QString SearchText(const QWidget* dialog)
{
    auto* edit = qobject_cast<QLineEdit*>(
        zyl::ScriptPlayer::FindComponent(dialog, QStringLiteral("edtFiltro")));
    return edit != nullptr ? edit->text() : QString();
}

// Ends the running dialog without a choice: modal windows it opened first.
void CloseDialogs(QWidget* dialog)
{
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == dialog) {
            break;
        }
        if (auto* box = qobject_cast<QDialog*>(modal)) {
            box->reject();
        } else {
            modal->close();
        }
    }
    if (auto* box = qobject_cast<QDialog*>(dialog); box != nullptr && box->isVisible()) {
        box->done(QDialog::Rejected);
    }
}

// Watches the running dialog: starts the script once it shows, reports its layout
// once it is first exposed (on screen), and keeps the search text as it hides, before
// the module destroys the form.
class DialogWatcher : public QObject {
public:
    DialogWatcher(const zyl::SearchModule& module, zyl::ScriptPlayer* player, bool reportLayout)
        : m_module(module), m_player(player), m_reportLayout(reportLayout)
    {
        qApp->installEventFilter(this);
    }
    ~DialogWatcher() override { qApp->removeEventFilter(this); }

    const QString& Search() const { return m_search; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Hide && type != QEvent::Expose) {
            return false;
        }
        QWidget* dialog = m_module.RunningDialog();
        if (dialog == nullptr) {
            return false;
        }
        if (type == QEvent::Expose) {
            // The window system has put the window on screen: it can take real input.
            QWindow* window = dialog->windowHandle();
            if (m_reportLayout && !m_reported && watched == window && window->isExposed()) {
                m_reported = true;
                zyl::Report(QStringLiteral("layout ") + QString::fromUtf8(zyl::LayoutJson(dialog)));
            }
            return false;
        }
        if (watched != dialog) {
            return false;
        }
        if (type == QEvent::Show && !m_started) {
            m_started = true;
            if (m_player != nullptr) {
                m_player->Start();
            }
        } else if (type == QEvent::Hide) {
            m_search = SearchText(dialog);
        }
        return false;
    }

private:
    const zyl::SearchModule& m_module;
    zyl::ScriptPlayer* m_player;
    bool m_reportLayout;
    bool m_started = false;
    bool m_reported = false;
    QString m_search;
};

const char* BytesOrNull(const QByteArray& bytes, bool given)
{
    return given ? bytes.constData() : nullptr;
}

int Run(const QStringList& arguments)
{
    zyl::Options options;
    try {
        options = zyl::ParseOptions(arguments);
    } catch (const zyl::OptionsError& e) {
        PrintError(QString::fromUtf8(e.what()) + QStringLiteral(" (zyl --help lists the options)"));
        return 2;
    }
    if (options.help) {
        std::fputs(options.helpText.toLocal8Bit().constData(), stdout);
        return 0;
    }

    const bool headless = IsHeadless();
    std::optional<QString> scriptText = options.keys;
    const bool builtIn = !scriptText && headless && options.data.isEmpty();
    if (builtIn) {
        scriptText = kBuiltInScript;
    }
    std::vector<zyl::ScriptStep> steps;
    if (scriptText) {
        try {
            steps = zyl::KeysScript::Parse(*scriptText).Steps();
        } catch (const zyl::KeysScriptError& e) {
            PrintError(e.Message());
            return 2;
        }
    }

    if (options.noPause) {
        host::SetSleepFunction([](unsigned) {});
    }
    host::Application& application = host::Application::Instance();
    if (options.title) {
        application.SetTitle(*options.title);
    }
    if (headless) {
        // Nobody can answer a message box: it goes to standard error as if OK was pressed.
        application.SetMessagePresenter([](const QString& title, const QString& text) {
            PrintError(QStringLiteral("message box \"%1\": %2").arg(title, text));
        });
    }

    // The run time's long steps (loading, copying, creating indexes) show how far they are.
    demo::ProgressLine progress(QCoreApplication::applicationName());
    application.SetProgressHandler([&progress](const host::Application::Progress& report) {
        if (!progress.Active() || report.done == 0) {
            progress.Begin(report.step, report.total);
        }
        progress.Update(report.done);
        if (report.finished) {
            progress.End();
        }
    });
    const auto stopReports = qScopeGuard([&application] { application.SetProgressHandler({}); });

    const QString folder = QCoreApplication::applicationDirPath();
    zyl::LoadedData loaded;
    std::unique_ptr<zyl::SearchModule> module;
    try {
        loaded = zyl::LoadDataset(options, folder);
        module = std::make_unique<zyl::SearchModule>(folder);
    } catch (const std::exception& e) {
        PrintError(QString::fromUtf8(e.what()));
        return 2;
    }

    std::unique_ptr<zyl::ScriptPlayer> player;
    QString playError;
    bool leftOpen = false;
    if (scriptText) {
        const zyl::SearchModule* loaded = module.get();
        player = std::make_unique<zyl::ScriptPlayer>(std::move(steps),
                                                     [loaded] { return loaded->RunningDialog(); });
        QObject::connect(player.get(), &zyl::ScriptPlayer::failed, [&](const QString& message) {
            playError = message;
            if (QWidget* dialog = loaded->RunningDialog()) {
                CloseDialogs(dialog);
            }
        });
        QObject::connect(player.get(), &zyl::ScriptPlayer::finished, [&, loaded] {
            QWidget* dialog = loaded->RunningDialog();
            if (dialog == nullptr || !dialog->isVisible()) {
                if (player->Unplayed() > 0) {
                    PrintError(QStringLiteral("the dialog closed before the keys script ended; "
                                              "%1 steps were not played")
                                   .arg(player->Unplayed()));
                }
                return;
            }
            if (headless) {
                leftOpen = true;
                CloseDialogs(dialog);
            }
        });
    }
    const DialogWatcher watcher(*module, player.get(), options.layout);
    std::unique_ptr<zyl::ControlChannel> control;
    if (options.control) {
        const zyl::SearchModule* running = module.get();
        control =
            std::make_unique<zyl::ControlChannel>([running] { return running->RunningDialog(); });
    }
    host::Dataset* const dataset = loaded.dataset.get();

    const QByteArray texto = pesquisa::ToWindows1252(options.texto);
    const QByteArray limpaFiltro = pesquisa::ToWindows1252(options.limpaFiltro);
    // Checked by the module when the dialog opens: a bad field name fails the search.
    if (!options.searchFields.isEmpty() || options.words || options.exactFirst) {
        const QByteArray fields =
            pesquisa::ToWindows1252(options.searchFields.join(QLatin1Char(',')));
        module->SearchOptions()(fields.constData(),
                                (options.words ? pesquisa::SearchWords : 0U) |
                                    (options.exactFirst ? pesquisa::SearchExactFirst : 0U));
    }
    bool confirmed = false;
    try {
        confirmed = module->Pesquisa()(dataset, BytesOrNull(texto, !options.texto.isNull()),
                                       BytesOrNull(limpaFiltro, !options.limpaFiltro.isNull()), 0,
                                       0, 0, 0, options.semMenuFiscal);
    } catch (const std::exception& e) {
        PrintError(QStringLiteral("the search failed: %1").arg(QString::fromUtf8(e.what())));
        return 2;
    } catch (...) {
        PrintError(QStringLiteral("the search failed with an unknown exception"));
        return 2;
    }

    if (!playError.isEmpty()) {
        PrintError(playError);
        return 2;
    }
    if (leftOpen) {
        PrintError(
            QStringLiteral("the keys script ended with the dialog still open and there is no "
                           "display to carry on; the dialog was closed (exit status 3)"));
        return 3;
    }

    zyl::Outcome outcome;
    outcome.confirmed = confirmed;
    outcome.search = watcher.Search();
    try {
        outcome.filter = dataset->GetFilter();
        outcome.filtered = dataset->GetFiltered();
        // A live database has no index of the dataset's own: its order is the server's.
        if (const auto* client = qobject_cast<const host::ClientDataset*>(dataset)) {
            outcome.indexName = client->GetIndexName();
        }
        outcome.count = dataset->RecordCount();
        const int row = dataset->RecNo();
        if (confirmed && row >= 0) {
            std::vector<std::pair<QString, QVariant>> record;
            for (int i = 0; i < dataset->GetFieldCount(); ++i) {
                record.emplace_back(dataset->GetField(i)->GetName(), dataset->Value(row, i));
            }
            outcome.record = std::move(record);
        }
    } catch (const std::exception& e) {
        PrintError(QStringLiteral("cannot read the dataset after the search: %1")
                       .arg(QString::fromUtf8(e.what())));
        return 2;
    }
    std::fputs(zyl::OutcomeJson(outcome).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);

    if (builtIn) {
        PrintError(
            QStringLiteral("no display: played the built-in search \"%1\"; screenshot saved to %2")
                .arg(kBuiltInScript,
                     QDir::current().absoluteFilePath(QLatin1String(kBuiltInScreenshot))));
    }
    return confirmed ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // Without a display, the window is drawn offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // zyl, or touchsearch-pick: the same program under the name a host ships it by.
    QApplication::setApplicationName(QStringLiteral(TS_PROGRAM_NAME));
    return Run(QApplication::arguments());
}
