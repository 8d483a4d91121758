#include <QApplication>
#include <QEnterEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "OleColor.h"
#include "XPButton.h"

using controls::Blend;
using controls::RGB;

namespace {

QPixmap Solid(const QColor& colour, QSize size = {16, 12}) {
  QPixmap pm(size);
  pm.fill(colour);
  return pm;
}

// Black face, white hover colour: the looks differ plainly in the face.
struct ButtonFixture : ::testing::Test {
  QWidget host;
  XPButton* button = new XPButton(&host);
  const QPoint inside{30, 12};
  const QPoint outside{150, 70};

  void SetUp() override {
    button->setBackgroundColor(RGB(0, 0, 0));
    button->setHoverColor(RGB(255, 255, 255));
    button->setCaption(QString());
    button->setGeometry(10, 10, 80, 26);
    host.resize(200, 100);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  }

  QColor face() { return button->grab().toImage().pixelColor(4, 4); }
  QColor edge() { return button->grab().toImage().pixelColor(0, 0); }
  // Moves go straight to the button, which tells inside from outside itself.
  void hover() { QTest::mouseMove(button, inside); }
  void unhover() { QTest::mouseMove(button, outside); }
};

}  // namespace

TEST(XPButtonBlend, BlackWithWhiteGives228StrongAnd128Light) {
  EXPECT_EQ(Blend(Qt::black, Qt::white, true), QColor(228, 228, 228));
  EXPECT_EQ(Blend(Qt::black, Qt::white, false), QColor(128, 128, 128));
}

TEST(XPButtonBlend, ChannelsMixSeparatelyAndHalvesGoToEven) {
  // red: 50 + 155*100/255 = 110.78; green: 75 + 105*100/255 = 116.18;
  // blue: 227.5 + 55*100/255 = 249.07.
  EXPECT_EQ(Blend(QColor(100, 150, 200), QColor(0, 0, 255), true), QColor(111, 116, 249));
  // light: 50 + 50, 75 + 50, 227.5 + 0 (half to even: 228).
  EXPECT_EQ(Blend(QColor(100, 150, 200), QColor(0, 0, 255), false), QColor(100, 125, 228));
  // red: 0.5 + 50 = 50.5 goes to the even 50; green: 1.5 + 49.8 = 51.3.
  EXPECT_EQ(Blend(QColor(1, 2, 2), QColor(0, 1, 0), false), QColor(50, 51, 51));
}

TEST(XPButtonColours, SystemColoursComeFromThePalette) {
  QPalette pal;
  pal.setColor(QPalette::Button, QColor(1, 2, 3));
  pal.setColor(QPalette::Highlight, QColor(4, 5, 6));
  pal.setColor(QPalette::ButtonText, QColor(7, 8, 9));
  EXPECT_EQ(controls::OleTranslateColor(controls::vbButtonFace, pal), QColor(1, 2, 3));
  EXPECT_EQ(controls::OleTranslateColor(controls::vbHighlight, pal), QColor(4, 5, 6));
  EXPECT_EQ(controls::OleTranslateColor(controls::vbButtonText, pal), QColor(7, 8, 9));
  // Plain values are stored blue-green-red.
  EXPECT_EQ(controls::OleTranslateColor(0x00332211, pal), QColor(0x11, 0x22, 0x33));
}

