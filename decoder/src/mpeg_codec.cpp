// The MPEG audio codec module: the decoder core fed through the decoder's input, with the
// stream facts (length, bit rate, seek table, attributes) that the position and time exports
// read.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "frame.h"
#include "module.h"
#include "seek_table.h"
#include "svdecode_core.h"

namespace svd {

namespace {

constexpr const char* kStreamType = "audio/mpeg";
constexpr int kHeadBytes = 152;
// Largest frame: Layer II/III at 384 kbit/s, 32 kHz, or Layer I 448 kbit/s, with padding.
constexpr int kMaxFrameBytes = 1732;
// The core never asks for more than a frame and the next header, or a piece of a tag.
constexpr int kFeedBytes = 4096;

// Milliseconds for the status: a length beyond 32 bits (a long, low-rate or lying stream)
// stops at the largest value rather than wrapping to a short one.
uint32_t DurationMs(double ms) {
  if (!(ms > 0.0)) return 0;
  if (ms >= static_cast<double>(UINT32_MAX)) return UINT32_MAX;
  return static_cast<uint32_t>(ms);
}

// Samples per channel of a whole frame at the stream's rate.
int FrameSamples(const svdecode::FrameInfo& f) {
  return f.layer == 1 ? 384 : (f.layer == 3 && f.level != 1) ? 576 : 1152;
}

struct MpegCodec {
  Decoder* decoder = nullptr;
  int32_t channel_selection = 0;
  int32_t rate_reduction = 0;
  bool has_equaliser = false;
  int8_t equaliser[64] = {};
  svdecode::Decoder core;
  uint8_t feed[kFeedBytes] = {};

  // Stream facts.
  bool has_seek_table = false;
  uint8_t seek_table[100] = {};
  int64_t audio_bytes = 0;
  int64_t data_start = 0;
  int64_t samples_since_seek = 0;
  int64_t seek_offset = 0;
  int last_level = -1, last_layer = -1, last_bit_rate = -1, last_sample_rate = -1, last_mode = -1;
  uint32_t average = 0;  // kbit/s × 1024
  bool vbr = false;
  double output_share = 1.0;  // of the frames' time that the gapless output covers

  const DecoderServices& services() const { return ServicesOf(decoder); }
  int32_t Read(void* buffer, int count) {
    if (count <= 0) return 0;
    return services().read_input(decoder, buffer, count);
  }
  int64_t InputOffset() const { return services().input_offset(decoder); }
  int64_t InputSize() const { return services().input_size(decoder); }
  void SetInteger(const char* name, int32_t value) {
    services().set_integer(decoder, Store::kStatus, name, value);
  }

  void ApplyOptions() {
    svdecode::Options o;
    o.channel_selection = channel_selection;
    o.rate_reduction = rate_reduction;
    o.equaliser = has_equaliser ? equaliser : nullptr;
    core.SetOptions(o);
  }
  // The input moved to `offset`: the core starts over there.
  void Reset(int64_t offset) {
    core.Seek(offset);
    samples_since_seek = 0;
    seek_offset = 0;
  }

