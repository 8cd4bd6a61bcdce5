// The exact value first: the row the cursor goes to after a search.
#include "form/search_condition.h"
#include "form/tfrm_pesquisa.h"

#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset.h>
#include <touchsearch/sql_dataset.h>

// The first view row, in view order, where pesquisa::ExactCondition(value,
// SearchColumns(), client) holds, found by the dataset itself under its filter
// options: a client dataset through its orders and word lists, a live one in two
// indexed statements bounded by its statement time-out. Other datasets have no such
// search: the cursor stays where the filter left it.
int TfrmPesquisa::FirstExactRow(const QString& text) const
{
    const QString value = pesquisa::ExactValue(text);
    if (value.isEmpty()) {
        return -1;
    }
    if (const host::ClientDataset* client = ClientDataSet()) {
        return client->FirstRowWhere(pesquisa::ExactCondition(value, SearchColumns(), true));
    }
    if (const auto* live = qobject_cast<const host::SqlDataset*>(DataSet())) {
        return live->FirstRowWhere(pesquisa::ExactCondition(value, SearchColumns(), false));
    }
    return -1;
}
