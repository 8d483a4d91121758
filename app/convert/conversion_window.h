// What the two conversion status windows share: a job over a page's job list, whose rows
// are marked with their results, and the output folder made at the start.
#pragma once

#include "jobs/widgets/grid_rows.h"
#include "jobs/widgets/status_window.h"

#include <functional>

namespace grid {
class JobGrid;
}

namespace sv {

class ConversionWindow : public jobs::RowJobWindow {
  Q_OBJECT

 protected:
  // `list` is the page's job list; `overwrite` reads its "Overwrite existing file" box. Both
  // must outlive the window.
  ConversionWindow(QWidget* owner, const QString& title, grid::JobGrid& list,
                   std::function<bool()> overwrite);

  // Called once the steps are in place; `outputFolder` gives the folder made at the start.
  void Load(std::function<QString()> outputFolder);

  jobs::StepTable steps_;

 private:
  jobs::GridRows rows_;
};

}  // namespace sv
