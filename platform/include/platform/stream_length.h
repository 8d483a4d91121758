#pragma once
// The playing time of the stream open in an svdecode decoder, to the fraction of a second.
//
// The library gives the current time in whole seconds only. Its time at any seek point is
// the stream's length times the position it reports there, so the position at which the
// time first reaches the last whole second gives the length itself.
#include <cstdint>
#include <functional>

namespace sv {

struct DecoderClock {
  std::function<std::int32_t(float)> SeekToPosition;
  std::function<std::int32_t(float)> SeekToTime;
  std::function<double()> GetCurrentTimeSecond;
  std::function<float()> GetCurrentPosition;
};

// Seconds, or 0 when the stream cannot seek. Leaves the stream at its end.
// A stream shorter than a second never reaches a whole second: its length comes from the
// position of an early time instead, which is exact for constant bit rates.
double StreamSeconds(const DecoderClock& clock);

}  // namespace sv
