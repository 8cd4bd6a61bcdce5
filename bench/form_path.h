#pragma once

#include <QString>
#include <memory>
#include <vector>

namespace host {
class Dataset;
}
class TfrmPesquisa;

namespace bench {

// Drives the real search form offscreen the way a keystroke does: a character
// into FormKeyPress or a key code into FormKeyDown, then the grid's row count and
// the first screen of rows read back through its model.
class FormPath {
public:
    FormPath(host::Dataset& dataset, const QString& baseFilter);
    ~FormPath();
    FormPath(const FormPath&) = delete;
    FormPath& operator=(const FormPath&) = delete;

    double OpenMs() const { return m_openMs; }
    double Type(char character);
    double KeyDown(int virtualKey);
    double Percent();
    int RowCount() const;
    QString Filter() const;
    const QString& BaseFilter() const { return m_baseFilter; }
    // The text in the form's search box.
    QString SearchText() const;

private:
    double ReadScreen();

    host::Dataset& m_dataset;
    QString m_baseFilter;
    std::unique_ptr<TfrmPesquisa> m_form;
    double m_openMs = 0.0;
};

} // namespace bench
