#include "jobs/widgets/grid_rows.h"

#include "grid/job_grid.h"

#include <QBrush>

namespace sv::jobs {
namespace {

QColor markColour(RowOutcome outcome) {
  switch (outcome) {
    case RowOutcome::Done:
      return QColor(226, 242, 226);
    case RowOutcome::Skipped:
      return QColor(240, 240, 232);
    case RowOutcome::Failed:
      return QColor(250, 222, 222);
    case RowOutcome::Stopped:
      return QColor(252, 240, 214);
  }
  return {};
}

}  // namespace

QString ResultText(const RowResult& result) {
  switch (result.outcome) {
    case RowOutcome::Done:
      return QStringLiteral("Converted");
    case RowOutcome::Skipped:
      return QStringLiteral("Skipped: ") + result.reason;
    case RowOutcome::Failed:
      return QStringLiteral("Not converted: ") + result.reason;
    case RowOutcome::Stopped:
      return QStringLiteral("Stopped: the file holds what was converted before the stop");
  }
  return {};
}

GridRows::GridRows(grid::JobGrid& list, std::function<bool()> replaceExisting)
    : list_(list), replaceExisting_(std::move(replaceExisting)) {}

int GridRows::RowCount() const { return list_.Rows(); }

JobRow GridRows::Row(int row) const {
  JobRow job;
  job.type = list_.CellText(row, kColConvert);
  job.source = list_.CellText(row, kColSourcePath);
  job.destination = list_.CellText(row, kColDesPath);
  return job;
}

bool GridRows::ReplaceExisting() const { return replaceExisting_ ? replaceExisting_() : true; }

void GridRows::ClearMarks() {
  for (int r = 0; r < list_.rowCount(); ++r)
    for (int c = 0; c < list_.columnCount(); ++c)
      if (QTableWidgetItem* item = list_.item(r, c)) {
        item->setData(Qt::BackgroundRole, QVariant());
        item->setToolTip(QString());
      }
}

void GridRows::MarkRow(int row, const RowResult& result) {
  if (row < 1 || row > list_.rowCount()) return;
  const QBrush brush(markColour(result.outcome));
  const QString tip = ResultText(result);
  for (int c = 0; c < list_.columnCount(); ++c) {
    QTableWidgetItem* item = list_.item(row - 1, c);
    if (!item) {
      item = new QTableWidgetItem();
      list_.setItem(row - 1, c, item);
    }
    item->setBackground(brush);
    item->setToolTip(tip);
  }
}

}  // namespace sv::jobs
