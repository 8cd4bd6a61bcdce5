// What building a search structure over a big column costs, and how much memory it takes
// that the process never touched before: on a virtual machine whose host backs pages
// lazily that, not the sorting or hashing, is most of the time. One build a run, so that
// each meets fresh memory as it does after a window opens:
//   build_memory_bench --only order-int|order-phone|order-names|words-names [--records N]
#include "host/filter/word_index.h"
#include "host/storage/leading_order.h"
#include "host/storage/table.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <string_view>
#include <sys/resource.h>

namespace {

// A field of /proc/self/status, in kB.
long StatusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::stol(line.substr(length + 1));
        }
    }
    return -1;
}

long MinorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

std::uint64_t Mix(std::uint64_t hash, std::uint64_t value)
{
    return (hash ^ value) * 0x100000001B3ULL;
}

host::Table IntegerTable(std::uint32_t records)
{
    host::Table table;
    table.AddField({QStringLiteral("CODIGO"), host::FieldType::Integer, 0});
    table.Reserve(records);
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        table.Col(0).AppendInt(static_cast<std::int64_t>(rec) + 1);
    }
    table.AdoptAppendedColumns();
    table.ShrinkToFit();
    return table;
}

host::Table PhoneTable(std::uint32_t records)
{
    std::mt19937_64 rng(7);
    host::Table table;
    table.AddField({QStringLiteral("FONE"), host::FieldType::Text, 11});
    table.Reserve(records);
    char digits[12] = {};
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        std::snprintf(digits, sizeof digits, "%02u9%08u", 11U + static_cast<unsigned>(rng() % 89),
                      static_cast<unsigned>(rng() % 100000000));
        table.Col(0).AppendText(std::string_view(digits, 11));
    }
    table.AdoptAppendedColumns();
    table.ShrinkToFit();
    return table;
}

// About four words a name: one or two first names, now and then a particle, two surnames.
host::Table NameTable(std::uint32_t records)
{
    static const char* const first[] = {
        "MARIA", "JOSE",  "ANA",     "JOAO",   "ANTONIO", "FRANCISCO", "CARLOS", "PAULO",
        "PEDRO", "LUCAS", "LUIZ",    "MARCOS", "LUIS",    "GABRIEL",   "RAFAEL", "DANIEL",
        "JULIA", "LAURA", "BEATRIZ", "CLARA",  "HELENA",  "ALICE",     "SOFIA",  "MANUELA"};
    static const char* const particle[] = {"DA", "DE", "DOS", "DAS", "DO"};
    static const char* const surname[] = {
        "SILVA",   "SANTOS",     "OLIVEIRA", "SOUZA",     "RODRIGUES", "FERREIRA", "ALVES",
        "PEREIRA", "LIMA",       "GOMES",    "COSTA",     "RIBEIRO",   "MARTINS",  "CARVALHO",
        "ALMEIDA", "LOPES",      "SOARES",   "FERNANDES", "VIEIRA",    "BARBOSA",  "ROCHA",
        "DIAS",    "NASCIMENTO", "ANDRADE",  "MOREIRA",   "NUNES",     "MARQUES",  "MACHADO",
        "MENDES",  "FREITAS",    "CARDOSO",  "RAMOS",     "GONCALVES", "SANTANA",  "TEIXEIRA"};
    std::mt19937_64 rng(11);
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    table.Reserve(records);
    std::string name;
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        name.assign(first[rng() % std::size(first)]);
        if (rng() % 2 == 0) {
            name.append(" ").append(first[rng() % std::size(first)]);
        }
        if (rng() % 5 < 2) {
            name.append(" ").append(particle[rng() % std::size(particle)]);
        }
        name.append(" ").append(surname[rng() % std::size(surname)]);
        name.append(" ").append(surname[rng() % std::size(surname)]);
        table.Col(0).AppendText(name);
    }
    table.AdoptAppendedColumns();
    table.ShrinkToFit();
    return table;
}

} // namespace

int main(int argc, char** argv)
{
    std::string only;
    std::uint32_t records = 10'000'000;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (arg == "--records" && i + 1 < argc) {
            records = static_cast<std::uint32_t>(std::stoul(argv[++i]));
        } else {
            only.clear();
            break;
        }
    }
    if (only != "order-int" && only != "order-phone" && only != "order-names" &&
        only != "words-names") {
        std::cerr << "usage: build_memory_bench --only order-int|order-phone|order-names|"
                     "words-names [--records N]\n";
        return 2;
    }
    const host::Table table = only == "order-int"     ? IntegerTable(records)
                              : only == "order-phone" ? PhoneTable(records)
                                                      : NameTable(records);
    const host::Column& column = table.Col(0);

    // The peak from here on is what the build takes beyond the table.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long rssBefore = StatusKb("VmRSS");
    const long faultsBefore = MinorFaults();
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t check = 0xCBF29CE484222325ULL;
    std::size_t entries = 0;
    if (only == "words-names") {
        const host::filter::WordIndex words(column, false);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const auto all = words.WordRange("");
        for (std::uint32_t word = all.first; word < all.second; ++word) {
            std::size_t count = 0;
            const std::uint32_t* list = words.List(word, count);
            for (std::size_t i = 0; i < count; ++i) {
                check = Mix(check, list[i]);
            }
            entries += count;
        }
        std::printf("%s: %u records, %zu entries, build %.3f s", only.c_str(), records, entries,
                    std::chrono::duration<double>(elapsed).count());
    } else {
        const host::LargeVector<std::uint32_t> order = host::LeadingBytesOrder(column, false);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        for (const std::uint32_t rec : order) {
            check = Mix(check, rec);
        }
        entries = order.size();
        std::printf("%s: %u records, %zu entries, build %.3f s", only.c_str(), records, entries,
                    std::chrono::duration<double>(elapsed).count());
    }
    const long peak = StatusKb("VmHWM");
    std::printf(", peak fresh memory %.0f MB, %ld minor faults, check %016llx\n",
                static_cast<double>(peak - rssBefore) / 1024.0, MinorFaults() - faultsBefore,
                static_cast<unsigned long long>(check));
    return 0;
}
