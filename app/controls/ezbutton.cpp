#include "ezbutton.h"

#include <QMouseEvent>
#include <QPainter>

ezbutton::ezbutton(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent, false); }

void ezbutton::setUpPicture(const QPixmap& picture) {
  up_ = picture;
  changed_ = true;
}

void ezbutton::setDownPicture(const QPixmap& picture) {
  down_ = picture;
  changed_ = true;
}

void ezbutton::SetButtonUp() {
  down_state_ = false;
  showPicture(up_);
}

void ezbutton::SetButtonDown() {
  down_state_ = true;
  showPicture(down_);
}

void ezbutton::showPicture(const QPixmap& picture) {
  shown_ = picture;
  update();
}

void ezbutton::ReadProperties(const QVariantMap& bag) {
  up_ = bag.value(QStringLiteral("UpPicture")).value<QPixmap>();
  down_ = bag.value(QStringLiteral("DownPicture")).value<QPixmap>();
  changed_ = false;
}

void ezbutton::WriteProperties(QVariantMap& bag) {
  bag.insert(QStringLiteral("UpPicture"), up_);
  bag.insert(QStringLiteral("DownPicture"), down_);
  changed_ = false;
}

QSize ezbutton::sizeHint() const {
  if (!up_.isNull()) return up_.deviceIndependentSize().toSize();
  return QSize(80, 24);
}

void ezbutton::mousePressEvent(QMouseEvent* event) {
  // Any button; the tab reacts on press, there is no release handling.
  event->accept();
  SetButtonDown();
  emit Click();
}

void ezbutton::paintEvent(QPaintEvent*) {
  if (shown_.isNull()) return;
  QPainter p(this);
  p.drawPixmap(0, 0, shown_);
}

void ezbutton::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (down_state_)
    SetButtonDown();
  else
    SetButtonUp();
}
