#include <QDate>
#include <cmath>
#include <exception>
#include <memory>
#include <touchsearch/dataset.h>
#include <touchsearch/dataset_error.h>
#include <utility>
#include <vector>

namespace host {

class DatasetPrivate {
public:
    std::vector<std::unique_ptr<Field>> m_fields;
    int m_controlsDisabled = 0;
    bool m_viewResetHeld = false;
    bool m_cursorMoveHeld = false;
    FilterOptions m_filterOptions;
};

DatasetError::~DatasetError() = default;

Dataset::Dataset(QObject* parent) : QObject(parent), d(std::make_unique<DatasetPrivate>()) {}

Dataset::~Dataset() = default;

int Dataset::GetFieldCount() const
{
    return static_cast<int>(d->m_fields.size());
}

void Dataset::DisableControls()
{
    ++d->m_controlsDisabled;
}

bool Dataset::ControlsDisabled() const
{
    return d->m_controlsDisabled > 0;
}

Field* Dataset::GetField(int index) const
{
    if (index < 0 || index >= GetFieldCount()) {
        throw DatasetError(QStringLiteral("Field index %1 out of range (the dataset has %2 fields)")
                               .arg(index)
                               .arg(GetFieldCount()));
    }
    return d->m_fields[static_cast<size_t>(index)].get();
}

Field* Dataset::FindField(const QString& name) const
{
    for (const auto& field : d->m_fields) {
        if (field->GetName().compare(name, Qt::CaseInsensitive) == 0) {
            return field.get();
        }
    }
    return nullptr;
}

Field* Dataset::FieldByName(const QString& name) const
{
    if (Field* field = FindField(name)) {
        return field;
    }
    throw DatasetError(QStringLiteral("Field \"%1\" not found").arg(name));
}

QString Dataset::DisplayText(int row, int field) const
{
    const QVariant value = Value(row, field);
    if (!value.isValid() || value.isNull()) {
        return {};
    }
    switch (GetField(field)->GetType()) {
    case FieldType::Boolean:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Float: {
        // NaN and the infinities as a database writes them, not "nan" or "inf".
        const double number = value.toDouble();
        if (std::isnan(number)) {
            return QStringLiteral("NaN");
        }
        if (std::isinf(number)) {
            return number > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
        }
        return QString::number(number, 'g', 15);
    }
    case FieldType::Date:
        // A date no QDate holds comes as the database's text ("infinity").
        return value.typeId() == QMetaType::QString ? value.toString()
                                                    : value.toDate().toString(Qt::ISODate);
    case FieldType::Integer:
    case FieldType::Text:
        break;
    }
    return value.toString();
}

void Dataset::EnableControls()
{
    if (d->m_controlsDisabled == 0 || --d->m_controlsDisabled > 0) {
        return;
    }
    // Work held back while controls were disabled runs now; the grid hears of the
    // outcome even when it failed, and then the failure goes on to the caller.
    std::exception_ptr failure;
    try {
        ApplyHeldChanges();
    } catch (...) {
        failure = std::current_exception();
    }
    const bool viewReset = std::exchange(d->m_viewResetHeld, false);
    const bool cursorMoved = std::exchange(d->m_cursorMoveHeld, false);
    if (viewReset) {
        Q_EMIT this->viewReset();
    }
    if (viewReset || cursorMoved) {
        Q_EMIT this->cursorMoved(RecNo());
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void Dataset::NotifyViewReset()
{
    if (ControlsDisabled()) {
        d->m_viewResetHeld = true;
        return;
    }
    Q_EMIT viewReset();
}

void Dataset::NotifyCursorMoved()
{
    if (ControlsDisabled()) {
        d->m_cursorMoveHeld = true;
        return;
    }
    Q_EMIT cursorMoved(RecNo());
}

void Dataset::NotifyRowsFetched()
{
    if (ControlsDisabled()) {
        d->m_viewResetHeld = true; // a held reset covers the new rows too
        return;
    }
    Q_EMIT rowsFetched();
}

Field& Dataset::AddFieldObject(const QString& name, FieldType type, int size)
{
    d->m_fields.push_back(std::make_unique<Field>(*this, GetFieldCount(), name, type, size));
    return *d->m_fields.back();
}

void Dataset::ClearFieldObjects()
{
    d->m_fields.clear();
}

FilterOptions Dataset::GetFilterOptions() const
{
    return d->m_filterOptions;
}

void Dataset::SetFilterOptions(FilterOptions options)
{
    d->m_filterOptions = options;
}

void Dataset::StoreFilterOptions(FilterOptions options)
{
    d->m_filterOptions = options;
}

} // namespace host
