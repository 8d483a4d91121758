// The burn window driving the CD-writer control: on the image writer, and on scripted
// writers for what the image writer cannot show. Every status text, bar value, caption and
// message is checked after each event, as the window showed it.
#include "burn_window_support.h"
#include "cdwriter_support.h"
#include "platform/msgbox.h"
#include "test_media.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QTest>

#include <signal.h>
#include <sys/resource.h>

#include <cmath>

#include <gtest/gtest.h>

namespace {

using burntest::Shown;
using burntest::WindowWatch;
using cdwtest::Sandbox;
using cdwtest::WriteMp3;
using cdwtest::WriteWav;

const QColor kBlack(0, 0, 0);
const QColor kGreen(23, 122, 18);

QString two(qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }
int roundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

class BurnWindowTest : public ::testing::Test {
 protected:
  void Script(const char* json) {
    media::WriteAll(box_.file("script.json"), json);
    qputenv("SONVERA_CDWRITER_SCRIPT", box_.file("script.json").toUtf8());
  }
  QString Log() const { return cdwtest::ReadText(box_.log()); }
  // The boxes shown, as "text|buttons".
  std::vector<sv::MsgBoxCall> Boxes() const { return boxes_.calls(); }

  Sandbox box_;
  sv::ScopedMsgBoxResponder boxes_{sv::vbOK};
};

// Each event of a write shows its text, bars, caption and controls as the tables say.
void CheckWriteEvents(const std::vector<Shown>& shown, int tracks) {
  int cachingTrack = 0;
  qint64 cachingSize = 0, writeSize = 0;
  bool preparing = false;
  for (const Shown& s : shown) {
    SCOPED_TRACE((s.event + " " + s.status).toStdString());
    const auto a = [&](int i) { return s.args.value(i).toLongLong(); };
    if (s.event == "CachingTrack") {
      cachingTrack = static_cast<int>(a(0));
      cachingSize = a(1);
    } else if (s.event == "CachingTrackStatus") {
      EXPECT_EQ(s.status, "Caching and Decoding Track #" + two(cachingTrack) + " - " +
                              two(roundEven(double(a(0)) / double(cachingSize) * 100)) + "%");
    } else if (s.event == "PreparingToWrite") {
      preparing = true;
      EXPECT_EQ(s.status, "Preparing to Write Disc....");
      EXPECT_EQ(s.track, 0);
      EXPECT_EQ(s.total, 0);
      EXPECT_FALSE(s.controls);
      EXPECT_EQ(s.caption, "Total Process:(not complete,please wait...)");
    } else if (s.event == "TrackWriteStart") {
      EXPECT_EQ(s.status, "Preparing to Write Track #" + two(a(0)));
      EXPECT_EQ(s.track, 0);
      writeSize = a(1);
    } else if (s.event == "TrackWriteStatus") {
      const int track = std::min(100, roundEven(double(a(1)) / double(writeSize) * 100));
      const int total = std::min(99, roundEven((track / 100.0 + double(a(0) - 1)) / tracks * 100));
      EXPECT_EQ(s.track, track);
      EXPECT_EQ(s.total, total);
      EXPECT_EQ(s.status, "Writing Track #" + two(a(0)) + "... ");
      EXPECT_FALSE(s.controls) << "no second write while one runs";
    } else if (s.event == "ClosingTrack") {
      EXPECT_EQ(s.status, "Closing Track....#" + two(a(0)));
    } else if (s.event == "ClosingDisc") {
      EXPECT_EQ(s.status, "Closing Disc....Please wait until finish!");
    }
    if (s.event != "WritingComplete") {
      EXPECT_LE(s.total, 99) << "the total waits for the end";
    }
  }
  EXPECT_TRUE(preparing);
}

TEST_F(BurnWindowTest, LoadsWithTheImageWriterAloneAndANewLog) {
  if (!QDir("/dev").entryList({"sr*"}, QDir::System).isEmpty()) GTEST_SKIP() << "this machine has CD drives";
  QDir().mkpath(QFileInfo(box_.log()).path());
  media::WriteAll(box_.log(), "an earlier burn\n");
  WindowWatch watch({});
  sv::frmCDBurner& w = watch.window();
  EXPECT_EQ(w.windowTitle(), "Burn Audio CD");
  EXPECT_EQ(w.frameSettings->title(), "CD-Writer Settings");
  EXPECT_EQ(watch.Writers(), QStringList{"Image: Sonvera CUE/BIN disc image"});
  EXPECT_EQ(w.Job().SelectedWriter(), 0);
  EXPECT_EQ(watch.Speeds(), QStringList{"Default"}) << "the image writer has no speeds";
  EXPECT_TRUE(w.CheckBurnProof->isEnabled());
  EXPECT_FALSE(w.CheckBurnProof->isChecked());
  EXPECT_FALSE(w.CheckTestMode->isChecked());
  EXPECT_EQ(w.CheckTestMode->text(), "Test Mode(Data will not be written to the media)");
  EXPECT_EQ(w.labelStatus->text(), "");
  EXPECT_EQ(w.Labeltotalprocess->text(), "Total Process:");
  EXPECT_EQ(w.labelFileCaption->text(), "Track Burn:");
  EXPECT_EQ(w.cmdStart->Caption(), "&Burn Now");
  EXPECT_EQ(w.cmdCancel->Caption(), "&Cancel");
  EXPECT_EQ(w.FilePercent(), 0);
  EXPECT_EQ(w.TotalPercent(), 0);
  const QString log = Log();
  EXPECT_FALSE(log.contains("an earlier burn")) << "each window starts a new log";
  EXPECT_TRUE(log.contains("Writer 0: Image: Sonvera CUE/BIN disc image"));
}

TEST_F(BurnWindowTest, FourTracksToAnImageEveryTextAndBarUntilComplete) {
  const cdwtest::Tag tag{"Harbour Lights", "The Ferrymen", "Crossings"};
  const QStringList files{WriteWav(box_.file("a.wav"), 154321, 2, 1),
                          WriteWav(box_.file("b.wav"), 88200, 1, 2),
                          WriteMp3(box_.file("c.mp3"), 3.3, 2, &tag), WriteMp3(box_.file("d.mp3"), 2.2, 1)};
  WindowWatch watch(files);
  sv::frmCDBurner& w = watch.window();
  w.cmdStart_Click();
  ASSERT_TRUE(watch.WaitForEnd());
  ASSERT_EQ(w.Job().Outcome(), "WritingComplete");
  EXPECT_EQ(w.Job().BurnTrackCount(), 4);
  CheckWriteEvents(watch.shown(), 4);
  EXPECT_EQ(watch.Named("CachingTrack").size(), 2u) << "the two MP3s";
  const auto status = watch.Named("TrackWriteStatus");
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.back().total, 99) << "track 4 at 100% is still 99 in total";
  EXPECT_EQ(status.back().track, 100);

