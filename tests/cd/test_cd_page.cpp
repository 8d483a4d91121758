#include "CDPage.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "disc_images.h"
#include "frmmain.h"
#include "platform/mci.h"
#include "platform/mci_cdaudio.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"

namespace {

using namespace sv::discs;

bool waitFor(const std::function<bool()>& cond, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!cond()) {
    if (clock.elapsed() > ms) return false;
    QTest::qWait(10);
  }
  return true;
}

QString deviceMode() {
  QString reply;
  sv::mciSendString(QStringLiteral("status cd mode"), &reply);
  return reply;
}

// A page of its own on a disc folder of its own, with the timer the main window runs.
class CdPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(discs.isValid());
    folder = discs.path().toStdString();
    qputenv("SONVERA_DISC_DIR", discs.path().toUtf8());
    sv::mci::RegisterCdAudioDevice();
    sv::RipperOutputDir = QStringLiteral("/tmp/music-out");
  }
  void TearDown() override {
    timer.stop();
    page.reset();
    sv::mciSendString(QStringLiteral("close all"));
  }

  void makePage() {
    page = std::make_unique<sv::CDPage>();
    page->ClearCDInfo();
    page->InitCDPage();
    page->show();
    QObject::connect(&timer, &QTimer::timeout, page.get(), [this] { page->cdInfoTimer_Timer(); });
    timer.setInterval(1000);
  }

  QStringList entries() const {
    QStringList texts;
    for (int i = 0; i < page->listcdtrack->count(); ++i) texts << page->listcdtrack->item(i)->text();
    return texts;
  }

  void clickEntry(int row) {
    QListWidgetItem* item = page->listcdtrack->item(row);
    const QRect r = page->listcdtrack->visualItemRect(item);
    QTest::mouseClick(page->listcdtrack->viewport(), Qt::LeftButton, {}, r.center() + QPoint(20, 0));
  }

  QTemporaryDir discs;
  std::filesystem::path folder;
  sv::ScopedMsgBoxResponder boxes{sv::vbOK};
  std::unique_ptr<sv::CDPage> page;
  QTimer timer;
};

