#include "host/dataset/field.h"

#include "host/dataset/dataset.h"
#include "host/dataset/dataset_error.h"

#include <utility>

namespace host {

Field::Field(Dataset& dataset, int index, QString name, FieldType type, int size)
    : m_dataset(&dataset), m_index(index), m_name(std::move(name)), m_type(type), m_size(size)
{
}

void Field::SetVisible(bool visible)
{
    if (m_visible == visible) {
        return;
    }
    m_visible = visible;
    Q_EMIT m_dataset->fieldsChanged();
}

QVariant Field::Value() const
{
    const int row = m_dataset->RecNo();
    if (!m_dataset->IsActive() || row < 0) {
        throw DatasetError(
            QStringLiteral("Field \"%1\": the dataset has no current record").arg(m_name));
    }
    return m_dataset->Value(row, m_index);
}

bool Field::IsNull() const
{
    const QVariant value = Value();
    return !value.isValid() || value.isNull();
}

QString Field::AsString() const
{
    const int row = m_dataset->RecNo();
    if (!m_dataset->IsActive() || row < 0) {
        throw DatasetError(
            QStringLiteral("Field \"%1\": the dataset has no current record").arg(m_name));
    }
    return m_dataset->DisplayText(row, m_index);
}

bool Field::AsBoolean() const
{
    const QVariant value = Value();
    if (!value.isValid() || value.isNull()) {
        return false;
    }
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 ||
            text == QStringLiteral("1") ||
            text.compare(QStringLiteral("T"), Qt::CaseInsensitive) == 0 ||
            text.compare(QStringLiteral("S"), Qt::CaseInsensitive) == 0) {
            return true;
        }
        if (text.isEmpty() || text.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0 ||
            text == QStringLiteral("0") ||
            text.compare(QStringLiteral("F"), Qt::CaseInsensitive) == 0 ||
            text.compare(QStringLiteral("N"), Qt::CaseInsensitive) == 0) {
            return false;
        }
        throw DatasetError(
            QStringLiteral("Field \"%1\": \"%2\" is not a boolean value").arg(m_name, text));
    }
    return value.toBool();
}

qint64 Field::AsInteger() const
{
    const QVariant value = Value();
    if (!value.isValid() || value.isNull()) {
        return 0;
    }
    bool ok = false;
    const qint64 result = value.toLongLong(&ok);
    if (!ok) {
        throw DatasetError(QStringLiteral("Field \"%1\": \"%2\" is not an integer value")
                               .arg(m_name, value.toString()));
    }
    return result;
}

double Field::AsFloat() const
{
    const QVariant value = Value();
    if (!value.isValid() || value.isNull()) {
        return 0.0;
    }
    bool ok = false;
    const double result = value.toDouble(&ok);
    if (!ok) {
        throw DatasetError(
            QStringLiteral("Field \"%1\": \"%2\" is not a number").arg(m_name, value.toString()));
    }
    return result;
}

QDate Field::AsDate() const
{
    const QVariant value = Value();
    if (!value.isValid() || value.isNull()) {
        return {};
    }
    return value.toDate();
}

void Field::FocusControl()
{
    Q_EMIT m_dataset->focusFieldRequested(this);
}

} // namespace host
