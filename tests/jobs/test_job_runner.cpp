// The row runner on its own: rows, questions, results, the stop flag and the total bar, with
// scripted steps and a recording display.
#include "jobs/core/job_runner.h"
#include "platform/runtime_error.h"
#include "recording_job.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

using namespace jobtest;
using sv::jobs::JobRunner;
using sv::jobs::RowOutcome;
using sv::jobs::RowStep;
using sv::jobs::StepTable;
using Overwrite = sv::jobs::JobQuestions::Overwrite;

class RowRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    auto step = std::make_unique<ScriptedStep>();
    step_ = step.get();
    steps_.Add(QStringLiteral("X->Y"), std::move(step));
  }

  QString path(const QString& name) const { return dir_.path() + "/" + name; }
  void add(const QString& name, const QString& type = QStringLiteral("X->Y")) {
    WriteAll(path(name + ".x"), "source");
    rows_.rows.push_back({type, path(name + ".x"), path(name + ".y")});
  }
  std::unique_ptr<JobRunner> job(sv::jobs::JobOptions options = {}) {
    auto j = std::make_unique<JobRunner>(rows_, steps_, sink_, questions_, std::move(options));
    j->Load();
    return j;
  }

  QTemporaryDir dir_;
  ListRows rows_;
  StepTable steps_;
  ScriptedStep* step_ = nullptr;
  RecordingSink sink_;
  ScriptedQuestions questions_;
};

TEST_F(RowRunner, LoadShowsTheReadyLineAndClearsTheStopFlag) {
  add("a");
  add("b");
  sv::CancelConvert = 1;
  auto j = job();
  EXPECT_EQ(sv::CancelConvert, 0);
  EXPECT_EQ(sink_.top, "Total 2 files,ready for converting...");
  EXPECT_EQ(sink_.file, std::vector<int>{0});
  EXPECT_EQ(sink_.total, std::vector<int>{0});
  EXPECT_EQ(sink_.status, "");
  EXPECT_TRUE(step_->seen.empty()) << "nothing runs before the start";
}

TEST_F(RowRunner, RowsRunInOrderAndTheTotalBarStepsByShares) {
  add("a");
  add("b");
  add("c");
  auto j = job();
  sink_.total.clear();
  j->Run();
  ASSERT_EQ(step_->seen.size(), 3u);
  EXPECT_EQ(step_->seen[1].source, path("b.x"));
  for (const char* n : {"a", "b", "c"}) EXPECT_EQ(ReadAll(path(QString(n) + ".y")), "converted");
  // Share 33: row 1 goes 8, 16, 25, 33 and the loop draws rnd(1/3*100) = 33; row 2 from 33 to
  // 66 (16.5 + 33 = 49.5 goes to the even 50) and the loop 67; row 3 from 67 to 100.
  const std::vector<int> expected{8, 16, 25, 33, 33, 41, 50, 58, 66, 67, 75, 84, 92, 100, 100};
  EXPECT_EQ(sink_.total, expected);
  EXPECT_EQ(sink_.status, "Finish Converting!");
  EXPECT_EQ(sink_.statusColour, sv::jobs::kStatusDone);
  EXPECT_EQ(sink_.finishedWith, 0);
  EXPECT_FALSE(j->Converting());
}

TEST_F(RowRunner, EachRowStartsWithAClearStatusLineAndTheFinishLineCountsFailures) {
  add("a");
  add("b");
  add("c");
  step_->result = RowResult::Failed(QStringLiteral("broken"));
  auto j = job();
  j->Run();
  // The failure shows until the next row starts, which clears it before showing its name.
  const QStringList& log = sink_.log;
  const int failed = static_cast<int>(log.indexOf("status broken"));
  ASSERT_GE(failed, 0);
  EXPECT_EQ(log.at(log.indexOf(QRegularExpression("^row X->Y .*b\\.x.*")) - 1), "status ");
  EXPECT_EQ(sink_.status, "Finish Converting! 3 files not converted.");
  EXPECT_EQ(sink_.statusColour, sv::jobs::kStatusFailed);
  EXPECT_EQ(j->FailedRows(), 3);
  ASSERT_EQ(sink_.results.size(), 3u);
  EXPECT_EQ(sink_.results[2].reason, "broken");
  // A failed row leaves nothing behind.
  EXPECT_FALSE(QFile::exists(path("a.y")));
}

