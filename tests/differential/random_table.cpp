#include "tests/differential/random_table.h"

#include <QDate>
#include <cmath>
#include <touchsearch/client_dataset.h>

namespace differential {

namespace {

using host::FieldType;

// Pieces texts are made of: accents, "ç", LIKE's wildcards, quotes, mixed case,
// numbers, booleans and dates as text, spaces for TRIM, a 4-byte character, and
// characters between 'Z' and 'a' whose order depends on the case rule.
const char* const kPieces[] = {
    "a",    "A",   "b",     "B",     "z",    "Z",          "ç", "Ç",  "ã",   "é",   "É",  "%",
    "_",    "'",   "''",    " ",     "  ",   "12",         "9", "-3", "0",   "1.5", "Jo", "JOAO",
    "joão", "JOã", "SILVA", "Silva", "True", "1990-01-01", "€", "😀",  "x y", "[",   "^",  "`",
    "_A",   "%S",  "ana",   "ANA",   "10",   "JOÃO",       "ß", "ấ",  "Å",   "ő"};

const char* const kNames[] = {"NOME",       "Cidade", "código", "UF",  "ativo",     "Limite",
                              "Nascimento", "_obs",   "Preço",  "qtd", "NmCliente", "Valor2"};

QVariant RandomInteger(Entropy& e)
{
    switch (e.Below(10)) {
    case 0:
        // Wider than 32 bits, so the column switches to 64-bit storage.
        return QVariant::fromValue<qlonglong>((e.Chance(50) ? 1 : -1) *
                                              ((qlonglong{1} << 32) + e.Between(0, 1000)));
    case 1:
        return QVariant::fromValue<qlonglong>(e.Between(-100000, 100000));
    default:
        return QVariant::fromValue<qlonglong>(e.Between(-20, 20));
    }
}

QVariant RandomFloat(Entropy& e)
{
    // Values whose text forms every formatter agrees on; no negative zero, no
    // subnormals, nothing near overflow.
    switch (e.Below(8)) {
    case 0:
        return 1e9 + 0.5;
    case 1:
        return 123456.789;
    case 2:
        return static_cast<double>(e.Between(-999, 999)) / 100.0;
    case 3:
        return e.Chance(50) ? 1e-3 : 1.0e20;
    default: {
        const double d = static_cast<double>(e.Between(-40, 40)) / 4.0;
        return d == 0.0 ? 0.0 : d;
    }
    }
}

QVariant RandomDate(Entropy& e)
{
    static const QDate base(1990, 1, 1);
    if (e.Chance(20)) {
        return QDate(static_cast<int>(e.Between(1900, 2100)), 1 + static_cast<int>(e.Below(12)),
                     1 + static_cast<int>(e.Below(28)));
    }
    return base.addDays(e.Between(-3, 3));
}

QVariant RandomValue(Entropy& e, FieldType type)
{
    switch (type) {
    case FieldType::Text:
        return RandomText(e, 4);
    case FieldType::Integer:
        return RandomInteger(e);
    case FieldType::Float:
        return RandomFloat(e);
    case FieldType::Boolean:
        return e.Chance(50);
    case FieldType::Date:
        return RandomDate(e);
    }
    return {};
}

const char* TypeName(FieldType type)
{
    switch (type) {
    case FieldType::Text:
        return "text";
    case FieldType::Integer:
        return "integer";
    case FieldType::Float:
        return "float";
    case FieldType::Boolean:
        return "boolean";
    case FieldType::Date:
        return "date";
    }
    return "?";
}

} // namespace

QString RandomText(Entropy& entropy, int maxPieces)
{
    QString text;
    const int pieces = static_cast<int>(entropy.Below(static_cast<std::uint32_t>(maxPieces) + 1));
    for (int i = 0; i < pieces; ++i) {
        text += QString::fromUtf8(entropy.Pick(kPieces));
    }
    return text;
}

double TableShape::IntegerBound(int field) const
{
    double bound = 0;
    for (const QVariantList& row : rows) {
        const QVariant& v = row[field];
        if (v.isValid()) {
            bound = std::max(bound, std::fabs(v.toDouble()));
        }
    }
    return bound;
}

QString TableShape::Describe() const
{
    QString out = QStringLiteral("table %1:").arg(name);
    for (const FieldShape& f : fields) {
        out += QStringLiteral(" %1 %2").arg(f.name, QLatin1String(TypeName(f.type)));
        if (f.size > 0) {
            out += QStringLiteral("(%1)").arg(f.size);
        }
        out += u';';
    }
    out += QStringLiteral(" %1 records\n").arg(rows.size());
    for (const QVariantList& row : rows) {
        QStringList cells;
        for (const QVariant& v : row) {
            if (!v.isValid()) {
                cells << QStringLiteral("NULL");
            } else if (v.typeId() == QMetaType::QString) {
                cells << u'"' + v.toString() + u'"';
            } else if (v.typeId() == QMetaType::QDate) {
                cells << v.toDate().toString(Qt::ISODate);
            } else if (v.typeId() == QMetaType::Double) {
                cells << QString::number(v.toDouble(), 'g', 17);
            } else {
                cells << v.toString();
            }
        }
        out += QStringLiteral("  ") + cells.join(QStringLiteral(" | ")) + u'\n';
    }
    return out;
}

TableShape RandomTable(Entropy& e)
{
    TableShape shape;
    const int extra = 1 + static_cast<int>(e.Below(6));
    std::vector<int> names(std::size(kNames));
    for (size_t i = 0; i < names.size(); ++i) {
        names[i] = static_cast<int>(i);
    }
    shape.idField = static_cast<int>(e.Below(static_cast<std::uint32_t>(extra + 1)));
    for (int f = 0; f <= extra; ++f) {
        if (f == shape.idField) {
            shape.fields.push_back({QStringLiteral("ID"), FieldType::Integer, 0});
            continue;
        }
        const size_t at = e.Below(static_cast<std::uint32_t>(names.size()));
        const QString name = QString::fromUtf8(kNames[names[at]]);
        names.erase(names.begin() + static_cast<std::ptrdiff_t>(at));
        static const FieldType types[] = {FieldType::Text,  FieldType::Text,    FieldType::Integer,
                                          FieldType::Float, FieldType::Boolean, FieldType::Date};
        shape.fields.push_back({name, e.Pick(types), 0});
    }

    int records = static_cast<int>(e.Below(41));
    if (e.Chance(8)) {
        // Past the size where the selection tests candidates one by one.
        records = 257 + static_cast<int>(e.Below(400));
    }
    // Each field has its own NULL rate; the first and the last record are often NULL.
    std::vector<unsigned> nullRate(shape.fields.size());
    std::vector<bool> nullFirst(shape.fields.size());
    std::vector<bool> nullLast(shape.fields.size());
    for (size_t f = 0; f < shape.fields.size(); ++f) {
        static const unsigned rates[] = {0, 0, 10, 30, 60, 100};
        nullRate[f] = e.Pick(rates);
        nullFirst[f] = e.Chance(40);
        nullLast[f] = e.Chance(30);
    }
    // Some text fields share a leading piece in most records, so that a typed prefix
    // matches many records at once (the selection then works on bitmaps).
    std::vector<QString> common(shape.fields.size());
    for (size_t f = 0; f < shape.fields.size(); ++f) {
        if (shape.fields[f].type == FieldType::Text && e.Chance(30)) {
            static const char* const heads[] = {"JOAO ", "Jo", "ANA", "a"};
            common[f] = QString::fromUtf8(e.Pick(heads));
        }
    }
    for (int r = 0; r < records; ++r) {
        QVariantList row;
        for (int f = 0; f < shape.FieldCount(); ++f) {
            if (f == shape.idField) {
                row << QVariant::fromValue<qlonglong>(r);
                continue;
            }
            const auto uf = static_cast<size_t>(f);
            const bool null = (r == 0 && nullFirst[uf]) || (r == records - 1 && nullLast[uf]) ||
                              e.Chance(nullRate[uf]);
            QVariant value = null ? QVariant() : RandomValue(e, shape.fields[uf].type);
            if (!null && !common[uf].isEmpty() && !e.Chance(15)) {
                value = common[uf] + value.toString();
            }
            row << value;
        }
        shape.rows.push_back(std::move(row));
    }
    // Some text fields declare a size: never less than their longest value.
    for (int f = 0; f < shape.FieldCount(); ++f) {
        FieldShape& field = shape.fields[static_cast<size_t>(f)];
        if (field.type != FieldType::Text || e.Chance(50)) {
            continue;
        }
        int longest = 1;
        for (const QVariantList& row : shape.rows) {
            longest = std::max(longest, static_cast<int>(row[f].toString().toUcs4().size()));
        }
        field.size = longest + static_cast<int>(e.Below(3));
    }
    return shape;
}

std::unique_ptr<host::ClientDataset> MakeClientDataset(const TableShape& shape)
{
    auto dataset = std::make_unique<host::ClientDataset>();
    for (const FieldShape& f : shape.fields) {
        dataset->AddField(f.name, f.type, f.size);
    }
    for (const QVariantList& row : shape.rows) {
        dataset->AppendRecord(row);
    }
    dataset->Open();
    return dataset;
}

std::vector<qint64> ViewIds(const host::ClientDataset& dataset, const TableShape& shape)
{
    std::vector<qint64> ids;
    const int count = dataset.RecordCount();
    ids.reserve(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) {
        ids.push_back(dataset.Value(row, shape.idField).toLongLong());
    }
    return ids;
}

} // namespace differential
