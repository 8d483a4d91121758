#include "ImageControl.h"

#include <QMouseEvent>
#include <QPainter>

#include "Artwork.h"

ImageControl::ImageControl(QWidget* parent) : QWidget(parent) { setCursor(Qt::PointingHandCursor); }

void ImageControl::setPictures(const QPixmap& normal, const QPixmap& hover) {
  normal_ = normal;
  hover_picture_ = hover;
  resize(normal.deviceIndependentSize().toSize());
  update();
}

void ImageControl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, hover_ && !hover_picture_.isNull() ? hover_picture_ : normal_);
}

void ImageControl::mousePressEvent(QMouseEvent* event) {
  event->accept();
  pressed_ = event->button() == Qt::LeftButton;
}

void ImageControl::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (click) emit Click();
}

void ImageControl::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  hover_ = true;
  update();
}

void ImageControl::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  hover_ = false;
  update();
}

PageBox::PageBox(int page, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("myGroup%1").arg(page));
}

void PageBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  sv::art::PaintPageBackground(p, rect());
}

void PageBox::mousePressEvent(QMouseEvent* event) { event->accept(); }

PagePlaceholder::PagePlaceholder(int page, const QString& title, QWidget* parent)
    : QWidget(parent), page_(page), title_(title) {
  setObjectName(QStringLiteral("pagePlaceholder%1").arg(page));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setGeometry(parent->rect());
}

void PagePlaceholder::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  sv::art::PaintPageIcon(p, page_, QRectF(16, 13, 18, 18), sv::art::kAccent);
  QFont heading = font();
  heading.setBold(true);
  heading.setPointSizeF(font().pointSizeF() * 1.3);
  p.setFont(heading);
  p.setPen(sv::art::kBar);
  p.drawText(QRect(42, 8, width() - 58, 28), Qt::AlignLeft | Qt::AlignVCenter, title_);
  p.setPen(QPen(sv::art::kPageLine, 1));
  p.drawLine(QPointF(16, 40.5), QPointF(width() - 16, 40.5));
  // A large, faint emblem of the page in the free area.
  QColor faint = sv::art::kPageLine;
  faint.setAlpha(150);
  const qreal side = std::min(width(), height()) * 0.42;
  sv::art::PaintPageIcon(p, page_, QRectF((width() - side) / 2, 40 + (height() - 40 - side) / 2, side, side),
                         faint);
}