  const Shown& end = watch.shown().back();
  EXPECT_EQ(end.status, "Writing Complete!");
  EXPECT_EQ(end.colour, kGreen);
  EXPECT_EQ(end.total, 100);
  EXPECT_TRUE(end.controls);
  EXPECT_TRUE(w.ComboCDWrite->isEnabled());
  EXPECT_TRUE(w.ComboBurnSpeed->isEnabled());
  EXPECT_EQ(end.caption, "Total Process:(Burn complete)");
  EXPECT_FALSE(w.Job().Burning());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Burn Audio CD successful!");
  EXPECT_EQ(Boxes()[0].buttons, sv::vbInformation);
  EXPECT_EQ(Boxes()[0].title, "Sonvera Disc Suite");
  EXPECT_EQ(box_.discFiles().filter(".cue").size(), 1) << box_.discFiles().join(", ").toStdString();
  EXPECT_TRUE(Log().contains("Disc finished")) << "the finishing call after a real write";

  // A second burn in the same window starts from black.
  boxes_.clear();
  w.CheckTestMode->setChecked(true);
  w.cmdStart_Click();
  EXPECT_EQ(w.labelStatus->palette().color(QPalette::WindowText), kBlack);
  ASSERT_TRUE(watch.WaitForEnd());
  EXPECT_EQ(w.Job().Outcome(), "WritingComplete");
  EXPECT_EQ(box_.discFiles().filter(".cue").size(), 1) << "test mode leaves no image";
  EXPECT_EQ(Log().count("Disc finished"), 1) << "no finishing call after a test";
}

