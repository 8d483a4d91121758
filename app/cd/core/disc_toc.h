// The disc as the CD-reading component gives it: TOC addresses, the tracks with their ranges
// and kinds, and the component's error texts. QtCore only.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

#include "svripper.h"

namespace sv {

// The LBA of a TOC entry's 4 address bytes (big-endian); a first byte of 128 or more raises
// the overflow error (6).
std::int32_t TocTrackAddress(const std::uint8_t (&address)[4]);
// The component's text for an error code; empty for codes it does not know.
QString AspiErrorText(std::int32_t code);

namespace grab {

// The tracks of a TOC read with LBA addresses.
struct DiscLayout {
  struct Track {
    int number = 0;
    std::int32_t start = 0;
    std::int32_t end = 0;  // the next entry's address, the lead-out for the last track
    bool audio = true;
    std::int32_t frames() const { return end - start; }
  };
  std::vector<Track> tracks;
  std::int32_t leadout = 0;

  const Track* find(int number) const;
  // The first and last audio tracks (0 when there are none).
  int firstAudio() const;
  int lastAudio() const;
};

// An unreadable address (first byte 128 or more) ends the list there.
DiscLayout LayoutOf(const SVR_TOC& toc);

// "mm:ss.ff" of a frame count (75 frames a second).
QString FramesText(std::int64_t frames);

}  // namespace grab
}  // namespace sv