TEST_F(CdPageTest, WithoutDrivesThePageSaysWhereDiscImagesGo) {
  makePage();
  EXPECT_EQ(page->ComboCDRom->count(), 0);
  EXPECT_TRUE(page->labelNoDrive->isVisible());
  EXPECT_FALSE(page->listcdtrack->isVisible());
  EXPECT_TRUE(page->labelNoDrive->text().contains(QStringLiteral("No CD drive was found")));
  EXPECT_TRUE(page->labelNoDrive->text().contains(discs.path()));
  EXPECT_TRUE(boxes.calls().empty());
  // The settings are ready all the same.
  EXPECT_EQ(page->txtripperoutputdirectory->text(), "/tmp/music-out");
  EXPECT_TRUE(page->Checkripperoverwrite->isChecked());
  EXPECT_TRUE(page->cmdRipperOutputSelectOption[0]->IsPressed());
  EXPECT_EQ(page->Comboripperbitrate->currentText(), "128 Kbps");
  // The timer does nothing more than look for drives.
  page->cdInfoTimer_Timer();
  EXPECT_EQ(page->listcdtrack->count(), 0);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(CdPageTest, ListsTheTracksWithTwoDigitNumbersAndTheirLengths) {
  DiscSpec spec = AudioDisc("ten tracks", {});
  for (int t = 1; t <= 10; ++t) spec.tracks.push_back(Track(75 * t + t));
  spec.tracks[0].pregapFrames = 150;
  const DiscImage image = WriteCueBin(folder, spec);
  makePage();
  ASSERT_EQ(page->ComboCDRom->count(), 1);
  EXPECT_EQ(page->ComboCDRom->itemText(0), "Disc image: ten tracks.cue");
  EXPECT_EQ(page->SelectedDrivePath(), QString::fromStdString(image.sheet.string()));
  const QStringList e = entries();
  ASSERT_EQ(e.size(), 10);
  EXPECT_EQ(e[0], "Track 01  -  [ 00:01:01 ]");
  EXPECT_EQ(e[8], "Track 09  -  [ 00:09:09 ]");
  EXPECT_EQ(e[9], "Track 10  -  [ 00:10:10 ]");
  EXPECT_EQ(page->labelcdtotaltrack->text(), "10");
  EXPECT_EQ(page->labelcdtotaltime->text(), QString::fromStdString(Msf(image.totalFrames - 150)));
  EXPECT_EQ(page->TrackLengths.value(10), "00:10:10");
  EXPECT_EQ(page->listcdtrack->item(3)->checkState(), Qt::Unchecked);
  EXPECT_TRUE(page->listcdtrack->item(3)->flags() & Qt::ItemIsUserCheckable);
  EXPECT_FALSE(page->labelNoDrive->isVisible());
  EXPECT_TRUE(boxes.calls().empty());

  clickEntry(2);
  EXPECT_EQ(page->labelcdcurrenttrack->text(), "3");
  EXPECT_EQ(page->labelcdcurrentplaytime->text(), "00:03:03");
}

TEST_F(CdPageTest, DataTracksAreListedButCannotBeChecked) {
  DiscSpec spec = AudioDisc("enhanced", {300, 300});
  spec.tracks.push_back(DataTrack(900));
  WriteCueBin(folder, spec);
  makePage();
  const QStringList e = entries();
  ASSERT_EQ(e.size(), 3);
  EXPECT_TRUE(e[2].startsWith("Track 03  -  [ 00:12:00 ]"));
  EXPECT_FALSE(page->listcdtrack->item(2)->flags() & Qt::ItemIsUserCheckable);
  page->listcdtrack->item(0)->setCheckState(Qt::Checked);
  EXPECT_EQ(page->CheckedTracks(), std::vector<int>{1});
}

TEST_F(CdPageTest, TheTimerFillsTheListWhenAnImageAppearsAndClearsItWhenItGoes) {
  DiscImage image = WriteCueBin(folder, AudioDisc("comes and goes", {400, 300}));
  makePage();
  ASSERT_EQ(page->listcdtrack->count(), 2);
  timer.start();
  RemoveImage(image);
  ASSERT_TRUE(waitFor([&] { return page->listcdtrack->count() == 0; }, 3000));
  EXPECT_EQ(page->labelcdtotaltrack->text(), "");

  image = WriteCueBin(folder, AudioDisc("comes and goes", {400, 300}));
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(waitFor([&] { return page->listcdtrack->count() == 2; }, 5000));
  // Within about a second: the device looks four times a second, the page once.
  EXPECT_LT(clock.elapsed(), 2500);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(CdPageTest, AnImagePutIntoAnEmptyDiscFolderBecomesADrive) {
  makePage();
  ASSERT_TRUE(page->labelNoDrive->isVisible());
  timer.start();
  WriteCueBin(folder, AudioDisc("new arrival", {200}));
  ASSERT_TRUE(waitFor([&] { return page->listcdtrack->count() == 1; }, 5000));
  EXPECT_EQ(page->ComboCDRom->count(), 1);
  EXPECT_FALSE(page->labelNoDrive->isVisible());
  EXPECT_TRUE(page->listcdtrack->isVisible());
}

TEST_F(CdPageTest, ADiscOfTheSameTrackCountButAnotherFirstLengthIsReloaded) {
  DiscImage image = WriteCueBin(folder, AudioDisc("swap", {300, 300}));
  makePage();
  ASSERT_EQ(entries().value(0), "Track 01  -  [ 00:04:00 ]");
  timer.start();
  DiscSpec other = AudioDisc("swap", {375, 300});
  other.seed = 9;
  WriteCueBin(folder, other);
  ASSERT_TRUE(waitFor([&] { return entries().value(0) == "Track 01  -  [ 00:05:00 ]"; }, 5000));
  EXPECT_EQ(page->listcdtrack->count(), 2);
  EXPECT_EQ(page->TrackLengths.value(1), "00:05:00");
}

TEST_F(CdPageTest, PlaybackRunsIntoTheNextTrackAndTheSelectionFollows) {
  WriteCueBin(folder, AudioDisc("follow", {75, 75 * 20, 300}));
  makePage();
  clickEntry(0);
  page->cmdRipperPlay_Click();
  EXPECT_TRUE(page->CDPlaying);
  EXPECT_TRUE(page->cmdRipperPlay->IsPressed());
  EXPECT_EQ(page->labelcdplayingtimer->text(), "00:00");
  EXPECT_EQ(deviceMode(), "playing");
  timer.start();
  ASSERT_TRUE(waitFor([&] { return page->listcdtrack->currentRow() == 1; }, 6000));
  EXPECT_EQ(page->labelcdcurrenttrack->text(), "2");
  EXPECT_EQ(page->labelcdcurrentplaytime->text(), "00:20:00");
  EXPECT_FALSE(page->TrackSelectByTimer);
  EXPECT_TRUE(page->CDPlaying);
  EXPECT_EQ(deviceMode(), "playing");
  EXPECT_TRUE(page->cmdRipperPlay->IsPressed());
  EXPECT_TRUE(page->labelcdplayingtimer->text().startsWith("00:0"));

  // The user picks another track: playback stops.
  clickEntry(2);
  EXPECT_FALSE(page->CDPlaying);
  EXPECT_FALSE(page->cmdRipperPlay->IsPressed());
  EXPECT_EQ(deviceMode(), "stopped");
  EXPECT_EQ(page->labelcdcurrenttrack->text(), "3");
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(CdPageTest, PlayNeedsASelectionAndStopAndEjectDoWhatTheySay) {
  WriteCueBin(folder, AudioDisc("buttons", {75 * 30}));
  makePage();
  page->cmdRipperPlay_Click();
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Please select a CD track to play!");
  EXPECT_EQ(boxes.calls()[0].buttons, sv::vbCritical);
  EXPECT_EQ(boxes.calls()[0].title, "Sonvera Disc Suite");
  EXPECT_FALSE(page->CDPlaying);
  boxes.clear();

  clickEntry(0);
  page->cmdRipperPlay_Click();
  EXPECT_EQ(deviceMode(), "playing");
  page->cmdRipperStop_Click();
  EXPECT_EQ(deviceMode(), "stopped");
  EXPECT_FALSE(page->cmdRipperPlay->IsPressed());

  page->cmdRipperPlay_Click();
  page->cmdRipperEject_Click();
  page->cdInfoTimer_Timer();
  EXPECT_EQ(page->listcdtrack->count(), 0);
  EXPECT_FALSE(page->cmdRipperPlay->IsPressed());
  EXPECT_EQ(page->labelcdplayingtimer->text(), "");
  // Choosing the drive again puts the image back.
  page->OpenCDAudio();
  EXPECT_EQ(page->listcdtrack->count(), 1);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(CdPageTest, TheOutputSwitchShowsMp3SettingsOrTheFixedWavFacts) {
  makePage();
  EXPECT_EQ(page->Comborippersamplerate->currentText(), "44100 Hz");
  EXPECT_EQ(page->Comboripperbitrate->count(), 14);
  EXPECT_EQ(page->Comboripperchannel->currentText(), "Join Stereo");
  EXPECT_EQ(page->Comboripperquality->currentText(), "Normal");
  EXPECT_EQ(page->Comboripperquality->count(), 10);
  EXPECT_TRUE(page->Comboripperbitrate->isVisible());
  EXPECT_FALSE(page->Labelripperwaveinfo->isVisible());

  QTest::mouseClick(page->cmdRipperOutputSelectOption[1], Qt::LeftButton);
  EXPECT_TRUE(page->cmdRipperOutputSelectOption[1]->IsPressed());
  EXPECT_FALSE(page->cmdRipperOutputSelectOption[0]->IsPressed());
  EXPECT_FALSE(page->Comboripperbitrate->isVisible());
  EXPECT_FALSE(page->labelRipperSettings[0]->isVisible());
  EXPECT_TRUE(page->Labelripperwaveinfo->isVisible());
  EXPECT_EQ(page->Labelripperwaveinfo->text(), "SampleRate:  44100 Hz\r\nChannel:   Stereo");

  QTest::mouseClick(page->cmdRipperOutputSelectOption[0], Qt::LeftButton);
  EXPECT_TRUE(page->Comboripperquality->isVisible());
  EXPECT_FALSE(page->Labelripperwaveinfo->isVisible());
}

TEST_F(CdPageTest, StartChecksTheSelectionAndFolderThenHandsOver) {
  WriteCueBin(folder, AudioDisc("start", {300, 300, 300}));
  makePage();
  int handedOver = 0;
  page->ShowGrabWindow = [&](sv::CDPage& p) {
    ++handedOver;
    EXPECT_EQ(p.CheckedTracks(), (std::vector<int>{1, 3}));
    EXPECT_FALSE(p.CDPlaying);
    EXPECT_EQ(deviceMode(), "stopped");
  };
  page->cmdRipperStart_Click();
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Please check the CD tracks you want to grab!");
  EXPECT_EQ(boxes.calls()[0].buttons, sv::vbCritical);

  page->listcdtrack->item(0)->setCheckState(Qt::Checked);
  page->listcdtrack->item(2)->setCheckState(Qt::Checked);
  page->txtripperoutputdirectory->setText("   ");
  page->cmdRipperStart_Click();
  ASSERT_EQ(boxes.calls().size(), 2u);
  EXPECT_EQ(boxes.calls()[1].text, "output directory can not be empty!");
  EXPECT_EQ(handedOver, 0);

  clickEntry(1);
  page->cmdRipperPlay_Click();
  page->txtripperoutputdirectory->setText("  /tmp/grabbed  ");
  page->cmdRipperStart_Click();
  EXPECT_EQ(handedOver, 1);
  EXPECT_EQ(sv::RipperOutputDir, "/tmp/grabbed");
}

TEST(CdPageInMainWindow, AnImageIsListedAtStartWithoutBoxes) {
  QTemporaryDir discs;
  qputenv("SONVERA_DISC_DIR", discs.path().toUtf8());
  WriteCueBin(discs.path().toStdString(), AudioDisc("at start", {300, 200}));
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  {
    frmmain window;
    ASSERT_NE(window.CD, nullptr);
    EXPECT_TRUE(boxes.calls().empty());
    EXPECT_EQ(window.CDDrives.value(0), discs.path() + "/at start.cue");
    EXPECT_EQ(window.CD->ComboCDRom->count(), 1);
    EXPECT_EQ(window.CD->listcdtrack->count(), 2);
    EXPECT_EQ(window.CD->txtripperoutputdirectory->text(), sv::MusicDirectory());
    window.ezbutton1_Click(2);
    EXPECT_TRUE(window.cdInfoTimer.isActive());
    EXPECT_EQ(window.CD->listcdtrack->count(), 2);
    window.ezbutton1_Click(0);
    EXPECT_FALSE(window.cdInfoTimer.isActive());
  }
  sv::mciSendString(QStringLiteral("close all"));
}

}  // namespace