TEST_F(BurnWindowTest, RefusedFilesAndTheThreeChecksStopBeforeWriting) {
  Script(R"({"writers": [
    {"address": "S0", "vendor": "Test", "product": "No Disc", "disc": "none"},
    {"address": "S1", "vendor": "Test", "product": "Used Disc", "disc": "used"},
    {"address": "S2", "vendor": "Test", "product": "Busy", "selectable": false}]})");
  const QString good = WriteWav(box_.file("good.wav"), 44100, 2, 1);
  const QString low = WriteWav(box_.file("low.wav"), 22050, 2, 2, 22050);
  const QString gone = box_.file("gone.wav");
  struct Case {
    QString writer;
    QStringList files;
    QString text;
  };
  const Case cases[] = {
      {"S0", {good, low}, low + "\r\nOnly high quality MP3,Wave(eg:44100hz) files can be burned!"},
      {"S0", {gone}, gone + "\r\nOnly high quality MP3,Wave(eg:44100hz) files can be burned!"},
      {"S0", {good}, "Please load an empty disc for recording."},
      {"S1", {good}, "Please insert an empty disc for recording."},
      {"S2", {good}, "CD write drive is not selected or does not exist."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    boxes_.clear();
    WindowWatch watch(c.files);
    sv::frmCDBurner& w = watch.window();
    ASSERT_TRUE(watch.ChooseWriter(c.writer + ":"));
    w.cmdStart_Click();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_TRUE(Boxes()[0].text.startsWith(c.text)) << Boxes()[0].text.toStdString();
    EXPECT_EQ(Boxes()[0].buttons, sv::vbInformation);
    EXPECT_TRUE(w.cmdStart->isEnabled()) << "nothing started; Burn Now can be pressed again";
    QTest::qWait(50);
    EXPECT_TRUE(watch.shown().empty()) << "no write began";
  }
  EXPECT_TRUE(box_.discFiles().isEmpty());
}

TEST_F(BurnWindowTest, ScriptedWritersSpeedsAndBurnProof) {
  Script(R"({"writers": [
    {"address": "S0", "vendor": "Test", "product": "Plain", "burnProof": false, "maxSpeed": 0},
    {"address": "S1", "vendor": "Test", "product": "Fast", "maxSpeed": 24},
    {"address": "S2", "vendor": "Test", "product": "Ten", "maxSpeed": 10},
    {"address": "S3", "vendor": "Test", "product": "Three", "maxSpeed": 3},
    {"address": "S4", "vendor": "Test", "product": "Five", "maxSpeed": 5, "burnProof": false}]})");
  WindowWatch watch({});
  sv::frmCDBurner& w = watch.window();
  EXPECT_EQ(watch.Writers().first(), "S0: Test Plain");
  EXPECT_EQ(watch.Writers().last(), "Image: Sonvera CUE/BIN disc image");
  EXPECT_FALSE(w.CheckBurnProof->isEnabled()) << "a writer without burn proof";
  EXPECT_FALSE(w.CheckBurnProof->isChecked());
  EXPECT_EQ(watch.Speeds(), QStringList{"Default"});
  EXPECT_FALSE(Log().contains("Write speed set")) << "Default sets no speed";

  ASSERT_TRUE(watch.ChooseWriter("S1:"));
  EXPECT_EQ(watch.Speeds(), QStringList({"24x", "20x", "16x", "12x", "8x", "4x", "2x", "1x"}));
  EXPECT_TRUE(w.CheckBurnProof->isEnabled()) << "the chosen writer's own answer";
  EXPECT_TRUE(Log().contains("Write speed set to 24x")) << "the first entry is chosen";
  w.ComboBurnSpeed->setCurrentIndex(1);
  EXPECT_TRUE(Log().contains("Write speed set to 20x"));
  w.CheckBurnProof->setChecked(true);

  ASSERT_TRUE(watch.ChooseWriter("S2:"));
  EXPECT_EQ(watch.Speeds(), QStringList({"10x", "6x", "2x", "1x"}));
  EXPECT_FALSE(w.CheckBurnProof->isChecked()) << "unchecked at every writer change";
  ASSERT_TRUE(watch.ChooseWriter("S3:"));
  EXPECT_EQ(watch.Speeds(), QStringList({"3x", "2x", "1x"}));
  ASSERT_TRUE(watch.ChooseWriter("S4:"));
  EXPECT_EQ(watch.Speeds(), QStringList({"5x", "1x"}));
  EXPECT_FALSE(w.CheckBurnProof->isEnabled());
}

