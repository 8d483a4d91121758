// The command buttons of the conversion pages and windows: the program's skinned button.
#pragma once

#if defined(SONVERA_HAVE_XPBUTTON)
#include "XPButton.h"
namespace sv {
using CommandButton = ::XPButton;
}
#else
#include <QPushButton>
namespace sv {
// Stand-in with the skinned button's members, for builds without the controls library.
class CommandButton : public QPushButton {
  Q_OBJECT
 public:
  explicit CommandButton(QWidget* parent = nullptr) : QPushButton(parent) {
    connect(this, &QPushButton::clicked, this, [this] { emit Click(); });
  }
  QString Caption() const { return text(); }
  void setCaption(const QString& caption) { setText(caption); }
 signals:
  void Click();
};
}  // namespace sv
#endif
