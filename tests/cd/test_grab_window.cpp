// The grabbing window through its real widgets, started from page 2 as a user starts it.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "CDPage.h"
#include "XPButton.h"
#include "command_button.h"
#include "disc_images.h"
#include "frmRipperStatus.h"
#include "jobs/widgets/path_label.h"
#include "jobs/widgets/picture_box.h"
#include "modAKRip32.h"
#include "platform/mci.h"
#include "platform/mci_cdaudio.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"

namespace {

using namespace sv::discs;

QByteArray fileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray audioOf(const DiscImage& image, int track) {
  const auto a = image.Audio(image.start(track), image.end(track) - image.start(track));
  return QByteArray(reinterpret_cast<const char*>(a.data()), static_cast<qsizetype>(a.size()));
}

class GrabWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(discs.isValid());
    qputenv("SONVERA_DISC_DIR", discs.path().toUtf8());
    sv::mci::RegisterCdAudioDevice();
  }
  void TearDown() override {
    page.reset();
    sv::mciSendString(QStringLiteral("close all"));
    sv::CloseCDDrive();
  }

  // Page 2 on the image, the given tracks checked, WAV or MP3, the output folder typed.
  void makePage(const std::vector<int>& checked, bool wav, const QString& folder) {
    page = std::make_unique<sv::CDPage>();
    page->ClearCDInfo();
    page->InitCDPage();
    page->show();
    for (int t : checked) page->listcdtrack->item(t - 1)->setCheckState(Qt::Checked);
    QTest::mouseClick(page->cmdRipperOutputSelectOption[wav ? 1 : 0], Qt::LeftButton);
    page->txtripperoutputdirectory->setText(folder);
  }

  // Presses Start on the page; `inWindow` runs once the modal window is up, then the window
  // is closed with its Cancel/OK button if it is still there.
  void startFromPage(const std::function<void(sv::frmRipperStatus&)>& inWindow) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* w = qobject_cast<sv::frmRipperStatus*>(QApplication::activeModalWidget());
      ASSERT_NE(w, nullptr);
      ran = true;
      QPointer<sv::frmRipperStatus> alive(w);
      inWindow(*w);
      if (alive && alive->isVisible()) alive->cmdCancel_Click();
    });
    page->cmdRipperStart_Click();
    EXPECT_TRUE(ran);
  }

  QTemporaryDir discs, out;
  std::unique_ptr<sv::CDPage> page;
};

TEST_F(GrabWindowTest, GrabsTheCheckedTracksFromPage2ToWavFiles) {
  const DiscImage image = WriteCueBin(discs.path().toStdString(), AudioDisc("album", {300, 130, 260}));
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  makePage({1, 3}, true, out.filePath("music/new"));
  startFromPage([&](sv::frmRipperStatus& w) {
    EXPECT_EQ(w.windowTitle(), "CD Ripper Status...");
    EXPECT_EQ(w.labelConvertype->text(), "Total 2 CD Tracks, ready to grab...");
    EXPECT_EQ(w.cmdStart->Caption(), "&Rip Now");
    EXPECT_EQ(w.cmdCancel->Caption(), "&Cancel");
    EXPECT_EQ(w.TotalPercent(), 0.0f);
    QTest::mouseClick(w.cmdStart, Qt::LeftButton);
    EXPECT_EQ(w.labelStatus->text(), "Finish Tracks Grab!");
    EXPECT_EQ(w.labelStatus->palette().color(QPalette::WindowText), QColor(23, 122, 18));
    EXPECT_EQ(w.cmdCancel->Caption(), "&OK");
    EXPECT_FALSE(w.cmdStart->isEnabled());
    EXPECT_EQ(w.TotalPercent(), 100.0f);
    EXPECT_EQ(w.labelConvertype->text(), "CD->WAV");
    EXPECT_EQ(w.labelsource->text(), "CD Track 3");
    EXPECT_EQ(w.labeloutput->toolTip().isEmpty() ? w.labeloutput->text() : w.labeloutput->toolTip(),
              out.filePath("music/new/track03.wav"));
  });
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(fileBytes(out.filePath("music/new/track01.wav")).mid(44), audioOf(image, 1));
  EXPECT_EQ(fileBytes(out.filePath("music/new/track03.wav")).mid(44), audioOf(image, 3));
  EXPECT_FALSE(QFile::exists(out.filePath("music/new/track02.wav")));
  EXPECT_TRUE(
      fileBytes(out.filePath("music/new/rip.log")).contains("Drive:           Disc image: album.cue"));
}

TEST_F(GrabWindowTest, EachWindowReleasesTheHandleTheLastOneLeftOpen) {
  WriteCueBin(discs.path().toStdString(), AudioDisc("often", {60, 60}));
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  makePage({2}, true, out.path());
  // More windows than the component has handles: each must give back the one before.
  for (int i = 0; i < 12; ++i) {
    sv::frmRipperStatus w(*page);
    EXPECT_EQ(w.labelConvertype->text(), "Total 1 CD Tracks, ready to grab...") << i;
  }
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_NE(sv::CDHandle, 0);  // the last one stays open until the next window
}

