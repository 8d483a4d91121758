#include "page_heading.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>

namespace sv {

void StylePageHeading(QLabel* heading) {
  QFont f = heading->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.1);
  heading->setFont(f);
  QPalette palette = heading->palette();
  palette.setColor(QPalette::WindowText, QColor(16, 80, 128));
  heading->setPalette(palette);
}

}  // namespace sv
