// VQFEncode: a 16-bit PCM WAV to a TwinVQ file through our own encoder.
#include "bit_writer.h"
#include "codec_io/call.h"
#include "codec_io/wav_source.h"
#include "encoder.h"
#include "svvqf.h"
#include "vqf_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace svvqf {

namespace {

constexpr int kChunk = 2048;  // sample frames read per step: well under a tenth of a second

struct SwrFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

bool SameFile(const char* a, const char* b) {
  struct stat sa {
  }, sb{};
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string TitleOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// Brings the source's samples to 44100 Hz floats in the 16-bit range.
class RateConverter {
 public:
  bool Init(int channels, int rate) {
    channels_ = channels;
    if (rate == Mode::kRate) return true;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    SwrContext* ctx = nullptr;
    if (swr_alloc_set_opts2(&ctx, &layout, AV_SAMPLE_FMT_FLT, Mode::kRate, &layout, AV_SAMPLE_FMT_S16, rate,
                            0, nullptr) < 0)
      return false;
    swr_.reset(ctx);
    return swr_init(ctx) >= 0;
  }
  // Converts `frames` frames (null at the end to drain); the result stays valid until the
  // next call. Returns the frame count or -1.
  int Convert(const int16_t* in, int frames, const float** out) {
    if (!swr_) {
      buffer_.resize(static_cast<size_t>(frames) * channels_);
      for (size_t i = 0; i < buffer_.size(); ++i) buffer_[i] = in[i];
      *out = buffer_.data();
      return frames;
    }
    const int room = swr_get_out_samples(swr_.get(), frames) + 16;
    buffer_.resize(static_cast<size_t>(room) * channels_);
    uint8_t* dst = reinterpret_cast<uint8_t*>(buffer_.data());
    const uint8_t* src = reinterpret_cast<const uint8_t*>(in);
    const int got = swr_convert(swr_.get(), &dst, room, in ? &src : nullptr, in ? frames : 0);
    if (got < 0) return -1;
    for (size_t i = 0; i < static_cast<size_t>(got) * channels_; ++i) buffer_[i] *= 32768.0f;
    *out = buffer_.data();
    return got;
  }
  bool Resampling() const { return swr_ != nullptr; }

 private:
  int channels_ = 1;
  std::unique_ptr<SwrContext, SwrFree> swr_;
  std::vector<float> buffer_;
};

int32_t Encode(const char* source, const char* destination, int32_t rateKHz, int32_t bitRate,
               const CodecProgressProc* progressCell, int16_t* cancel) {
  if (!source || !destination || rateKHz != 44) return SVC_E_ARGUMENT;
  int perChannel = 0;
  if (bitRate == 80 || bitRate == 40) perChannel = 40;
  if (bitRate == 96 || bitRate == 48) perChannel = 48;
  if (perChannel == 0) return SVC_E_ARGUMENT;
  if (SameFile(source, destination)) return SVC_E_ARGUMENT;  // would overwrite its own source

  svcodec::WavSource wav;
  if (const int32_t opened = wav.Open(source); opened != SVC_OK) return opened;
  const int channels = wav.Channels();
  RateConverter converter;
  Encoder encoder(perChannel, channels);
  if (!converter.Init(channels, wav.Rate()) || !encoder.Ok()) return SVC_E_INTERNAL;

  VqfInfo info;
  info.channels = channels;
  info.totalKbps = perChannel * channels;
  info.rateCode = 44;
  info.texts = {{"NAME", TitleOf(source)},
                {"COMT", "Encoded by svvqf (Sonvera Disc Suite), TwinVQ encoder 1.0"}};
  VqfFileWriter out;
  if (!out.Open(destination, info)) return SVC_E_DEST_CREATE;

  svcodec::Progress progress(progressCell ? *progressCell : nullptr);
  progress.Report(0);
  const double expected = static_cast<double>(Encoder::FrameCount(
      static_cast<int64_t>(static_cast<double>(wav.Frames()) * Mode::kRate / wav.Rate())));
  BitWriter bits;
  std::vector<int16_t> pcm(static_cast<size_t>(kChunk) * channels);
  auto flush = [&] {
    const bool ok = out.Write(bits.Bytes().data(), bits.Bytes().size());
    bits.Bytes().clear();
    return ok;
  };
  int32_t result = SVC_OK;
  for (;;) {
    int64_t got = 0;
    result = wav.Step(cancel, pcm.data(), kChunk, got);
    if (result != SVC_OK) break;
    const float* samples = nullptr;
    const int n = converter.Convert(got > 0 ? pcm.data() : nullptr, static_cast<int>(got), &samples);
    if (n < 0 || !encoder.Push(samples, n, bits)) {
      result = SVC_E_INTERNAL;
      break;
    }
    if (!flush()) {
      result = SVC_E_WRITE;
      break;
    }
    progress.Report(encoder.FramesWritten() / expected);
    if (got == 0 && (n == 0 || !converter.Resampling())) break;
  }
  // Stopped or not, the file ends after whole frames and plays.
  if (result == SVC_OK && !encoder.Finish(bits)) result = SVC_E_INTERNAL;
  bits.Flush();
  if (!flush() && result != SVC_E_CANCELLED) result = SVC_E_WRITE;
  if (!out.Finish() && result == SVC_OK) result = SVC_E_WRITE;
  // A WAV shorter than its header says is coded as far as it goes, and said to be damaged.
  return progress.Conclude(result, wav.Truncated());
}

}  // namespace

}  // namespace svvqf

extern "C" int32_t VQFEncode(const char* source, const char* destination, int32_t rateKHz,
                             int32_t bitRateKbps, const CodecProgressProc* progressCell, int16_t* cancel) {
  try {
    return svvqf::Encode(source, destination, rateKHz, bitRateKbps, progressCell, cancel);
  } catch (const std::bad_alloc&) {
    return SVC_E_INTERNAL;
  } catch (...) {
    return SVC_E_INTERNAL;
  }
}
