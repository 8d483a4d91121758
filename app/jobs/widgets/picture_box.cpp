#include "jobs/widgets/picture_box.h"

#include <QEvent>
#include <QPainter>
#include <QPalette>

namespace sv {

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Box | QFrame::Plain);
  QPalette border = palette();
  border.setColor(QPalette::WindowText, QColor(128, 128, 128));
  setPalette(border);
  setLineWidth(1);
  image_ = QImage(1, 1, QImage::Format_RGB32);
  image_.fill(Qt::white);
  // The frame and the picture cover the whole box: nothing beneath needs painting first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::Refresh() {
  if (isVisible()) update();
}

const QFont& PictureBox::BarFont() const {
  if (!barFont_) {
    QFont f = font();
    f.setStyleStrategy(QFont::NoAntialias);
    barFont_ = f;
  }
  return *barFont_;
}

const QFontMetrics& PictureBox::BarMetrics() const {
  if (!barMetrics_) barMetrics_.emplace(BarFont());
  return *barMetrics_;
}

void PictureBox::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    barMetrics_.reset();
    barFont_.reset();
  }
}

void PictureBox::NoteProgress(float percent) {
  lastPercent_ = percent;
  emit ProgressDrawn(percent);
}

void PictureBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // A plain one-pixel border in the frame's colour, filled rather than stroked (far cheaper).
  const QColor border = palette().color(QPalette::WindowText);
  const QRect r = rect();
  painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), border);
  painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), border);
  painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), border);
  painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), border);
  painter.drawImage(contentsRect().topLeft(), Image());
}

QImage& PictureBox::fit() const {
  const QSize want = contentsRect().size().expandedTo(QSize(1, 1));
  if (image_.size() != want) {
    QImage grown(want, QImage::Format_RGB32);
    grown.fill(Qt::white);
    QPainter painter(&grown);
    painter.drawImage(0, 0, image_);
    painter.end();
    image_ = std::move(grown);
  }
  return image_;
}

}  // namespace sv
