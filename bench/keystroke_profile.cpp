// Repeats one kind of keystroke through the search form over a data file, so that a
// profiler's samples fall on it: perf record -- keystroke_profile --data FILE --what delete
#include "bench/form_path.h"
#include "bench/timing.h"
#include "host/platform/platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <touchsearch/client_dataset.h>
#include <vector>

namespace {
constexpr int VK_BACK = 8;
constexpr int VK_DELETE = 46;
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QString data;
    QString what = QStringLiteral("delete");
    int times = 50;
    bool ignoreAccents = false;
    QString typed; // what prefix and contains type, else their usual text
    QString base;  // a filter the dataset keeps under the search, as the form's base filter
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool valued = i + 1 < args.size();
        if (args[i] == QLatin1String("--ignore-accents")) {
            ignoreAccents = true;
        } else if (valued && args[i] == QLatin1String("--data")) {
            data = args[++i];
        } else if (valued && args[i] == QLatin1String("--what")) {
            what = args[++i];
        } else if (valued && args[i] == QLatin1String("--text")) {
            typed = args[++i];
        } else if (valued && args[i] == QLatin1String("--base")) {
            base = args[++i];
        } else if (valued && args[i] == QLatin1String("--times")) {
            times = args[++i].toInt();
        } else {
            std::cerr << "keystroke_profile: unknown option " << args[i].toStdString() << "\n";
            return 2;
        }
    }
    if (data.isEmpty()) {
        std::cerr << "usage: keystroke_profile --data FILE [--what open|delete|backspace|prefix|"
                     "contains] [--text TEXT] [--times N] [--base FILTER] [--ignore-accents]\n";
        return 2;
    }
    host::SetSleepFunction([](unsigned) {});
    host::ClientDataset dataset;
    dataset.LoadFromFile(data);
    if (!dataset.IsActive()) {
        dataset.Open();
    }
    if (ignoreAccents) {
        dataset.SetFilterOptions(host::FilterOption::IgnoreAccents);
    }
    std::vector<double> times_;
    std::vector<std::vector<double>> byLetter; // typing: each keystroke's times by position
    {
        // The opening sorts and summarises once: "open" measures that alone.
        bench::FormPath path(dataset, base);
        std::printf("open: %.1f ms\n", path.OpenMs());
        if (what == QLatin1String("open")) {
            times = 0;
        }
        for (int i = 0; i < times; ++i) {
            if (what == QLatin1String("delete")) {
                path.Type('J');
                times_.push_back(path.KeyDown(VK_DELETE));
            } else if (what == QLatin1String("backspace")) {
                path.Type('J');
                times_.push_back(path.KeyDown(VK_BACK));
            } else if (what == QLatin1String("prefix") || what == QLatin1String("contains")) {
                const bool contains = what == QLatin1String("contains");
                const std::string text = !typed.isEmpty() ? typed.toStdString()
                                         : contains       ? "SILVA"
                                                          : "JOAO S";
                if (contains) {
                    path.Percent();
                }
                for (std::size_t k = 0; k < text.size(); ++k) {
                    const double ms = path.Type(text[k]);
                    times_.push_back(ms);
                    byLetter.resize(text.size());
                    byLetter[k].push_back(ms);
                }
                path.KeyDown(VK_DELETE);
            }
        }
    }
    std::printf("%s: median %.3f ms, worst %.3f ms over %zu\n", qPrintable(what),
                bench::Median(times_), bench::Worst(times_), times_.size());
    for (std::size_t k = 0; k < byLetter.size(); ++k) {
        std::printf("  keystroke %zu: median %.3f ms, best %.3f ms, worst %.3f ms\n", k + 1,
                    bench::Median(byLetter[k]),
                    *std::min_element(byLetter[k].begin(), byLetter[k].end()),
                    bench::Worst(byLetter[k]));
    }
    return 0;
}
