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

  // The bar first, then the digits with the not-xor pen: over white they take the bar colour,
  // over the bar they turn white. The same picture as filling the bar with that pen over the
  // digits, but only the digits' pixels go through the raster operation.
  if (invert && f > 0) painter.fillRect(QRectF(0, 0, scaleWidth * static_cast<double>(f), scaleHeight), fore);
  painter.setPen(fore);
  if (invert) painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  painter.drawText(QPoint(x, y + metrics.ascent()), text);
  painter.end();
  pic->Refresh();
  pic->NoteProgress(percent);
}

}  // namespace sv
