#pragma once

class QWidget;

namespace host {

// The screen the application runs on.
class Screen {
public:
    Screen() = delete;

    // The focused control of the application: Qt's focus widget, or, before the window
    // system has activated a newly shown modal window, that window's focus child;
    // nullptr when none has the focus.
    static QWidget* GetActiveControl();
    // Size of the primary screen in pixels (0 without a screen).
    static int GetWidth();
    static int GetHeight();
};

} // namespace host
