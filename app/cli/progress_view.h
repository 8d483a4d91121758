// What sonvera-convert shows while it works. On a terminal: a line per running file and a total
// bar at the bottom, redrawn in place, with each finished file's line printed above them.
// Elsewhere: one plain line per finished file. Errors go to standard error in every style.
#pragma once

#include "cli/cli_options.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace sv::cli {

struct RunningFile {
  QString name;
  int percent = 0;
};

class ProgressView {
 public:
  // Auto turns into Live when standard output is a terminal, else Plain.
  explicit ProgressView(ProgressStyle style);
  ~ProgressView();
  ProgressView(const ProgressView&) = delete;
  ProgressView& operator=(const ProgressView&) = delete;

  bool Live() const { return style_ == ProgressStyle::Live; }
  // A finished file's line on standard output (not in the quiet style).
  void Line(const QString& text);
  // An error line on standard error, in every style.
  void Error(const QString& text);
  // The running files and the total; drawn at most ten times a second unless `now`.
  void Show(const std::vector<RunningFile>& running, double totalPercent, int finished, int count, bool now);
  // Takes the live lines away (before the summary).
  void Clear();

 private:
  void write(std::FILE* stream, const QString& text);
  void draw();
  int width() const;

  ProgressStyle style_;
  int drawnLines_ = 0;
  std::vector<RunningFile> running_;
  double total_ = 0;
  int finished_ = 0, count_ = 0;
  std::chrono::steady_clock::time_point lastDraw_{};
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// "1:05" for 65 seconds, "1:01:05" past an hour.
QString Elapsed(double seconds);
// A bar of `cells` cells for `percent`: "#####-----".
QString Bar(double percent, int cells);

}  // namespace sv::cli
