#pragma once

#include <QLineEdit>

namespace host {

// The search box class: a line edit whose key handler takes virtual-key codes.
class Edit : public QLineEdit {
    Q_OBJECT

public:
    explicit Edit(QWidget* parent = nullptr);

Q_SIGNALS:
    // Every key press, as a virtual-key code, before the edit handles it. A handler
    // that sets key to 0 swallows the key.
    void OnKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace host
