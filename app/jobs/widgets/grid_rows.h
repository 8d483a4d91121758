// A page's job list as the rows of a job, and where each row's result is shown afterwards.
#pragma once

#include "jobs/core/job_runner.h"

#include <functional>

namespace grid {
class JobGrid;
}

namespace sv::jobs {

// Columns of a conversion job list that a job reads.
inline constexpr int kColConvert = 3;
inline constexpr int kColSourcePath = 4;
inline constexpr int kColDesPath = 5;

// Shows each row's result in a job list once the row is done.
class RowMarks {
 public:
  virtual ~RowMarks() = default;
  virtual void ClearMarks() = 0;
  virtual void MarkRow(int row, const RowResult& result) = 0;
};

// The rows of a conversion job list: conversion type, source path, destination path. The
// row's colour and tooltip then tell its result: converted, skipped, or why not.
class GridRows : public JobRows, public RowMarks {
 public:
  // `replaceExisting` reads the page's "Overwrite existing file" box when asked.
  GridRows(grid::JobGrid& list, std::function<bool()> replaceExisting);

  int RowCount() const override;
  JobRow Row(int row) const override;
  bool ReplaceExisting() const override;

  void ClearMarks() override;
  void MarkRow(int row, const RowResult& result) override;

 private:
  grid::JobGrid& list_;
  std::function<bool()> replaceExisting_;
};

// What a row's mark says ("Converted", "Not converted: mp3 input error", ...).
QString ResultText(const RowResult& result);

}  // namespace sv::jobs
