#include "image_readback.h"

#include "svripper.h"

#include <algorithm>
#include <cstdint>

namespace cdwtest {
namespace {

std::uint32_t bigEndian(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

QByteArray readFrames(SVR_HCDROM h, std::uint32_t first, std::uint32_t count) {
  QByteArray out;
  constexpr std::uint32_t kBlock = 26;
  std::vector<std::uint8_t> buffer(sizeof(SVR_TRACKBUF) + kBlock * SVR_FRAME_BYTES);
  for (std::uint32_t at = first; at < first + count; at += kBlock) {
    auto* request = reinterpret_cast<SVR_TRACKBUF*>(buffer.data());
    *request = {};
    request->startFrame = at;
    request->numFrames = std::min(kBlock, first + count - at);
    request->maxLen = kBlock * SVR_FRAME_BYTES;
    if (ReadCDAudioLBA(h, request) != 1) return {};
    out.append(reinterpret_cast<const char*>(buffer.data() + sizeof(SVR_TRACKBUF)), request->len);
  }
  return out;
}

QString cdText(SVR_HCDROM h, int track, int field) {
  char text[256] = {};
  return ReadCDText(h, track, field, text, sizeof text) > 0 ? QString::fromUtf8(text) : QString();
}

}  // namespace

std::optional<ReadDisc> ReadImageAsDrive(const QString& cueName) {
  SVR_CDLIST list{};
  list.max = SVR_MAX_DRIVES;
  GetCDList(&list);
  int found = -1;
  for (int i = 0; i < list.num; ++i)
    if (QString::fromLatin1(list.cd[i].id) == "Disc image: " + cueName) found = i;
  if (found < 0) return std::nullopt;
  SVR_GETCDHAND request{12, 1, list.cd[found].ha, list.cd[found].tgt, list.cd[found].lun, 0, {}};
  const SVR_HCDROM handle = GetCDHandle(&request);
  if (handle == 0) return std::nullopt;
  ReadDisc disc;
  SVR_TOC toc{};
  if (ModifyCDParms(handle, SVR_CDP_MSF, 0) != 1 || ReadTOC(handle, &toc) != 1) {
    CloseCDHandle(handle);
    return std::nullopt;
  }
  disc.firstTrack = toc.firstTrack;
  disc.lastTrack = toc.lastTrack;
  const int count = toc.lastTrack - toc.firstTrack + 1;
  disc.leadOutTrack = toc.tracks[count].track;
  for (int t = 0; t < count; ++t) {
    const std::uint32_t start = bigEndian(toc.tracks[t].address);
    const std::uint32_t end = bigEndian(toc.tracks[t + 1].address);
    disc.tracks.push_back({readFrames(handle, start, end - start), cdText(handle, t + 1, SVR_CDTEXT_TITLE),
                           cdText(handle, t + 1, SVR_CDTEXT_PERFORMER)});
  }
  if (count > 0) disc.pregap = readFrames(handle, bigEndian(toc.tracks[0].address) - 150, 150);
  disc.title = cdText(handle, 0, SVR_CDTEXT_TITLE);
  disc.performer = cdText(handle, 0, SVR_CDTEXT_PERFORMER);
  CloseCDHandle(handle);
  return disc;
}

}  // namespace cdwtest
