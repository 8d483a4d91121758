// The music-to-WAV job through its status window: real MP3 files, the real decoder library,
// message boxes answered by script.
#include "convert/core/codec_progress.h"
#include "convert/core/outside_codecs.h"
#include "convert_support.h"
#include "frmAllToWaveStatus.h"
#include "grid/job_grid.h"
#include "jobs/widgets/path_label.h"
#include "jobs/widgets/picture_box.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <vector>

namespace {

using convtest::AddJobRow;
using convtest::ReadAll;
using sv::frmAllToWaveStatus;

class MusicToWaveJob : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    music_ = new QTemporaryDir();
    const QString d = music_->path();
    convtest::MakeMp3(d + "/a.mp3", 1.0, 440);
    convtest::MakeMp3(d + "/b.mp3", 1.6, 660);
    convtest::MakeMp3(d + "/c.mp3", 0.7, 330, 1);
    for (const char* n : {"a", "b", "c"})
      ASSERT_EQ(convtest::ReferenceDecode(d + "/" + n + ".mp3", d + "/" + n + ".ref.wav"), 0);
  }
  static void TearDownTestSuite() {
    delete music_;
    music_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(out_.isValid());
    sv::AllToWaveOutputDir = out_.path();
    list_ = convtest::MakeJobList();
    overwrite_.setChecked(true);
  }

  static QString mp3(const char* n) { return music_->path() + "/" + n + ".mp3"; }
  static QByteArray reference(const char* n) { return ReadAll(music_->path() + "/" + n + ".ref.wav"); }
  QString wav(const char* n) const { return out_.path() + "/" + n + ".WAV"; }
  void add(const char* n) { AddJobRow(*list_, mp3(n), wav(n)); }

  std::unique_ptr<frmAllToWaveStatus> window() {
    auto w = std::make_unique<frmAllToWaveStatus>(nullptr, list_.get(), &overwrite_);
    w->show();
    return w;
  }
  static void start(frmAllToWaveStatus& w) { QTest::mouseClick(w.cmdStart, Qt::LeftButton); }

  // Presses the window's cancel button at the first yield of the job.
  static void cancelSoon(frmAllToWaveStatus& w) {
    QTimer::singleShot(0, &w, [&w] { QTest::mouseClick(w.cmdCancel, Qt::LeftButton); });
  }

  static inline QTemporaryDir* music_ = nullptr;
  QTemporaryDir out_;
  std::unique_ptr<grid::JobGrid> list_;
  QCheckBox overwrite_;
};

// Every percentage drawn on a bar, in order.
struct Drawn {
  std::vector<int> values;
  explicit Drawn(sv::PictureBox* pic) {
    QObject::connect(pic, &sv::PictureBox::ProgressDrawn, pic,
                     [this](float p) { values.push_back(static_cast<int>(p)); });
  }
};

