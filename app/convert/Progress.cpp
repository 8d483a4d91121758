#include "Progress.h"

#include "PictureBox.h"
#include "platform/rounding.h"
#include "platform/runtime_error.h"

#include <QFontMetrics>
#include <QPainter>

#include <limits>

namespace sv {

void DrawProgress(PictureBox* pic, float percent, QRgb color, bool invert) {
  if (!pic) return;
  QImage& image = pic->Image();
  const int scaleWidth = pic->ScaleWidth();
  const int scaleHeight = pic->ScaleHeight();
  const QColor fore = QColor::fromRgb(color);
  const QColor back = Qt::white;
  // Setting the back colour clears the box.
  image.fill(back);

  const float f = percent / 100.0f;
  const auto shown = static_cast<long long>(f * 100.0f + 0.5f);
  const QString text = QString::number(shown) + QLatin1Char('%');

  // Plain pixels: the inverted digits stay crisp.
  QFont font = pic->font();
  font.setStyleStrategy(QFont::NoAntialias);
  QPainter painter(&image);
  painter.setFont(font);
  const QFontMetrics metrics(font);
  const int tw = CInt(metrics.horizontalAdvance(text));
  const int th = CInt(metrics.height());
  const int x = rnd(scaleWidth / 2.0 - tw / 2.0);
  const int y = rnd(scaleHeight / 2.0 - th / 2.0);

  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(QRect(x, y, tw, th), back);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setPen(fore);
  painter.drawText(QPoint(x, y + metrics.ascent()), text);

  if (invert) {
    // Not-xor pen: white under the bar takes the bar colour, bar-coloured text turns white.
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    if (f > 0)
      painter.fillRect(QRectF(0, 0, scaleWidth * static_cast<double>(f), scaleHeight), fore);
    else
      painter.fillRect(QRect(0, 0, scaleWidth, scaleHeight), back);
  }
  painter.end();
  pic->Refresh();
  pic->NoteProgress(percent);
}

std::int16_t FileShare(int rows) { return CInt(1.0 / rows * 100.0); }

std::int16_t FileBase(int rows, int current) { return CInt(static_cast<double>(current - 1) / rows * 100.0); }

std::int16_t TotalPercentOfRows(int percent, int rows, int current) {
  return TotalPercent(percent, FileShare(rows), FileBase(rows, current));
}

std::int16_t TotalPercent(int percent, int share, int base) {
  const int product = percent * share;
  if (product > std::numeric_limits<std::int16_t>::max() ||
      product < std::numeric_limits<std::int16_t>::min())
    Raise(errOverflow);
  return CInt(product / 100.0 + base);
}

}  // namespace sv
