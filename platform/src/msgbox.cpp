#include "platform/msgbox.h"

#include "platform/app_window.h"
#include "platform/fault_guard.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace sv {

namespace {
ScopedMsgBoxResponder*& currentResponder() {
  static ScopedMsgBoxResponder* r = nullptr;
  return r;
}

struct ButtonSpec {
  QMessageBox::StandardButton button;
  int answer;
};

std::vector<ButtonSpec> buttonsFor(int style) {
  switch (style & 0x0F) {
    case vbOKCancel:
      return {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}};
    case vbAbortRetryIgnore:
      return {{QMessageBox::Abort, vbAbort}, {QMessageBox::Retry, vbRetry}, {QMessageBox::Ignore, vbIgnore}};
    case vbYesNoCancel:
      return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}};
    case vbYesNo:
      return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}};
    case vbRetryCancel:
      return {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}};
    default:
      return {{QMessageBox::Ok, vbOK}};
  }
}

QMessageBox::Icon iconFor(int style) {
  switch (style & 0x70) {
    case vbCritical:
      return QMessageBox::Critical;
    case vbQuestion:
      return QMessageBox::Question;
    case vbExclamation:
      return QMessageBox::Warning;
    case vbInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// The answer a box gives when closed without a button: Cancel where there is one,
// otherwise OK for a lone OK button (a box without Cancel cannot be escaped otherwise).
int escapeAnswer(int style) {
  switch (style & 0x0F) {
    case vbOKCancel:
    case vbYesNoCancel:
    case vbRetryCancel:
      return vbCancel;
    case vbOKOnly:
      return vbOK;
    default:
      return 0;
  }
}
}  // namespace

ScopedMsgBoxResponder::ScopedMsgBoxResponder(Responder responder)
    : responder_(std::move(responder)), outer_(currentResponder()) {
  currentResponder() = this;
}

ScopedMsgBoxResponder::ScopedMsgBoxResponder(int fixedAnswer)
    : ScopedMsgBoxResponder([fixedAnswer](const QString&, const QString&, int) { return fixedAnswer; }) {}

ScopedMsgBoxResponder::~ScopedMsgBoxResponder() { currentResponder() = outer_; }

int MsgBox(const QString& text, int buttons, const QString& title) {
  const QString shownTitle = title.isEmpty() ? QString::fromLatin1(kProductTitle) : title;
  if (ScopedMsgBoxResponder* r = currentResponder()) {
    const int answer = r->responder_ ? r->responder_(text, shownTitle, buttons) : vbOK;
    r->calls_.push_back({text, shownTitle, buttons, answer});
    return answer;
  }

  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    // No widgets without a GUI application (a console tool, a test without a
    // responder): say it on stderr and take the default button.
    qWarning("%s: %s", qPrintable(shownTitle), qPrintable(text));
    const auto specs = buttonsFor(buttons);
    std::size_t index = (buttons & vbDefaultButton3) ? 2 : (buttons & vbDefaultButton2) ? 1 : 0;
    return specs[std::min(index, specs.size() - 1)].answer;
  }
  const SuspendFaultGuard ownCode;  // a box may be asked for from inside a codec callback
  QMessageBox box(iconFor(buttons), shownTitle, text, QMessageBox::NoButton, MainWindow());
  const auto specs = buttonsFor(buttons);
  std::vector<std::pair<QAbstractButton*, int>> answers;
  for (const auto& spec : specs) answers.emplace_back(box.addButton(spec.button), spec.answer);
  std::size_t defaultIndex = 0;
  if (buttons & vbDefaultButton3)
    defaultIndex = 2;
  else if (buttons & vbDefaultButton2)
    defaultIndex = 1;
  if (defaultIndex < answers.size())
    box.setDefaultButton(static_cast<QPushButton*>(answers[defaultIndex].first));
  for (const auto& [button, answer] : answers) {
    if (answer == escapeAnswer(buttons)) box.setEscapeButton(button);
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (const auto& [button, answer] : answers) {
    if (button == clicked) return answer;
  }
  return escapeAnswer(buttons) ? escapeAnswer(buttons) : answers.back().second;
}

}  // namespace sv
