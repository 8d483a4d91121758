#include "conversion_window.h"

namespace sv {

ConversionWindow::ConversionWindow(QWidget* owner, const QString& title, grid::JobGrid& list,
                                   std::function<bool()> overwrite)
    : jobs::RowJobWindow(owner, jobs::JobWindowCaptions{title}), rows_(list, std::move(overwrite)) {}

void ConversionWindow::Load(std::function<QString()> outputFolder) {
  Attach(rows_, &rows_, steps_, std::move(outputFolder));
}

}  // namespace sv
