// The decoder library, loaded at the first call of one of its functions.
#pragma once

#include <cstdint>

namespace sv::svdecode {

std::int32_t CreateDecoder();
std::int32_t DeleteDecoder();
std::int32_t RegisterInputModule();
std::int32_t RegisterOutputModule();
std::int32_t Mp3InputOpen(const char* name);
std::int32_t WaveOutputOpen(const char* name);
std::int32_t Mp3DecodePlay();
std::int32_t Mp3InputClose();
std::int32_t WaveOutputClose();
float GetCurrentPosition();
std::int32_t SeekToPosition(float position);
std::int32_t SeekToTime(float seconds);
double GetCurrentTimeSecond();

// Result codes the jobs look at.
inline constexpr std::int16_t kStreamError = -700;  // a frame was passed over; go on
inline constexpr std::int16_t kEndOfInput = -514;   // Mp3DecodePlay: the input is used up
inline constexpr std::int16_t kWriteFailed = -516;  // WaveOutputClose: the file is incomplete

}  // namespace sv::svdecode
