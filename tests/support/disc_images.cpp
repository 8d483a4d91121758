#include "disc_images.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace sv::discs {
namespace fs = std::filesystem;

namespace {

constexpr int kSamplesPerFrame = kFrameBytes / 2;

// Which track (0-based) a frame of the file belongs to, and whether it lies in a pregap.
struct Place {
  int track = 0;
  bool pregap = false;
};

Place place(const DiscImage& image, int frame) {
  Place p;
  for (int t = 0; t < image.tracks(); ++t) {
    const int gapStart = image.trackStart[static_cast<std::size_t>(t)] -
                         image.spec.tracks[static_cast<std::size_t>(t)].pregapFrames;
    if (frame >= gapStart) {
      p.track = t;
      p.pregap = frame < image.trackStart[static_cast<std::size_t>(t)];
    }
  }
  return p;
}

std::int16_t patternSample(std::uint32_t seed, int frame, int i) {
  std::uint32_t x = seed * 0x9E3779B9u ^ static_cast<std::uint32_t>(frame) * 0x85EBCA6Bu ^
                    static_cast<std::uint32_t>(i) * 0xC2B2AE35u;
  x ^= x >> 15;
  x *= 0x2C1B3C6Du;
  x ^= x >> 12;
  return static_cast<std::int16_t>(x & 0xFFFF);
}

void littleEndianAudio(const DiscImage& image, int frame, std::uint8_t* out) {
  const Place p = place(image, frame);
  for (int i = 0; i < kSamplesPerFrame; ++i) {
    std::int16_t v = 0;
    if (image.spec.content == Content::Pattern) {
      v = patternSample(image.spec.seed, frame, i);
    } else if (!p.pregap) {
      // A tone per track, a little higher each track; both channels alike.
      const double hz = 220.0 * std::pow(2.0, p.track / 4.0);
      const double t = (static_cast<double>(frame) * 588 + i / 2) / 44100.0;
      v = static_cast<std::int16_t>(std::lround(6000.0 * std::sin(2 * M_PI * hz * t)));
    }
    out[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
    out[2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  }
}

std::uint8_t bcd(int v) { return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10)); }

// A MODE1 raw sector: sync, address, mode, user data (EDC/ECC left zero).
void dataSector(const DiscImage& image, int frame, std::uint8_t* out) {
  std::fill(out, out + kFrameBytes, 0);
  for (int i = 1; i <= 10; ++i) out[i] = 0xFF;
  const int f = frame + 150;
  out[12] = bcd(f / (60 * 75));
  out[13] = bcd((f / 75) % 60);
  out[14] = bcd(f % 75);
  out[15] = 1;
  for (int i = 16; i < 16 + 2048; ++i)
    out[i] = static_cast<std::uint8_t>(patternSample(image.spec.seed, frame, i) & 0xFF);
}

DiscImage layoutOf(const fs::path& folder, const DiscSpec& spec, const char* sheetExtension) {
  if (spec.tracks.empty() || spec.tracks.size() > 99) throw std::invalid_argument("1 to 99 tracks");
  DiscImage image;
  image.spec = spec;
  image.sheet = folder / (spec.name + sheetExtension);
  image.bin = folder / (spec.name + ".bin");
  int frame = 0;
  for (const TrackSpec& t : spec.tracks) {
    frame += t.pregapFrames;
    image.trackStart.push_back(frame);
    frame += t.frames;
  }
  image.totalFrames = frame;
  return image;
}

void writeBin(const DiscImage& image) {
  std::ofstream out(image.bin, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + image.bin.string());
  std::vector<std::uint8_t> frame(kFrameBytes);
  for (int f = 0; f < image.totalFrames; ++f) {
    const Place p = place(image, f);
    if (image.isData(p.track + 1)) {
      dataSector(image, f, frame.data());
    } else {
      littleEndianAudio(image, f, frame.data());
      if (image.spec.order == ByteOrder::Big)
        for (int i = 0; i < kFrameBytes; i += 2)
          std::swap(frame[static_cast<std::size_t>(i)], frame[static_cast<std::size_t>(i) + 1]);
    }
    out.write(reinterpret_cast<const char*>(frame.data()), kFrameBytes);
  }
  out.close();
  if (image.spec.cutBytes > 0) {
    const auto size = static_cast<std::int64_t>(image.totalFrames) * kFrameBytes;
    fs::resize_file(image.bin,
                    static_cast<std::uintmax_t>(std::max<std::int64_t>(0, size - image.spec.cutBytes)));
  }
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

std::string Msf(int frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / (60 * 75), (frames / 75) % 60, frames % 75);
  return text;
}

TrackSpec Track(int frames, int pregapFrames) {
  TrackSpec t;
  t.frames = frames;
  t.pregapFrames = pregapFrames;
  return t;
}

TrackSpec DataTrack(int frames) {
  TrackSpec t = Track(frames);
  t.data = true;
  return t;
}

DiscSpec AudioDisc(const std::string& name, const std::vector<int>& frames) {
  DiscSpec spec;
  spec.name = name;
  for (int f : frames) spec.tracks.push_back(Track(f));
  if (!spec.tracks.empty()) spec.tracks.front().pregapFrames = 150;
  return spec;
}

std::vector<std::uint8_t> DiscImage::AudioFrame(int frame) const {
  std::vector<std::uint8_t> out(kFrameBytes);
  littleEndianAudio(*this, frame, out.data());
  return out;
}

std::vector<std::uint8_t> DiscImage::Audio(int first, int count) const {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(count) * kFrameBytes);
  for (int i = 0; i < count; ++i)
    littleEndianAudio(*this, first + i, out.data() + static_cast<std::size_t>(i) * kFrameBytes);
  return out;
}

