// Binding the dataset, a client dataset's indexes and the choice of the search column.
#include "form/guarded.h"
#include "form/search_text.h"
#include "form/tfrm_pesquisa.h"
#include "host/grid/data_source.h"
#include "host/grid/db_grid.h"
#include "host/grid/grid_column.h"
#include "host/maker/maker_routines.h"
#include "ui_TfrmPesquisa.h"

#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>

namespace {

const QColor kTitleSearched = Qt::white;
const QColor kTitlePositional = Qt::black;

// A name column: its field name begins with "NM" (ASCII case rule).
bool IsNameColumn(const QString& fieldName)
{
    return pesquisa::AsciiUpper(fieldName.left(2)) == QLatin1String("NM");
}

host::Field& FieldOf(const host::GridColumn& column)
{
    host::Field* field = column.GetField();
    if (field == nullptr) {
        throw host::DatasetError(
            QStringLiteral("The grid column %1 shows the field \"%2\", which the dataset does "
                           "not have.")
                .arg(column.GetIndex())
                .arg(column.GetFieldName()));
    }
    return *field;
}

} // namespace

void TfrmPesquisa::PreparaPesquisa(host::Dataset* DataSet)
{
    if (DataSet == nullptr) {
        throw host::DatasetError(QStringLiteral("The search needs a dataset; none was given."));
    }
    if (FLimpaFiltro == QLatin1String("S")) {
        DataSet->SetFilter(QString());
    }

    if (auto* live = qobject_cast<host::SqlDataset*>(DataSet)) {
        // A dialog after one on the local copy is live again when a server answers.
        live->TryServerAgain();
        connect(live, &host::SqlDataset::sourceChanged, this, [this] { ShowDataSource(); });
    }
    dtsPesquisa->SetDataSet(DataSet);
    ShowDataSource();
    host::DbGrid* grid = ui->dbgPesquisa;

    // One index per visible field, in field order: the same order as the grid's columns.
    auto* client = dynamic_cast<host::ClientDataset*>(DataSet);
    if (client != nullptr) {
        host::IndexDefs& indexes = client->GetIndexDefs();
        while (indexes.GetCount() > 0) {
            indexes.Delete(0);
        }
        for (int i = 0; i < client->GetFieldCount(); ++i) {
            const host::Field* field = client->GetField(i);
            if (field->GetVisible()) {
                indexes.Add(field->GetName(), field->GetName());
            }
        }
    }

    FFiltroBase = DataSet->GetFilter();

    int k = 0;
    try {
        FCampoPesquisa.clear();
        for (int i = 0; i < grid->GetColumnCount(); ++i) {
            host::GridColumn* column = grid->GetColumn(i);
            if (IsNameColumn(column->GetFieldName())) {
                FCampoPesquisa = column->GetFieldName();
                column->GetFont().SetColor(kTitleSearched);
                k = i;
                break;
            }
        }
        if (host::EmptyString(FCampoPesquisa)) {
            const int count = grid->GetColumnCount();
            k = count == 1 ? 0 : count == 2 ? 1 : 2;
            // With no column at all this raises, and k falls back to 0.
            host::GridColumn* column = grid->GetColumn(k);
            FCampoPesquisa = column->GetFieldName();
            column->GetFont().SetColor(kTitlePositional);
        }
    } catch (const std::exception&) {
        k = 0;
    }

    try {
        FTamanhoMaximo = SearchLimit(FieldOf(*grid->GetColumn(k)).GetSize());
    } catch (const std::exception&) {
        // The limit keeps its value: 0 in a new form, so nothing can be typed.
    }

    // Without a column nothing could be typed, and Enter would confirm a record the
    // user never saw: the search ends here, whatever the kind of dataset.
    if (grid->GetColumnCount() == 0) {
        throw host::DatasetError(
            QStringLiteral("The dataset has no visible field: there is no column to search on."));
    }
    if (client != nullptr) {
        const host::IndexDefs& indexes = client->GetIndexDefs();
        if (k >= indexes.GetCount()) {
            throw host::DatasetError(
                QStringLiteral("The dataset has no index at position %1 for the search column.")
                    .arg(k));
        }
        OrderAndPrepareReach(*client, indexes.GetIndexDef(k).GetName());
    }

    DataSet->First();
    PlanSearchAhead();
}

void TfrmPesquisa::dbgPesquisaTitleClick(host::GridColumn* Column)
{
    pesquisa::Guarded([this, Column] {
        EmptyMouseQueue();
        if (Column == nullptr) {
            return;
        }
        host::DbGrid* grid = ui->dbgPesquisa;
        for (int i = 0; i < grid->GetColumnCount(); ++i) {
            grid->GetColumn(i)->GetFont().SetColor(kTitleSearched);
        }
        Column->GetFont().SetColor(kTitlePositional);
        FCampoPesquisa = Column->GetFieldName();
        FTamanhoMaximo = SearchLimit(FieldOf(*Column).GetSize());
        if (host::ClientDataset* client = ClientDataSet()) {
            OrderAndPrepareReach(*client, Column->GetFieldName());
        }
        PlanSearchAhead();
    });
}

void TfrmPesquisa::ShowDataSource()
{
    const auto* live = qobject_cast<const host::SqlDataset*>(dtsPesquisa->GetDataSet());
    const bool onCopy = live != nullptr && live->IsOnLocalCopy();
    ui->lblCopiaLocal->setVisible(onCopy);
    if (onCopy) {
        ui->lblCopiaLocal->setText(
            QStringLiteral("No server answers: searching the local copy of %1")
                .arg(live->LocalCopyTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    }
}