TEST_F(RowRunner, ExistingDestinationsAreAskedAboutUnlessReplacing) {
  add("a");
  add("b");
  add("c");
  for (const char* n : {"a", "b", "c"}) WriteAll(path(QString(n) + ".y"), "old");
  rows_.replace = false;
  questions_.overwriteAnswers = {Overwrite::Yes, Overwrite::No, Overwrite::Yes};
  auto j = job();
  j->Run();
  ASSERT_EQ(questions_.asked.size(), 3);
  EXPECT_EQ(questions_.asked[0], path("a.y") + " existed, do you want to overwrite it?");
  EXPECT_EQ(ReadAll(path("a.y")), "converted");
  EXPECT_EQ(ReadAll(path("b.y")), "old") << "No keeps the file";
  EXPECT_EQ(sink_.results[1].outcome, RowOutcome::Skipped);
  EXPECT_EQ(sink_.status, "Finish Converting!") << "a skipped row is no failure";
  // The skipped row still completes its share of the total.
  EXPECT_NE(std::find(sink_.total.begin(), sink_.total.end(), 67), sink_.total.end());
}

TEST_F(RowRunner, CancelOnTheOverwriteQuestionEndsTheJobAtOnce) {
  add("a");
  add("b");
  WriteAll(path("a.y"), "old");
  rows_.replace = false;
  questions_.overwriteAnswers = {Overwrite::Cancel};
  auto j = job();
  j->Run();
  EXPECT_TRUE(sink_.closed);
  EXPECT_EQ(sv::CancelConvert, 1);
  EXPECT_TRUE(step_->seen.empty());
  EXPECT_EQ(ReadAll(path("a.y")), "old");
  EXPECT_EQ(sink_.finishedWith, -1);
  sv::CancelConvert = 0;
}

TEST_F(RowRunner, StopButtonDuringALoopStepAsksAtTheNextUnit) {
  add("a");
  add("b");
  step_->units = 10;
  auto j = job();
  int yields = 0;
  // The stop button is pressed during the third unit; the first answer is No, the second Yes.
  sink_.onYield = [&] {
    if (++yields == 3 || yields == 6) j->Cancel();
  };
  questions_.stopAnswers = {false, true};
  j->Run();
  EXPECT_EQ(questions_.asked,
            QStringList({"Really want to stop converting?", "Really want to stop converting?"}));
  EXPECT_TRUE(sink_.closed);
  ASSERT_EQ(sink_.results.size(), 1u);
  EXPECT_EQ(sink_.results[0].outcome, RowOutcome::Stopped);
  EXPECT_EQ(ReadAll(path("a.y")), "conv") << "a stopped row keeps what it wrote";
  EXPECT_FALSE(QFile::exists(path("b.y")));
  sv::CancelConvert = 0;
}

// A step that hands the file to a library: the stop button is pressed twice while the
// "library" works; it asks at once each time, and the library reads the flag it was given.
struct LibraryLike : sv::jobs::RowStep {
  JobRunner* job = nullptr;
  std::int16_t* flag = nullptr;
  std::vector<bool> flagSeen;
  Cancelling CancelStyle() const override { return Cancelling::Library; }
  RowResult Run(const JobRow&, sv::jobs::StepContext& context) override {
    flag = context.CancelFlag();
    for (int click = 0; click < 2; ++click) {
      job->Cancel();
      flagSeen.push_back(*flag != 0);
    }
    return context.StopRequested() ? RowResult::Stopped() : RowResult::Done();
  }
};

TEST_F(RowRunner, StopButtonDuringALibraryStepAsksFirstAndTheLibrarySeesTheFlag) {
  add("a");
  add("b");
  auto library = std::make_unique<LibraryLike>();
  LibraryLike* step = library.get();
  steps_.Add(QStringLiteral("X->Y"), std::move(library));
  auto j = job();
  step->job = j.get();
  questions_.stopAnswers = {false, true};
  j->Run();
  EXPECT_EQ(step->flag, &sv::CancelConvert);
  EXPECT_EQ(questions_.asked.size(), 2);
  EXPECT_EQ(step->flagSeen, std::vector<bool>({false, true})) << "No leaves the flag down, Yes raises it";
  ASSERT_EQ(sink_.results.size(), 1u) << "the job ends with the stopped row";
  EXPECT_EQ(sink_.results[0].outcome, RowOutcome::Stopped);
  EXPECT_TRUE(sink_.closed);
  sv::CancelConvert = 0;
}

TEST_F(RowRunner, CancelWhileIdleClosesTheDisplay) {
  add("a");
  auto j = job();
  j->Cancel();
  EXPECT_TRUE(sink_.closed);
  EXPECT_TRUE(step_->seen.empty());
}