TEST_F(BurnWindowTest, ADeviceErrorIsToldAndTheWindowCanBurnAgain) {
  Script(R"({"writers": [{"address": "S0", "vendor": "Test", "product": "Device Error", "maxSpeed": 8,
     "fail": {"track": 2, "block": 50, "writeError": 3, "deviceError": 336896, "text": "Invalid field"}}]})");
  const QStringList files{WriteWav(box_.file("a.wav"), 44100 * 3, 2, 1),
                          WriteWav(box_.file("b.wav"), 44100 * 3, 2, 2)};
  WindowWatch watch(files);
  sv::frmCDBurner& w = watch.window();
  w.cmdStart_Click();
  ASSERT_TRUE(watch.WaitForEnd());
  ASSERT_EQ(w.Job().Outcome(), "WriteError");
  CheckWriteEvents(watch.shown(), 2);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text,
            "A device error has occurred. Device Error 336896\r\nError Data - Invalid field");
  EXPECT_EQ(Boxes()[0].buttons, sv::vbCritical);
  const Shown& end = watch.shown().back();
  EXPECT_EQ(end.status, "A write error occurred..");
  EXPECT_EQ(end.caption, "Total Process:(Error,burn stop.)");
  EXPECT_TRUE(end.controls);
  EXPECT_LT(end.total, 100);
  EXPECT_FALSE(w.Job().Burning());
}

TEST_F(BurnWindowTest, ALayoutLongerThanTheDiscIsRefusedWithItsLength) {
  Script(R"({"writers": [{"address": "S0", "vendor": "Test", "product": "Small", "capacityBlocks": 300}]})");
  WindowWatch watch({WriteWav(box_.file("a.wav"), 44100 * 5, 2, 1)});
  watch.window().cmdStart_Click();
  ASSERT_TRUE(watch.WaitForEnd());
  ASSERT_EQ(watch.window().Job().Outcome(), "WriteError");
  EXPECT_TRUE(watch.Named("TrackWriteStart").empty()) << "nothing was written";
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_TRUE(Boxes()[0].text.startsWith(
      "A device error has occurred. Device Error 28\r\nError Data - The tracks last"))
      << Boxes()[0].text.toStdString();
  EXPECT_TRUE(Boxes()[0].text.contains("but the disc holds 00:04")) << Boxes()[0].text.toStdString();
}

TEST_F(BurnWindowTest, FileErrorCodeThreeHasNoNameAndTheControlsStayAsTheyWere) {
  Script(R"({"writers": [{"address": "S0", "vendor": "Test", "product": "File Error",
     "fail": {"track": 2, "block": 0, "fileError": 3, "fileName": "second.wav"}}]})");
  const QStringList files{WriteWav(box_.file("a.wav"), 44100, 2, 1),
                          WriteWav(box_.file("second.wav"), 44100, 2, 2)};
  WindowWatch watch(files);
  sv::frmCDBurner& w = watch.window();
  w.show();
  w.cmdStart_Click();
  ASSERT_TRUE(watch.WaitForEnd());
  ASSERT_EQ(w.Job().Outcome(), "TrackFileError");
  const Shown& end = watch.shown().back();
  EXPECT_EQ(end.status, "Unknown file error!:");
  EXPECT_EQ(end.caption, "Total Process:(Error,burn stop.)");
  EXPECT_FALSE(end.controls) << "after a file error the controls stay disabled";
  EXPECT_TRUE(Boxes().empty()) << "a file error is told in the status line";
  w.cmdCancel_Click();
  EXPECT_FALSE(w.isVisible()) << "nothing runs: Cancel closes the window";
}

