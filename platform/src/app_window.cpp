#include "platform/app_window.h"

#include <QPointer>
#include <QWidget>

namespace sv {

namespace {
QPointer<QWidget>& window() {
  static QPointer<QWidget> w;
  return w;
}
}  // namespace

void SetMainWindow(QWidget* w) { window() = w; }
QWidget* MainWindow() { return window().data(); }

}  // namespace sv