TEST_F(RowRunner, RowsNoStepConvertsAndRowsOnTheirOwnSourceAreNotTouched) {
  WriteAll(path("same.y"), "precious");
  rows_.rows.push_back({"X->Y", path("same.y"), dir_.path() + "/./same.y"});
  WriteAll(path("other.y"), "keep");
  rows_.rows.push_back({"Q->Y", path("q.x"), path("other.y")});
  auto j = job();
  j->Run();
  EXPECT_EQ(ReadAll(path("same.y")), "precious");
  EXPECT_EQ(ReadAll(path("other.y")), "keep");
  ASSERT_EQ(sink_.results.size(), 2u);
  EXPECT_EQ(sink_.results[0].reason, "destination is the source file");
  EXPECT_EQ(sink_.results[1].reason, "no converter for Q->Y");
  EXPECT_TRUE(step_->seen.empty());
}

TEST_F(RowRunner, FailedRowsKeepTheirOutputOnlyWhenTheStepSaysSo) {
  add("a");
  step_->result = RowResult::Failed(QStringLiteral("read error"));
  step_->result.keepOutput = true;
  auto j = job();
  j->Run();
  EXPECT_EQ(ReadAll(path("a.y")), "converted");
  // A step that throws fails its row with the error's text.
  struct Throwing : sv::jobs::RowStep {
    RowResult Run(const JobRow&, sv::jobs::StepContext&) override { throw sv::RuntimeError(sv::errOverflow); }
  };
  steps_.Add(QStringLiteral("X->Y"), std::make_unique<Throwing>());
  j->Run();
  ASSERT_EQ(j->Results().size(), 1u);
  EXPECT_EQ(j->Results()[0].reason, sv::StandardErrorDescription(sv::errOverflow));
}

TEST_F(RowRunner, StartMakesTheOutputFolderWithItsParents) {
  add("a");
  rows_.rows[0].destination = path("new/deeper/a.y");
  auto j = job();
  j->Start(path("new/deeper"));
  EXPECT_EQ(ReadAll(path("new/deeper/a.y")), "converted");
}

TEST_F(RowRunner, LibraryProgressDrawsBothBarsEveryTimeAndYieldsAtOnce) {
  add("a");
  add("b");
  add("c");
  auto j = job();
  sink_.file.clear();
  sink_.total.clear();
  j->currentfile = 2;
  ASSERT_EQ(JobRunner::Active(), j.get());
  sv::jobs::ReportLibraryProgress(50);
  sv::jobs::ReportLibraryProgress(50);
  EXPECT_EQ(sink_.file, std::vector<int>({50, 50}));
  // share 33, base 33: rnd(16.5 + 33) = 50 (half to even).
  EXPECT_EQ(sink_.total, std::vector<int>({50, 50}));
  EXPECT_EQ(sink_.forcedYields, 2);
  // A value whose 16-bit product overflows draws the file bar and leaves the total alone.
  sv::jobs::ReportLibraryProgress(1000);
  EXPECT_EQ(sink_.file.back(), 1000);
  EXPECT_EQ(sink_.total.size(), 2u);
  j.reset();
  EXPECT_EQ(JobRunner::Active(), nullptr);
  sv::jobs::ReportLibraryProgress(10);  // no job: nothing happens
}

TEST_F(RowRunner, AJobWithItsOwnTextsAndStopFlag) {
  // As a CD job would: its own flag (true = -1), its own ready and finish lines.
  add("a");
  add("b");
  std::int16_t requested = 0;
  sv::jobs::JobOptions options;
  options.texts.ready = QStringLiteral("Total %1 CD Tracks, ready to grab...");
  options.texts.finished = QStringLiteral("Finish Tracks Grab!");
  options.texts.stopQuestion = QStringLiteral("Really want to stop grabbing?");
  options.cancelFlag = &requested;
  options.cancelValue = -1;
  auto j = job(options);
  EXPECT_EQ(sink_.top, "Total 2 CD Tracks, ready to grab...");
  sink_.onYield = [&] {
    if (sink_.yields == 2) j->Cancel();
  };
  questions_.stopAnswers = {true};
  sv::CancelConvert = 0;
  j->Run();
  EXPECT_EQ(requested, -1);
  EXPECT_EQ(sv::CancelConvert, 0) << "the conversions' flag is not touched";
  EXPECT_EQ(questions_.asked, QStringList{"Really want to stop grabbing?"});
  EXPECT_TRUE(sink_.closed);
}

}  // namespace
