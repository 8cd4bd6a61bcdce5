#pragma once

#include "form/search_options.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <memory>

namespace host {
class Dataset;
class ClientDataset;
class DataSource;
class DbGrid;
class GridColumn;
class TMessages;
class TBlendedBitBtn;
} // namespace host

class QTimer;
class QEvent;
class QObject;
class QKeyEvent;
class QCloseEvent;
class QResizeEvent;

namespace Ui {
class TfrmPesquisa;
}

// The search window: a borderless 800x600 dialog with a read-only search box, the
// record grid, cursor buttons and an on-screen keyboard. Its layout lives in
// TfrmPesquisa.ui; its behaviour is the set of handlers below, bound by name.
// The dialog ends only through confirm (sbtEnterClick) and cancel (sbtSairClick).
class TfrmPesquisa : public QDialog {
    Q_OBJECT

public:
    explicit TfrmPesquisa(QWidget* parent = nullptr);
    ~TfrmPesquisa() override;

    // Takes the entry's arguments and brings the form to the state the user meets.
    void InicializaForm(host::Dataset* DataSet, const QString& TextoAuxiliar,
                        const QString& LimpaFiltro, qint32 Valor1, qint32 Valor2, qint32 Valor3,
                        qint32 Valor4, bool SemMenuFiscal);

    // Binds the dataset, rebuilds a client dataset's indexes and picks the search column.
    void PreparaPesquisa(host::Dataset* DataSet);

    // Relabels the letter keys and the cedilla key for the next letter's case.
    void RelabelLetterKeys(bool Maiusculas);

    // Sends each byte to the form itself, as characters or as key codes.
    void PostText(const QByteArray& Texto, bool ComEnter, bool ComoCaractere);

    // Key handlers: Windows virtual-key codes; a handler may set Key to 0. Key press
    // characters are Windows-1252 bytes.
    void FormKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void FormKeyPress(QObject* Sender, char& Key);

    // The search text composition.
    QString BuildSearchFilter(const QString& text) const;
    void ApplyFilter(const QString& expression);

    // One second's pause, then every pending mouse, wheel and touch event is dropped.
    static void EmptyMouseQueue();

    // State, read by the entry, the demo host and tests.
    bool Confirmou() const { return FConfirmou; }
    bool CapsLock() const { return FCapsLock; }
    bool ShiftLatched() const { return FShift; }
    const QString& CampoPesquisa() const { return FCampoPesquisa; }
    const QString& FiltroBase() const { return FFiltroBase; }
    qint32 TamanhoMaximo() const { return FTamanhoMaximo; }
    const QString& TextoAuxiliar() const { return FTextoAuxiliar; }
    const QString& LimpaFiltro() const { return FLimpaFiltro; }
    qint32 ColunaAtual() const { return FColunaAtual; }
    bool UtilizaImpFis() const { return FUtilizaImpFis; }
    bool HostZyl() const { return FHostZyl; }
    bool SemMenuFiscal() const { return FSemMenuFiscal; }
    QString SearchText() const;
    host::Dataset* DataSet() const;
    // The host's search options as this dialog read them, the searched fields
    // spelled as the dataset spells them.
    const pesquisa::SearchOptions& SearchOptions() const { return m_searchOptions; }
    // The fields a search looks in: the search column first, then the searched
    // fields other than it.
    QStringList SearchColumns() const;
    // The same with the search column named `first`.
    QStringList SearchColumns(const QString& first) const;
    // Orders a client dataset by the index named, and builds ahead what a search over
    // several fields will read.
    void OrderAndPrepareReach(host::ClientDataset& client, const QString& indexName);
    // A live dataset's server plans the first keystroke of each kind now.
    void PlanSearchAhead();

    // Component lookup by name, without regard to case ("sbtA" finds sbta).
    QObject* FindComponent(const QString& name) const;

public Q_SLOTS:
    void FormCreate();
    void FormClose();

    void sbtEnterClick();
    void sbtSairClick();
    void sbtShiftClick();
    void spdCapsLockClick();
    void sbtFiltroClick();
    void sbt1Click();
    void sbtCCdilClick();
    void sbtLimparClick();
    void spdBackSpaceClick();
    void sbtPrimeiroClick();
    void sbtRolarCimaClick();
    void sbtRolaBaixoClick();
    void sbtUltimoClick();
    void sbtVoltarClick();
    void sbtAvancarClick();

    void dbgPesquisaDblClick();
    void dbgPesquisaTitleClick(host::GridColumn* Column);
    void dbgPesquisaKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void edtFiltroKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

public Q_SLOTS:
    // QDialog's own ways of ending (Esc, Enter, accept/reject calls) are out of play.
    void reject() override;
    void accept() override;

private:
    // The footer's note that a live dataset searches its local copy, and of when.
    void ShowDataSource();
    void EnableEnter();
    void Backspace();
    void Clear();
    void FocusColumn(int column);
    void SetSearchText(const QString& text);
    void ReadParameterFile();
    // Reads the module's search options; raises for a searched field the dataset
    // does not have or hides.
    void ReadSearchOptions(const host::Dataset& DataSet);
    // The longest text that may be typed for a search column of this size.
    qint32 SearchLimit(qint32 columnSize) const;
    // Applies the search for the text (the base filter for an empty text) and, with
    // the exact value first, moves to the first record equal to it.
    void ApplySearch(const QString& text);
    // The first view row whose search columns hold exactly the text; -1 for none.
    int FirstExactRow(const QString& text) const;
    // With search options set, marks in the grid what the search for the text
    // matched in the searched columns; nothing for an empty text.
    void ShowMatches(const QString& text);
    // The object is this window or a widget inside it.
    bool IsInThisWindow(const QObject* object) const;
    // Runs the form's key preview for a physical key; true when the key is swallowed.
    bool PreviewKey(QKeyEvent& event);
    void ApplyFontPixelSizes();
    void RequestClose();
    host::Dataset& RequireDataSet() const;
    host::ClientDataset* ClientDataSet() const;
    host::TBlendedBitBtn* Button(const char* name) const;

    std::unique_ptr<Ui::TfrmPesquisa> ui;

    // Non-visual components of the layout.
    host::DataSource* dtsPesquisa = nullptr;
    host::TMessages* msgPadrao = nullptr;
    host::ClientDataset* cdsParametrosZyl = nullptr;
    QTimer* timDataHora = nullptr;

    // The key press last previewed: the same press travelling on to the ancestors of
    // its receiver (propagation) is not previewed again.
    struct PreviewedKey {
        const QEvent* event = nullptr;
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        QString text;
        QPointer<QWidget> receiver;
    };
    PreviewedKey m_previewed;

    // Set when confirm or cancel asks for the close; any other close request (the
    // window system's) is refused.
    bool m_closeRequested = false;

    // Form state, in declaration order; all zero, false or empty at creation.
    bool FConfirmou = false;
    bool FSemMenuFiscal = false;
    bool FCapsLock = false;
    bool FShift = false;
    QString FCampoPesquisa;
    QString FFiltroBase;
    qint32 FTamanhoMaximo = 0;
    QString FTextoAuxiliar;
    QString FLimpaFiltro;
    qint32 FColunaAtual = 0;
    bool FUtilizaImpFis = false;
    // A "cannot be reached" message showed and no search has worked since: the next
    // keys do not show it again.
    bool FServidorAusente = false;
    bool FHostZyl = false;

    pesquisa::SearchOptions m_searchOptions;
};