TEST_F(BurnWindowTest, ASourceThatVanishesOrChangesDuringTheBurnIsAFileError) {
  Script(R"({"writers": [{"address": "S0", "vendor": "Test", "product": "Slow", "blocksPerSecond": 400}]})");
  for (const bool remove : {true, false}) {
    SCOPED_TRACE(remove ? "removed" : "changed");
    const QString a = WriteWav(box_.file("a.wav"), 44100 * 10, 2, 1);
    const QString b = WriteWav(box_.file("b.wav"), 44100 * 2, 2, 2);
    WindowWatch watch({a, b});
    watch.OnFirst("TrackWriteStatus", [&] {
      if (remove)
        QFile::remove(b);
      else
        WriteWav(b, 44100 * 2, 2, 3);  // the same length, other samples
    });
    watch.window().cmdStart_Click();
    ASSERT_TRUE(watch.WaitForEnd());
    ASSERT_EQ(watch.window().Job().Outcome(), "TrackFileError");
    EXPECT_EQ(watch.shown().back().status, (remove ? "Error opening file: " : "Error reading file: ") + b);
    EXPECT_TRUE(watch.Named("ClosingDisc").empty());
  }
}

TEST_F(BurnWindowTest, CancelDuringAWriteKeepsTheWindowASecondCancelClosesIt) {
  Script(R"({"writers": [{"address": "S0", "vendor": "Test", "product": "Slow", "blocksPerSecond": 300}]})");
  WindowWatch watch({WriteWav(box_.file("a.wav"), 44100 * 8, 2, 1)});
  sv::frmCDBurner& w = watch.window();
  w.show();
  watch.OnFirst("TrackWriteStatus", [&] { w.cmdCancel_Click(); });
  w.cmdStart_Click();
  ASSERT_TRUE(watch.WaitForEnd());
  ASSERT_EQ(w.Job().Outcome(), "WritingCancelled");
  EXPECT_TRUE(w.isVisible()) << "Cancel during a write only stops it";
  EXPECT_TRUE(w.Job().CancelAsked());
  const Shown& end = watch.shown().back();
  EXPECT_EQ(end.status, "Writing Cancelled......");
  EXPECT_TRUE(end.controls);
  EXPECT_TRUE(watch.Named("ClosingTrack").empty());
  EXPECT_TRUE(Boxes().empty());
  w.cmdCancel_Click();
  EXPECT_FALSE(w.isVisible()) << "the second Cancel closes the window";
}

TEST_F(BurnWindowTest, CancelRightAfterBurnNowStopsTheWriteItStarted) {
  Script(R"({"writers": [{"address": "S0", "vendor": "Test", "product": "Slow", "blocksPerSecond": 300}]})");
  WindowWatch watch({WriteWav(box_.file("a.wav"), 44100 * 8, 2, 1)});
  sv::frmCDBurner& w = watch.window();
  w.show();
  w.cmdStart_Click();
  w.cmdCancel_Click();  // before the write's first event arrives
  EXPECT_TRUE(w.isVisible());
  ASSERT_TRUE(watch.WaitForEnd());
  EXPECT_EQ(w.Job().Outcome(), "WritingCancelled");
  EXPECT_EQ(w.labelStatus->text(), "Writing Cancelled......");
}

