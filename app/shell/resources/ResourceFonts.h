#pragma once
// The user-interface font named by the string table, set on a window and on
// every control in it.
#include <QString>
#include <functional>

#include "StringTable.h"

class QWidget;

namespace sv {

struct ResourceFont {
  QString name;
  int size = 0;
  bool bold = false;
};

using StringLoader = std::function<QString(int id)>;

// Reads size (951), bold flag (952) and name (950). A size that is not a
// number fitting 16 bits raises the run-time error to the caller. A size the
// font cannot take, or an empty name, makes the name fall back to 953 and
// then 954.
ResourceFont ChooseResourceFont(const StringLoader& load = LoadResString);

// Sets the chosen font on the window and on each control in it, except
// controls that already use the chosen face at a smaller size.
ResourceFont ApplyResourceFonts(QWidget& form, const StringLoader& load = LoadResString);

}  // namespace sv
