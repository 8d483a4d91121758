#include "Artwork.h"

#include "ResourceFonts.h"

#include <QConicalGradient>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>
#include <cmath>
#include <exception>

namespace sv::art {

QFont Font(int pixelSize, bool bold) {
  // The family the string table names for the whole program, so the frame matches the pages.
  static const QString family = [] {
    try {
      return ChooseResourceFont().name;
    } catch (const std::exception&) {
      return QString();
    }
  }();
  QFont f(family);
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  return f;
}

namespace {

QPixmap Canvas(QSize size, qreal dpr) {
  QPixmap pm(size * dpr);
  pm.setDevicePixelRatio(dpr);
  pm.fill(Qt::transparent);
  return pm;
}

QFont ArtFont(int pixelSize, bool bold) { return Font(pixelSize, bold); }

QPainterPath TopRoundedRect(const QRectF& r, qreal radius) {
  QPainterPath path;
  path.moveTo(r.left(), r.bottom());
  path.lineTo(r.left(), r.top() + radius);
  path.quadTo(r.left(), r.top(), r.left() + radius, r.top());
  path.lineTo(r.right() - radius, r.top());
  path.quadTo(r.right(), r.top(), r.right(), r.top() + radius);
  path.lineTo(r.right(), r.bottom());
  path.closeSubpath();
  return path;
}

void PaintGlyphShape(QPainter& p, Glyph glyph, const QRectF& r, const QColor& colour) {
  p.save();
  QPen pen(colour, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  const QPointF c = r.center();
  const qreal s = r.width() / 2 - 1;
  switch (glyph) {
    case Glyph::Minimise:
      p.drawLine(QPointF(c.x() - s * 0.5, c.y() + s * 0.35), QPointF(c.x() + s * 0.5, c.y() + s * 0.35));
      break;
    case Glyph::Close:
      p.drawLine(QPointF(c.x() - s * 0.45, c.y() - s * 0.45), QPointF(c.x() + s * 0.45, c.y() + s * 0.45));
      p.drawLine(QPointF(c.x() + s * 0.45, c.y() - s * 0.45), QPointF(c.x() - s * 0.45, c.y() + s * 0.45));
      break;
    case Glyph::Help:
    case Glyph::About: {
      p.setFont(ArtFont(static_cast<int>(r.height() * 0.72), true));
      p.drawText(r, Qt::AlignCenter, glyph == Glyph::Help ? QStringLiteral("?") : QStringLiteral("i"));
      break;
    }
  }
  p.restore();
}

}  // namespace

QString TabCaption(int page) {
  static const std::array<const char*, 4> captions{"Encode", "Decode", "Grab CD", "Burn CD"};
  return QString::fromLatin1(captions.at(static_cast<std::size_t>(page)));
}

void PaintPageIcon(QPainter& p, int page, const QRectF& r, const QColor& colour) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = r.width();
  const qreal h = r.height();
  switch (page) {
    case 0: {  // encode: a waveform squeezed into bars
      const std::array<qreal, 6> bars{0.35, 0.75, 1.0, 0.6, 0.85, 0.4};
      const qreal step = w / bars.size();
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      for (std::size_t i = 0; i < bars.size(); ++i) {
        const qreal bh = h * bars[i];
        p.drawRoundedRect(QRectF(r.left() + i * step + step * 0.18, r.center().y() - bh / 2, step * 0.64, bh),
                          step * 0.3, step * 0.3);
      }
      break;
    }
    case 1: {  // decode: a note
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      p.drawEllipse(QRectF(r.left() + w * 0.08, r.top() + h * 0.64, w * 0.38, h * 0.3));
      p.drawRect(QRectF(r.left() + w * 0.38, r.top() + h * 0.08, w * 0.09, h * 0.72));
      QPainterPath flag;
      flag.moveTo(r.left() + w * 0.42, r.top() + h * 0.06);
      flag.cubicTo(r.left() + w * 0.62, r.top() + h * 0.16, r.left() + w * 0.92, r.top() + h * 0.26,
                   r.left() + w * 0.78, r.top() + h * 0.56);
      flag.cubicTo(r.left() + w * 0.80, r.top() + h * 0.36, r.left() + w * 0.62, r.top() + h * 0.32,
                   r.left() + w * 0.46, r.top() + h * 0.30);
      flag.closeSubpath();
      p.drawPath(flag);
      break;
    }
    case 2: {  // grab: a disc
      QPainterPath disc;
      disc.addEllipse(r.adjusted(w * 0.04, h * 0.04, -w * 0.04, -h * 0.04));
      QPainterPath hole;
      hole.addEllipse(r.center(), w * 0.13, h * 0.13);
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      p.drawPath(disc.subtracted(hole));
      QColor sheen = colour.lighter(170);
      sheen.setAlpha(140);
      p.setPen(QPen(sheen, std::max<qreal>(1.0, w * 0.06), Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(r.adjusted(w * 0.22, h * 0.22, -w * 0.22, -h * 0.22), 30 * 16, 70 * 16);
      break;
    }
    default: {  // burn: a flame
      QPainterPath flame;
      const qreal x = r.left();
      const qreal y = r.top();
      flame.moveTo(x + w * 0.50, y + h * 0.02);
      flame.cubicTo(x + w * 0.58, y + h * 0.30, x + w * 0.90, y + h * 0.42, x + w * 0.86, y + h * 0.70);
      flame.cubicTo(x + w * 0.82, y + h * 0.92, x + w * 0.64, y + h * 0.98, x + w * 0.50, y + h * 0.98);
      flame.cubicTo(x + w * 0.30, y + h * 0.98, x + w * 0.14, y + h * 0.86, x + w * 0.14, y + h * 0.66);
      flame.cubicTo(x + w * 0.14, y + h * 0.46, x + w * 0.30, y + h * 0.40, x + w * 0.34, y + h * 0.22);
      flame.cubicTo(x + w * 0.44, y + h * 0.34, x + w * 0.44, y + h * 0.46, x + w * 0.42, y + h * 0.52);
      flame.cubicTo(x + w * 0.56, y + h * 0.40, x + w * 0.56, y + h * 0.20, x + w * 0.50, y + h * 0.02);
      // The hot inner tongue, cut out so the face shows through.
      QPainterPath tongue;
      tongue.moveTo(x + w * 0.50, y + h * 0.50);
      tongue.cubicTo(x + w * 0.56, y + h * 0.64, x + w * 0.68, y + h * 0.70, x + w * 0.66, y + h * 0.82);
      tongue.cubicTo(x + w * 0.64, y + h * 0.90, x + w * 0.58, y + h * 0.92, x + w * 0.50, y + h * 0.92);
      tongue.cubicTo(x + w * 0.40, y + h * 0.92, x + w * 0.34, y + h * 0.86, x + w * 0.35, y + h * 0.78);
      tongue.cubicTo(x + w * 0.36, y + h * 0.68, x + w * 0.46, y + h * 0.62, x + w * 0.50, y + h * 0.50);
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      p.drawPath(flame.subtracted(tongue));
      break;
    }
  }
  p.restore();
}

QPixmap TabPicture(int page, bool down, qreal dpr) {
  const QSize size(kTabWidth, kTabHeight);
  QPixmap pm = Canvas(size, dpr);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(0.5, 0.5, size.width() - 1, size.height() + 4);
  const QPainterPath shape = TopRoundedRect(r, 7);
  QColor text;
  if (down) {
    p.fillPath(shape, kPage);
    p.save();
    p.setClipPath(shape);
    p.fillRect(QRectF(0, 0, size.width(), 3), kAccent);
    p.restore();
    text = kBar;
  } else {
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, QColor(255, 255, 255, 46));
    g.setColorAt(1, QColor(255, 255, 255, 14));
    p.fillPath(shape, g);
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.drawPath(shape);
    text = QColor(214, 230, 244);
  }
  const QFont font = ArtFont(13, down);
  const QFontMetricsF fm(font);
  const QString caption = TabCaption(page);
  const qreal iconSize = 15;
  const qreal total = iconSize + 7 + fm.horizontalAdvance(caption);
  const qreal x = (size.width() - total) / 2;
  const qreal cy = size.height() / 2.0 + 1.5;
  PaintPageIcon(p, page, QRectF(x, cy - iconSize / 2, iconSize, iconSize), down ? kAccent : text);
  p.setFont(font);
  p.setPen(text);
  p.drawText(QRectF(x + iconSize + 7, 0, size.width(), size.height() + 3), Qt::AlignLeft | Qt::AlignVCenter,
             caption);
  return pm;
}

QPixmap TitleGlyph(Glyph glyph, bool hover, qreal dpr) {
  const QSize size(kGlyphSize, kGlyphSize);
  QPixmap pm = Canvas(size, dpr);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(1, 1, size.width() - 2, size.height() - 2);
  if (hover) {
    p.setPen(Qt::NoPen);
    p.setBrush(glyph == Glyph::Close ? QColor(214, 64, 52) : QColor(255, 255, 255, 52));
    p.drawEllipse(r);
  } else {
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    p.setBrush(QColor(255, 255, 255, 16));
    p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
  }
  PaintGlyphShape(p, glyph, r.adjusted(3, 3, -3, -3), hover ? Qt::white : QColor(220, 234, 246));
  return pm;
}

QPixmap FooterButton(const QString& text, Glyph icon, bool hover, qreal dpr) {
  const QSize size(84, 28);
  QPixmap pm = Canvas(size, dpr);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(0.5, 0.5, size.width() - 1, size.height() - 1);
  p.setPen(QPen(QColor(255, 255, 255, hover ? 140 : 80), 1));
  p.setBrush(QColor(255, 255, 255, hover ? 56 : 20));
  p.drawRoundedRect(r, 14, 14);
  const QRectF glyph(10, 6, 16, 16);
  p.setPen(QPen(QColor(255, 255, 255, 150), 1));
  p.setBrush(icon == Glyph::Close
                 ? QColor(214, 64, 52, hover ? 255 : 190)
                 : QColor(kAccent.red(), kAccent.green(), kAccent.blue(), hover ? 255 : 200));
  p.drawEllipse(glyph);
  PaintGlyphShape(p, icon, glyph.adjusted(2, 2, -2, -2), Qt::white);
  p.setFont(ArtFont(12, true));
  p.setPen(hover ? Qt::white : QColor(226, 238, 248));
  p.drawText(QRectF(32, 0, size.width() - 38, size.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
  return pm;
}

QImage LogoImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  PaintLogo(p, QRectF(0, 0, size, size).adjusted(size / 32.0, size / 32.0, -size / 32.0, -size / 32.0));
  return image;
}

void PaintLogo(QPainter& p, const QRectF& rect) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c = rect.center();
  const qreal rad = std::min(rect.width(), rect.height()) / 2;

  QRadialGradient body(c, rad);
  body.setColorAt(0.0, QColor(250, 252, 255));
  body.setColorAt(0.7, QColor(205, 220, 234));
  body.setColorAt(1.0, QColor(150, 176, 200));
  QPainterPath disc;
  disc.addEllipse(c, rad, rad);
  QPainterPath hole;
  hole.addEllipse(c, rad * 0.16, rad * 0.16);
  const QPainterPath ring = disc.subtracted(hole);
  p.fillPath(ring, body);

  QConicalGradient sheen(c, 35);
  sheen.setColorAt(0.00, QColor(255, 120, 160, 90));
  sheen.setColorAt(0.18, QColor(255, 230, 120, 90));
  sheen.setColorAt(0.34, QColor(120, 230, 200, 90));
  sheen.setColorAt(0.50, QColor(120, 160, 255, 90));
  sheen.setColorAt(0.68, QColor(255, 255, 255, 0));
  sheen.setColorAt(1.00, QColor(255, 120, 160, 90));
  p.fillPath(ring, sheen);

  p.setPen(QPen(QColor(255, 255, 255, 200), std::max<qreal>(0.8, rad * 0.05)));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, rad * 0.34, rad * 0.34);
  p.setPen(QPen(kBarDark, std::max<qreal>(0.8, rad * 0.05)));
  p.drawEllipse(c, rad - rad * 0.025, rad - rad * 0.025);

