// The command button of the program's pages and job windows: the skinned push button with a
// face painted in the window artwork's colours (a blue gradient with white text; lighter
// under the pointer, darker while pressed; an orange edge while held down as a selector;
// grey when disabled).
#pragma once

#include "XPButton.h"

#include <QRect>
#include <QString>

namespace sv {

class CommandButton : public XPButton {
  Q_OBJECT

 public:
  explicit CommandButton(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A command button named (for tests and styles), captioned and placed on a page.
CommandButton* MakeCommandButton(QWidget* parent, const char* name, const QString& caption, QRect where);

}  // namespace sv
