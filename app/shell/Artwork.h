#pragma once
// The main window's artwork, drawn in code so it stays sharp at any scale:
// window background, logo, tab pictures, title-bar and footer images.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QString>

class QPainter;
class QRect;
class QRectF;

namespace sv::art {

// Base of the palette: the colour of the window's bars.
inline const QColor kBar{16, 80, 128};
inline const QColor kBarLight{34, 112, 170};
inline const QColor kBarDark{9, 50, 82};
inline const QColor kPage{244, 247, 250};
inline const QColor kPageLine{203, 216, 228};
inline const QColor kAccent{246, 166, 35};
inline const QColor kInk{28, 44, 60};

enum class Glyph { Minimise, Close, Help, About };

inline constexpr int kTabWidth = 138;
inline constexpr int kTabHeight = 30;
inline constexpr int kGlyphSize = 20;

// The artwork's lettering: the program's font family at a pixel size.
QFont Font(int pixelSize, bool bold);

QString TabCaption(int page);
QPixmap TabPicture(int page, bool down, qreal dpr);
QPixmap TitleGlyph(Glyph glyph, bool hover, qreal dpr);
QPixmap FooterButton(const QString& text, Glyph icon, bool hover, qreal dpr);

// The disc-and-wave emblem filling rect.
void PaintLogo(QPainter& p, const QRectF& rect);
// The emblem alone on a transparent square, the program's icon.
QImage LogoImage(int size);
// A page's small emblem, the same one its tab shows.
void PaintPageIcon(QPainter& p, int page, const QRectF& rect, const QColor& colour);
void PaintWindowBackground(QPainter& p, const QRect& rect);
void PaintPageBackground(QPainter& p, const QRect& rect);

}  // namespace sv::art
