// What the search matched, marked in the grid's cells when the host set search options.
#include "form/search_text.h"
#include "form/tfrm_pesquisa.h"
#include "host/grid/db_grid.h"
#include "ui_TfrmPesquisa.h"

#include <touchsearch/dataset.h>
#include <touchsearch/filter_text.h>

void TfrmPesquisa::ShowMatches(const QString& text)
{
    if (!m_searchOptions.Any()) {
        return; // without options the grid paints exactly as it always has
    }
    const QString upper = pesquisa::AsciiUpper(text);
    const bool anywhere = upper.startsWith(QLatin1Char('%'));
    const QString searched = anywhere ? upper.mid(1) : upper;
    QStringList pieces;
    host::MatchPlace place = anywhere ? host::MatchPlace::Anywhere : host::MatchPlace::Start;
    if (m_searchOptions.words) {
        pieces = searched.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!anywhere) {
            place = host::MatchPlace::WordStarts;
        }
    } else if (!searched.isEmpty()) {
        pieces = QStringList{searched};
    }
    if (pieces.isEmpty()) {
        ui->dbgPesquisa->SetCellMarker({});
        return;
    }
    const QStringList fields = SearchColumns();
    // A client dataset's search reads UPPER(field); other datasets compare as they
    // are told by their options.
    const bool upperValue = ClientDataSet() != nullptr;
    const host::FilterOptions options = RequireDataSet().GetFilterOptions();
    ui->dbgPesquisa->SetCellMarker([=](const QString& field, const QString& value) {
        if (!fields.contains(field, Qt::CaseInsensitive)) {
            return QList<host::TextSpan>{};
        }
        return host::SearchMatches(value, pieces, place, options, upperValue);
    });
}