  int32_t Decode(OutputBuffer* out, DecoderStatus* status);
  void UpdateFacts(const svdecode::FrameInfo& frame, DecoderStatus* status);
  int32_t StreamInfo(DecoderStatus* status);
};

int32_t MpegCodec::Decode(OutputBuffer* out, DecoderStatus* status) {
  svdecode::FrameInfo frame;
  for (;;) {
    switch (core.Decode(out->samples, &frame)) {
      case svdecode::Status::kFrame:
        out->sample_count = frame.samples;
        out->channels = frame.channels;
        out->sample_rate = frame.sample_rate;
        out->bytes_per_sample = 2;
        samples_since_seek += FrameSamples(frame);
        UpdateFacts(frame, status);
        return 0;
      case svdecode::Status::kDamaged:
        return SVD_E_STREAM;
      case svdecode::Status::kEnd:
        return SVD_E_END_OF_INPUT;
      case svdecode::Status::kNeedInput:
        break;
    }
    // Exactly what the core needs: the input delivers whole blocks or nothing.
    const int count = static_cast<int>(std::clamp<size_t>(core.BytesWanted(), 1, kFeedBytes));
    const int32_t r = Read(feed, count);
    if (r == SVD_E_END_OF_INPUT) {
      core.EndOfInput();
    } else if (r != 0) {
      return r;
    } else {
      core.Feed(feed, static_cast<size_t>(count));
    }
  }
}

void MpegCodec::UpdateFacts(const svdecode::FrameInfo& h, DecoderStatus* status) {
  if (status->stream_type != kStreamType) {
    status->stream_type = kStreamType;
    status->changes |= kChangedType;
  }
  if (vbr) return;
  if (h.level != last_level || h.layer != last_layer || h.mode != last_mode) {
    last_level = h.level;
    last_layer = h.layer;
    last_mode = h.mode;
    SetInteger("mpeg/level", h.level);
    SetInteger("mpeg/layer", h.layer);
    SetInteger("mpeg/mode", h.mode);
    status->changes |= kChangedAttributes | kChangedFacts;
    status->channels = h.mode == kSingleChannel ? 1 : 2;
  }
  if (h.stream_sample_rate != last_sample_rate) {
    last_sample_rate = h.stream_sample_rate;
    status->sample_rate = last_sample_rate;
    status->changes |= kChangedFacts;
  }
  const int rate = h.bit_rate;
  if (rate != last_bit_rate) {
    last_bit_rate = rate;
    status->bit_rate = rate;
    status->changes |= kChangedFacts;
  }
  if (status->bit_rate == 0) {
    status->bit_rate = rate;
    average = static_cast<uint32_t>(rate) * 1024;
  } else {
    if (average == 0) average = static_cast<uint32_t>(status->bit_rate) * 1024;
    average = (31 * average + static_cast<uint32_t>(rate) * 1024) / 32;
    const int rounded = static_cast<int>((average + 512) / 1024);
    if (std::abs(rounded - status->bit_rate) > status->bit_rate / 32) {
      status->bit_rate = rounded;
      status->changes |= kChangedFacts;
    }
  }
  if (status->bit_rate != 0 && (status->changes & kChangedFacts) && audio_bytes != 0 &&
      h.stream_sample_rate != 0) {
    const int64_t offset = InputOffset();
    const double decoded = static_cast<double>(samples_since_seek) * 1000.0 / h.stream_sample_rate;
    double skipped = 0.0;
    if (seek_offset > data_start) {
      const double r = (offset > seek_offset && decoded > 0)
                           ? static_cast<double>(offset - seek_offset) / decoded
                           : static_cast<double>(status->bit_rate);
      if (r > 0) skipped = static_cast<double>(seek_offset - data_start) * 0.8 / r;
    }
    const double remaining = static_cast<double>(data_start + audio_bytes - offset) * 8.0 / status->bit_rate;
    const double total = decoded + skipped + remaining;
    status->duration_ms = DurationMs(total);
  }
}

int32_t MpegCodec::StreamInfo(DecoderStatus* status) {
  status->stream_type = kStreamType;
  const int64_t size = InputSize();
  audio_bytes = size;
  data_start = 0;
  has_seek_table = false;
  output_share = 1.0;
  uint8_t head[kMaxFrameBytes];
  if (const int32_t r = Read(head, kHeadBytes)) {
    // A short input: its frames are still there to decode from the start.
    services().seek_input(decoder, 0);
    return r;
  }
  // Some taggers write a second tag behind the first: the frames begin behind the last.
  for (int64_t tag; (tag = svdecode::Decoder::Id3v2Length(head, kHeadBytes)) != 0;) {
    data_start = std::min(data_start + tag, size);
    audio_bytes = size - data_start;
    if (const int32_t r = services().seek_input(decoder, data_start)) return r;
    seek_offset = data_start;
    if (const int32_t r = Read(head, kHeadBytes)) {
      services().seek_input(decoder, data_start);
      core.Restart(data_start);
      return r;
    }
  }
  const std::optional<FrameHeader> h =
      head[0] == 0xFF && head[1] >= 0xE0 ? FrameHeader::Parse(ReadBigEndian32(head)) : std::nullopt;
  // The encoder's tag lies behind the header's fields: read the whole first frame.
  int have = kHeadBytes;
  if (h && h->frame_length() > kHeadBytes && Read(head + kHeadBytes, h->frame_length() - kHeadBytes) == 0)
    have = h->frame_length();
  services().seek_input(decoder, data_start);
  seek_offset = data_start;
  core.Restart(data_start);
  if (!h) {
    status->changes = 0;
    return SVD_E_NOT_AVAILABLE;
  }
  svdecode::StreamInfo facts;
  facts.data_start = data_start;
  svdecode::Decoder::InspectFrame(head, static_cast<size_t>(have), &facts);
  core.SetStreamInfo(facts);  // a seek before the first frame still counts frames right
  int bit_rate = h->bit_rate();
  int64_t duration = bit_rate / 8 ? audio_bytes / (bit_rate / 8) : 0;
  if (facts.header_frame && facts.frames > 0) {
    // The header counts the frames: the length is what the output will hold, without the
    // header frame and, with the encoder's tag, without its delay and padding.
    duration = facts.total_samples * 1000 / h->sample_rate();
    bit_rate = duration ? static_cast<int>(std::min<int64_t>(audio_bytes / duration * 8, INT32_MAX)) : 0;
    vbr = true;
  }
  if (facts.has_toc) {
    std::memcpy(seek_table, facts.toc, sizeof seek_table);
    has_seek_table = true;
  }
  output_share = OutputShare(facts);
  status->bit_rate = bit_rate;
  status->sample_rate = h->sample_rate();
  status->duration_ms = DurationMs(static_cast<double>(duration));
  status->channels = h->channels();
  SetInteger("mpeg/level", h->level());
  SetInteger("mpeg/layer", h->layer());
  SetInteger("mpeg/mode", h->mode);
  status->changes = kChangedAttributes | kChangedFacts | kChangedType;
  return 0;
}

MpegCodec* Self(Instance instance) { return static_cast<MpegCodec*>(instance); }

int32_t Probe(const char* mime_type, const char*) {
  // Every type is taken: this is the only codec, and files often come as "unknown".
  static constexpr const char* kTypes[] = {"audio/mpeg", "audio/x-mpeg", "audio/x-mp3"};
  if (mime_type)
    for (const char* t : kTypes)
      if (std::strcmp(mime_type, t) == 0) return 0;
  return 0;
}

int32_t Query(ModuleInfo* info, int32_t flags) {
  if (!info) return SVD_E_INVALID_PARAMETER;
  if (flags & kQueryDevice) {
    if (info->count_or_index != 0) return SVD_E_INVALID_PARAMETER;
    info->device_flags = 0;
    info->name = "MP1, MP2, MP3";
    info->description = "MPEG 1 or 2 audio";
  } else if (flags & kQueryName) {
    info->name = "MPEG Audio Codec";
    info->description = "Version 1.2";
  }
  if (flags & kQueryCount) info->count_or_index = 1;
  if (flags & kQueryMaxStep) info->max_step_bytes = kMaxStepBytes;
  if (flags & kQueryFormat) info->sample_format = 3;
  return 0;
}

int32_t Create(Instance* out, const char*, const int32_t*, Decoder* decoder) {
  if (!out) return SVD_E_INVALID_PARAMETER;
  try {
    auto codec = std::make_unique<MpegCodec>();
    codec->decoder = decoder;
    *out = codec.release();
    return 0;
  } catch (const std::bad_alloc&) {
    return SVD_E_NO_MEMORY;
  }
}

int32_t Destroy(Instance instance) {
  delete Self(instance);
  return 0;
}

int32_t DecodeMethod(Instance instance, OutputBuffer* out, DecoderStatus* status) {
  if (!instance || !out || !status || !out->samples) return SVD_E_INVALID_PARAMETER;
  return Self(instance)->Decode(out, status);
}

int32_t StreamInfoMethod(Instance instance, DecoderStatus* status) {
  if (!instance || !status) return SVD_E_INVALID_PARAMETER;
  return Self(instance)->StreamInfo(status);
}

// Positions are fractions of the output's time: the bytes' share through the seek table
// when there is one, scaled to the gapless output. PositionToPosition is the inverse, so a
// seek to a time reports that time.
float OffsetToPosition(Instance instance, int64_t offset) {
  const MpegCodec* c = Self(instance);
  if (!c || c->audio_bytes == 0 || offset < c->data_start) return 0.0f;
  double p = static_cast<double>(offset - c->data_start) / static_cast<double>(c->audio_bytes);
  if (c->has_seek_table) p = BytesToTime(c->seek_table, p);
  return static_cast<float>(std::min(p / c->output_share, 1.0));
}

float PositionToPosition(Instance instance, float position) {
  const MpegCodec* c = Self(instance);
  if (!c) return position;
  double p = position * c->output_share;
  if (c->has_seek_table) p = TimeToBytes(c->seek_table, p);
  if (c->data_start != 0 && c->audio_bytes != 0) {
    const double a = static_cast<double>(c->audio_bytes), s = static_cast<double>(c->data_start);
    p = (p * a + s) / (s + a);
  }
  return static_cast<float>(p);
}

int32_t InputChanged(Instance instance, const char*, const char*) {
  MpegCodec* c = Self(instance);
  if (!c) return SVD_E_INVALID_PARAMETER;
  c->core.Restart(0);
  c->samples_since_seek = 0;
  c->seek_offset = 0;
  c->has_seek_table = false;
  c->output_share = 1.0;
  c->vbr = false;
  c->last_level = c->last_layer = c->last_bit_rate = c->last_sample_rate = c->last_mode = -1;
  c->average = 0;
  c->data_start = 0;
  c->audio_bytes = c->InputSize();
  return 0;
}

int32_t SeekNotify(Instance instance, int64_t offset) {
  MpegCodec* c = Self(instance);
  if (!c) return SVD_E_INVALID_PARAMETER;
  c->Reset(offset);
  c->seek_offset = offset;
  return 0;
}

int32_t ResetMethod(Instance instance) {
  MpegCodec* c = Self(instance);
  if (!c) return SVD_E_INVALID_PARAMETER;
  c->Reset(c->InputOffset());
  return 0;
}

int32_t SetParameters(Instance instance, const CodecParameters* block, int32_t mask) {
  MpegCodec* c = Self(instance);
  if (!c || !block) return SVD_E_INVALID_PARAMETER;
  if (mask & kParamWord1) c->channel_selection = std::clamp(block->word1, 0, 3);
  if (mask & kParamWord2) c->rate_reduction = std::clamp(block->word2, 0, 2);
  if (mask & kParamBlock) {
    c->has_equaliser = block->equaliser != nullptr;
    if (block->equaliser) std::memcpy(c->equaliser, block->equaliser, 64);
  }
  c->ApplyOptions();
  return 0;
}

int32_t GetParameters(Instance instance, CodecParameters* block) {
  MpegCodec* c = Self(instance);
  if (!c || !block) return SVD_E_INVALID_PARAMETER;
  block->word1 = c->channel_selection;
  block->word2 = c->rate_reduction;
  block->equaliser = c->has_equaliser ? c->equaliser : nullptr;
  return 0;
}

}  // namespace

const CodecModuleDescriptor& MpegCodecModule() {
  static const CodecModuleDescriptor descriptor = {kInterfaceVersion,
                                                   Probe,
                                                   Query,
                                                   Create,
                                                   Destroy,
                                                   DecodeMethod,
                                                   StreamInfoMethod,
                                                   OffsetToPosition,
                                                   PositionToPosition,
                                                   InputChanged,
                                                   nullptr,
                                                   SeekNotify,
                                                   ResetMethod,
                                                   SetParameters,
                                                   GetParameters,
                                                   nullptr};
  return descriptor;
}

}  // namespace svd
