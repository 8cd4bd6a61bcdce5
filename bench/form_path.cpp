#include "bench/form_path.h"

#include "bench/timing.h"
#include "form/tfrm_pesquisa.h"
#include "host/grid/db_grid.h"

#include <QAbstractItemModel>
#include <touchsearch/dataset.h>

namespace bench {

namespace {
constexpr int kScreenRows = 12;
}

FormPath::FormPath(host::Dataset& dataset, const QString& baseFilter)
    : m_dataset(dataset), m_baseFilter(baseFilter)
{
    m_dataset.SetFilter(baseFilter);
    m_dataset.SetFiltered(!baseFilter.isEmpty());
    m_form = std::make_unique<TfrmPesquisa>();
    m_openMs = TimeMs([&] {
        m_form->InicializaForm(&m_dataset, QString(), QString(), 0, 0, 0, 0, true);
        ReadScreen();
    });
}

FormPath::~FormPath() = default;

double FormPath::ReadScreen()
{
    const auto* grid = m_form->findChild<host::DbGrid*>(QStringLiteral("dbgPesquisa"));
    const QAbstractItemModel* model = grid->model();
    const int rows = model->rowCount();
    const int columns = model->columnCount();
    double sink = 0;
    for (int row = 0; row < std::min(rows, kScreenRows); ++row) {
        for (int column = 0; column < columns; ++column) {
            sink += model->data(model->index(row, column)).toString().size();
        }
    }
    return sink;
}

double FormPath::Type(char character)
{
    return TimeMs([&] {
        char key = character;
        m_form->FormKeyPress(m_form.get(), key);
        ReadScreen();
    });
}

double FormPath::KeyDown(int virtualKey)
{
    return TimeMs([&] {
        int key = virtualKey;
        m_form->FormKeyDown(m_form.get(), key, Qt::NoModifier);
        ReadScreen();
    });
}

double FormPath::Percent()
{
    return TimeMs([&] { m_form->sbtFiltroClick(); });
}

int FormPath::RowCount() const
{
    const auto* grid = m_form->findChild<host::DbGrid*>(QStringLiteral("dbgPesquisa"));
    return grid->model()->rowCount();
}

QString FormPath::Filter() const
{
    return m_dataset.GetFilter();
}

QString FormPath::SearchText() const
{
    return m_form->SearchText();
}

} // namespace bench
