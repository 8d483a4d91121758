// The command button of the program's pages and job windows: the skinned push button with a
// face painted in the window artwork's colours (a blue gradient with white text; lighter
// under the pointer, darker while pressed; an orange edge while held down as a selector;
// grey when disabled).
#pragma once

#include "XPButton.h"

namespace sv {

class CommandButton : public XPButton {
  Q_OBJECT

 public:
  explicit CommandButton(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace sv