TEST_F(MusicToWaveJob, WindowLoadsReadyAndWaitsForStart) {
  add("a");
  add("b");
  add("c");
  auto w = window();
  EXPECT_EQ(w->windowTitle(), "Convert music file to wave");
  EXPECT_EQ(w->labelConvertype->text(), "Total 3 files,ready for converting...");
  EXPECT_EQ(w->labelStatus->text(), "");
  EXPECT_EQ(w->cmdStart->Caption(), "&Convert Now");
  EXPECT_EQ(w->cmdCancel->Caption(), "&Cancel");
  EXPECT_FLOAT_EQ(w->picFileStatus->LastPercent(), 0);
  EXPECT_EQ(sv::CancelConvert, 0);
  EXPECT_FALSE(QFile::exists(wav("a"))) << "nothing is converted before start";
  // Cancel before start closes the window.
  QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(MusicToWaveJob, ThreeFilesGiveTheDecodersOwnWavFilesAndStepTheTotalBar) {
  add("a");
  add("b");
  add("c");
  auto w = window();
  Drawn total(w->picTotalProcess);
  Drawn file(w->picFileStatus);
  sv::ScopedMsgBoxResponder noBoxes([](const QString& text, const QString&, int) -> int {
    ADD_FAILURE() << "unexpected box: " << text.toStdString();
    return sv::vbNo;
  });
  start(*w);
  EXPECT_EQ(ReadAll(wav("a")), reference("a"));
  EXPECT_EQ(ReadAll(wav("b")), reference("b"));
  EXPECT_EQ(ReadAll(wav("c")), reference("c"));
  EXPECT_EQ(w->labelStatus->text(), "Finish Converting!");
  EXPECT_EQ(w->labelStatus->palette().color(QPalette::WindowText), QColor(23, 122, 18));
  EXPECT_EQ(w->cmdCancel->Caption(), "&OK");
  EXPECT_FALSE(w->cmdStart->isEnabled());
  EXPECT_EQ(w->labelConvertype->text(), "MP3->WAV");
  EXPECT_EQ(w->labelsource->Path(), mp3("c"));
  EXPECT_EQ(w->labeloutput->Path(), wav("c"));

  // Each value is drawn only when it changes; the first file moves the total from 0 to 33,
  // the loop then draws 33, the second file reaches 66 and the loop draws 67, the third
  // file goes on from 67 to 100.
  const auto& t = total.values;
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.back(), 100);
  auto at = [&](int v) { return std::find(t.begin(), t.end(), v) - t.begin(); };
  EXPECT_LT(at(33), at(66));
  EXPECT_LT(at(66), at(67));
  for (std::size_t i = 1; i < t.size(); ++i) EXPECT_GE(t[i], t[i - 1] - 1) << "the total went back at " << i;
  EXPECT_TRUE(std::count(t.begin(), t.end(), 66) >= 1 && std::count(t.begin(), t.end(), 67) >= 1);
  EXPECT_EQ(std::count(file.values.begin(), file.values.end(), 100), 6) << "each file ends at 100 twice";
  for (std::size_t i = 1; i < file.values.size(); ++i) {
    if (file.values[i] != 0 && file.values[i - 1] != 100) {
      EXPECT_NE(file.values[i], file.values[i - 1]) << "a file value was drawn twice";
    }
  }

  // After finishing the "&OK" button closes the window.
  QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(MusicToWaveJob, OneRowTotalFollowsTheFileBar) {
  add("b");
  auto w = window();
  Drawn total(w->picTotalProcess);
  Drawn file(w->picFileStatus);
  start(*w);
  EXPECT_EQ(ReadAll(wav("b")), reference("b"));
  // The loop draws the file bar at 0 before the decoder's first step; from then on the two
  // bars show the same values.
  ASSERT_FALSE(file.values.empty());
  EXPECT_EQ(file.values.front(), 0);
  EXPECT_EQ(total.values, std::vector<int>(file.values.begin() + 1, file.values.end()));
  EXPECT_GT(total.values.size(), 20u) << "the bars moved in steps";
}

TEST_F(MusicToWaveJob, ExistingDestinationAskedWhenTheBoxIsNotTicked) {
  overwrite_.setChecked(false);
  add("a");
  add("b");
  add("c");
  const QByteArray old("old file");
  for (const char* n : {"a", "b", "c"}) convtest::WriteAll(wav(n), old);
  auto w = window();
  Drawn total(w->picTotalProcess);
  std::vector<QString> asked;
  std::vector<int> answers{sv::vbYes, sv::vbNo, sv::vbYes};
  sv::ScopedMsgBoxResponder responder([&](const QString& text, const QString& title, int buttons) {
    EXPECT_EQ(title, "Sonvera Disc Suite");
    EXPECT_EQ(buttons, sv::vbYesNoCancel | sv::vbInformation);
    asked.push_back(text);
    return answers[asked.size() - 1];
  });
  start(*w);
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0], wav("a") + " existed, do you want to overwrite it?");
  EXPECT_EQ(ReadAll(wav("a")), reference("a")) << "Yes replaces the file";
  EXPECT_EQ(ReadAll(wav("b")), old) << "No leaves it";
  EXPECT_EQ(ReadAll(wav("c")), reference("c"));
  // The skipped row still completes its share.
  EXPECT_NE(std::find(total.values.begin(), total.values.end(), 67), total.values.end());
  EXPECT_EQ(w->labelStatus->text(), "Finish Converting!");
}

