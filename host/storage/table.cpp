#include "host/storage/table.h"

#include "host/text/text_form.h"

#include <QDate>
#include <cmath>
#include <touchsearch/dataset_error.h>

namespace host {

void Table::AddField(const FieldDef& def)
{
    m_fields.push_back(def);
    m_columns.emplace_back(def.type);
}

int Table::FindField(const QString& name) const
{
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void Table::Reserve(std::uint32_t records)
{
    for (Column& column : m_columns) {
        column.Reserve(records);
    }
}

void Table::ShrinkToFit()
{
    for (Column& column : m_columns) {
        column.ShrinkToFit();
    }
}

void Table::AdoptAppendedColumns()
{
    m_count = m_columns.empty() ? 0 : m_columns.front().Count();
    for (const Column& column : m_columns) {
        if (column.Count() != m_count) {
            throw DatasetError(QStringLiteral("Columns of unequal length"));
        }
    }
}

void Table::ClearRecords()
{
    for (size_t f = 0; f < m_fields.size(); ++f) {
        m_columns[f] = Column(m_fields[f].type);
    }
    m_count = 0;
}

int Table::ReportedSize(int field) const
{
    const FieldDef& def = Def(field);
    if (def.type == FieldType::Text && def.size > 0) {
        return def.size;
    }
    return Col(field).LongestText();
}

namespace {

bool ParseBoolean(const QString& text, bool& result)
{
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 || t == QStringLiteral("1") ||
        t.compare(QStringLiteral("t"), Qt::CaseInsensitive) == 0 ||
        t.compare(QStringLiteral("s"), Qt::CaseInsensitive) == 0) {
        result = true;
        return true;
    }
    if (t.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0 || t == QStringLiteral("0") ||
        t.compare(QStringLiteral("f"), Qt::CaseInsensitive) == 0 ||
        t.compare(QStringLiteral("n"), Qt::CaseInsensitive) == 0) {
        result = false;
        return true;
    }
    return false;
}

[[noreturn]] void Reject(const FieldDef& def, const QVariant& value, const QString& where,
                         const char* what)
{
    throw DatasetError(QStringLiteral("Field \"%1\"%2: \"%3\" is not %4")
                           .arg(def.name, where, value.toString(), QLatin1String(what)));
}

} // namespace

CellValue ConvertCell(const FieldDef& def, const QVariant& value, const QString& where)
{
    CellValue cell;
    if (!value.isValid() || value.isNull()) {
        return cell;
    }
    cell.null = false;
    const int typeId = value.typeId();
    const bool isText = typeId == QMetaType::QString || typeId == QMetaType::QByteArray;
    switch (def.type) {
    case FieldType::Text: {
        if (typeId == QMetaType::Bool) {
            cell.text = BooleanText(value.toBool()).data();
        } else if (typeId == QMetaType::Double || typeId == QMetaType::Float) {
            char buffer[kTextFormBuffer];
            cell.text =
                QByteArray(FloatText(value.toDouble(), buffer).data(),
                           static_cast<qsizetype>(FloatText(value.toDouble(), buffer).size()));
        } else if (typeId == QMetaType::QDate) {
            cell.text = value.toDate().toString(Qt::ISODate).toUtf8();
        } else {
            cell.text = value.toString().toUtf8();
        }
        if (def.size > 0 &&
            Utf8Length({cell.text.constData(), static_cast<size_t>(cell.text.size())}) > def.size) {
            throw DatasetError(QStringLiteral("Field \"%1\"%2: \"%3\" is longer than %4 characters")
                                   .arg(def.name, where, value.toString())
                                   .arg(def.size));
        }
        break;
    }
    case FieldType::Integer: {
        bool ok = false;
        if (isText) {
            cell.i = value.toString().trimmed().toLongLong(&ok);
        } else if (typeId == QMetaType::Double || typeId == QMetaType::Float) {
            const double d = value.toDouble();
            ok = std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.2e18;
            cell.i = ok ? static_cast<std::int64_t>(d) : 0;
        } else {
            cell.i = value.toLongLong(&ok);
        }
        if (!ok) {
            Reject(def, value, where, "an integer");
        }
        break;
    }
    case FieldType::Float: {
        bool ok = false;
        cell.d = isText ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
        if (!ok || !std::isfinite(cell.d)) {
            Reject(def, value, where, "a number");
        }
        break;
    }
    case FieldType::Boolean: {
        bool b = false;
        if (isText) {
            if (!ParseBoolean(value.toString(), b)) {
                Reject(def, value, where, "a boolean");
            }
        } else {
            bool ok = false;
            const qlonglong n = value.toLongLong(&ok);
            if (!ok || (n != 0 && n != 1)) {
                if (typeId != QMetaType::Bool) {
                    Reject(def, value, where, "a boolean");
                }
                b = value.toBool();
            } else {
                b = n != 0;
            }
        }
        cell.i = b ? 1 : 0;
        break;
    }
    case FieldType::Date: {
        QDate date;
        if (typeId == QMetaType::QDate) {
            date = value.toDate();
        } else if (typeId == QMetaType::QDateTime) {
            date = value.toDateTime().date();
        } else {
            date = QDate::fromString(value.toString().trimmed().left(10), Qt::ISODate);
        }
        if (!date.isValid()) {
            Reject(def, value, where, "a date (YYYY-MM-DD)");
        }
        cell.i = date.toJulianDay();
        break;
    }
    }
    return cell;
}

void Table::AppendRecord(const QVariantList& values)
{
    if (values.size() != FieldCount()) {
        throw DatasetError(QStringLiteral("Record %1 has %2 values; the dataset has %3 fields")
                               .arg(m_count + 1)
                               .arg(values.size())
                               .arg(FieldCount()));
    }
    // Convert every value first so that a bad one leaves the table unchanged.
    std::vector<CellValue> cells;
    cells.reserve(m_fields.size());
    const QString where = QStringLiteral(" in record %1").arg(m_count + 1);
    for (int f = 0; f < FieldCount(); ++f) {
        cells.push_back(ConvertCell(Def(f), values[f], where));
    }
    for (int f = 0; f < FieldCount(); ++f) {
        const CellValue& cell = cells[static_cast<size_t>(f)];
        Column& column = Col(f);
        if (cell.null) {
            column.AppendNull();
        } else if (Def(f).type == FieldType::Text) {
            column.AppendText({cell.text.constData(), static_cast<size_t>(cell.text.size())});
        } else if (Def(f).type == FieldType::Float) {
            column.AppendFloat(cell.d);
        } else {
            column.AppendInt(cell.i);
        }
    }
    ++m_count;
}

} // namespace host
