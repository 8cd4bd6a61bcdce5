// How far a search reaches when the host set search options: the searched fields,
// the length limit they allow and the exact value first.
#include "form/search_condition.h"
#include "form/tfrm_pesquisa.h"
#include "host/grid/data_source.h"

#include <algorithm>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>

void TfrmPesquisa::ReadSearchOptions(const host::Dataset& DataSet)
{
    pesquisa::SearchOptions options = pesquisa::ModuleSearchOptions();
    QStringList fields;
    for (const QString& name : options.fields) {
        const host::Field* field = DataSet.FindField(name);
        if (field == nullptr) {
            throw host::DatasetError(
                QStringLiteral("Search fields: the dataset has no field \"%1\"").arg(name));
        }
        // A hidden field has no column: the user could not see what was found.
        if (!field->GetVisible()) {
            throw host::DatasetError(
                QStringLiteral("Search fields: the field \"%1\" is hidden").arg(name));
        }
        fields.append(field->GetName());
    }
    options.fields = fields;
    m_searchOptions = options;
}

void TfrmPesquisa::OrderAndPrepareReach(host::ClientDataset& client, const QString& indexName)
{
    if (m_searchOptions.fields.isEmpty() && !m_searchOptions.words) {
        client.SetIndexName(indexName);
        return;
    }
    // What the first keystroke over several fields reads is built now, with the window
    // opening, rather than by that keystroke.
    client.SetIndexNameAndPrepareSearch(indexName, SearchColumns(indexName), m_searchOptions.words);
}

void TfrmPesquisa::PlanSearchAhead()
{
    auto* live = qobject_cast<host::SqlDataset*>(dtsPesquisa->GetDataSet());
    if (live == nullptr) {
        return;
    }
    QStringList filters;
    for (const QString& text : pesquisa::TextsAhead()) {
        filters << BuildSearchFilter(text);
    }
    try {
        live->PlanAhead(filters);
    } catch (const std::exception&) {
        // A filter the dataset refuses is told by the keystroke that writes it.
    }
}

QStringList TfrmPesquisa::SearchColumns() const
{
    const host::ClientDataset* client = ClientDataSet();
    // A client dataset's search column is named by its index, as in every search.
    return SearchColumns(client != nullptr ? client->GetIndexName() : FCampoPesquisa);
}

QStringList TfrmPesquisa::SearchColumns(const QString& first) const
{
    QStringList columns{first};
    for (const QString& field : m_searchOptions.fields) {
        if (field.compare(first, Qt::CaseInsensitive) != 0) {
            columns.append(field);
        }
    }
    return columns;
}

qint32 TfrmPesquisa::SearchLimit(qint32 columnSize) const
{
    qint32 limit = columnSize;
    const host::Dataset& dataSet = RequireDataSet();
    for (const QString& name : m_searchOptions.fields) {
        limit = std::max(limit, dataSet.FieldByName(name)->GetSize());
    }
    return limit;
}

void TfrmPesquisa::ApplySearch(const QString& text)
{
    ApplyFilter(text.isEmpty() ? FFiltroBase : BuildSearchFilter(text));
    ShowMatches(text);
    if (!m_searchOptions.exactFirst) {
        return;
    }
    // Once the view is the new one: a live dataset reads it when controls are enabled.
    const int row = FirstExactRow(text);
    if (row >= 0) {
        RequireDataSet().MoveTo(row);
    }
}
