#include "jobs/widgets/path_label.h"

#include <QEvent>
#include <QFontMetrics>

namespace sv::jobs {

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

void PathLabel::SetPath(const QString& path) {
  path_ = path;
  setToolTip(path);
  elide();
}

QSize PathLabel::minimumSizeHint() const { return QSize(40, QLabel::minimumSizeHint().height()); }

void PathLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  elide();
}

void PathLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange) elide();
}

void PathLabel::elide() {
  const int room = contentsRect().width();
  setText(room > 0 ? fontMetrics().elidedText(path_, Qt::ElideMiddle, room) : path_);
}

}  // namespace sv::jobs
