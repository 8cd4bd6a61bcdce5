#include "demo/zyl/outcome.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTime>
#include <cmath>

namespace zyl {

namespace {

// One JSON value in compact form (QJsonDocument holds only arrays and objects).
QByteArray Serialise(const QJsonValue& value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

void AppendMember(QByteArray& out, const QString& key, const QByteArray& value)
{
    if (out.size() > 1) {
        out.append(',');
    }
    out.append(Serialise(QJsonValue(key)));
    out.append(':');
    out.append(value);
}

} // namespace

QJsonValue JsonValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        return QJsonValue(QJsonValue::Null);
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QJsonValue(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QJsonValue(static_cast<double>(value.toULongLong()));
    case QMetaType::Float:
    case QMetaType::Double: {
        const double number = value.toDouble();
        // JSON has no NaN nor infinity: their text, as the grid shows them (never null,
        // which is NULL's).
        if (std::isnan(number)) {
            return QStringLiteral("NaN");
        }
        if (std::isinf(number)) {
            return number > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
        }
        return QJsonValue(number);
    }
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return value.toTime().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODate);
    default:
        return value.toString();
    }
}

QByteArray OutcomeJson(const Outcome& outcome)
{
    QByteArray out("{");
    AppendMember(out, QStringLiteral("confirmed"), Serialise(outcome.confirmed));
    AppendMember(out, QStringLiteral("search"), Serialise(outcome.search));
    AppendMember(out, QStringLiteral("filter"), Serialise(outcome.filter));
    AppendMember(out, QStringLiteral("filtered"), Serialise(outcome.filtered));
    AppendMember(out, QStringLiteral("indexName"), Serialise(outcome.indexName));
    AppendMember(out, QStringLiteral("count"), Serialise(outcome.count));
    if (outcome.record) {
        QByteArray record("{");
        for (const auto& [name, value] : *outcome.record) {
            AppendMember(record, name, Serialise(JsonValue(value)));
        }
        record.append('}');
        AppendMember(out, QStringLiteral("record"), record);
    } else {
        AppendMember(out, QStringLiteral("record"), QByteArrayLiteral("null"));
    }
    out.append('}');
    return out;
}

} // namespace zyl
