#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>

#include <gtest/gtest.h>

#include "Artwork.h"
#include "ImageControl.h"
#include "XPButton.h"
#include "ezbutton.h"
#include "frmAbout.h"
#include "frmmain.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"
#include "shell/core/helpers.h"
#include "shell/core/registry.h"

namespace {

// Receives what the window hands to the desktop to open.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls.append(url); }
};

struct MainWindowFixture : ::testing::Test {
  sv::ScopedMsgBoxResponder responder{sv::vbOK};
  std::unique_ptr<frmmain> window;

  void SetUp() override {
    window = std::make_unique<frmmain>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  void pressTab(int i) {
    QTest::mousePress(window->ezbutton1[static_cast<std::size_t>(i)], Qt::LeftButton, {}, QPoint(20, 10));
  }

  void expectPage(int page) {
    EXPECT_EQ(window->CurrentPage, page);
    for (int i = 0; i < frmmain::kPageCount; ++i) {
      const auto k = static_cast<std::size_t>(i);
      EXPECT_EQ(window->ezbutton1[k]->isDown(), i == page) << "tab " << i;
      EXPECT_EQ(window->myGroup[k]->isVisible(), i == page) << "page " << i;
    }
  }
};

}  // namespace

TEST(MainWindowStartup, NoBoxAppearsWhenThereIsNoDrive) {
  sv::ScopedMsgBoxResponder responder(sv::vbOK);
  frmmain window;
  for (const sv::MsgBoxCall& call : responder.calls()) {
    EXPECT_FALSE(call.text.startsWith(QStringLiteral("Error#"))) << call.text.toStdString();
    EXPECT_EQ(call.buttons & 0xF, sv::vbOKOnly);
  }
  // Without drive or disc image the CD page itself says so; the start shows no box.
  if (sv::GetCDDriveList().isEmpty()) {
    EXPECT_TRUE(responder.calls().empty());
  }
}

TEST(MainWindowStartup, LaysOutAndInitialisesInOrder) {
  sv::ScopedMsgBoxResponder responder(sv::vbOK);
  sv::WaveToAllOutputDir.clear();
  sv::LastBrowseDir.clear();
  frmmain window;

  EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(window.Tag, QStringLiteral("Sonvera Disc Suite"));
  EXPECT_EQ(window.size(), QSize(622, 469));
  for (QWidget* page : window.myGroup) EXPECT_EQ(page->geometry(), QRect(20, 54, 622 - 40, 469 - 54 - 54));
  // Tabs lie left to right in index order.
  for (int i = 1; i < frmmain::kPageCount; ++i)
    EXPECT_LT(window.ezbutton1[static_cast<std::size_t>(i - 1)]->x(),
              window.ezbutton1[static_cast<std::size_t>(i)]->x());

  EXPECT_EQ(sv::DefaultMusicDir, sv::MusicDirectory());
  EXPECT_EQ(sv::WaveToAllOutputDir, sv::DefaultMusicDir);
  EXPECT_EQ(sv::AllToWaveOutputDir, sv::DefaultMusicDir);
  EXPECT_EQ(sv::RipperOutputDir, sv::DefaultMusicDir);
  EXPECT_EQ(sv::LastBrowseDir, sv::GetWindowsDirectoryPath());
  EXPECT_EQ(window.CDDrives, sv::Split(sv::GetCDDriveList(), QStringLiteral("|")));
  EXPECT_EQ(sv::CDDrives, window.CDDrives);
  EXPECT_FALSE(window.CDDrives.isEmpty());

  EXPECT_EQ(window.CurrentPage, 0);
  EXPECT_TRUE(window.ezbutton1[0]->isDown());
  EXPECT_FALSE(window.cdInfoTimer.isActive());
  EXPECT_FALSE(window.Timer1.isActive());
  EXPECT_EQ(window.cdInfoTimer.interval(), 1000);
  EXPECT_EQ(window.Timer1.interval(), 1000);

  // The string table's font on the window and its controls.
  EXPECT_EQ(window.font().family(), QStringLiteral("Arial"));
  EXPECT_EQ(window.font().pointSize(), 9);
  EXPECT_FALSE(window.font().bold());
  EXPECT_EQ(window.myGroup[2]->font().family(), QStringLiteral("Arial"));
}

