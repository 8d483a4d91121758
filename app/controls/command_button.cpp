#include "command_button.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace sv {
namespace {

// The artwork's bar colours and its accent.
const QColor kBar(16, 80, 128);
const QColor kBarLight(34, 112, 170);
const QColor kBarDark(9, 50, 82);
const QColor kAccent(246, 166, 35);

}  // namespace

CommandButton* MakeCommandButton(QWidget* parent, const char* name, const QString& caption, QRect where) {
  auto* b = new CommandButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setCaption(caption);
  b->setGeometry(where);
  return b;
}

CommandButton::CommandButton(QWidget* parent) : XPButton(parent) { setCursor(Qt::PointingHandCursor); }

void CommandButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QPainterPath face;
  face.addRoundedRect(r, 5, 5);

  const bool enabled = isEnabled();
  const Look look = enabled ? currentLook() : Look::Normal;
  const bool held = IsPressed() && enabled;
  QColor top = kBarLight, bottom = kBar;
  if (!enabled) {
    top = QColor(196, 206, 216);
    bottom = QColor(170, 182, 194);
  } else if (look == Look::Pressed && !held) {
    top = kBar;
    bottom = kBarDark;
  } else if (look == Look::Hover) {
    top = kBarLight.lighter(118);
    bottom = kBarLight;
  } else if (held) {
    top = kBar;
    bottom = kBarDark;
  }
  QLinearGradient gradient(0, 0, 0, height());
  gradient.setColorAt(0, top);
  gradient.setColorAt(1, bottom);
  p.fillPath(face, gradient);
  p.setPen(QPen(enabled ? kBarDark : QColor(150, 162, 174), 1));
  p.drawPath(face);
  // A soft highlight along the top edge gives the face its depth.
  p.setPen(QPen(QColor(255, 255, 255, enabled ? 70 : 90), 1));
  p.drawLine(QPointF(r.left() + 5, r.top() + 1.5), QPointF(r.right() - 5, r.top() + 1.5));
  if (held) {
    p.save();
    p.setClipPath(face);
    p.fillRect(QRectF(r.left(), r.bottom() - 3, r.width(), 3), kAccent);
    p.restore();
  }

  const QString caption = Caption();
  if (caption.isEmpty()) return;
  p.setFont(font());
  p.setPen(enabled ? QColor(Qt::white) : QColor(242, 246, 250));
  QRectF textRect = r.adjusted(4, 0, -4, held ? -2 : 0);
  if (look == Look::Pressed) textRect.translate(0, 1);
  p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, caption);
}

}  // namespace sv
