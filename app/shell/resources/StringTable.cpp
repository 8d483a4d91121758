#include "StringTable.h"

#include <array>
#include <utility>

#include "platform/runtime_error.h"

namespace sv {
namespace {

constexpr std::array<std::pair<int, const char*>, 5> kTable{{
    {IDS_FONT_NAME, "Arial"},
    {IDS_FONT_SIZE, "9"},
    {IDS_FONT_BOLD, "False"},
    {IDS_FONT_FALLBACK, "Times New Roman"},
    {IDS_FONT_LAST_RESORT, "System"},
}};

constexpr int errResourceNotFound = 326;

}  // namespace

QString LoadResString(int id) {
  for (const auto& [key, text] : kTable)
    if (key == id) return QString::fromLatin1(text);
  Raise(errResourceNotFound, {}, QStringLiteral("Resource with identifier '%1' not found").arg(id));
}

}  // namespace sv