TEST(MainWindowStartup, RecordsTheInstallation) {
  sv::ScopedMsgBoxResponder responder(sv::vbOK);
  const QString probe = QStringLiteral("HKEY_CURRENT_USER\\Software\\SonveraTestProbe");
  sv::RegistryCreateKey(probe);
  sv::RegistryWriteValue(probe, QStringLiteral("v"), QStringLiteral("1"));
  if (sv::RegistryReadValue(probe, QStringLiteral("v")).toString() != QLatin1String("1"))
    GTEST_SKIP() << "the registry store cannot keep values on this build";
  frmmain window;
  const QVariant path =
      sv::RegistryReadValue(QString::fromLatin1(sv::kInstallationKey), QStringLiteral("AppPath"));
  ASSERT_TRUE(path.isValid());
  EXPECT_NE(path.toString(), QStringLiteral("Error"));
  EXPECT_EQ(
      sv::RegistryReadValue(QString::fromLatin1(sv::kInstallationKey), QStringLiteral("Version")).toString(),
      QStringLiteral("%1.%2").arg(SONVERA_VERSION_MAJOR).arg(SONVERA_VERSION_MINOR));
}

TEST_F(MainWindowFixture, TabsSwitchPagesAndOnlyTheCdPageRunsItsTimer) {
  expectPage(0);
  pressTab(2);
  expectPage(2);
  EXPECT_TRUE(window->cdInfoTimer.isActive());

  pressTab(3);
  expectPage(3);
  EXPECT_FALSE(window->cdInfoTimer.isActive());
  // The preview clock is the burn page's own, not started by showing the page.
  EXPECT_FALSE(window->Timer1.isActive());

  pressTab(2);
  EXPECT_TRUE(window->cdInfoTimer.isActive());
  pressTab(1);
  expectPage(1);
  EXPECT_FALSE(window->cdInfoTimer.isActive());
}

TEST_F(MainWindowFixture, PressingTheShownTabRunsTheSwitchAgain) {
  pressTab(2);
  window->cdInfoTimer.stop();
  pressTab(2);
  expectPage(2);
  EXPECT_TRUE(window->cdInfoTimer.isActive());

  // A right-button press works a tab as well.
  QTest::mousePress(window->ezbutton1[0], Qt::RightButton, {}, QPoint(20, 10));
  expectPage(0);
}

TEST_F(MainWindowFixture, SizeAlwaysComesBackTo622By469) {
  window->resize(800, 600);
  EXPECT_EQ(window->size(), QSize(622, 469));
  window->setGeometry(10, 10, 300, 200);
  EXPECT_EQ(window->size(), QSize(622, 469));

  QTest::mouseClick(window->imgMin, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);
  window->showNormal();
  EXPECT_EQ(window->size(), QSize(622, 469));
}

