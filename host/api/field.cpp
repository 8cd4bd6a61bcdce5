#include <touchsearch/dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/field.h>
#include <utility>

namespace host {

class FieldPrivate {
public:
    Dataset* m_dataset;
    int m_index;
    QString m_name;
    FieldType m_type;
    int m_size;
    bool m_visible = true;
};

Field::Field(Dataset& dataset, int index, QString name, FieldType type, int size)
    : d(new FieldPrivate{&dataset, index, std::move(name), type, size})
{
}

Field::~Field() = default;

Dataset& Field::GetDataSet() const
{
    return *d->m_dataset;
}

int Field::GetIndex() const
{
    return d->m_index;
}

const QString& Field::GetName() const
{
    return d->m_name;
}

FieldType Field::GetType() const
{
    return d->m_type;
}

int Field::GetSize() const
{
    return d->m_size;
}

void Field::SetSize(int size)
{
    d->m_size = size;
}

bool Field::GetVisible() const
{
    return d->m_visible;
}

void Field::SetVisible(bool visible)
{
    if (d->m_visible == visible) {
        return;
    }
    d->m_visible = visible;
    Q_EMIT d->m_dataset->fieldsChanged();
}

QVariant Field::Value() const
{
    const int row = d->m_dataset->RecNo();
    if (!d->m_dataset->IsActive() || row < 0) {
        throw DatasetError(
            QStringLiteral("Field \"%1\": the dataset has no current record").arg(d->m_name));
    }
    return d->m_dataset->Value(row, d->m_index);
}

bool Field::IsNull() const
{
    const QVariant value = Value();
    return !value.isValid() || value.isNull();
}

QString Field::AsString() const
{
    const int row = d->m_dataset->RecNo();
    if (!d->m_dataset->IsActive() || row < 0) {
        throw DatasetError(
            QStringLiteral("Field \"%1\": the dataset has no current record").arg(d->m_name));
    }
    return d->m_dataset->DisplayText(row, d->m_index);
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
            QStringLiteral("Field \"%1\": \"%2\" is not a boolean value").arg(d->m_name, text));
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
                               .arg(d->m_name, value.toString()));
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
        throw DatasetError(QStringLiteral("Field \"%1\": \"%2\" is not a number")
                               .arg(d->m_name, value.toString()));
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
    Q_EMIT d->m_dataset->focusFieldRequested(this);
}

} // namespace host
