#include "red_book.h"

#include <algorithm>
#include <cstdio>

namespace cdw {

std::int64_t TrackBlocks(std::int64_t frames) {
  const std::int64_t blocks = (std::max<std::int64_t>(frames, 0) + kFramesPerBlock - 1) / kFramesPerBlock;
  return std::max<std::int64_t>(blocks, kMinTrackBlocks);
}

std::string Msf(std::int64_t blocks) {
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(blocks / (60 * 75)),
                static_cast<long long>(blocks / 75 % 60), static_cast<long long>(blocks % 75));
  return text;
}

std::string MinutesSeconds(std::int64_t blocks) {
  const std::int64_t seconds = (blocks + kBlocksPerSecond - 1) / kBlocksPerSecond;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text;
}

Layout LayOut(const std::vector<std::int64_t>& frames, int gapBlocks) {
  Layout layout;
  std::int64_t at = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    TrackPlace place;
    place.blocks = TrackBlocks(frames[i]);
    place.pregap = i == 0 ? kPregapBlocks : gapBlocks;
    if (i > 0) at += place.pregap;
    place.start = at;
    at += place.blocks;
    layout.tracks.push_back(place);
  }
  layout.programBlocks = at;
  return layout;
}

}  // namespace cdw