TEST_F(MusicToWaveJob, CancelOnTheOverwriteQuestionClosesAtOnce) {
  overwrite_.setChecked(false);
  add("a");
  add("b");
  convtest::WriteAll(wav("a"), "old");
  auto w = window();
  sv::ScopedMsgBoxResponder responder(sv::vbCancel);
  start(*w);
  EXPECT_EQ(responder.calls().size(), 1u);
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(ReadAll(wav("a")), "old");
  EXPECT_FALSE(QFile::exists(wav("b"))) << "later rows are not touched";
  EXPECT_EQ(sv::CancelConvert, 1);
}

TEST_F(MusicToWaveJob, TickedBoxReplacesWithoutAsking) {
  add("a");
  convtest::WriteAll(wav("a"), QByteArray(200000, 'x'));
  auto w = window();
  sv::ScopedMsgBoxResponder responder(sv::vbNo);
  start(*w);
  EXPECT_TRUE(responder.calls().empty());
  EXPECT_EQ(ReadAll(wav("a")), reference("a"));
}

TEST_F(MusicToWaveJob, StopAnsweredYesClosesAndKeepsThePartialFile) {
  add("b");
  add("a");
  auto w = window();
  sv::ScopedMsgBoxResponder responder([](const QString& text, const QString&, int buttons) {
    EXPECT_EQ(text, "Really want to stop converting?");
    EXPECT_EQ(buttons, sv::vbYesNo | sv::vbInformation);
    return sv::vbYes;
  });
  cancelSoon(*w);
  start(*w);
  EXPECT_EQ(responder.calls().size(), 1u);
  EXPECT_FALSE(w->isVisible());
  const QByteArray part = ReadAll(wav("b"));
  const QByteArray full = reference("b");
  ASSERT_GE(part.size(), 44);
  EXPECT_LT(part.size(), full.size());
  // Closed properly: the header counts what was written, and it is the start of the whole.
  std::int32_t dataSize = 0;
  std::memcpy(&dataSize, part.constData() + 40, 4);
  EXPECT_EQ(dataSize, part.size() - 44);
  EXPECT_EQ(part.mid(44), full.mid(44, part.size() - 44));
  EXPECT_FALSE(QFile::exists(wav("a")));
}

TEST_F(MusicToWaveJob, StopAnsweredNoGoesOnFromWhereItWas) {
  add("b");
  auto w = window();
  sv::ScopedMsgBoxResponder responder(sv::vbNo);
  cancelSoon(*w);
  start(*w);
  EXPECT_EQ(responder.calls().size(), 1u);
  EXPECT_EQ(sv::CancelConvert, 0);
  EXPECT_EQ(ReadAll(wav("b")), reference("b"));
  EXPECT_EQ(w->labelStatus->text(), "Finish Converting!");
}

// The status text a row showed just before the next row started, and the text shown when the
// next row started (a row's failure must not stand under the next file's name).
struct RowStatus {
  QString before, atStart;
  RowStatus(frmAllToWaveStatus& w, int row) {
    QObject::connect(w.picFileStatus, &sv::PictureBox::ProgressDrawn, &w, [&w, row, this](float p) {
      if (p == 100 && w.Job().currentfile == row - 1) before = w.labelStatus->text();
      if (p == 0 && w.Job().currentfile == row && atStart.isNull()) atStart = w.labelStatus->text();
    });
  }
};

TEST_F(MusicToWaveJob, UnopenableInputReportsAndTheNextRowStarts) {
  AddJobRow(*list_, out_.path() + "/missing.mp3", wav("missing"));
  add("a");
  auto w = window();
  RowStatus row2(*w, 2);
  start(*w);
  EXPECT_EQ(row2.before, "mp3 input error");
  EXPECT_EQ(row2.atStart, "") << "the next row starts with a clear status line";
  ASSERT_EQ(w->Job().Results().size(), 2u);
  EXPECT_EQ(w->Job().Results()[0].reason, "mp3 input error");
  EXPECT_FALSE(QFile::exists(wav("missing")));
  EXPECT_EQ(ReadAll(wav("a")), reference("a"));
  EXPECT_EQ(w->labelStatus->text(), "Finish Converting! 1 file not converted.");
}

