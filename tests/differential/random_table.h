#pragma once

#include "tests/differential/entropy.h"

#include <QString>
#include <QVariantList>
#include <memory>
#include <touchsearch/field_type.h>
#include <vector>

namespace host {
class ClientDataset;
}

namespace differential {

struct FieldShape {
    QString name;
    host::FieldType type = host::FieldType::Text;
    int size = 0; // text: most characters a value may have, 0 = no limit
};

// A small table: fields of every type and rows of values as a client dataset takes them
// (QString, qlonglong, double, bool, QDate; an invalid QVariant is NULL). One integer
// field, idField, holds each record's number and is never NULL: it names the records
// in every result.
struct TableShape {
    QString name = QStringLiteral("dados");
    std::vector<FieldShape> fields;
    int idField = 0;
    std::vector<QVariantList> rows;

    int FieldCount() const { return static_cast<int>(fields.size()); }
    // Largest magnitude of an integer field (integer or boolean), 0 when all NULL.
    double IntegerBound(int field) const;
    // Fields, types and every row, for a report.
    QString Describe() const;
};

// A table drawn from the decisions: 1..6 fields besides the id (names with accents and
// mixed case), 0..40 records, now and then a few hundred; NULLs at any place, the
// first and the last record included; texts with accents, "ç", "%", "_", quotes, mixed
// case and numbers as text.
TableShape RandomTable(Entropy& entropy);

// A text value of the same alphabet (for typed searches and patterns).
QString RandomText(Entropy& entropy, int maxPieces);

// The table as an open client dataset (fast paths on), records in shape order.
std::unique_ptr<host::ClientDataset> MakeClientDataset(const TableShape& shape);

// The record numbers of a dataset's view, in view order, read from the id field.
std::vector<qint64> ViewIds(const host::ClientDataset& dataset, const TableShape& shape);

} // namespace differential
