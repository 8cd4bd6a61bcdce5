// Random filter expressions over a small dataset: the parser and evaluator must
// either apply the filter or raise DatasetError, and the dataset must stay usable.
#include <cstdint>
#include <cstdlib>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>

namespace {

host::ClientDataset& Dataset()
{
    static host::ClientDataset* dataset = [] {
        auto* ds = new host::ClientDataset;
        ds->AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
        ds->AddField(QStringLiteral("NMCLIENTE"), host::FieldType::Text, 20);
        ds->AddField(QStringLiteral("ATIVO"), host::FieldType::Boolean);
        ds->AddField(QStringLiteral("LIMITE"), host::FieldType::Float);
        ds->Open();
        ds->AppendRecord({1, QStringLiteral("João Gonçalves"), true, 10.5});
        ds->AppendRecord({2, QStringLiteral("MARIA"), false, QVariant()});
        ds->AppendRecord({3, QVariant(), true, -3.0});
        ds->AppendRecord({40, QStringLiteral("ana_%'x"), QVariant(), 1e9});
        ds->GetIndexDefs().Add(QStringLiteral("NMCLIENTE"), QStringLiteral("NMCLIENTE"));
        ds->SetIndexName(QStringLiteral("NMCLIENTE"));
        return ds;
    }();
    return *dataset;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    host::ClientDataset& dataset = Dataset();
    const QString expression =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        dataset.SetFiltered(false);
        dataset.SetFilter(expression);
        dataset.SetFiltered(true);
    } catch (const host::DatasetError&) {
    }
    // Whatever happened, the view is consistent and can be walked.
    const int count = dataset.RecordCount();
    if (count < 0 || count > 4) {
        std::abort();
    }
    dataset.First();
    for (int i = 0; i < count; ++i) {
        (void)dataset.GetField(1)->AsString();
        dataset.Next();
    }
    return 0;
}
