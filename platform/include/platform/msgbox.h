#pragma once
// Message boxes with the VB calling shape: style flags in, answer code out.
#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace sv {

// Button sets, icons and default-button flags; combine with |.
enum MsgBoxStyle : int {
  vbOKOnly = 0,
  vbOKCancel = 1,
  vbAbortRetryIgnore = 2,
  vbYesNoCancel = 3,
  vbYesNo = 4,
  vbRetryCancel = 5,
  vbCritical = 16,
  vbQuestion = 32,
  vbExclamation = 48,
  vbInformation = 64,
  vbDefaultButton1 = 0,
  vbDefaultButton2 = 256,
  vbDefaultButton3 = 512,
  vbApplicationModal = 0,
  vbSystemModal = 4096,
};

// Answers.
enum MsgBoxResult : int {
  vbOK = 1,
  vbCancel = 2,
  vbAbort = 3,
  vbRetry = 4,
  vbIgnore = 5,
  vbYes = 6,
  vbNo = 7,
};

inline constexpr const char* kProductTitle = "Sonvera Disc Suite";

// Shows a modal box owned by the main window (see app_window.h) and returns the answer.
// An empty title gives the product title, as every box of the program carries it.
int MsgBox(const QString& text, int buttons = vbOKOnly,
           const QString& title = QString::fromLatin1(kProductTitle));

// One box as it was asked for; kept by the responder for tests to inspect.
struct MsgBoxCall {
  QString text;
  QString title;
  int buttons = 0;
  int answer = 0;
};

// While alive, every MsgBox is answered by the given function instead of a real box.
// Responders nest; the innermost one answers.
class ScopedMsgBoxResponder {
 public:
  using Responder = std::function<int(const QString& text, const QString& title, int buttons)>;

  explicit ScopedMsgBoxResponder(Responder responder);
  // Answers every box with the same code.
  explicit ScopedMsgBoxResponder(int fixedAnswer);
  ~ScopedMsgBoxResponder();
  ScopedMsgBoxResponder(const ScopedMsgBoxResponder&) = delete;
  ScopedMsgBoxResponder& operator=(const ScopedMsgBoxResponder&) = delete;

  const std::vector<MsgBoxCall>& calls() const { return calls_; }
  void clear() { calls_.clear(); }

 private:
  friend int MsgBox(const QString&, int, const QString&);
  Responder responder_;
  std::vector<MsgBoxCall> calls_;
  ScopedMsgBoxResponder* outer_ = nullptr;
};

}  // namespace sv
