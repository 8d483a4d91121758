#pragma once
// The program's string table. It only holds the user-interface font, so a
// localised table changes the font of every window in one place.
#include <QString>

namespace sv {

inline constexpr int IDS_FONT_NAME = 950;
inline constexpr int IDS_FONT_SIZE = 951;
inline constexpr int IDS_FONT_BOLD = 952;
inline constexpr int IDS_FONT_FALLBACK = 953;
inline constexpr int IDS_FONT_LAST_RESORT = 954;

// The entry's text; an id that is not in the table raises run-time error 326.
QString LoadResString(int id);

}  // namespace sv
