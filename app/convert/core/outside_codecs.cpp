#include "convert/core/outside_codecs.h"

#include "platform/library_loader.h"

#include <map>
#include <memory>

namespace sv::codecs {
namespace {

std::map<std::string, std::unique_ptr<SharedLibrary>>& libraries() {
  static std::map<std::string, std::unique_ptr<SharedLibrary>> libs;
  return libs;
}

}  // namespace

SharedLibrary& Library(const std::string& name) {
  auto& slot = libraries()[name];
  if (!slot) slot = std::make_unique<SharedLibrary>(name);
  slot->load();
  return *slot;
}

void SetLibraryName(const std::string& library, const std::string& nameOrPath) {
  libraries()[library] = std::make_unique<SharedLibrary>(nameOrPath);
}

QString CodecResultText(std::int32_t result, bool decoding, const QString& format) {
  switch (result) {
    case SVC_E_SOURCE_OPEN:
      return QStringLiteral("can not open source file");
    case SVC_E_SOURCE_FORMAT:
      return decoding ? QStringLiteral("source is not a valid %1 file").arg(format)
                      : QStringLiteral("source is not a 16-bit PCM mono or stereo wave file");
    case SVC_E_DEST_CREATE:
      return QStringLiteral("can not create destination file");
    case SVC_E_WRITE:
      return QStringLiteral("can not write destination file");
    case SVC_E_DAMAGED:
      return QStringLiteral("source file is damaged");
    case SVC_E_CANCELLED:
      return QStringLiteral("stopped by the codec library");
    case SVC_E_ARGUMENT:
      return QStringLiteral("the codec library refused the settings");
    case SVC_E_INTERNAL:
      return QStringLiteral("the codec library failed (out of memory or an internal error)");
    default:
      return QStringLiteral("the codec library failed with code %1").arg(result);
  }
}

}  // namespace sv::codecs