// A failure on the last row used to vanish behind the finish line.
TEST_F(MusicToWaveJob, FailuresOnTheLastRowsStillShowWhenTheJobEnds) {
  add("a");
  AddJobRow(*list_, out_.path() + "/missing.mp3", wav("missing"));
  AddJobRow(*list_, out_.path() + "/gone.mp3", wav("gone"));
  auto w = window();
  start(*w);
  EXPECT_EQ(ReadAll(wav("a")), reference("a"));
  EXPECT_EQ(w->labelStatus->text(), "Finish Converting! 2 files not converted.");
  EXPECT_EQ(w->labelStatus->palette().color(QPalette::WindowText), QColor(192, 0, 0));
}

TEST_F(MusicToWaveJob, OutputDirectoryIsMadeWithItsParents) {
  sv::AllToWaveOutputDir = out_.path() + "/new/deeper";
  AddJobRow(*list_, mp3("c"), sv::AllToWaveOutputDir + "/c.WAV");
  auto w = window();
  start(*w);
  EXPECT_EQ(ReadAll(sv::AllToWaveOutputDir + "/c.WAV"), reference("c"));
}

TEST_F(MusicToWaveJob, MissingOutputFolderShowsTheOpenError) {
  AddJobRow(*list_, mp3("c"), out_.path() + "/nowhere/c.WAV");
  add("a");
  auto w = window();
  RowStatus row2(*w, 2);
  start(*w);
  EXPECT_EQ(row2.before, "wave output open error");
  EXPECT_EQ(ReadAll(wav("a")), reference("a"));
}

TEST_F(MusicToWaveJob, IncompleteWavIsNotReportedAsSuccessAndIsNotLeftBehind) {
  add("b");
  add("c");
  auto w = window();
  RowStatus row2(*w, 2);
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  QObject::connect(w->picFileStatus, &sv::PictureBox::ProgressDrawn, w.get(), [&](float p) {
    if (p == 0 && w->Job().currentfile == 1) {
      // Files may not grow beyond 64 KiB while the first row is written: a full disk.
      struct rlimit small = saved;
      small.rlim_cur = 65536;
      setrlimit(RLIMIT_FSIZE, &small);
    }
    if (p == 100 && w->Job().currentfile == 1) setrlimit(RLIMIT_FSIZE, &saved);
  });
  start(*w);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(row2.before, "wave output write error");
  EXPECT_FALSE(QFile::exists(wav("b"))) << "a cut-off WAV of a full disk is removed";
  EXPECT_EQ(ReadAll(wav("c")), reference("c")) << "the next row goes on";
}

TEST_F(MusicToWaveJob, CodecRowsWithoutTheirLibrariesAreNotConvertedAndToldOncePerLibrary) {
  sv::codecs::SetLibraryName("svogg", "/nonexistent/libsvogg.so");
  sv::codecs::SetLibraryName("svvqf", "/nonexistent/libsvvqf.so");
  AddJobRow(*list_, out_.path() + "/x.ogg", wav("x"), "OGG->WAV");
  AddJobRow(*list_, out_.path() + "/y.vqf", wav("y"), "VQF->WAV");
  AddJobRow(*list_, out_.path() + "/z.ogg", wav("z"), "OGG->WAV");
  add("a");
  auto w = window();
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  start(*w);
  EXPECT_FALSE(QFile::exists(wav("x")));
  EXPECT_FALSE(QFile::exists(wav("y")));
  EXPECT_EQ(ReadAll(wav("a")), reference("a"));
  // One box per missing library, not one per row, naming the library.
  ASSERT_EQ(boxes.calls().size(), 2u);
  EXPECT_TRUE(
      boxes.calls()[0].text.startsWith("OGG files can not be converted to WAV: the codec library svogg is "
                                       "not installed"))
      << boxes.calls()[0].text.toStdString();
  EXPECT_TRUE(boxes.calls()[1].text.contains("svvqf"));
  EXPECT_EQ(boxes.calls()[0].buttons & sv::vbCritical, sv::vbCritical);
  const auto& results = w->Job().Results();
  ASSERT_EQ(results.size(), 4u);
  EXPECT_EQ(results[0].reason, "codec library svogg is not installed");
  EXPECT_EQ(results[1].reason, "codec library svvqf is not installed");
  EXPECT_TRUE(results[2].failed());
  EXPECT_FALSE(results[3].failed());
  EXPECT_EQ(w->labelStatus->text(), "Finish Converting! 3 files not converted.");
  // A second job tells again.
  auto again = window();
  boxes.clear();
  start(*again);
  EXPECT_EQ(boxes.calls().size(), 2u);
}

