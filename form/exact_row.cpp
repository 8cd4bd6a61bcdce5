// The exact value first: the row the cursor goes to after a search.
#include "form/search_condition.h"
#include "form/search_text.h"
#include "form/tfrm_pesquisa.h"

#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset.h>
#include <touchsearch/sql_dataset.h>
#include <vector>

// The first view row, in view order, where pesquisa::ExactCondition(value,
// SearchColumns(), client) holds. A client dataset answers from its orders
// (FirstRowWhere). On a live dataset the rows already fetched are read one by one and
// their text compared (case as the filter compares it; accents are not set aside), so
// that a key never waits on the server for more.
int TfrmPesquisa::FirstExactRow(const QString& text) const
{
    const QString value = pesquisa::ExactValue(text);
    if (value.isEmpty()) {
        return -1;
    }
    const host::Dataset& dataSet = RequireDataSet();
    if (const host::ClientDataset* own = ClientDataSet()) {
        // Found through the dataset's orders, under its filter options.
        return own->FirstRowWhere(pesquisa::ExactCondition(value, SearchColumns(), true));
    }
    const bool client = false;
    const bool live = qobject_cast<const host::SqlDataset*>(&dataSet) != nullptr;
    if (!client && !live) {
        return -1;
    }
    // UPPER(F) LIKE 'X' on a client dataset; F LIKE 'X' on a live one, where only the
    // case-insensitive option folds the case.
    const bool fold =
        client || dataSet.GetFilterOptions().testFlag(host::FilterOption::CaseInsensitive);
    std::vector<int> fields;
    for (const QString& name : SearchColumns()) {
        fields.push_back(dataSet.FieldByName(name)->GetIndex());
    }
    const int rows = live ? dataSet.FetchedRowCount() : dataSet.RecordCount();
    for (int row = 0; row < rows; ++row) {
        for (const int field : fields) {
            const QString shown = dataSet.DisplayText(row, field);
            if ((fold ? pesquisa::AsciiUpper(shown) : shown) == value) {
                return row;
            }
        }
    }
    return -1;
}
