// Audio CD arithmetic: blocks, the 2-second pregap, the 4-second minimum, MSF times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cdw {

inline constexpr int kBlockBytes = 2352;     // one CD frame of audio
inline constexpr int kFramesPerBlock = 588;  // stereo sample pairs in a block
inline constexpr int kBlocksPerSecond = 75;
inline constexpr int kPregapBlocks = 150;    // before track 1
inline constexpr int kMinTrackBlocks = 300;  // 4 seconds
inline constexpr int kMaxTracks = 99;
inline constexpr int kMaxGapBlocks = 750;  // silence between tracks we allow asking for
inline constexpr std::int64_t kEightyMinutes = 80 * 60 * kBlocksPerSecond;
inline constexpr int kSampleRate = 44100;

// Blocks a track of `frames` sample pairs takes: whole blocks, at least 4 seconds.
std::int64_t TrackBlocks(std::int64_t frames);

// "mm:ss:ff" as CUE sheets write times; minutes beyond 99 keep their digits.
std::string Msf(std::int64_t blocks);
// "mm:ss" for messages, rounded up to the next second.
std::string MinutesSeconds(std::int64_t blocks);

struct TrackPlace {
  std::int64_t blocks = 0;  // INDEX 01 to the next track (whole blocks, padding included)
  int pregap = 0;           // silence before INDEX 01
  std::int64_t start = 0;   // INDEX 01 counted from the start of track 1's INDEX 01
};

struct Layout {
  std::vector<TrackPlace> tracks;
  std::int64_t programBlocks = 0;  // from track 1's INDEX 01 to the lead-out
  // Blocks the image file holds: track 1's pregap too.
  std::int64_t imageBlocks() const { return programBlocks + (tracks.empty() ? 0 : tracks[0].pregap); }
};

// Track 1 gets the 2-second pregap, later tracks `gapBlocks` of silence before them.
Layout LayOut(const std::vector<std::int64_t>& frames, int gapBlocks);

}  // namespace cdw
