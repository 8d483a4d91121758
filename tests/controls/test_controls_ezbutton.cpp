#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "ezbutton.h"

namespace {

QPixmap Solid(const QColor& colour) {
  QPixmap pm(40, 20);
  pm.fill(colour);
  return pm;
}

QColor ShownColour(ezbutton& button) { return button.grab().toImage().pixelColor(10, 10); }

struct TabFixture : ::testing::Test {
  QWidget host;
  ezbutton* tab = new ezbutton(&host);

  void SetUp() override {
    tab->setUpPicture(Solid(Qt::blue));
    tab->setDownPicture(Solid(Qt::red));
    tab->setGeometry(0, 0, 40, 20);
    host.resize(100, 50);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  }
};

}  // namespace

TEST_F(TabFixture, PressGoesDownAndClicksEvenWhenAlreadyDown) {
  QSignalSpy clicks(tab, &ezbutton::Click);
  EXPECT_FALSE(tab->isDown());
  EXPECT_EQ(ShownColour(*tab), QColor(Qt::blue));

  QTest::mousePress(tab, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_TRUE(tab->isDown());
  EXPECT_EQ(ShownColour(*tab), QColor(Qt::red));

  // No release handling: the release neither clicks nor lifts the tab.
  QTest::mouseRelease(tab, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_TRUE(tab->isDown());

  QTest::mousePress(tab, Qt::LeftButton, {}, QPoint(6, 6));
  QTest::mouseRelease(tab, Qt::LeftButton, {}, QPoint(6, 6));
  EXPECT_EQ(clicks.count(), 2);
  EXPECT_TRUE(tab->isDown());
}

TEST_F(TabFixture, AnyMouseButtonPresses) {
  QSignalSpy clicks(tab, &ezbutton::Click);
  QTest::mousePress(tab, Qt::RightButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_TRUE(tab->isDown());
  tab->SetButtonUp();
  QTest::mousePress(tab, Qt::MiddleButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks.count(), 2);
  EXPECT_TRUE(tab->isDown());
}

TEST_F(TabFixture, OnlyTheOwnerLiftsTheTab) {
  tab->SetButtonDown();
  EXPECT_EQ(ShownColour(*tab), QColor(Qt::red));
  tab->SetButtonUp();
  EXPECT_FALSE(tab->isDown());
  EXPECT_EQ(ShownColour(*tab), QColor(Qt::blue));
}

TEST_F(TabFixture, NewPictureShowsOnlyAtTheNextStateChangeOrShow) {
  tab->SetButtonUp();
  tab->setUpPicture(Solid(Qt::green));
  EXPECT_EQ(ShownColour(*tab), QColor(Qt::blue));
  EXPECT_TRUE(tab->propertiesChanged());

  tab->hide();
  tab->show();
  EXPECT_EQ(ShownColour(*tab), QColor(Qt::green));

  tab->setDownPicture(Solid(Qt::yellow));
  EXPECT_EQ(ShownColour(*tab), QColor(Qt::green));
  tab->SetButtonDown();
  EXPECT_EQ(ShownColour(*tab), QColor(Qt::yellow));
}

TEST_F(TabFixture, ShowReappliesTheDownState) {
  tab->SetButtonDown();
  tab->hide();
  tab->setDownPicture(Solid(Qt::cyan));
  tab->show();
  EXPECT_TRUE(tab->isDown());
  EXPECT_EQ(ShownColour(*tab), QColor(Qt::cyan));
}

TEST(EzButtonProperties, BagKeepsBothPicturesAndAbsentEntriesReadAsNone) {
  ezbutton source;
  source.setUpPicture(Solid(Qt::blue));
  source.setDownPicture(Solid(Qt::red));
  QVariantMap bag;
  source.WriteProperties(bag);
  EXPECT_FALSE(source.propertiesChanged());
  ASSERT_TRUE(bag.contains(QStringLiteral("UpPicture")));
  ASSERT_TRUE(bag.contains(QStringLiteral("DownPicture")));

  ezbutton copy;
  copy.ReadProperties(bag);
  EXPECT_EQ(copy.UpPicture().toImage().pixelColor(1, 1), QColor(Qt::blue));
  EXPECT_EQ(copy.DownPicture().toImage().pixelColor(1, 1), QColor(Qt::red));

  copy.ReadProperties(QVariantMap{{QStringLiteral("UpPicture"), Solid(Qt::green)}});
  EXPECT_FALSE(copy.UpPicture().isNull());
  EXPECT_TRUE(copy.DownPicture().isNull());
}