TEST_F(MusicToWaveJob, CodecLibrariesGetPathsCallbackAndCancelFlag) {
  sv::codecs::SetLibraryName("svogg", CONVERT_FAKE_CODECS);
  sv::codecs::SetLibraryName("svvqf", CONVERT_FAKE_CODECS);
  const QString vqf = out_.path() + "/y.vqf";
  convtest::WriteAll(vqf, QByteArray(1000, 'v'));
  AddJobRow(*list_, "/music/x.ogg", wav("x"), "OGG->WAV");
  AddJobRow(*list_, vqf, wav("y"), "VQF->WAV");
  sv::codecs::SetLibraryName("svwma", CONVERT_FAKE_CODECS);
  AddJobRow(*list_, "/music/z.wma", wav("z"), "WMA->WAV");
  convtest::WriteAll(wav("z"), "old");
  auto w = window();
  Drawn file(w->picFileStatus);
  Drawn total(w->picTotalProcess);
  start(*w);
  EXPECT_EQ(ReadAll(wav("x")), "OGG:/music/x.ogg");
  EXPECT_EQ(ReadAll(wav("y")), "VQF:" + vqf.toUtf8());
  EXPECT_EQ(ReadAll(wav("z")), "WMA:/music/z.wma") << "the old file is replaced by the decoded one";
  EXPECT_EQ(sv::VqfSourceLength, 1000);
  // OGG reports 0, 25, 50, 75, 100 on row 1 of 3; VQF positions 0, 51, 102, 153 of an
  // estimated 153 give 0, 33, 67, 100 on row 2; WMA reports 0, 50, 100 on row 3.
  const std::vector<int> expectFile{0, 0, 25, 50, 75, 100, 100, 0, 0, 33, 67, 100, 100, 0, 0, 50, 100, 100};
  EXPECT_EQ(file.values, expectFile);
  // Row 3 starts at 67 and is worth 33: 50 % gives rnd(16.5 + 67), the even 84.
  const std::vector<int> expectTotal{0, 8, 16, 25, 33, 33, 33, 44, 55, 66, 67, 67, 84, 100, 100};
  EXPECT_EQ(total.values, expectTotal);
  EXPECT_EQ(w->labelStatus->text(), "Finish Converting!");
}

TEST_F(MusicToWaveJob, CancelDuringACodecCallAsksAndTheLibrarySeesTheFlag) {
  sv::codecs::SetLibraryName("svogg", CONVERT_FAKE_CODECS);
  AddJobRow(*list_, "/music/x.ogg", wav("x"), "OGG->WAV");
  add("a");
  auto w = window();
  sv::ScopedMsgBoxResponder responder(sv::vbYes);
  cancelSoon(*w);
  start(*w);
  ASSERT_EQ(responder.calls().size(), 1u);
  EXPECT_EQ(responder.calls()[0].text, "Really want to stop converting?");
  EXPECT_FALSE(QFile::exists(wav("x"))) << "the library returned early";
  EXPECT_FALSE(QFile::exists(wav("a")));
  EXPECT_FALSE(w->isVisible());
}

}  // namespace