TEST_F(MainWindowFixture, OnlyALeftPressOnTheBareFrameDragsTheWindow) {
  QSignalSpy drags(window.get(), &frmmain::WindowDragStarted);
  const QPoint bare(300, 445);
  ASSERT_EQ(window->childAt(bare), nullptr);
  QTest::mousePress(window.get(), Qt::RightButton, {}, bare);
  QTest::mouseRelease(window.get(), Qt::RightButton, {}, bare);
  EXPECT_EQ(drags.count(), 0);

  // Inside a page the press belongs to the page.
  QTest::mousePress(window->myGroup[0], Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseRelease(window->myGroup[0], Qt::LeftButton, {}, QPoint(100, 100));
  EXPECT_EQ(drags.count(), 0);

  QTest::mousePress(window.get(), Qt::LeftButton, {}, bare);
  QTest::mouseRelease(window.get(), Qt::LeftButton, {}, bare);
  EXPECT_EQ(drags.count(), 1);
}

TEST_F(MainWindowFixture, BothHelpImagesOpenTheGuideInTheDataDirectory) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
  QTest::mouseClick(window->imgHelp, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseClick(window->imgHelp2, Qt::LeftButton, {}, QPoint(5, 5));
  // Only a left click is a click.
  QTest::mouseClick(window->imgHelp2, Qt::RightButton, {}, QPoint(5, 5));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

  ASSERT_EQ(catcher.urls.size(), 2);
  const QString path = catcher.urls.front().toLocalFile();
  EXPECT_EQ(catcher.urls.back(), catcher.urls.front());
  EXPECT_TRUE(path.endsWith(QStringLiteral("/share/sonvera/sonvera.html"))) << path.toStdString();
  EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
}

TEST_F(MainWindowFixture, WithoutABrowserTheHelpNamesTheGuidesPath) {
  // No opener at all: nothing on the search path can open the file.
  QTemporaryDir empty;
  const QByteArray path = qgetenv("PATH");
  const QByteArray browser = qgetenv("BROWSER");
  qputenv("PATH", empty.path().toUtf8());
  qunsetenv("BROWSER");
  responder.clear();
  QTest::mouseClick(window->imgHelp2, Qt::LeftButton, {}, QPoint(5, 5));
  qputenv("PATH", path);
  if (!browser.isEmpty()) qputenv("BROWSER", browser);
  ASSERT_EQ(responder.calls().size(), 1u);
  EXPECT_TRUE(responder.calls()[0].text.contains(frmmain::HelpFilePath()))
      << responder.calls()[0].text.toStdString();
  EXPECT_TRUE(responder.calls()[0].text.startsWith("No web browser"));
  EXPECT_EQ(responder.calls()[0].title, "Sonvera Disc Suite");
}

TEST_F(MainWindowFixture, OneFontFamilyForTheFrameThePagesAndTheDialogs) {
  EXPECT_EQ(QApplication::font().family(), window->font().family()) << "message boxes and pickers follow";
  EXPECT_EQ(sv::art::Font(12, true).family(), window->font().family()) << "the frame's lettering";
  for (QWidget* w : window->myGroup[0]->findChildren<QWidget*>())
    EXPECT_EQ(w->font().family(), window->font().family()) << w->objectName().toStdString();
}

TEST_F(MainWindowFixture, TheGuideNamesEveryButtonOfTheConversionPagesAsTheyAreCaptioned) {
  QFile file(frmmain::HelpFilePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString guide = QString::fromUtf8(file.readAll());
  for (int page : {0, 1}) {
    for (XPButton* b : window->myGroup[static_cast<std::size_t>(page)]->findChildren<XPButton*>()) {
      QString caption = b->Caption();
      caption.remove(QLatin1Char('&'));
      if (caption.size() == 3) continue;  // the format names MP3, WMA, VQF, OGG
      EXPECT_TRUE(guide.contains("<b>" + caption + "</b>")) << caption.toStdString();
    }
  }
  // What a user may read in a box is explained.
  for (const char* text : {"Please add wave files to convert!", "output directory can not be empty!",
                           "codec library svogg is not installed", "Error#10000", "No web browser"})
    EXPECT_TRUE(guide.contains(QString::fromLatin1(text))) << text;
}

TEST_F(MainWindowFixture, CloseImagesEndTheWindow) {
  pressTab(2);
  QTest::mouseClick(window->imgClose, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->cdInfoTimer.isActive());

  window->show();
  QTest::mouseClick(window->imgexit2, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowFixture, AboutBoxShowsTheVersionAndItsOnlySettingsFrame) {
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = true;
    EXPECT_EQ(box->parentWidget(), window.get());
    EXPECT_EQ(box->Label1->text(),
              frmAbout::VersionLine(SONVERA_VERSION_MAJOR, SONVERA_VERSION_MINOR, SONVERA_VERSION_REVISION));
    QGroupBox* frame = box->FrameSetting[0];
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(frame->title().isEmpty());
    EXPECT_EQ(frame->geometry(), QRect(box->Picture1->x() + box->Picture1->width() + 10,
                                       box->Picture1->y() - 5, 250, box->Picture1->height() + 8));
    EXPECT_TRUE(box->cmdSettings[0]->IsPressed());
    QTest::mouseClick(box->cmdOk, Qt::LeftButton, {}, QPoint(10, 10));
  });
  QTest::mouseClick(window->imgAbout, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(seen);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowFixture, TitleBarComesBackWithTheKeptCaption) {
  EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
  window->ShowTitleBar(true);
  EXPECT_FALSE(window->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowTitleHint);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Sonvera Disc Suite"));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->size(), QSize(622, 469));

  window->ShowTitleBar(false);
  EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(window->Tag, QStringLiteral("Sonvera Disc Suite"));
  // The page on show survives the frame change.
  expectPage(0);
}

TEST(AboutVersionLine, MinorAndRevisionRunTogether) {
  EXPECT_EQ(frmAbout::VersionLine(2, 1, 0), QStringLiteral("Sonvera Disc Suite V2.10"));
  EXPECT_EQ(frmAbout::VersionLine(1, 0, 1), QStringLiteral("Sonvera Disc Suite V1.01"));
}

#include "test_frmmain.moc"