TEST_F(GrabWindowTest, OverwriteCancelEndsTheJobAndClosesTheWindow) {
  WriteCueBin(discs.path().toStdString(), AudioDisc("again", {60, 60}));
  QFile old(out.filePath("track01.mp3"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("keep me");
  old.close();
  sv::ScopedMsgBoxResponder boxes(sv::vbCancel);
  makePage({1, 2}, false, out.path());
  page->Checkripperoverwrite->setChecked(false);
  startFromPage([&](sv::frmRipperStatus& w) {
    QTest::mouseClick(w.cmdStart, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
  });
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, out.filePath("track01.mp3") + " existed, do you want to overwrite it?");
  EXPECT_EQ(boxes.calls()[0].buttons, sv::vbYesNoCancel | sv::vbInformation);
  EXPECT_EQ(fileBytes(out.filePath("track01.mp3")), "keep me");
  EXPECT_FALSE(QFile::exists(out.filePath("track02.mp3")));
}

TEST_F(GrabWindowTest, CancelDuringTheGrabAsksAndYesClosesTheWindow) {
  // Long enough that the job is still reading when the click arrives.
  WriteCueBin(discs.path().toStdString(), AudioDisc("long", {75 * 120}));
  QElapsedTimer clock;
  qint64 answeredAfter = -1;
  sv::ScopedMsgBoxResponder boxes([&](const QString& text, const QString&, int) {
    if (text.startsWith("Really")) answeredAfter = clock.elapsed();
    return sv::vbYes;
  });
  makePage({1}, true, out.path());
  startFromPage([&](sv::frmRipperStatus& w) {
    // The click comes once the track is under way, as the event loop runs between blocks.
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &w, [&] {
      if (w.FilePercent() < 10 || clock.isValid()) return;
      clock.start();
      QTest::mouseClick(w.cmdCancel, Qt::LeftButton);
    });
    poll.start();
    QTest::mouseClick(w.cmdStart, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
  });
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Really want to stop grabing?");
  // Asked at the next block; generous here, the benchmark measures it.
  EXPECT_GE(answeredAfter, 0);
  EXPECT_LT(answeredAfter, 1000);
  // The partial file stays and its header says what it holds.
  const QByteArray wav = fileBytes(out.filePath("track01.wav"));
  ASSERT_GT(wav.size(), 44);
  EXPECT_LT(wav.size(), 44 + 75 * 120 * 2352);
  const quint32 dataSize = qFromLittleEndian<quint32>(wav.constData() + 40);
  EXPECT_EQ(dataSize, quint32(wav.size() - 44));
}

TEST_F(GrabWindowTest, ADriveThatCannotBeOpenedLeavesAWindowWithNoTracks) {
  const DiscImage image = WriteCueBin(discs.path().toStdString(), AudioDisc("gone", {60}));
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  makePage({1}, true, out.path());
  RemoveImage(image);
  startFromPage([&](sv::frmRipperStatus& w) {
    EXPECT_EQ(w.labelConvertype->text(), "Total 0 CD Tracks, ready to grab...");
    QTest::mouseClick(w.cmdStart, Qt::LeftButton);
    EXPECT_EQ(w.labelStatus->text(), "Finish Tracks Grab!");
  });
  ASSERT_GE(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls().back().text, "init Cd Rom Error");
  EXPECT_EQ(boxes.calls().back().buttons, sv::vbCritical);
  EXPECT_FALSE(QFile::exists(out.filePath("track01.wav")));
}

TEST_F(GrabWindowTest, AFolderThatCannotBeMadeIsReported) {
  WriteCueBin(discs.path().toStdString(), AudioDisc("nofolder", {60}));
  QFile blocker(out.filePath("file"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  makePage({1}, true, out.filePath("file/sub"));
  startFromPage([&](sv::frmRipperStatus& w) {
    QTest::mouseClick(w.cmdStart, Qt::LeftButton);
    EXPECT_TRUE(w.labelStatus->text().startsWith("The output folder " + out.filePath("file/sub")));
  });
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_TRUE(boxes.calls()[0].text.contains("could not be made"));
}

TEST_F(GrabWindowTest, TildeInTheOutputFolderMeansTheHomeFolder) {
  WriteCueBin(discs.path().toStdString(), AudioDisc("home", {60}));
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  const QByteArray home = qgetenv("HOME");
  qputenv("HOME", out.path().toUtf8());
  makePage({1}, true, "~/Music/cd");
  page->ShowGrabWindow = [](sv::CDPage&) {};
  page->cmdRipperStart_Click();
  qputenv("HOME", home);
  EXPECT_EQ(sv::RipperOutputDir, out.filePath("Music/cd"));
}

}  // namespace