TEST_F(ButtonFixture, LooksFollowHoverAndPress) {
  EXPECT_EQ(button->currentLook(), XPButton::Look::Normal);
  EXPECT_EQ(face(), QColor(0, 0, 0));

  QSignalSpy enters(button, &XPButton::MouseEnter);
  QSignalSpy leaves(button, &XPButton::MouseLeave);
  hover();
  EXPECT_EQ(enters.count(), 1);
  EXPECT_EQ(button->currentLook(), XPButton::Look::Hover);
  EXPECT_EQ(face(), QColor(128, 128, 128));
  EXPECT_EQ(edge(), QColor(255, 255, 255));

  QTest::mousePress(button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(button->currentLook(), XPButton::Look::Pressed);
  EXPECT_EQ(face(), QColor(228, 228, 228));
  QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(face(), QColor(128, 128, 128));

  unhover();
  EXPECT_EQ(leaves.count(), 1);
  EXPECT_EQ(enters.count(), 1);
  EXPECT_EQ(face(), QColor(0, 0, 0));
}

TEST_F(ButtonFixture, WindowSystemEnterAndLeaveDriveTheHover) {
  QSignalSpy enters(button, &XPButton::MouseEnter);
  QSignalSpy leaves(button, &XPButton::MouseLeave);
  QEnterEvent enter{QPointF(inside), QPointF(inside), QPointF(button->mapToGlobal(inside))};
  QApplication::sendEvent(button, &enter);
  EXPECT_TRUE(button->isHovering());
  EXPECT_EQ(face(), QColor(128, 128, 128));
  // A second enter while inside raises nothing more.
  QApplication::sendEvent(button, &enter);
  EXPECT_EQ(enters.count(), 1);

  QTest::mousePress(button, Qt::LeftButton, {}, inside);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(button, &leave);
  EXPECT_EQ(leaves.count(), 1);
  EXPECT_FALSE(button->isHovering());
  // Leaving drops the press, so the release is no click.
  EXPECT_FALSE(button->isMousePressed());
}

TEST_F(ButtonFixture, ThinLineFramesTheNormalLookOnly) {
  button->setDrawNoHoverThinLine(true);
  EXPECT_EQ(edge().rgb(), controls::OleTranslateColor(controls::vbButtonShadow, button->palette()).rgb());
  EXPECT_EQ(face(), QColor(0, 0, 0));
}

TEST_F(ButtonFixture, PressAndReleaseOnTheButtonClicksOnce) {
  QSignalSpy clicks(button, &XPButton::Click);
  QSignalSpy downs(button, &XPButton::MouseDown);
  QSignalSpy ups(button, &XPButton::MouseUp);
  hover();
  QTest::mouseClick(button, Qt::LeftButton, Qt::ShiftModifier, inside);
  EXPECT_EQ(clicks.count(), 1);
  ASSERT_EQ(downs.count(), 1);
  EXPECT_EQ(downs.at(0).at(0).value<short>(), 1);  // left
  EXPECT_EQ(downs.at(0).at(1).value<short>(), 1);  // shift
  EXPECT_FLOAT_EQ(downs.at(0).at(2).toFloat(), inside.x());
  EXPECT_EQ(ups.count(), 1);
}

TEST_F(ButtonFixture, DraggingOffBeforeReleaseGivesNoClick) {
  QSignalSpy clicks(button, &XPButton::Click);
  hover();
  QTest::mousePress(button, Qt::LeftButton, {}, inside);
  QTest::mouseMove(button, outside);
  EXPECT_FALSE(button->isMousePressed());
  QTest::mouseRelease(button, Qt::LeftButton, {}, outside);
  EXPECT_EQ(clicks.count(), 0);
  EXPECT_EQ(button->currentLook(), XPButton::Look::Normal);
  EXPECT_EQ(face(), QColor(0, 0, 0));
}

TEST_F(ButtonFixture, NoDownShowsHoverButNeverPressesOrClicks) {
  button->setNoDown(true);
  QSignalSpy clicks(button, &XPButton::Click);
  QSignalSpy downs(button, &XPButton::MouseDown);
  hover();
  QTest::mousePress(button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(downs.count(), 1);
  EXPECT_EQ(button->currentLook(), XPButton::Look::Hover);
  EXPECT_EQ(face(), QColor(128, 128, 128));
  QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ButtonFixture, IsPressedHoldsThePressedLookUntilHovered) {
  QSignalSpy clicks(button, &XPButton::Click);
  button->setIsPressed(true);
  EXPECT_EQ(button->currentLook(), XPButton::Look::Pressed);
  EXPECT_EQ(face(), QColor(228, 228, 228));
  hover();
  EXPECT_EQ(button->currentLook(), XPButton::Look::Hover);
  EXPECT_EQ(face(), QColor(128, 128, 128));
  unhover();
  EXPECT_EQ(face(), QColor(228, 228, 228));
  // The control never changes it itself.
  QTest::mouseClick(button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_TRUE(button->IsPressed());
}

TEST_F(ButtonFixture, DoubleClickRaisesDblClickWithoutASecondClick) {
  QSignalSpy clicks(button, &XPButton::Click);
  QSignalSpy doubles(button, &XPButton::DblClick);
  QSignalSpy downs(button, &XPButton::MouseDown);
  QSignalSpy ups(button, &XPButton::MouseUp);
  hover();
  // As the window system delivers it: press, release, double click, release.
  QTest::mouseClick(button, Qt::LeftButton, {}, inside);
  QTest::mouseDClick(button, Qt::LeftButton, {}, inside);
  QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(doubles.count(), 1);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(downs.count(), 1);
  EXPECT_EQ(ups.count(), 2);
}

TEST_F(ButtonFixture, AccessKeyClicks) {
  button->setCaption(QStringLiteral("E&xit"));
  EXPECT_EQ(button->AccessKey(), QChar(u'x'));
  QSignalSpy clicks(button, &XPButton::Click);
  host.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
  QTest::keyClick(&host, Qt::Key_X, Qt::AltModifier);
  EXPECT_EQ(clicks.count(), 1);
  QTest::keyClick(&host, Qt::Key_E, Qt::AltModifier);
  EXPECT_EQ(clicks.count(), 1);

  button->setEnabled(false);
  QTest::keyClick(&host, Qt::Key_X, Qt::AltModifier);
  EXPECT_EQ(clicks.count(), 1);
}

TEST(XPButtonCaption, DoubledAmpersandIsLiteralAndTheFirstSingleOneMarksTheKey) {
  XPButton button;
  button.setCaption(QStringLiteral("Save && Quit"));
  EXPECT_TRUE(button.AccessKey().isNull());
  button.setCaption(QStringLiteral("A&&B &Copy &Move"));
  EXPECT_EQ(button.AccessKey(), QChar(u'C'));
  button.setCaption(QStringLiteral("Trailing&"));
  EXPECT_TRUE(button.AccessKey().isNull());
}

TEST_F(ButtonFixture, DisabledButtonShowsNormalFaceAndEngravedCaption) {
  button->setCaption(QStringLiteral("WWWW"));
  button->setTextColor(RGB(255, 0, 0));
  button->setIsPressed(true);
  button->setEnabled(false);
  const QImage img = button->grab().toImage();
  EXPECT_EQ(img.pixelColor(4, 4), QColor(0, 0, 0));
  const QRgb light = controls::OleTranslateColor(controls::vb3DHighlight, button->palette()).rgb();
  const QRgb shadow = controls::OleTranslateColor(controls::vbButtonShadow, button->palette()).rgb();
  bool sawLight = false, sawShadow = false, sawText = false;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const QRgb c = img.pixel(x, y);
      sawLight |= c == light;
      sawShadow |= c == shadow;
      sawText |= c == qRgb(255, 0, 0);
    }
  EXPECT_TRUE(sawLight);
  EXPECT_TRUE(sawShadow);
  EXPECT_FALSE(sawText);

  QSignalSpy clicks(button, &XPButton::Click);
  QTest::mouseClick(button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ButtonFixture, PicturesFollowTheLookWithFallbacks) {
  button->setPicture(Solid(Qt::blue));
  EXPECT_EQ(button->PictureSize(), QSize(16, 12));
  button->setPictureHover(Solid(Qt::green));
  // Pressed without a pressed picture: the hover picture while hovered...
  hover();
  QTest::mousePress(button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(button->currentPicture().toImage().pixelColor(0, 0), QColor(Qt::green));
  QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
  unhover();
  // ...the normal one when held pressed and not hovered.
  button->setIsPressed(true);
  EXPECT_EQ(button->currentPicture().toImage().pixelColor(0, 0), QColor(Qt::blue));
  button->setPicturePressed(Solid(Qt::red));
  EXPECT_EQ(button->currentPicture().toImage().pixelColor(0, 0), QColor(Qt::red));

  // Centred picture on the face.
  const QImage img = button->grab().toImage();
  EXPECT_EQ(img.pixelColor(40, 13), QColor(Qt::red));
  EXPECT_EQ(img.pixelColor(31, 13), QColor(228, 228, 228));
  // Right/bottom alignment puts the far edge two pixels inside.
  button->setPictureAlignH(XPButton::AlignFar);
  button->setPictureAlignV(XPButton::AlignFar);
  const QImage far = button->grab().toImage();
  EXPECT_EQ(far.pixelColor(80 - 3, 26 - 3), QColor(Qt::red));
  EXPECT_EQ(far.pixelColor(80 - 2, 26 - 2), QColor(228, 228, 228));

  button->setPicture(QPixmap());
  EXPECT_EQ(button->PictureSize(), QSize(0, 0));
}

TEST(XPButtonProperties, BagRoundTripAndDefaults) {
  XPButton source;
  source.setObjectName(QStringLiteral("cmdStart"));
  source.setCaption(QStringLiteral("&Start"));
  source.setTextColor(RGB(1, 2, 3));
  source.setHoverColor(RGB(4, 5, 6));
  source.setBackgroundColor(RGB(7, 8, 9));
  source.setNoDown(true);
  source.setIsPressed(true);
  source.setDrawNoHoverThinLine(true);
  source.setTextAlignH(XPButton::AlignNear);
  source.setPictureAlignV(XPButton::AlignFar);
  source.setPicture(Solid(Qt::blue, {10, 8}));
  EXPECT_TRUE(source.propertiesChanged());
  QVariantMap bag;
  source.WriteProperties(bag);
  EXPECT_FALSE(source.propertiesChanged());

  XPButton copy;
  copy.ReadProperties(bag);
  EXPECT_EQ(copy.Caption(), QStringLiteral("&Start"));
  EXPECT_EQ(copy.AccessKey(), QChar(u'S'));
  EXPECT_EQ(copy.TextColor(), RGB(1, 2, 3));
  EXPECT_EQ(copy.HoverColor(), RGB(4, 5, 6));
  EXPECT_EQ(copy.BackgroundColor(), RGB(7, 8, 9));
  EXPECT_TRUE(copy.NoDown());
  EXPECT_TRUE(copy.IsPressed());
  EXPECT_TRUE(copy.DrawNoHoverThinLine());
  EXPECT_EQ(copy.TextAlignH(), XPButton::AlignNear);
  EXPECT_EQ(copy.PictureAlignV(), XPButton::AlignFar);
  EXPECT_EQ(copy.PictureSize(), QSize(10, 8));
  EXPECT_TRUE(copy.PictureHover().isNull());

  XPButton fresh;
  fresh.setObjectName(QStringLiteral("cmdFresh"));
  fresh.ReadProperties({});
  EXPECT_EQ(fresh.Caption(), QStringLiteral("cmdFresh"));
  EXPECT_EQ(fresh.TextColor(), controls::vbButtonText);
  EXPECT_EQ(fresh.HoverColor(), controls::vbHighlight);
  EXPECT_EQ(fresh.BackgroundColor(), controls::vbButtonFace);
  EXPECT_TRUE(fresh.isEnabled());
  EXPECT_TRUE(fresh.NoRefresh());
}
