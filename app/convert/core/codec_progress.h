// The progress callbacks handed to the whole-file codec libraries. Each draws the bars of the
// running job's window (both bars at every call) and lets the window run; each gives back 0.
// Without a running job they only give back 0.
#pragma once

#include <cstdint>

namespace sv {

// Size in bytes of the VQF file being decoded; read by VqfDecodeProgress.
extern std::int32_t VqfSourceLength;

// The file percentage VqfDecodeProgress shows for a position and rate: the length is
// estimated from the file size (sourceLength * 14.69 / rate), and position + 10 when the
// position is already past the estimate. A rate of 0 raises error 11.
std::int16_t VqfDecodePercent(std::int32_t position, std::int32_t rate, std::int32_t sourceLength);

}  // namespace sv

extern "C" {
std::int16_t OggDecodeProgress(std::int16_t percent);
std::int16_t VqfDecodeProgress(std::int16_t position, std::int16_t rate);
std::int16_t WmaDecodeProgress(std::int16_t percent);
std::int16_t OggEncodeProgress(std::int16_t percent);
std::int16_t VqfEncodeProgress(std::int16_t percent);
std::int16_t WmaProgress(std::int16_t percent);
}
