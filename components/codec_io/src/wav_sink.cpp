#include "codec_io/wav_sink.h"

#include <cstring>
#include <vector>

#include "svcodec.h"

namespace svcodec {
namespace {

void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void tag(std::vector<uint8_t>& b, const char* t) { b.insert(b.end(), t, t + 4); }

// Plain PCM for mono and stereo; the extensible form, with speaker positions, beyond.
std::vector<uint8_t> header(int channels, int rate, uint32_t mask, uint32_t dataBytes) {
  const bool extensible = channels > 2;
  const uint32_t fmtBytes = extensible ? 40 : 16;
  const uint32_t align = 2u * static_cast<uint32_t>(channels);
  std::vector<uint8_t> b;
  b.reserve(68);
  tag(b, "RIFF");
  put32(b, 4 + 8 + fmtBytes + 8 + dataBytes);
  tag(b, "WAVE");
  tag(b, "fmt ");
  put32(b, fmtBytes);
  put16(b, extensible ? 0xFFFE : 1);
  put16(b, static_cast<uint32_t>(channels));
  put32(b, static_cast<uint32_t>(rate));
  put32(b, static_cast<uint32_t>(rate) * align);
  put16(b, align);
  put16(b, 16);
  if (extensible) {
    put16(b, 22);
    put16(b, 16);  // valid bits
    put32(b, mask);
    // KSDATAFORMAT_SUBTYPE_PCM
    static const uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    b.insert(b.end(), pcm, pcm + 16);
  }
  tag(b, "data");
  put32(b, dataBytes);
  return b;
}

}  // namespace

int32_t WavSink::Create(const char* path, int channels, int rate, uint32_t channelMask) {
  channels_ = channels;
  rate_ = rate;
  mask_ = channelMask;
  if (!out_.Create(path)) return SVC_E_DEST_CREATE;
  const auto h = header(channels_, rate_, mask_, 0);
  headerBytes_ = static_cast<uint32_t>(h.size());
  out_.Write(h.data(), h.size());
  return SVC_OK;
}

bool WavSink::Write(const int16_t* frames, size_t count) {
  const uint64_t bytes = static_cast<uint64_t>(count) * 2 * static_cast<uint64_t>(channels_);
  // The RIFF sizes are 32-bit: stop before a header could no longer describe the file.
  if (out_.Written() + bytes + 256 * 1024 + headerBytes_ > 0xFFFFFFF0ull) tooLong_ = true;
  return !tooLong_ && out_.Write(frames, static_cast<size_t>(bytes));
}

uint64_t WavSink::FramesWritten() const {
  const uint64_t onDisk = out_.Written();
  return onDisk > headerBytes_ ? (onDisk - headerBytes_) / (2 * static_cast<uint64_t>(channels_)) : 0;
}

int32_t WavSink::Finish() {
  if (finished_) return SVC_E_INTERNAL;
  finished_ = true;
  const bool flushed = out_.Flush();
  // Only whole frames that reached the disk count; a torn last frame is cut away.
  const uint64_t frames = FramesWritten();
  const uint32_t dataBytes = static_cast<uint32_t>(frames * 2 * static_cast<uint64_t>(channels_));
  bool ok = flushed && !tooLong_;
  if (out_.Written() >= headerBytes_) {
    if (out_.Written() != headerBytes_ + uint64_t(dataBytes))
      ok = out_.Truncate(headerBytes_ + dataBytes) && ok;
    const auto h = header(channels_, rate_, mask_, dataBytes);
    ok = out_.WriteAt(0, h.data(), h.size()) && ok;
  } else {
    ok = false;  // not even the header fits: the file holds nothing that claims to be audio
    out_.Truncate(0);
  }
  ok = out_.Close() && ok;
  return ok ? SVC_OK : SVC_E_WRITE;
}

}  // namespace svcodec
