#include "platform/stream_length.h"

namespace sv {

double StreamSeconds(const DecoderClock& clock) {
  if (clock.SeekToPosition(1.0f) != 0) return 0.0;
  const double whole = clock.GetCurrentTimeSecond();
  if (!(whole >= 1.0)) {
    constexpr float kProbe = 0.05f;
    if (clock.SeekToTime(kProbe) != 0) return 0.0;
    const double position = clock.GetCurrentPosition();
    clock.SeekToPosition(1.0f);
    return position > 0.0 ? kProbe / position : 0.0;
  }
  // Smallest seek point whose time reads `whole`: there position × length = whole.
  float below = 0.0f, at = 1.0f;
  for (int i = 0; i < 26 && at - below > 1e-7f; ++i) {
    const float middle = below + (at - below) / 2;
    if (clock.SeekToPosition(middle) != 0) break;
    if (clock.GetCurrentTimeSecond() >= whole)
      at = middle;
    else
      below = middle;
  }
  clock.SeekToPosition(at);
  const double position = clock.GetCurrentPosition();
  clock.SeekToPosition(1.0f);
  return position > 0.0 ? whole / position : whole;
}

}  // namespace sv
