#include "cd/core/disc_toc.h"

#include "platform/runtime_error.h"

namespace sv {

std::int32_t TocTrackAddress(const std::uint8_t (&address)[4]) {
  if (address[0] >= 128) Raise(errOverflow);
  return static_cast<std::int32_t>(std::uint32_t(address[0]) << 24 | std::uint32_t(address[1]) << 16 |
                                   std::uint32_t(address[2]) << 8 | address[3]);
}

QString AspiErrorText(std::int32_t code) {
  switch (code) {
    case 0:
      return QStringLiteral("No error...");
    case -1:
      return QStringLiteral("Unable to load WNASPI32.DLL (95/98/NT/2000) or use SCSI passthrough (NT/2000)");
    case -2:
      return QStringLiteral(
          "Could not load ASPI function GetASPI32SupportInfo. Only occurs when an ASPI manager "
          "(WNASPI32.DLL) is "
          "found, but cannot be correctly loaded by the system. Most often indicates that ASPI is improperly "
          "installed.");
    case -3:
      return QStringLiteral(
          "Could not load ASPI function SendASPI32Command. Only occurs when an ASPI manager (WNASPI32.DLL) "
          "is "
          "found, but cannot be correctly loaded by the system. Most often indicates that ASPI is improperly "
          "installed.");
    case -4:
      return QStringLiteral(
          "An error was returned by the ASPI manager. Use GetAspiLibAspiError to retrieve the actual ASPI "
          "error.");
    case -5:
      return QStringLiteral("Unused in the current implementation");
    case -6:
      return QStringLiteral(
          "The buffer passed to ReadCDAudioLBA or ReadCDAudioLBAEx is too small for the requested number of "
          "frames.");
    case -7:
      return QStringLiteral("The handle to the CD-ROM unit is invalid.");
    case -8:
      return QStringLiteral("All available slots for CD-ROM handles have been allocated.");
    case -9:
      return QStringLiteral("Results from passing a bad buf parameter to GetCDId (ie. a NULL pointer)");
    case -10:
      return QStringLiteral("The ha:tgt:lun values passed to GetCDHandle do not refer to a CD-ROM device.");
    case -11:
      return QStringLiteral("Unable to obtain an exclusive lock on a CD handle.");
    case -12:
      return QStringLiteral(
          "Occurs when attempting to call GetCDHandle for a ha:tgt:lun value that has already been "
          "allocated.");
    case -13:
      return QStringLiteral("Invalid value for the LPGETCDHAND parameter to GetCDHandle");
    case -14:
      return QStringLiteral("Invalid version or size specified in LPGETCDHAND parameter to GetCDHandle");
    case -15:
      return QStringLiteral("An automatic jitter adjust failed during a call to ReadCDAudioLBAEx");
    default:
      return {};
  }
}

namespace grab {

const DiscLayout::Track* DiscLayout::find(int number) const {
  for (const Track& t : tracks)
    if (t.number == number) return &t;
  return nullptr;
}

int DiscLayout::firstAudio() const {
  for (const Track& t : tracks)
    if (t.audio) return t.number;
  return 0;
}

int DiscLayout::lastAudio() const {
  for (auto it = tracks.rbegin(); it != tracks.rend(); ++it)
    if (it->audio) return it->number;
  return 0;
}

DiscLayout LayoutOf(const SVR_TOC& toc) {
  DiscLayout layout;
  const int count = toc.lastTrack >= toc.firstTrack ? toc.lastTrack - toc.firstTrack + 1 : 0;
  try {
    for (int i = 0; i < count && i < SVR_MAX_TOC_ENTRIES - 1; ++i) {
      const SVR_TOCTRACK& e = toc.tracks[i];
      const std::int32_t start = TocTrackAddress(e.address);
      const std::int32_t end = TocTrackAddress(toc.tracks[i + 1].address);
      layout.tracks.push_back({e.track, start, end, (e.adrControl & 0x04) == 0});
      layout.leadout = end;
    }
  } catch (const RuntimeError&) {
  }
  return layout;
}

QString FramesText(std::int64_t frames) {
  if (frames < 0) frames = 0;
  return QStringLiteral("%1:%2.%3")
      .arg(frames / (75 * 60), 2, 10, QLatin1Char('0'))
      .arg(frames / 75 % 60, 2, 10, QLatin1Char('0'))
      .arg(frames % 75, 2, 10, QLatin1Char('0'));
}

}  // namespace grab
}  // namespace sv
