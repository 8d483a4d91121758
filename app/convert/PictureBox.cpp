#include "PictureBox.h"

#include <QPainter>

namespace sv {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  image_ = QImage(1, 1, QImage::Format_RGB32);
  image_.fill(Qt::white);
}

void PictureBox::Refresh() {
  if (isVisible())
    repaint();
}

void PictureBox::NoteProgress(float percent) {
  lastPercent_ = percent;
  emit ProgressDrawn(percent);
}

void PictureBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, Image());
}

QImage& PictureBox::fit() const {
  const QSize want = size().expandedTo(QSize(1, 1));
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
