// ClientDataset's copy of a database table: the provider reads the rows, the engine
// takes them.
#include "host/memory/client_dataset_p.h"
#include "host/sql/database_url.h"
#include "host/sql/sql_provider.h"

#include <touchsearch/client_dataset.h>

namespace host {

void ClientDataset::LoadFromDatabase(const QString& url, const QString& tableOrQuery)
{
    Table table = sql::ReadSqlTable(url, tableOrQuery);
    d->LoadFromTable(std::move(table), UrlWithoutPassword(url));
}

} // namespace host
