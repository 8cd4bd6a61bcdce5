#include "tests/filter/filter_table.h"

#include "host/filter/expression_parser.h"

#include <random>
#include <string>

namespace filter_test {

host::Table NamesTable(std::uint32_t records, unsigned seed)
{
    static const char* const names[] = {"Maria", "MARIA", "maria", "Mário", "Marta",    "Ma",
                                        "João",  "JOAO",  "joão",  "José",  "Ana",      "ANA",
                                        "Silva", "SILVA", "da",    "Zé",    "Conceição"};
    static const char* const cities[] = {"São Paulo", "  Natal  ", "Belém", "RECIFE", "natal"};
    std::mt19937 rng(seed);
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    table.AddField({QStringLiteral("CODIGO"), host::FieldType::Integer, 0});
    table.AddField({QStringLiteral("CIDADE"), host::FieldType::Text, 0});
    host::Column& nome = table.Col(0);
    host::Column& codigo = table.Col(1);
    host::Column& cidade = table.Col(2);
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        if (rec == 0 || rng() % 29 == 0) {
            nome.AppendNull();
        } else {
            std::string name;
            const int words = 1 + static_cast<int>(rng() % 3);
            for (int w = 0; w < words; ++w) {
                name += w > 0 ? " " : "";
                name += names[rng() % std::size(names)];
            }
            nome.AppendText(name);
        }
        if (rng() % 31 == 0) {
            codigo.AppendNull();
        } else {
            codigo.AppendInt(static_cast<std::int64_t>(rng() % 1000));
        }
        cidade.AppendText(cities[rng() % std::size(cities)]);
    }
    table.AdoptAppendedColumns();
    return table;
}

host::filter::NodePtr Parse(const QString& filter, const host::Table& table,
                            host::FilterOptions options)
{
    return host::filter::ParseFilter(filter, table, options);
}

std::vector<std::uint32_t> PlainMatches(const host::filter::Node& root, const host::Table& table)
{
    host::filter::EvalScratch scratch;
    std::vector<std::uint32_t> out;
    for (std::uint32_t rec = 0; rec < table.RecordCount(); ++rec) {
        if (root.Test(rec, scratch) == host::filter::Tri::True) {
            out.push_back(rec);
        }
    }
    return out;
}

} // namespace filter_test