  // The sound wave crossing the disc.
  QPainterPath wave;
  const qreal left = c.x() - rad * 0.92;
  const qreal span = rad * 1.84;
  for (int i = 0; i <= 48; ++i) {
    const qreal t = i / 48.0;
    const qreal env = std::sin(t * M_PI);
    const QPointF pt(left + span * t, c.y() + rad * 0.42 * env * std::sin(t * 4 * M_PI));
    if (i == 0)
      wave.moveTo(pt);
    else
      wave.lineTo(pt);
  }
  p.setPen(QPen(kAccent, std::max<qreal>(1.4, rad * 0.14), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(wave);
  p.restore();
}

void PaintWindowBackground(QPainter& p, const QRect& rect) {
  p.save();
  QLinearGradient g(rect.topLeft(), rect.bottomLeft());
  g.setColorAt(0.0, kBarLight);
  g.setColorAt(0.13, kBar);
  g.setColorAt(0.86, kBar);
  g.setColorAt(1.0, kBarDark);
  p.fillRect(rect, g);

  p.setRenderHint(QPainter::Antialiasing);
  // A soft light sweep over the top right gives the frame some depth.
  QRadialGradient glow(QPointF(rect.right() - 120, rect.top() - 40), 320);
  glow.setColorAt(0, QColor(255, 255, 255, 34));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(rect, glow);

  p.setPen(QPen(kBarDark, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5));
  p.setPen(QPen(QColor(255, 255, 255, 36), 1));
  p.drawRect(QRectF(rect).adjusted(1.5, 1.5, -1.5, -1.5));
  p.restore();
}

void PaintPageBackground(QPainter& p, const QRect& rect) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(rect.topLeft(), rect.bottomLeft());
  g.setColorAt(0, kPage);
  g.setColorAt(1, QColor(232, 239, 245));
  QPainterPath path;
  const QRectF r = QRectF(rect).adjusted(0, 0, 0, 0);
  const qreal rad = 6;
  path.moveTo(r.left(), r.top());
  path.lineTo(r.right(), r.top());
  path.lineTo(r.right(), r.bottom() - rad);
  path.quadTo(r.right(), r.bottom(), r.right() - rad, r.bottom());
  path.lineTo(r.left() + rad, r.bottom());
  path.quadTo(r.left(), r.bottom(), r.left(), r.bottom() - rad);
  path.closeSubpath();
  p.fillPath(path, g);
  p.restore();
}

}  // namespace sv::art
