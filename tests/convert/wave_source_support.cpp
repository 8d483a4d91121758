#include "wave_source_support.h"

#include "svdecode.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace wavetest {

namespace {

void put32(std::ofstream& out, uint32_t v) {
  const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
  out.write(b, 4);
}
void put16(std::ofstream& out, uint16_t v) {
  const char b[2] = {char(v & 0xFF), char(v >> 8)};
  out.write(b, 2);
}

}  // namespace

Pcm Tones(int channels, int rate, size_t frames, double leftHz, double rightHz) {
  Pcm pcm;
  pcm.channels = channels;
  pcm.rate = rate;
  pcm.samples.resize(frames * static_cast<size_t>(channels));
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    for (int c = 0; c < channels; ++c) {
      const double hz = c == 0 ? leftHz : rightHz;
      pcm.samples[i * channels + c] =
          static_cast<int16_t>(8000 * std::sin(2 * M_PI * hz * t) + 3000 * std::sin(2 * M_PI * hz * 2.5 * t));
    }
  }
  return pcm;
}

void WriteWav(const std::string& path, const Pcm& pcm, const WavSpec& spec) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const uint32_t dataBytes = static_cast<uint32_t>(pcm.samples.size() * 2) + spec.trailingBytes;
  const uint32_t listBytes = spec.listChunkBytes ? spec.listChunkBytes + 8 : 0;
  const uint16_t blockAlign = static_cast<uint16_t>(pcm.channels * spec.bitsPerSample / 8);
  const int32_t rate = spec.headerRate >= 0 ? spec.headerRate : pcm.rate;
  out.write("RIFF", 4);
  put32(out, 4 + 24 + listBytes + 8 + dataBytes);
  out.write("WAVEfmt ", 8);
  put32(out, 16);
  put16(out, spec.formatTag);
  put16(out, static_cast<uint16_t>(pcm.channels));
  put32(out, static_cast<uint32_t>(rate));
  put32(out, static_cast<uint32_t>(rate) * blockAlign);
  put16(out, blockAlign);
  put16(out, spec.bitsPerSample);
  if (spec.listChunkBytes) {
    out.write("LIST", 4);
    put32(out, spec.listChunkBytes);
    // Loud junk: fed to the encoder as samples it would ruin the start of the file.
    std::vector<char> junk(spec.listChunkBytes);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 97) & 0xFF);
    out.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  out.write("data", 4);
  put32(out, dataBytes);
  out.write(reinterpret_cast<const char*>(pcm.samples.data()),
            static_cast<std::streamsize>(pcm.samples.size() * 2));
  for (uint32_t i = 0; i < spec.trailingBytes; ++i) out.put('\x55');
}

bool DecodeMp3(const std::string& mp3, const std::string& scratchWav, Pcm& out) {
  if (CreateDecoder() != 0) return false;
  RegisterInputModule();
  RegisterOutputModule();
  bool ok = Mp3InputOpen(mp3.c_str()) == 0;
  if (ok) ok = WaveOutputOpen(("wav:" + scratchWav).c_str()) == 0;
  if (ok) {
    int32_t r = 0;
    do r = Mp3DecodePlay();
    while (r == 0 || r == SVD_E_STREAM);
    ok = r == SVD_E_END_OF_INPUT;
    Mp3InputClose();
    WaveOutputClose();
  }
  DeleteDecoder();
  return ok && ReadWav(scratchWav, out);
}

bool ReadWav(const std::string& path, Pcm& out) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  if (bytes.size() < 44) return false;
  auto u16 = [&](size_t o) { return static_cast<uint16_t>(bytes[o] | bytes[o + 1] << 8); };
  auto u32 = [&](size_t o) { return static_cast<uint32_t>(u16(o) | u16(o + 2) << 16); };
  if (std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 36, "data", 4) != 0)
    return false;
  if (u16(20) != 1 || u16(34) != 16) return false;
  if (u32(4) != bytes.size() - 8 || u32(40) != bytes.size() - 44) return false;
  out.channels = u16(22);
  out.rate = static_cast<int>(u32(24));
  if (out.channels < 1 || u16(32) != 2 * out.channels) return false;
  out.samples.resize((bytes.size() - 44) / 2);
  std::memcpy(out.samples.data(), bytes.data() + 44, out.samples.size() * 2);
  return true;
}

double BestSnr(const Pcm& reference, const Pcm& decoded, size_t maxLag, bool mixReference) {
  const int refChannels = mixReference ? 1 : reference.channels;
  if (refChannels != decoded.channels || reference.frames() == 0) return -100;
  auto ref = [&](size_t frame, int c) -> double {
    if (!mixReference) return reference.samples[frame * reference.channels + c];
    double sum = 0;
    for (int k = 0; k < reference.channels; ++k) sum += reference.samples[frame * reference.channels + k];
    return sum / reference.channels;
  };
  // The encoder's start and end are not steady: measure between margins.
  const size_t margin = 2048;
  if (reference.frames() < 3 * margin + 4096) return -100;
  auto snrAt = [&](size_t lag, size_t from, size_t to) {
    double signal = 0, noise = 0;
    for (size_t i = from; i < to; ++i) {
      const size_t j = i + lag;
      if (j >= decoded.frames()) return -100.0;
      for (int c = 0; c < refChannels; ++c) {
        const double s = ref(i, c);
        const double d = decoded.samples[j * decoded.channels + c];
        signal += s * s;
        noise += (s - d) * (s - d);
      }
    }
    return noise > 0 ? 10 * std::log10(signal / noise) : 200.0;
  };
  // The lag from a short window, then the ratio over the whole steady part.
  size_t bestLag = 0;
  double best = -1e9;
  for (size_t lag = 0; lag <= maxLag; ++lag) {
    const double snr = snrAt(lag, margin, margin + 4096);
    if (snr > best) {
      best = snr;
      bestLag = lag;
    }
  }
  best = snrAt(bestLag, margin, reference.frames() - margin);
  return best;
}

}  // namespace wavetest
