#include "cd/core/checksums.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>

namespace sv::grab {

TrackChecksums::TrackChecksums(std::int64_t words, bool first, bool last)
    : from_(first ? kAccurateRipFirstSkip + 1 : 1), to_(last ? words - kAccurateRipLastSkip : words) {
  crc_ = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
}

void TrackChecksums::Add(const std::uint8_t* audio, std::size_t bytes) {
  // zlib takes at most 4 GiB a call; blocks are far smaller.
  crc_ = static_cast<std::uint32_t>(crc32(crc_, audio, static_cast<uInt>(bytes)));
  const std::size_t words = bytes / 4;
  std::uint32_t v1 = v1_, v2 = v2_;
  int peak = peak_;
  std::int64_t i = position_;
  for (std::size_t k = 0; k < words; ++k) {
    const std::uint8_t* p = audio + 4 * k;
    const std::uint32_t w = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                            std::uint32_t(p[3]) << 24;
    ++i;
    if (i >= from_ && i <= to_) {
      const std::uint64_t product = std::uint64_t(w) * std::uint64_t(i);
      v1 += static_cast<std::uint32_t>(product);
      v2 += static_cast<std::uint32_t>(product) + static_cast<std::uint32_t>(product >> 32);
    }
    const int left = std::abs(int(static_cast<std::int16_t>(w & 0xFFFF)));
    const int right = std::abs(int(static_cast<std::int16_t>(w >> 16)));
    peak = std::max(peak, std::max(left, right));
  }
  position_ = i;
  v1_ = v1;
  v2_ = v2;
  peak_ = peak;
}

}  // namespace sv::grab
