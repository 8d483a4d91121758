#include "platform/msgbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using namespace sv;

TEST(MsgBoxResponder, AnswersAndRecordsEveryBox) {
  ScopedMsgBoxResponder responder([](const QString& text, const QString&, int buttons) {
    if ((buttons & 0x0F) == vbYesNoCancel)
      return text.contains(QLatin1String("overwrite")) ? vbYes : vbCancel;
    return vbOK;
  });
  EXPECT_EQ(MsgBox("File exists, overwrite?", vbYesNoCancel | vbInformation), vbYes);
  EXPECT_EQ(MsgBox("Stop now?", vbYesNoCancel | vbInformation), vbCancel);
  EXPECT_EQ(MsgBox("Done", vbOKOnly, QString()), vbOK);

  ASSERT_EQ(responder.calls().size(), 3u);
  EXPECT_EQ(responder.calls()[0].title, "Sonvera Disc Suite");
  EXPECT_EQ(responder.calls()[0].buttons, vbYesNoCancel | vbInformation);
  EXPECT_EQ(responder.calls()[1].answer, vbCancel);
  // A box without a title carries the product name.
  EXPECT_EQ(responder.calls()[2].title, "Sonvera Disc Suite");
  EXPECT_EQ(responder.calls()[2].text, "Done");
}

TEST(MsgBoxResponder, InnermostResponderAnswers) {
  ScopedMsgBoxResponder outer(vbNo);
  {
    ScopedMsgBoxResponder inner(vbRetry);
    EXPECT_EQ(MsgBox("x", vbRetryCancel, "Other title"), vbRetry);
    ASSERT_EQ(inner.calls().size(), 1u);
    EXPECT_EQ(inner.calls()[0].title, "Other title");
  }
  EXPECT_EQ(MsgBox("y", vbYesNo), vbNo);
  EXPECT_EQ(outer.calls().size(), 1u);
}

// The real box, clicked through its widgets.
QMessageBox* openBox() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
  }
  return nullptr;
}

TEST(MsgBoxWidget, ShowsButtonsIconTitleAndReturnsTheClickedAnswer) {
  QString seenTitle;
  QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
  int buttonCount = 0;
  QString defaultText;
  bool clicked = false;
  std::function<void()> poke = [&] {
    QMessageBox* box = openBox();
    if (!box) {
      QTimer::singleShot(10, poke);
      return;
    }
    seenTitle = box->windowTitle();
    seenIcon = box->icon();
    buttonCount = static_cast<int>(box->buttons().size());
    if (box->defaultButton()) defaultText = box->defaultButton()->text();
    box->button(QMessageBox::No)->click();
    clicked = true;
  };
  QTimer::singleShot(0, poke);
  const int answer = MsgBox("Overwrite it?", vbYesNoCancel | vbCritical | vbDefaultButton2);
  EXPECT_TRUE(clicked);
  EXPECT_EQ(answer, vbNo);
  EXPECT_EQ(seenTitle, "Sonvera Disc Suite");
  EXPECT_EQ(seenIcon, QMessageBox::Critical);
  EXPECT_EQ(buttonCount, 3);
  QMessageBox reference;
  EXPECT_EQ(defaultText, reference.addButton(QMessageBox::No)->text());
}

TEST(MsgBoxWidget, EscapeGivesCancel) {
  std::function<void()> poke = [&] {
    QMessageBox* box = openBox();
    if (!box) {
      QTimer::singleShot(10, poke);
      return;
    }
    box->reject();
  };
  QTimer::singleShot(0, poke);
  EXPECT_EQ(MsgBox("Continue?", vbOKCancel | vbQuestion), vbCancel);
}

}  // namespace
