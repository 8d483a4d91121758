#pragma once
// Colours as the controls keep them: either a plain 0x00BBGGRR value or a
// system colour (high bit set, low byte = system colour index) that is
// looked up in the widget's palette each time it is drawn.
#include <QColor>
#include <cstdint>

class QPalette;

namespace controls {

using OLE_COLOR = std::uint32_t;

// System colours the controls use by default.
inline constexpr OLE_COLOR vbButtonText = 0x80000012;
inline constexpr OLE_COLOR vbHighlight = 0x8000000D;
inline constexpr OLE_COLOR vbButtonFace = 0x8000000F;
inline constexpr OLE_COLOR vbButtonShadow = 0x80000010;
inline constexpr OLE_COLOR vb3DHighlight = 0x80000014;

constexpr OLE_COLOR RGB(int r, int g, int b) {
  return static_cast<OLE_COLOR>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// Translates a colour value to a concrete colour; system colours come from
// the palette's matching role.
QColor OleTranslateColor(OLE_COLOR colour, const QPalette& palette);

// The face tint of the skinned button: per channel the mean of the two
// colours, lightened by the face's headroom (strong) or softly by the
// hover colour's headroom (light); rounded half to even, clamped.
QColor Blend(const QColor& a, const QColor& b, bool strong);

}  // namespace controls
