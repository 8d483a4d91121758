#pragma once
// The program's main window, owner of its message boxes and choosers.
class QWidget;

namespace sv {

// Not owned; forgotten automatically when the window is destroyed.
void SetMainWindow(QWidget* window);
QWidget* MainWindow();

}  // namespace sv
