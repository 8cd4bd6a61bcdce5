#include "form/search_options.h"
#include "form/tfrm_pesquisa.h"

#include <QApplication>
#include <QPointer>
#include <QThread>
#include <touchsearch/dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/pesquisa.h>
#include <touchsearch/windows1252.h>

TfrmPesquisa* frmPesquisa = nullptr;

namespace {

// Refuses what cannot be searched before any window appears.
void CheckCall(host::Dataset* DataSet)
{
    if (frmPesquisa != nullptr) {
        throw host::DatasetError(QStringLiteral(
            "Pesquisa: a search dialog is already running; only one search at a time"));
    }
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        throw host::DatasetError(
            QStringLiteral("Pesquisa: the host has no QApplication; create one before the search"));
    }
    if (QThread::currentThread() != app->thread()) {
        throw host::DatasetError(
            QStringLiteral("Pesquisa: called outside the user-interface thread"));
    }
    if (DataSet == nullptr) {
        throw host::DatasetError(
            QStringLiteral("Pesquisa: no dataset was given (DataSet is null)"));
    }
    if (!DataSet->IsActive()) {
        const QString name = DataSet->objectName();
        throw host::DatasetError(
            name.isEmpty()
                ? QStringLiteral("Pesquisa: the dataset is closed; open it before the search")
                : QStringLiteral(
                      "Pesquisa: the dataset \"%1\" is closed; open it before the search")
                      .arg(name));
    }
}

// Destroys the dialog's form and empties the slot however the call ends.
class FormSlot {
public:
    FormSlot() = default;
    FormSlot(const FormSlot&) = delete;
    FormSlot& operator=(const FormSlot&) = delete;
    ~FormSlot()
    {
        // The guard is empty when something else already destroyed the form.
        delete m_form.data();
        frmPesquisa = nullptr;
    }

    TfrmPesquisa* Create()
    {
        m_form = new TfrmPesquisa(nullptr);
        frmPesquisa = m_form;
        return m_form;
    }
    bool Alive() const { return !m_form.isNull(); }

private:
    QPointer<TfrmPesquisa> m_form;
};

} // namespace

extern "C" bool Pesquisa(host::Dataset* DataSet, const char* TextoAuxiliar, const char* LimpaFiltro,
                         int32_t Valor1, int32_t Valor2, int32_t Valor3, int32_t Valor4,
                         bool SemMenuFiscal)
{
    CheckCall(DataSet);
    const QString textoAuxiliar = pesquisa::FromWindows1252(TextoAuxiliar);
    const QString limpaFiltro = pesquisa::FromWindows1252(LimpaFiltro);

    FormSlot slot;
    TfrmPesquisa* form = slot.Create();
    form->InicializaForm(DataSet, textoAuxiliar, limpaFiltro, Valor1, Valor2, Valor3, Valor4,
                         SemMenuFiscal);
    form->exec();
    // A form destroyed behind the dialog's back confirmed nothing.
    return slot.Alive() && form->Confirmou();
}

extern "C" void PesquisaSearchOptions(const char* SearchFields, std::uint32_t Options)
{
    pesquisa::ModuleSearchOptions() =
        pesquisa::ParseSearchOptions(pesquisa::FromWindows1252(SearchFields), Options);
}

namespace pesquisa {
// Same address as the C name: an alias, not a wrapper.
__attribute__((alias("Pesquisa"))) bool Pesquisa(host::Dataset* DataSet, const char* TextoAuxiliar,
                                                 const char* LimpaFiltro, int32_t Valor1,
                                                 int32_t Valor2, int32_t Valor3, int32_t Valor4,
                                                 bool SemMenuFiscal);

__attribute__((alias("PesquisaSearchOptions"))) void SetSearchOptions(const char* SearchFields,
                                                                      std::uint32_t Options);
} // namespace pesquisa
