// Keystroke latency of the search form over one data file, beside the anchors.
// Prints one "result" line of key=value pairs that bench/run turns into a table.
#include "bench/anchors.h"
#include "bench/form_path.h"
#include "bench/timing.h"
#include "host/platform/platform.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <iostream>
#include <optional>
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
        } else {
            std::cerr << "keystroke_bench: unknown option " << arg.toStdString() << "\n";
            return std::nullopt;
        }
    }
    if (options.data.isEmpty()) {
        std::cerr << "usage: keystroke_bench --data FILE [--table NAME] [--no-anchors] [--each] "
                     "[--ignore-accents]\n";
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
