// Keystroke latency of the search form over one data file, beside the anchors.
// Prints one "result" line of key=value pairs that bench/run turns into a table.
#include "bench/anchors.h"
#include "bench/form_path.h"
#include "bench/timing.h"
#include "form/search_options.h"
#include "host/platform/platform.h"

#include <QApplication>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <thread>
#include <touchsearch/client_dataset.h>
#include <vector>

namespace {

constexpr int kScreenRows = 12;
constexpr int VK_BACK = 8;
constexpr int VK_DELETE = 46;

struct Options {
    QString data;
    QString table = QStringLiteral("clientes");
    QString field = QStringLiteral("NMCLIENTE");
    bool anchors = true;
    bool each = false;          // every keystroke's time on standard error
    bool ignoreAccents = false; // every keystroke with FilterOption::IgnoreAccents
    // A search over several fields (--search-fields A,B), by words (--words), with the
    // exact value first (--exact-first): the "+reach" row.
    QStringList searchFields;
    bool words = false;
    bool exactFirst = false;
    // --key-at-once[=C]: one key (a digit, 7, unless C) typed as soon as the window shows,
    // before the searched fields are ready (a scanner fired at once): how long it waits.
    bool keyAtOnce = false;
    char keyTypedAtOnce = '7';
};

std::optional<Options> ParseOptions(const QStringList& args)
{
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--data") && i + 1 < args.size()) {
            options.data = args[++i];
        } else if (arg == QLatin1String("--table") && i + 1 < args.size()) {
            options.table = args[++i];
        } else if (arg == QLatin1String("--no-anchors")) {
            options.anchors = false;
        } else if (arg == QLatin1String("--each")) {
            options.each = true;
        } else if (arg == QLatin1String("--ignore-accents")) {
            options.ignoreAccents = true;
        } else if (arg == QLatin1String("--search-fields") && i + 1 < args.size()) {
            options.searchFields = args[++i].split(u',', Qt::SkipEmptyParts);
        } else if (arg == QLatin1String("--words")) {
            options.words = true;
        } else if (arg == QLatin1String("--exact-first")) {
            options.exactFirst = true;
        } else if (arg == QLatin1String("--key-at-once")) {
            options.keyAtOnce = true;
        } else if (const QLatin1String keyAtOnce("--key-at-once=");
                   arg.startsWith(keyAtOnce) && arg.size() == keyAtOnce.size() + 1 &&
                   arg.back().isLetterOrNumber() && arg.back().unicode() < 0x80) {
            options.keyAtOnce = true;
            options.keyTypedAtOnce = arg.back().toUpper().toLatin1();
        } else {
            std::cerr << "keystroke_bench: unknown option " << arg.toStdString() << "\n";
            return std::nullopt;
        }
    }
    if (options.data.isEmpty()) {
        std::cerr << "usage: keystroke_bench --data FILE [--table NAME] [--no-anchors] [--each] "
                     "[--ignore-accents] [--search-fields A,B] [--words] [--exact-first] "
                     "[--key-at-once[=C]]\n";
        return std::nullopt;
    }
    return options;
}

// Types text one character at a time and returns each keystroke's time.
std::vector<double> TypeEach(bench::FormPath& path, const char* text)
{
    std::vector<double> times;
    for (const char* c = text; *c; ++c) {
        times.push_back(path.Type(*c));
    }
    return times;
}

QStringList Prefixes(const QString& text)
{
    QStringList prefixes;
    for (int i = 1; i <= text.size(); ++i) {
        prefixes << text.left(i);
    }
    return prefixes;
}

// What typing over several fields costs: two-word names, a phone number and a 13-digit
// burst (a scanner), each typed and then cleared with Backspace, the contains search, and
// the names again under a base filter.
struct ReachTimes {
    double openMs = 0;
    double readyMs = 0;  // from opening until the searched fields' structures are built
    double atOnceMs = 0; // with --key-at-once: the key typed as soon as the window showed
    std::vector<double> typed;
    std::vector<double> backspace;
    std::vector<double> contains;
    std::vector<double> base;
    std::vector<std::pair<QString, std::vector<double>>> each;
};

