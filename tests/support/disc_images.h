// Disc images for tests: CUE/BIN (and cdrdao TOC) pairs with any track layout, pregaps,
// data tracks, either byte order of the audio, CD-Text, and a BIN cut short. The audio
// is known frame by frame, so a reader's result can be compared with what the image holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sv::discs {

inline constexpr int kFrameBytes = 2352;
inline constexpr int kFramesPerSecond = 75;

struct TrackSpec {
  int frames = 0;        // from INDEX 01 to the next track's first frame
  int pregapFrames = 0;  // INDEX 00 to INDEX 01, stored in the file before the track
  bool data = false;     // a MODE1/2352 data track (enhanced CD)
  std::string title;     // CD-Text, empty for none
  std::string performer;
};

enum class ByteOrder { Little, Big };  // BINARY or MOTOROLA in the CUE sheet
enum class Content { Pattern, Tone };  // every frame different, or a steady tone per track

struct DiscSpec {
  std::string name = "disc";  // file names: name.cue and name.bin
  std::vector<TrackSpec> tracks;
  ByteOrder order = ByteOrder::Little;
  Content content = Content::Pattern;
  std::uint32_t seed = 1;  // tells two discs of the same layout apart
  std::string title;       // disc CD-Text
  std::string performer;
  std::int64_t cutBytes = 0;  // taken off the end of the BIN
};

// An audio track of frames frames after pregap frames of pregap; a data track.
TrackSpec Track(int frames, int pregapFrames = 0);
TrackSpec DataTrack(int frames);

// Tracks of the given lengths in frames; track 1 gets the usual two-second pregap.
DiscSpec AudioDisc(const std::string& name, const std::vector<int>& frames);

struct DiscImage {
  DiscSpec spec;
  std::filesystem::path sheet;  // the .cue (or .toc)
  std::filesystem::path bin;
  std::vector<int> trackStart;  // frame of each track's INDEX 01 (LBA as readers give it), [0] is track 1
  int totalFrames = 0;          // frames in the BIN before any cut: the lead-out

  int tracks() const { return static_cast<int>(trackStart.size()); }
  // First frame of track t (1-based) and the first frame after it.
  int start(int t) const { return trackStart[static_cast<std::size_t>(t - 1)]; }
  int end(int t) const { return t < tracks() ? start(t + 1) : totalFrames; }
  bool isData(int t) const { return spec.tracks[static_cast<std::size_t>(t - 1)].data; }
  // The frame as a reader of audio gives it: 16-bit little-endian stereo samples.
  std::vector<std::uint8_t> AudioFrame(int frame) const;
  // Frames [first, first + count) one after another.
  std::vector<std::uint8_t> Audio(int first, int count) const;
};

// Writes name.cue and name.bin into folder (made when missing).
DiscImage WriteCueBin(const std::filesystem::path& folder, const DiscSpec& spec);
// The same audio under a cdrdao TOC file (name.toc, raw big-endian audio in name.bin).
DiscImage WriteCdrdaoToc(const std::filesystem::path& folder, const DiscSpec& spec);
// Removes the sheet and the BIN of an image.
void RemoveImage(const DiscImage& image);

// "mm:ss:ff" of a frame count, as CUE sheets and CD players write it.
std::string Msf(int frames);

}  // namespace sv::discs
