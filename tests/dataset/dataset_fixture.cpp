#include "tests/dataset/dataset_fixture.h"

#include <QDate>

namespace dataset_test {

std::unique_ptr<host::ClientDataset> MakeCustomers()
{
    auto ds = std::make_unique<host::ClientDataset>();
    using host::FieldType;
    ds->AddField(QStringLiteral("CODIGO"), FieldType::Integer);
    ds->AddField(QStringLiteral("NMCLIENTE"), FieldType::Text, 60);
    ds->AddField(QStringLiteral("CIDADE"), FieldType::Text, 40);
    ds->AddField(QStringLiteral("UF"), FieldType::Text, 2);
    ds->AddField(QStringLiteral("ATIVO"), FieldType::Boolean);
    ds->AddField(QStringLiteral("LIMITE"), FieldType::Float);
    ds->AddField(QStringLiteral("NASCIMENTO"), FieldType::Date);
    const QVariant null;
    ds->AppendRecord({1, QStringLiteral("João Gonçalves"), QStringLiteral("São Paulo"),
                      QStringLiteral("SP"), true, 1500.5, QDate(1980, 5, 1)});
    ds->AppendRecord({2, QStringLiteral("MARIA DA CONCEIÇÃO"), QStringLiteral("Recife"),
                      QStringLiteral("PE"), false, 200, null});
    ds->AppendRecord({3, QStringLiteral("Ana Araújo"), null, QStringLiteral("RJ"), true, null,
                      QDate(1990, 12, 31)});
    ds->AppendRecord({10, QStringLiteral("joao silva"), QStringLiteral("Curitiba"),
                      QStringLiteral("PR"), null, 0, QDate(2000, 1, 1)});
    ds->AppendRecord(
        {12, null, QStringLiteral("Natal"), QStringLiteral("RN"), true, 99.99, QDate(1975, 7, 15)});
    ds->AppendRecord({20, QStringLiteral("Zé D'Ávila"), QStringLiteral("Salvador"),
                      QStringLiteral("BA"), false, -10, QDate(1969, 2, 28)});
    ds->AppendRecord({7, QStringLiteral("JOAO SANTOS"), QStringLiteral("Belém"),
                      QStringLiteral("PA"), true, 300, QDate(1985, 3, 3)});
    ds->AppendRecord({8, QStringLiteral("Ana"), QStringLiteral("  Natal  "), QStringLiteral("RN"),
                      false, 50, null});
    ds->Open();
    return ds;
}

std::vector<qint64> Codes(const host::ClientDataset& dataset)
{
    std::vector<qint64> codes;
    for (int row = 0; row < dataset.RecordCount(); ++row) {
        codes.push_back(dataset.Value(row, 0).toLongLong());
    }
    return codes;
}

std::vector<qint64> Filtered(host::ClientDataset& dataset, const QString& expression)
{
    dataset.SetFilter(expression);
    dataset.SetFiltered(true);
    return Codes(dataset);
}

} // namespace dataset_test