ReachTimes MeasureReach(host::ClientDataset& dataset, const Options& options)
{
    ReachTimes times;
    // The host's options for the dialogs that follow, as PesquisaSearchOptions sets them.
    pesquisa::ModuleSearchOptions() = pesquisa::ParseSearchOptions(
        options.searchFields.join(u','),
        (options.words ? 0x1U : 0U) | (options.exactFirst ? 0x2U : 0U));
    const host::Field* phoneField = dataset.FindField(QStringLiteral("FONE"));
    const QString phone =
        phoneField != nullptr && dataset.RecordCount() > 0
            ? dataset.Value(dataset.RecordCount() / 3, phoneField->GetIndex()).toString()
            : QStringLiteral("11987654321");
    const QStringList typedTexts = {QStringLiteral("MARIA SIL"), QStringLiteral("SILVA MA"), phone,
                                    QStringLiteral("7891000315507")};
    const auto clear = [&](bench::FormPath& path) {
        const QString from = path.SearchText();
        std::vector<double> keys;
        for (int i = 0; i < 64 && !path.Filter().isEmpty() && path.Filter() != path.BaseFilter();
             ++i) {
            keys.push_back(path.KeyDown(VK_BACK));
        }
        times.backspace.insert(times.backspace.end(), keys.begin(), keys.end());
        times.each.emplace_back(QStringLiteral("Backspace from ") + from, keys);
    };
    const auto type = [&](bench::FormPath& path, const QString& text) {
        std::vector<double> keys;
        for (const QChar c : text) {
            keys.push_back(path.Type(c.toLatin1()));
        }
        return keys;
    };
    {
        bench::FormPath path(dataset, QString());
        times.openMs = path.OpenMs();
        // The searched fields' structures are built on a worker thread once the window is
        // open; the keystrokes are measured once they are ready, as a cashier starts
        // typing after the window shows. A key typed at once (and its Backspace) counts in
        // the time until they are.
        times.readyMs = times.openMs + bench::TimeMs([&] {
                            if (options.keyAtOnce) {
                                times.atOnceMs = path.Type(options.keyTypedAtOnce);
                                path.KeyDown(VK_BACK);
                            }
                            while (!dataset.SearchPrepared()) {
                                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                            }
                        });
        for (const QString& text : typedTexts) {
            const std::vector<double> keys = type(path, text);
            times.typed.insert(times.typed.end(), keys.begin(), keys.end());
            times.each.emplace_back(text, keys);
            clear(path);
        }
        for (const QString& text : {QStringLiteral("SILVA"), phone.left(4)}) {
            path.Percent();
            const std::vector<double> keys = type(path, text);
            times.contains.insert(times.contains.end(), keys.begin(), keys.end());
            times.each.emplace_back(QStringLiteral("%") + text, keys);
            clear(path);
        }
    }
    {
        bench::FormPath path(dataset, QStringLiteral("ATIVO = 1"));
        times.base = type(path, QStringLiteral("MARIA SIL"));
    }
    pesquisa::ModuleSearchOptions() = {};
    return times;
}

// Words of the searched fields' texts (a number is one), for the memory target.
double SearchedWords(const host::ClientDataset& dataset, const QStringList& fields)
{
    double words = 0;
    for (const QString& name : fields) {
        const host::Field* field = dataset.FindField(name);
        if (field == nullptr) {
            continue;
        }
        for (int row = 0; row < dataset.RecordCount(); ++row) {
            const QVariant value = dataset.Value(row, field->GetIndex());
            if (!value.isNull()) {
                words += value.toString().split(u' ', Qt::SkipEmptyParts).size();
            }
        }
    }
    return words;
}

} // namespace

