// ClientDataset's cursor: api::Cursor walks the view; the dataset tells it how.
#include "host/memory/client_dataset_p.h"

#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>

namespace host {

void ClientDataset::Private::Settle()
{
    EnsureView();
}

void ClientDataset::Private::RequireRow(int row)
{
    CheckRow(row);
}

void ClientDataset::Private::CursorMoved()
{
    m_owner.NotifyCursorMoved();
}

void ClientDataset::First()
{
    d->m_cursor.First();
}

void ClientDataset::Prior()
{
    d->m_cursor.Prior();
}

void ClientDataset::Next()
{
    d->m_cursor.Next();
}

void ClientDataset::Last()
{
    d->m_cursor.Last();
}

void ClientDataset::MoveTo(int row)
{
    d->m_cursor.MoveTo(row);
}

int ClientDataset::RecNo() const
{
    return d->m_cursor.RecNo();
}

bool ClientDataset::Bof() const
{
    return d->m_cursor.Bof();
}

bool ClientDataset::Eof() const
{
    return d->m_cursor.Eof();
}

void ClientDataset::Private::CheckRow(int row) const
{
    if (!m_active) {
        throw DatasetError(QStringLiteral("The dataset is not open"));
    }
    EnsureView();
    if (row < 0 || row >= static_cast<int>(m_view.Size())) {
        throw DatasetError(QStringLiteral("Row %1 out of range (the view has %2 records)")
                               .arg(row)
                               .arg(m_view.Size()));
    }
}

} // namespace host
