// BladeEnc-style stream calls over libmp3lame. Every stream owns one lame context; the
// only shared thing is the table that turns 32-bit handles into streams, because a handle
// must fit a 32-bit cell and an unknown or closed handle must be refused safely.
#include "svencode.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

struct LameCloser {
  void operator()(lame_global_flags* gf) const { lame_close(gf); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

struct Stream {
  std::mutex lock;  // one call at a time per stream
  LamePtr lame;
  int channels = 2;
  uint32_t samplesPerChunk = 0;  // 16-bit values per chunk, all channels
  uint32_t outputSize = 0;
  bool finished = false;
  bool hasPending = false;  // stereo: a left value waiting for its right partner
  int16_t pending = 0;
  std::vector<int16_t> joined;  // pending value followed by a chunk
};

// A program needs one or two streams at a time; the cap stops a caller that forgets to
// close them from eating memory without bound (SVENCODE_MAX_STREAMS).
class StreamTable {
 public:
  // 0 when the table is full or every handle value has been used once.
  uint32_t add(std::shared_ptr<Stream> stream) {
    std::lock_guard guard(lock_);
    if (next_ == 0 || streams_.size() >= SVENCODE_MAX_STREAMS) return 0;
    const uint32_t handle = next_++;
    streams_.emplace(handle, std::move(stream));
    return handle;
  }
  std::shared_ptr<Stream> find(uint32_t handle) {
    std::lock_guard guard(lock_);
    auto it = streams_.find(handle);
    return it == streams_.end() ? nullptr : it->second;
  }
  std::shared_ptr<Stream> take(uint32_t handle) {
    std::lock_guard guard(lock_);
    auto it = streams_.find(handle);
    if (it == streams_.end()) return nullptr;
    auto stream = std::move(it->second);
    streams_.erase(it);
    return stream;
  }

 private:
  std::mutex lock_;
  std::unordered_map<uint32_t, std::shared_ptr<Stream>> streams_;
  uint32_t next_ = 1;
};

StreamTable& table() {
  static StreamTable instance;
  return instance;
}

void silent(const char*, va_list) {}

struct PresetSettings {
  int32_t id;
  int quality;
  int lowpass;  // 0: LAME's choice, -1: none
};

constexpr PresetSettings kPresets[] = {
    {LQP_NOPRESET, 5, 0},
    {LQP_NORMAL_QUALITY, 5, 0},
    {LQP_LOW_QUALITY, 7, 0},
    {LQP_HIGH_QUALITY, 2, 0},
    {LQP_VOICE_QUALITY, 5, 12000},
    {LQP_PHONE, 5, 3400},
    {LQP_SW, 5, 5000},
    {LQP_AM, 5, 7500},
    {LQP_FM, 5, 15000},
    {LQP_VOICE, 5, 12000},
    {LQP_RADIO, 5, 15000},
    {LQP_TAPE, 5, 16000},
    {LQP_HIFI, 3, 0},
    {LQP_CD, 2, 0},
    {LQP_STUDIO, 0, -1},
};

const PresetSettings* findPreset(int32_t id) {
  for (const auto& p : kPresets)
    if (p.id == id) return &p;
  return nullptr;
}

bool isMpeg1Rate(uint32_t hz) { return hz == 32000 || hz == 44100 || hz == 48000; }
bool isMpeg2Rate(uint32_t hz) {
  return hz == 8000 || hz == 11025 || hz == 12000 || hz == 16000 || hz == 22050 || hz == 24000;
}

bool isCbrRate(bool mpeg1, uint32_t kbps) {
  static constexpr uint32_t kMpeg1[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static constexpr uint32_t kMpeg2[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  if (mpeg1) return std::find(std::begin(kMpeg1), std::end(kMpeg1), kbps) != std::end(kMpeg1);
  return std::find(std::begin(kMpeg2), std::end(kMpeg2), kbps) != std::end(kMpeg2);
}

// Applies the record to a fresh context; false for settings the encoder cannot use.
bool configure(lame_global_flags* gf, const EncoderConfig& c) {
  if (c.mode < BE_MP3_MODE_STEREO || c.mode > BE_MP3_MODE_MONO) return false;
  if (c.sampleRate < 1000 || c.sampleRate > 384000) return false;
  if (c.mpegVersion != BE_MPEG1 && c.mpegVersion != BE_MPEG2) return false;
  const bool mpeg1 = c.mpegVersion == BE_MPEG1;
  if (c.outSampleRate != 0 && !(mpeg1 ? isMpeg1Rate(c.outSampleRate) : isMpeg2Rate(c.outSampleRate)))
    return false;
  if (c.emphasis > 3 || c.emphasis == 2) return false;
  const PresetSettings* preset = findPreset(c.preset);
  if (!preset) return false;

  static constexpr MPEG_mode kModes[] = {STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO};
  const bool mono = c.mode == BE_MP3_MODE_MONO;
  lame_set_num_channels(gf, mono ? 1 : 2);
  lame_set_mode(gf, kModes[c.mode]);
  lame_set_in_samplerate(gf, static_cast<int>(c.sampleRate));
  lame_set_out_samplerate(gf, static_cast<int>(c.outSampleRate));

  if (c.enableVbr) {
    if (c.vbrQuality < 0 || c.vbrQuality > 9) return false;
    switch (c.vbrMethod) {
      case VBR_METHOD_NONE:
      case VBR_METHOD_DEFAULT:
      case VBR_METHOD_NEW:
      case VBR_METHOD_MTRH:
        lame_set_VBR(gf, vbr_mtrh);
        break;
      case VBR_METHOD_OLD:
        lame_set_VBR(gf, vbr_rh);
        break;
      case VBR_METHOD_ABR:
        if (c.vbrAbrBps < 8000 || c.vbrAbrBps > 320000) return false;
        lame_set_VBR(gf, vbr_abr);
        lame_set_VBR_mean_bitrate_kbps(gf, static_cast<int>(c.vbrAbrBps / 1000));
        break;
      default:
        return false;
    }
    lame_set_VBR_q(gf, c.vbrQuality);
    if (c.bitrate != 0) lame_set_VBR_min_bitrate_kbps(gf, static_cast<int>(c.bitrate));
    if (c.maxBitrate != 0) lame_set_VBR_max_bitrate_kbps(gf, static_cast<int>(c.maxBitrate));
  } else {
    if (!isCbrRate(mpeg1, c.bitrate)) return false;
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, static_cast<int>(c.bitrate));
  }

  int quality = preset->quality;
  const int low = c.quality & 0xff;
  const int high = (c.quality >> 8) & 0xff;
  if (c.quality != 0 && high == (~low & 0xff)) {
    if (low > 9) return false;
    quality = low;
  }
  lame_set_quality(gf, quality);
  if (preset->lowpass != 0) lame_set_lowpassfreq(gf, preset->lowpass);

  lame_set_emphasis(gf, static_cast<int>(c.emphasis));
  lame_set_extension(gf, c.privateBit != 0);
  lame_set_error_protection(gf, c.crc != 0);
  lame_set_copyright(gf, c.copyright != 0);
  lame_set_original(gf, c.original != 0);
  lame_set_disable_reservoir(gf, c.noBitReservoir != 0);
  // False keeps LAME's own default, which still caps the frame size at the standard's.
  if (c.strictIso != 0) lame_set_strict_ISO(gf, 1);
  lame_set_bWriteVbrTag(gf, 0);

  if (lame_init_params(gf) < 0) return false;
  // The resulting version must be the one asked for (LAME picks it from the output rate).
  const int version = lame_get_version(gf);  // 0 MPEG-2, 1 MPEG-1, 2 MPEG-2.5
  return mpeg1 ? version == 1 : version != 1;
}

// Nothing may leave the C boundary as an exception: running out of memory (or a lock that
// cannot be taken) becomes the error code the header gives for it.
template <typename Fn>
int32_t noThrow(Fn&& fn) noexcept {
  try {
    return fn();
  } catch (...) {
    return BE_ERR_NO_MORE_HANDLES;
  }
}

int32_t encodeResult(int lameResult, uint32_t* produced) {
  if (lameResult >= 0) {
    *produced = static_cast<uint32_t>(lameResult);
    return BE_ERR_SUCCESSFUL;
  }
  return lameResult == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
}

int32_t beInitStreamImpl(const EncoderConfig* config, uint32_t* samplesPerChunk, uint32_t* outputBufferSize,
                         uint32_t* stream) {
  if (!config || !samplesPerChunk || !outputBufferSize || !stream) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  EncoderConfig c;
  std::memcpy(&c, config, sizeof c);
  if (c.configKind != BE_CONFIG_LAME || c.structVersion < BE_CONFIG_VERSION || c.structSize != BE_CONFIG_SIZE)
    return BE_ERR_INVALID_FORMAT;

  auto s = std::make_shared<Stream>();
  s->lame.reset(lame_init());
  if (!s->lame) return BE_ERR_NO_MORE_HANDLES;
  lame_global_flags* gf = s->lame.get();
  lame_set_errorf(gf, silent);
  lame_set_debugf(gf, silent);
  lame_set_msgf(gf, silent);
  if (!configure(gf, c)) return BE_ERR_INVALID_FORMAT_PARAMETERS;

  s->channels = lame_get_num_channels(gf);
  const int frame = lame_get_framesize(gf);  // samples per channel
  s->samplesPerChunk = static_cast<uint32_t>(frame * s->channels);
  // LAME's documented worst case for one call: 1.25 x samples per channel + 7200.
  s->outputSize = static_cast<uint32_t>((5 * frame + 3) / 4 + 7200);
  if (s->channels == 2) s->joined.resize(s->samplesPerChunk + 1);

  const uint32_t handle = table().add(s);
  if (handle == 0) return BE_ERR_NO_MORE_HANDLES;
  *samplesPerChunk = s->samplesPerChunk;
  *outputBufferSize = s->outputSize;
  *stream = handle;
  return BE_ERR_SUCCESSFUL;
}

int32_t beEncodeChunkImpl(uint32_t stream, uint32_t samples, const int16_t* input, uint8_t* output,
                          uint32_t* produced) {
  auto s = table().find(stream);
  if (!s) return BE_ERR_INVALID_HANDLE;
  std::lock_guard guard(s->lock);
  if (s->finished) return BE_ERR_INVALID_HANDLE;
  if (!produced || !output || (samples > 0 && !input)) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  if (samples > s->samplesPerChunk) return BE_ERR_BUFFER_TOO_SMALL;
  *produced = 0;
  lame_global_flags* gf = s->lame.get();
  const int outSize = static_cast<int>(s->outputSize);

  if (s->channels == 1) {
    // LAME reads only the left buffer of a one-channel stream.
    return encodeResult(lame_encode_buffer(gf, input, input, static_cast<int>(samples), output, outSize),
                        produced);
  }

  const int16_t* pcm = input;
  uint32_t count = samples;
  if (s->hasPending && samples > 0) {
    s->joined[0] = s->pending;
    std::memcpy(s->joined.data() + 1, input, samples * sizeof(int16_t));
    pcm = s->joined.data();
    count = samples + 1;
    s->hasPending = false;
  }
  const int result = lame_encode_buffer_interleaved(gf, const_cast<int16_t*>(pcm),
                                                    static_cast<int>(count / 2), output, outSize);
  if (result >= 0 && count % 2 == 1) {
    s->pending = pcm[count - 1];
    s->hasPending = true;
  }
  return encodeResult(result, produced);
}

int32_t beDeinitStreamImpl(uint32_t stream, uint8_t* output, uint32_t* produced) {
  auto s = table().find(stream);
  if (!s) return BE_ERR_INVALID_HANDLE;
  std::lock_guard guard(s->lock);
  if (s->finished) return BE_ERR_INVALID_HANDLE;
  if (!output || !produced) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *produced = 0;
  // A lone left value has no right partner and cannot form a stereo sample; it is dropped.
  s->hasPending = false;
  s->finished = true;
  return encodeResult(lame_encode_flush(s->lame.get(), output, static_cast<int>(s->outputSize)), produced);
}

int32_t beCloseStreamImpl(uint32_t stream) {
  auto s = table().take(stream);
  if (!s) return BE_ERR_INVALID_HANDLE;
  std::lock_guard guard(s->lock);  // wait for a call still running on another thread
  return BE_ERR_SUCCESSFUL;
}

}  // namespace

extern "C" {

SVENCODE_API int32_t beInitStream(const EncoderConfig* config, uint32_t* samplesPerChunk,
                                  uint32_t* outputBufferSize, uint32_t* stream) {
  return noThrow([&] { return beInitStreamImpl(config, samplesPerChunk, outputBufferSize, stream); });
}

SVENCODE_API int32_t beEncodeChunk(uint32_t stream, uint32_t samples, const int16_t* input, uint8_t* output,
                                   uint32_t* produced) {
  return noThrow([&] { return beEncodeChunkImpl(stream, samples, input, output, produced); });
}

SVENCODE_API int32_t beDeinitStream(uint32_t stream, uint8_t* output, uint32_t* produced) {
  return noThrow([&] { return beDeinitStreamImpl(stream, output, produced); });
}

SVENCODE_API int32_t beCloseStream(uint32_t stream) {
  return noThrow([&] { return beCloseStreamImpl(stream); });
}

}  // extern "C"