using bench::Print;

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const auto options = ParseOptions(app.arguments());
    if (!options) {
        return 2;
    }
    host::SetSleepFunction([](unsigned) {});

    try {
        // The form's one-time costs (widgets, style, fonts) come before the baseline, so
        // that the memory measured after it is what the records and indexes add.
        {
            host::ClientDataset tiny;
            tiny.AddField(options->field, host::FieldType::Text, 60);
            tiny.AddField(QStringLiteral("ATIVO"), host::FieldType::Boolean);
            tiny.AppendRecord({QStringLiteral("JOAO SILVA"), true});
            tiny.Open();
            bench::FormPath warm(tiny, QString());
            warm.Type('J');
        }
        const double baselineRss = bench::CurrentRssMb();
        host::ClientDataset dataset;
        dataset.LoadFromFile(options->data);
        if (!dataset.IsActive()) {
            dataset.Open();
        }
        if (options->ignoreAccents) {
            dataset.SetFilterOptions(host::FilterOption::IgnoreAccents);
        }
        const int records = dataset.RecordCount();
        const double loadedRss = bench::CurrentRssMb();

        // Raw text bytes (UTF-8) of the text fields, for the memory target.
        double textBytes = 0;
        int visibleFields = 0;
        for (int f = 0; f < dataset.GetFieldCount(); ++f) {
            const host::Field* field = dataset.GetField(f);
            visibleFields += field->GetVisible() ? 1 : 0;
            if (field->GetType() != host::FieldType::Text) {
                continue;
            }
            for (int row = 0; row < records; ++row) {
                textBytes += dataset.Value(row, f).toString().toUtf8().size();
            }
        }

        if (!options->searchFields.isEmpty()) {
            QStringList searched = options->searchFields;
            searched.prepend(options->field); // the search column the form picks
            searched.removeDuplicates();
            const double words = SearchedWords(dataset, searched); // before any filter
            const ReachTimes reach = MeasureReach(dataset, *options);
            const double searchedRss = bench::CurrentRssMb();
            const double heldMb = static_cast<double>(dataset.MemoryBytes()) / (1024.0 * 1024.0);
            const double targetMb =
                (2.0 * textBytes + 16.0 * records * dataset.BuiltOrderCount() + 8.0 * words) /
                (1024.0 * 1024.0);
            if (options->each) {
                for (const auto& [text, keys] : reach.each) {
                    std::fprintf(stderr, "%s:", text.toUtf8().constData());
                    for (const double t : keys) {
                        std::fprintf(stderr, " %.3f", t);
                    }
                    std::fprintf(stderr, "\n");
                }
            }
            std::printf("result records=%d", records);
            Print("open_ms", reach.openMs);
            Print("ready_ms", reach.readyMs);
            if (options->keyAtOnce) {
                Print("key_at_once_ms", reach.atOnceMs);
            }
            Print("prefix_ms", bench::Median(reach.typed));
            Print("prefix_worst_ms", bench::Worst(reach.typed));
            Print("contains_ms", bench::Median(reach.contains));
            Print("contains_worst_ms", bench::Worst(reach.contains));
            Print("base_ms", bench::Median(reach.base));
            Print("base_worst_ms", bench::Worst(reach.base));
            Print("backspace_ms", bench::Median(reach.backspace));
            Print("backspace_worst_ms", bench::Worst(reach.backspace));
            Print("delete_ms", 0);
            Print("first_ms", std::max({bench::Worst(reach.typed), bench::Worst(reach.contains),
                                        bench::Worst(reach.base), bench::Worst(reach.backspace)}));
            Print("rss_mb", bench::PeakRssMb());
            Print("data_mb", searchedRss - baselineRss);
            Print("held_mb", heldMb);
            Print("target_mb", targetMb);
            std::printf("\n");
            return 0;
        }

        const char* prefixText = "JOAO S";
        std::vector<double> prefix;
        std::vector<double> contains;
        std::vector<double> backspace;
        double deleteMs = 0;
        double openMs = 0;
        int prefixRows = 0;
        {
            bench::FormPath path(dataset, QString());
            openMs = path.OpenMs();
            prefix = TypeEach(path, prefixText);
            prefixRows = path.RowCount();
            for (int i = 0; i < 6; ++i) {
                backspace.push_back(path.KeyDown(VK_BACK));
            }
            TypeEach(path, prefixText);
            deleteMs = path.KeyDown(VK_DELETE);
            path.Percent();
            contains = TypeEach(path, "SILVA");
        }
        // Records and indexes in memory once the search has run: the resident growth over
        // the baseline, and what the dataset itself holds.
        const double searchedRss = bench::CurrentRssMb();
        const double heldMb = static_cast<double>(dataset.MemoryBytes()) / (1024.0 * 1024.0);
        // The target: twice the raw text bytes plus 16 bytes a record for each index
        // built (the form defines one per visible field; orders are computed on use).
        const int builtIndexes = dataset.BuiltOrderCount();
        const double targetMb =
            (2.0 * textBytes + 16.0 * records * builtIndexes) / (1024.0 * 1024.0);
        const double targetAllMb =
            (2.0 * textBytes + 16.0 * records * visibleFields) / (1024.0 * 1024.0);
        std::vector<double> base;
        {
            bench::FormPath path(dataset, QStringLiteral("ATIVO = 1"));
            base = TypeEach(path, prefixText);
        }
        const double peakRss = bench::PeakRssMb();

        if (options->each) {
            const auto show = [](const char* what, const std::vector<double>& times) {
                std::fprintf(stderr, "%s:", what);
                for (const double t : times) {
                    std::fprintf(stderr, " %.3f", t);
                }
                std::fprintf(stderr, "\n");
            };
            show("prefix", prefix);
            show("backspace", backspace);
            show("delete", {deleteMs});
            show("contains", contains);
            show("base", base);
        }
        std::printf("result records=%d", records);
        Print("open_ms", openMs);
        Print("prefix_ms", bench::Median(prefix));
        Print("prefix_worst_ms", bench::Worst(prefix));
        Print("contains_ms", bench::Median(contains));
        Print("contains_worst_ms", bench::Worst(contains));
        Print("base_ms", bench::Median(base));
        Print("base_worst_ms", bench::Worst(base));
        Print("backspace_ms", bench::Median(backspace));
        Print("backspace_worst_ms", bench::Worst(backspace));
        Print("delete_ms", deleteMs);
        const double first = std::max({bench::Worst(prefix), bench::Worst(contains),
                                       bench::Worst(base), bench::Worst(backspace), deleteMs});
        Print("first_ms", first);
        Print("rss_loaded_mb", loadedRss);
        Print("rss_mb", peakRss);
        Print("data_mb", searchedRss - baselineRss);
        Print("data_peak_mb", peakRss - baselineRss);
        Print("held_mb", heldMb);
        Print("target_mb", targetMb);
        Print("target_all_mb", targetAllMb);
        std::printf(" built_indexes=%d defined_indexes=%d", builtIndexes, visibleFields);
        std::printf(" prefix_rows=%d", prefixRows);

        if (options->anchors) {
            std::vector<double> sqlite;
            std::vector<double> indexed;
            std::vector<double> trigram;
            double prefixIndexMs = 0;
            double trigramIndexMs = 0;
            {
                bench::SqliteAnchor anchor(options->data, options->table);
                for (const QString& p : Prefixes(QString::fromLatin1(prefixText))) {
                    sqlite.push_back(bench::TimeMs([&] {
                        anchor.Query(QStringLiteral("UPPER(%1) LIKE '%2%'").arg(options->field, p),
                                     options->field);
                    }));
                }
                prefixIndexMs = bench::TimeMs([&] { anchor.CreatePrefixIndex(options->field); });
                for (const QString& p : Prefixes(QString::fromLatin1(prefixText))) {
                    indexed.push_back(bench::TimeMs(
                        [&] { anchor.IndexedPrefix(options->field, p, kScreenRows); }));
                }
                trigramIndexMs = bench::TimeMs([&] { anchor.CreateTrigramIndex(options->field); });
                for (const QString& p : Prefixes(QStringLiteral("SILVA"))) {
                    trigram.push_back(bench::TimeMs(
                        [&] { anchor.TrigramContains(options->field, p, kScreenRows); }));
                }
            }
            Print("sqlite_indexed_ms", bench::Median(indexed));
            Print("sqlite_indexed_worst_ms", bench::Worst(indexed));
            Print("sqlite_index_build_ms", prefixIndexMs);
            Print("fts5_ms", bench::Median(trigram));
            Print("fts5_worst_ms", bench::Worst(trigram));
            Print("fts5_build_ms", trigramIndexMs);
            if (options->each) {
                std::fprintf(stderr, "sqlite indexed:");
                for (const double t : indexed) {
                    std::fprintf(stderr, " %.3f", t);
                }
                std::fprintf(stderr, "\nfts5:");
                for (const double t : trigram) {
                    std::fprintf(stderr, " %.3f", t);
                }
                std::fprintf(stderr, "\n");
            }
            QStringList names;
            names.reserve(records);
            const int nameField = dataset.FieldByName(options->field)->GetIndex();
            dataset.SetFiltered(false);
            for (int row = 0; row < dataset.RecordCount(); ++row) {
                names << dataset.Value(row, nameField).toString();
            }
            std::vector<double> proxy;
            bench::ProxyAnchor anchor(std::move(names));
            for (const QString& p : Prefixes(QString::fromLatin1(prefixText))) {
                proxy.push_back(bench::TimeMs([&] { anchor.Filter(p, false, kScreenRows); }));
            }
            Print("sqlite_ms", bench::Median(sqlite));
            Print("qsfpm_ms", bench::Median(proxy));
            Print("qsfpm_sort_ms", anchor.SortMs());
        }
        std::printf("\n");
    } catch (const std::exception& error) {
        std::cerr << "keystroke_bench: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
