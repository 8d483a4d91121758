// The small value types every batch job shares: a colour, a row of work, a row's result and
// the texts a job shows. Plain C++ over QtCore, so a command-line tool can use them too.
#pragma once

#include <QString>

#include <cstdint>

namespace sv::jobs {

// A colour as red, green and blue; the widgets layer turns it into a QColor.
struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend constexpr bool operator==(Rgb, Rgb) = default;
};

// The bars of every job window.
inline constexpr Rgb kBarColor{16, 80, 128};
// The status line: while working, at a clean finish, and when some rows failed.
inline constexpr Rgb kStatusPlain{0, 0, 0};
inline constexpr Rgb kStatusDone{23, 122, 18};
inline constexpr Rgb kStatusFailed{192, 0, 0};

// One row of a job list as the runner hands it to a step.
struct JobRow {
  QString type;          // conversion type, "MP3->WAV"; chooses the step
  QString source;        // what is shown as the source; a path for file jobs
  QString destination;   // the file the step writes
  std::int64_t tag = 0;  // free for the job (a CD job keeps the disc track number here)
};

// What became of a row.
enum class RowOutcome {
  Done,     // converted
  Skipped,  // the user kept an existing destination
  Failed,   // not converted; `reason` says why
  Stopped,  // the user stopped the job during this row
};

struct RowResult {
  RowOutcome outcome = RowOutcome::Done;
  QString reason;  // empty for Done and Stopped
  // A failed row normally leaves no output behind; a step sets this when what it wrote is
  // worth keeping.
  bool keepOutput = false;

  static RowResult Done() { return {}; }
  static RowResult Stopped() { return {RowOutcome::Stopped, {}, true}; }
  static RowResult Skipped(const QString& why) { return {RowOutcome::Skipped, why, true}; }
  static RowResult Failed(const QString& why) { return {RowOutcome::Failed, why, false}; }

  bool failed() const { return outcome == RowOutcome::Failed; }
};

// The texts that differ from job to job.
struct JobTexts {
  // Shown before the start in place of the conversion type; %1 is the row count.
  QString ready = QStringLiteral("Total %1 files,ready for converting...");
  QString finished = QStringLiteral("Finish Converting!");
  QString stopQuestion = QStringLiteral("Really want to stop converting?");
  // Added to the finish line when rows failed: %1 the count, %2 "s" for more than one.
  QString notConverted = QStringLiteral(" %1 file%2 not converted.");
};

// The finish line: the job's own text, and how many rows failed when any did.
QString FinishLine(const JobTexts& texts, int failedRows);
// The finish line of the conversion jobs.
QString FinishLine(int failedRows);

}  // namespace sv::jobs
