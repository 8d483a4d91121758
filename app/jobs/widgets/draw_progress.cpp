#include "jobs/widgets/draw_progress.h"

#include "jobs/widgets/picture_box.h"
#include "platform/rounding.h"

#include <QFontMetrics>
#include <QPainter>

namespace sv {

void DrawProgress(PictureBox* pic, float percent, jobs::Rgb colour, bool invert) {
  if (!pic) return;
  QImage& image = pic->Image();
  const int scaleWidth = pic->ScaleWidth();
  const int scaleHeight = pic->ScaleHeight();
  const QColor fore = ToQColor(colour);
  const QColor back = Qt::white;
  // Setting the back colour clears the box.
  image.fill(back);

  const float f = percent / 100.0f;
  const auto shown = static_cast<long long>(f * 100.0f + 0.5f);
  const QString text = QString::number(shown) + QLatin1Char('%');

  // Plain pixels: the inverted digits stay crisp.
  const QFont& font = pic->BarFont();
  const QFontMetrics& metrics = pic->BarMetrics();
  QPainter painter(&image);
  painter.setFont(font);
  const int tw = CInt(metrics.horizontalAdvance(text));
  const int th = CInt(metrics.height());
  const int x = rnd(scaleWidth / 2.0 - tw / 2.0);
  const int y = rnd(scaleHeight / 2.0 - th / 2.0);

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

}  // namespace sv