TEST_F(BurnWindowTest, EscapeDuringAWriteCancelsIt) {
  Script(R"({"writers": [{"address": "S0", "vendor": "Test", "product": "Slow", "blocksPerSecond": 300}]})");
  WindowWatch watch({WriteWav(box_.file("a.wav"), 44100 * 8, 2, 1)});
  sv::frmCDBurner& w = watch.window();
  w.show();
  watch.OnFirst("TrackWriteStatus", [&] { QTest::keyClick(&w, Qt::Key_Escape); });
  w.cmdStart_Click();
  ASSERT_TRUE(watch.WaitForEnd());
  EXPECT_EQ(w.Job().Outcome(), "WritingCancelled");
  EXPECT_TRUE(w.isVisible());
}

// Disk full: the window burns to an image in a child process that may write no more than a
// few megabytes.
TEST_F(BurnWindowTest, DiskFullIsAWriteErrorAndLeavesNoImage) {
  const QStringList files{WriteWav(box_.file("a.wav"), 44100 * 20, 2, 1),
                          WriteWav(box_.file("b.wav"), 44100 * 20, 2, 2)};
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.setChildProcessModifier([] {
    signal(SIGXFSZ, SIG_IGN);  // past the limit a write fails with EFBIG
    const rlimit r{4 << 20, 4 << 20};
    setrlimit(RLIMIT_FSIZE, &r);
  });
  p.start(QCoreApplication::applicationDirPath() + "/burn_window_helper", files);
  ASSERT_TRUE(p.waitForFinished(120000));
  const QString out = QString::fromUtf8(p.readAll());
  SCOPED_TRACE(out.toStdString());
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_TRUE(out.contains("outcome: WriteError\n"));
  EXPECT_TRUE(out.contains("box 16: A device error has occurred. Device Error 27\\r\\nError Data - Writing " +
                           box_.discs() + "/"));
  EXPECT_TRUE(out.contains(".bin: File too large\n"));
  EXPECT_TRUE(out.contains("status: A write error occurred..\n"));
  EXPECT_TRUE(out.contains("caption: Total Process:(Error,burn stop.)\n"));
  EXPECT_FALSE(out.contains("Burn Audio CD successful!"));
  EXPECT_TRUE(box_.discFiles().isEmpty()) << box_.discFiles().join(", ").toStdString();
}

}  // namespace

namespace {

// For a look at the window: with SONVERA_SHOW_BURN_WINDOW naming a folder, the window burns
// five tracks on a slow scripted writer and is saved there mid-write (burn-mid.png) and after
// completion (burn-done.png).
TEST_F(BurnWindowTest, ShownMidWriteAndComplete) {
  const QString folder = qEnvironmentVariable("SONVERA_SHOW_BURN_WINDOW");
  if (folder.isEmpty()) GTEST_SKIP() << "set SONVERA_SHOW_BURN_WINDOW to a folder to look at the window";
  Script(R"({"writers": [{"address": "/dev/sr0", "vendor": "HL-DT-ST", "product": "DVDRAM GH24NSD1",
     "maxSpeed": 48, "blocksPerSecond": 1500}]})");
  QStringList files;
  for (int i = 0; i < 5; ++i)
    files << WriteWav(box_.file(QString("0%1 Track.wav").arg(i + 1)), 44100 * (4 + i), 2,
                      static_cast<quint32>(i));
  WindowWatch watch(files);
  sv::frmCDBurner& w = watch.window();
  w.show();
  w.CheckBurnProof->setChecked(true);
  bool mid = false;
  QObject::connect(
      &w.Job().Control(), &sv::CDWriterControl::Event, [&](const QString& name, const QVariantList& args) {
        if (mid || name != "TrackWriteStatus" || args.value(0).toInt() != 3 || args.value(1).toInt() < 150)
          return;
        mid = true;
        w.grab().save(folder + "/burn-mid.png");
      });
  w.cmdStart_Click();
  ASSERT_TRUE(watch.WaitForEnd());
  QTest::qWait(1000);
  w.grab().save(folder + "/burn-done.png");
  EXPECT_TRUE(mid);
}

}  // namespace
