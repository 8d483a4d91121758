#include "ResourceFonts.h"

#include <utility>
#include <vector>

#include <QFont>
#include <QWidget>

#include "platform/rounding.h"
#include "platform/runtime_error.h"

namespace sv {
namespace {

std::int16_t SizeFromText(const QString& text) {
  bool ok = false;
  const double value = text.trimmed().toDouble(&ok);
  if (!ok) Raise(errTypeMismatch);
  return CInt(value);
}

// Point sizes a font property accepts.
bool ValidFontSize(int size) { return size >= 1 && size <= 2160; }

}  // namespace

ResourceFont ChooseResourceFont(const StringLoader& load) {
  ResourceFont font;
  font.size = SizeFromText(load(IDS_FONT_SIZE));
  font.bold = load(IDS_FONT_BOLD) == QLatin1String("True");
  const QString name = load(IDS_FONT_NAME);

  // From here on failures only change the face that is used.
  bool failed = !ValidFontSize(font.size);
  if (failed) font.size = QFont().pointSize();
  font.name = name;
  if (name.isEmpty()) failed = true;
  if (failed) {
    try {
      font.name = load(IDS_FONT_FALLBACK);
    } catch (const RuntimeError&) {
      try {
        font.name = load(IDS_FONT_LAST_RESORT);
      } catch (const RuntimeError&) {
      }
    }
  }
  return font;
}

ResourceFont ApplyResourceFonts(QWidget& form, const StringLoader& load) {
  const ResourceFont chosen = ChooseResourceFont(load);
  // Decide per control on the fonts as they are before the window's own
  // font changes, which the controls would otherwise inherit.
  const auto controls = form.findChildren<QWidget*>();
  std::vector<std::pair<QWidget*, QFont>> kept;
  for (QWidget* control : controls) {
    const QFont current = control->font();
    if (current.family() == chosen.name && current.pointSize() > 0 && current.pointSize() < chosen.size) {
      QFont own = current;
      own.setFamily(current.family());
      own.setPointSize(current.pointSize());
      own.setBold(current.bold());
      kept.emplace_back(control, own);
    }
  }

  QFont formFont = form.font();
  formFont.setFamily(chosen.name);
  formFont.setPointSize(chosen.size);
  formFont.setBold(chosen.bold);
  form.setFont(formFont);

  for (QWidget* control : controls) {
    QFont f = control->font();
    f.setPointSize(chosen.size);
    f.setFamily(chosen.name);
    f.setBold(chosen.bold);
    control->setFont(f);
  }
  for (auto& [control, own] : kept) control->setFont(own);
  return chosen;
}

}  // namespace sv
