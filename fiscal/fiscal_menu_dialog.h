#pragma once

#include <QDialog>

class QLabel;

namespace fiscal {

// The fiscal menu: a few fiscal report buttons and a close button. There is no
// fiscal printer behind it; a report button tells the user so on the status line.
class FiscalMenuDialog : public QDialog {
    Q_OBJECT

public:
    explicit FiscalMenuDialog(QWidget* parent = nullptr);

    QString Status() const;

private:
    void AddReport(const QString& objectName, const QString& caption);

    QLabel* m_status = nullptr;
};

} // namespace fiscal
