// ClientDataset's files: the engine takes a table, the file formats make and write it.
#include "host/io/dataset_file.h"
#include "host/memory/client_dataset_p.h"

#include <QFileInfo>
#include <touchsearch/client_dataset.h>

namespace host {

void ClientDataset::LoadFromFile(const QString& path)
{
    d->LoadFromTable(io::LoadTable(path), QFileInfo(path).fileName());
}

void ClientDataset::SaveToFile(const QString& path) const
{
    io::SaveTable(d->m_table, path);
}

} // namespace host
