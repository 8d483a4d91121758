// What every job window shares, through the conversion windows: the look of its parts, the
// results shown per row, the stop button's stand-ins, the fault filter.
#include "command_button.h"
#include "convert_support.h"
#include "frmAllToWaveStatus.h"
#include "frmWaveToAllStatus.h"
#include "grid/job_grid.h"
#include "jobs/widgets/grid_rows.h"
#include "jobs/widgets/path_label.h"
#include "jobs/widgets/picture_box.h"
#include "jobs/widgets/yield_policy.h"
#include "platform/fault_guard.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <thread>

namespace {

using convtest::AddJobRow;

using JobWindow = convtest::JobListTest;

TEST_F(JobWindow, LongPathsAreShortenedInTheMiddleWithTheWholePathAsTooltip) {
  const QString deep =
      "/home/someone/Music/Artists/A band with a long name/An album with an even longer "
      "title (remastered)/01 - the first song.mp3";
  AddJobRow(*list_, deep, path("first.WAV"));
  sv::frmAllToWaveStatus w(nullptr, list_.get(), &overwrite_);
  w.show();
  w.ShowRow("MP3->WAV", deep, path("first.WAV"));
  const QString shown = w.labelsource->text();
  EXPECT_LT(shown.size(), deep.size());
  EXPECT_TRUE(shown.startsWith("/home/someone/")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("first song.mp3")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026)));
  EXPECT_EQ(w.labelsource->toolTip(), deep);
  EXPECT_LE(w.labelsource->fontMetrics().horizontalAdvance(shown), w.labelsource->width());
  EXPECT_EQ(w.labeloutput->text(), path("first.WAV")) << "a short path is shown whole";
  // Every label lies inside the window.
  for (QWidget* child : w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isVisibleTo(&w)) {
      EXPECT_TRUE(w.rect().contains(child->geometry())) << child->objectName().toStdString();
    }
  }
}

TEST_F(JobWindow, BothWindowsShareOneLookWithSkinnedButtons) {
  sv::frmAllToWaveStatus music(nullptr, list_.get(), &overwrite_);
  sv::frmWaveToAllStatus wave(
      *list_, [] { return sv::WaveToAllOptions{}; }, [] { return true; });
  music.show();
  wave.show();
  EXPECT_EQ(music.size(), wave.size());
  EXPECT_EQ(music.picTotalProcess->geometry(), wave.picTotalProcess->geometry());
  EXPECT_EQ(music.cmdCancel->geometry(), wave.cmdCancel->geometry());
  EXPECT_EQ(music.windowTitle(), "Convert music file to wave");
  EXPECT_EQ(wave.windowTitle(), "File Converting Status...");
  // The buttons are painted with the artwork's blue face, not as flat grey boxes.
  const QImage face = music.cmdStart->grab().toImage();
  const QColor middle = face.pixelColor(8, face.height() / 2);
  EXPECT_GT(middle.blue(), middle.red() + 40) << middle.name().toStdString();
  EXPECT_EQ(music.cmdStart->font().family(), music.font().family());
}

TEST_F(JobWindow, EachRowsResultIsShownInTheListAndClearedAtTheNextStart) {
  convtest::MakeMp3(path("good.mp3"), 0.3, 440);
  AddJobRow(*list_, path("missing.mp3"), path("missing.WAV"));
  AddJobRow(*list_, path("good.mp3"), path("good.WAV"));
  list_->SetCellForeColor(2, 3, QColor(0, 0, 255));
  {
    sv::frmAllToWaveStatus w(nullptr, list_.get(), &overwrite_);
    w.show();
    w.cmdStart_Click();
    ASSERT_EQ(w.listFailures->count(), 1);
    EXPECT_EQ(w.listFailures->item(0)->text(), "missing.mp3: mp3 input error");
    EXPECT_TRUE(w.listFailures->isVisibleTo(&w));
  }
  QTableWidgetItem* failed = list_->item(0, 0);
  QTableWidgetItem* done = list_->item(1, 2);
  EXPECT_EQ(failed->toolTip(), "Not converted: mp3 input error");
  EXPECT_EQ(list_->item(0, 4)->toolTip(), "Not converted: mp3 input error") << "every cell of the row";
  EXPECT_EQ(done->toolTip(), "Converted");
  EXPECT_NE(failed->background().color(), done->background().color());
  EXPECT_EQ(list_->CellForeColor(2, 3), QColor(0, 0, 255)) << "the type's own colour is kept";

  // The next job starts from unmarked rows.
  sv::frmAllToWaveStatus again(nullptr, list_.get(), &overwrite_);
  again.show();
  list_->RemoveRow(1);
  again.cmdStart_Click();
  EXPECT_EQ(list_->item(0, 0)->toolTip(), "Converted");
}

TEST_F(JobWindow, EscapeAndTheCloseBoxActAsTheStopButton) {
  AddJobRow(*list_, path("a.mp3"), path("a.WAV"));
  {
    sv::frmAllToWaveStatus w(nullptr, list_.get(), &overwrite_);
    w.show();
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible()) << "before the start Escape closes";
  }
  {
    sv::frmAllToWaveStatus w(nullptr, list_.get(), &overwrite_);
    w.show();
    w.close();
    EXPECT_FALSE(w.isVisible()) << "before the start the close box closes";
  }
  // While working, the close box only raises the flag: the MP3 loop asks.
  convtest::MakeMp3(path("long.mp3"), 3.0, 440);
  list_->Clear(false);
  AddJobRow(*list_, path("long.mp3"), path("long.WAV"));
  sv::frmAllToWaveStatus w(nullptr, list_.get(), &overwrite_);
  w.show();
  sv::ScopedMsgBoxResponder boxes(sv::vbNo);
  QTimer::singleShot(0, &w, [&w] { w.close(); });
  w.cmdStart_Click();
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Really want to stop converting?");
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.labelStatus->text(), "Finish Converting!");
}

TEST_F(JobWindow, TheFaultFilterIsArmedWhileAJobWindowExists) {
  EXPECT_FALSE(sv::FaultTranslation::armed());
  {
    sv::frmAllToWaveStatus w(nullptr, list_.get(), &overwrite_);
    EXPECT_TRUE(sv::FaultTranslation::armed());
  }
  EXPECT_FALSE(sv::FaultTranslation::armed());
}

TEST(YieldPolicy, RunsTheEventLoopAboutEveryIntervalAndReadsTheClockRarely) {
  using namespace std::chrono;
  sv::jobs::YieldPolicy policy(milliseconds(20));
  // Cheap units of work: the stride grows, so the clock is read only now and then.
  int due = 0;
  const auto start = steady_clock::now();
  long calls = 0;
  while (steady_clock::now() - start < milliseconds(120)) {
    due += policy.Due() ? 1 : 0;
    ++calls;
  }
  EXPECT_GT(policy.Stride(), 1);
  EXPECT_GE(due, 1);
  EXPECT_LE(due, 7);
  EXPECT_GT(calls, 10 * due) << "most calls pass without the event loop";
  // Slow units of work: every call looks at the clock again.
  sv::jobs::YieldPolicy slow(milliseconds(5));
  for (int i = 0; i < 6; ++i) {
    std::this_thread::sleep_for(milliseconds(6));
    slow.Due();
  }
  EXPECT_EQ(slow.Stride(), 1);
  EXPECT_TRUE([&] {
    std::this_thread::sleep_for(milliseconds(6));
    return slow.Due();
  }());
}

}  // namespace
