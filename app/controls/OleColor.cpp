#include "OleColor.h"

#include <QPalette>
#include <algorithm>
#include <cmath>

#include "platform/rounding.h"

namespace controls {

QColor OleTranslateColor(OLE_COLOR colour, const QPalette& palette) {
  if ((colour & 0x80000000u) == 0) return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
  switch (colour & 0xFF) {
    case 0x01:
      return palette.color(QPalette::Window);  // desktop
    case 0x05:
      return palette.color(QPalette::Base);  // window
    case 0x08:
      return palette.color(QPalette::Text);  // window text
    case 0x0D:
      return palette.color(QPalette::Highlight);
    case 0x0E:
      return palette.color(QPalette::HighlightedText);
    case 0x0F:
      return palette.color(QPalette::Button);  // button face
    case 0x10:
      return palette.color(QPalette::Dark);  // button shadow
    case 0x11:
      return palette.color(QPalette::Disabled, QPalette::ButtonText);
    case 0x12:
      return palette.color(QPalette::ButtonText);
    case 0x14:
      return palette.color(QPalette::Light);  // 3-D highlight
    case 0x15:
      return palette.color(QPalette::Shadow);  // 3-D dark shadow
    case 0x16:
      return palette.color(QPalette::Midlight);  // 3-D light
    case 0x17:
      return palette.color(QPalette::ToolTipText);
    case 0x18:
      return palette.color(QPalette::ToolTipBase);
    default:
      return palette.color(QPalette::Window);
  }
}

QColor Blend(const QColor& a, const QColor& b, bool strong) {
  auto channel = [strong](int ca, int cb) {
    double c = (ca + cb) / 2.0;
    if (strong)
      c += (255 - ca) * 100.0 / 255.0;
    else
      c += (255 - cb) * 100.0 / 510.0;
    return std::clamp(static_cast<int>(sv::Round(c)), 0, 255);
  };
  return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()));
}

}  // namespace controls
