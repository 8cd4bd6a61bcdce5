// The search itself: each character, Backspace and Delete rewrite the dataset's filter.
#include "form/guarded.h"
#include "form/search_condition.h"
#include "form/search_text.h"
#include "form/tfrm_pesquisa.h"
#include "ui_TfrmPesquisa.h"

#include <touchsearch/application.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset.h>
#include <touchsearch/disabled_controls.h>
#include <touchsearch/filter_text.h>

QString TfrmPesquisa::BuildSearchFilter(const QString& text) const
{
    const QString connector =
        pesquisa::Condicao(!FFiltroBase.isEmpty(), QStringLiteral(" AND "), QString());
    const QString base = pesquisa::JoinableBase(FFiltroBase);
    const QString pattern = pesquisa::AsciiUpper(text);
    if (m_searchOptions.Any()) {
        const QString condition = pesquisa::SearchCondition(
            pattern, SearchColumns(), ClientDataSet() != nullptr, m_searchOptions.words);
        // Words left out, none is left: as for an empty text.
        return condition.isEmpty() ? FFiltroBase : base + connector + condition;
    }
    // No escaping: a "%" or "_" typed acts as a pattern character. A field name that
    // is not a plain word goes in double quotes ("NM CLIENTE"); a plain one as it is.
    if (const host::ClientDataset* client = ClientDataSet()) {
        return base + connector + QStringLiteral("UPPER(") +
               host::FieldNameInFilter(client->GetIndexName()) + QStringLiteral(") LIKE '") +
               pattern + QStringLiteral("%'");
    }
    return base + connector + host::FieldNameInFilter(FCampoPesquisa) + QStringLiteral(" LIKE '") +
           pattern + QStringLiteral("%'");
}

void TfrmPesquisa::ApplyFilter(const QString& expression)
{
    host::Dataset& dataSet = RequireDataSet();
    // The switch goes off and on again in between: the grid shows only the outcome.
    host::WithControlsDisabled(dataSet, [&] {
        dataSet.SetFilter(expression);
        dataSet.SetFiltered(false);
        if (!dataSet.GetFilter().isEmpty()) {
            dataSet.SetFiltered(true);
        }
    });
}

void TfrmPesquisa::FormKeyPress(QObject* /*Sender*/, char& Key)
{
    if (SearchText().size() < FTamanhoMaximo && pesquisa::IsAllowedSearchChar(Key)) {
        const pesquisa::CasedKey cased = pesquisa::CaseForKey(Key, FCapsLock, FShift);
        if (cased.releaseShift) {
            sbtShiftClick();
        }
        SetSearchText(SearchText() + pesquisa::CharFromByte(cased.key));
        try {
            ApplySearch(SearchText());
            FServidorAusente = false;
        } catch (const std::exception& error) {
            // The text keeps the new character; the dataset keeps what the failed call left.
            // A server out of reach is told once, not at every key.
            const QString message = QString::fromUtf8(error.what());
            const bool unreachable = message.contains(QLatin1String("cannot be reached"));
            if (!(unreachable && FServidorAusente)) {
                host::Application::Instance().ShowMessage(message);
            }
            FServidorAusente = unreachable;
        }
    }
    EnableEnter();
}

void TfrmPesquisa::Backspace()
{
    QString text = SearchText();
    text.chop(1);
    SetSearchText(text);
    ApplySearch(text);
}

void TfrmPesquisa::Clear()
{
    SetSearchText(QString());
    ApplyFilter(FFiltroBase);
    ShowMatches(QString());
}

void TfrmPesquisa::sbtFiltroClick()
{
    // Search anywhere in the field from the next character on; the filter in force
    // stays until then.
    SetSearchText(QStringLiteral("%"));
}