DiscImage WriteCueBin(const fs::path& folder, const DiscSpec& spec) {
  fs::create_directories(folder);
  DiscImage image = layoutOf(folder, spec, ".cue");
  writeBin(image);
  // The sheet last, so a folder watcher never sees a sheet without its BIN.
  const fs::path partial = image.sheet.string() + ".part";
  {
    std::ofstream cue(partial, std::ios::trunc);
    if (!spec.performer.empty()) cue << "PERFORMER " << quoted(spec.performer) << "\n";
    if (!spec.title.empty()) cue << "TITLE " << quoted(spec.title) << "\n";
    cue << "FILE " << quoted(image.bin.filename().string()) << " "
        << (spec.order == ByteOrder::Big ? "MOTOROLA" : "BINARY") << "\n";
    for (int t = 1; t <= image.tracks(); ++t) {
      const TrackSpec& ts = spec.tracks[static_cast<std::size_t>(t - 1)];
      char number[16];
      std::snprintf(number, sizeof number, "%02d", t);
      cue << "  TRACK " << number << (ts.data ? " MODE1/2352" : " AUDIO") << "\n";
      if (!ts.title.empty()) cue << "    TITLE " << quoted(ts.title) << "\n";
      if (!ts.performer.empty()) cue << "    PERFORMER " << quoted(ts.performer) << "\n";
      if (ts.pregapFrames > 0) cue << "    INDEX 00 " << Msf(image.start(t) - ts.pregapFrames) << "\n";
      cue << "    INDEX 01 " << Msf(image.start(t)) << "\n";
    }
  }
  fs::rename(partial, image.sheet);
  return image;
}

DiscImage WriteCdrdaoToc(const fs::path& folder, const DiscSpec& spec) {
  fs::create_directories(folder);
  DiscSpec bigEndian = spec;
  bigEndian.order = ByteOrder::Big;
  DiscImage image = layoutOf(folder, bigEndian, ".toc");
  writeBin(image);
  std::ofstream toc(image.sheet, std::ios::trunc);
  toc << "CD_DA\n";
  for (int t = 1; t <= image.tracks(); ++t) {
    const TrackSpec& ts = spec.tracks[static_cast<std::size_t>(t - 1)];
    const int first = image.start(t) - ts.pregapFrames;
    toc << "\nTRACK " << (ts.data ? "MODE1_RAW" : "AUDIO") << "\n";
    toc << (ts.data ? "DATAFILE " : "FILE ") << quoted(image.bin.filename().string()) << " " << Msf(first)
        << " " << Msf(image.end(t) - first) << "\n";
    if (ts.pregapFrames > 0) toc << "START " << Msf(ts.pregapFrames) << "\n";
  }
  return image;
}

void RemoveImage(const DiscImage& image) {
  std::error_code ec;
  fs::remove(image.sheet, ec);
  fs::remove(image.bin, ec);
}

}  // namespace sv::discs
