// The MPEG audio codec module: finds and checks frames, keeps the Layer III reservoir,
// runs the layer decoders and the synthesis, and keeps the stream facts.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "bitreader.h"
#include "frame.h"
#include "layer3.h"
#include "layers.h"
#include "module.h"
#include "synth.h"

namespace svd {

namespace {

constexpr const char* kStreamType = "audio/mpeg";
constexpr int kReservoirSize = 4096;
constexpr int kHeadBytes = 152;
// Largest frame: Layer II/III at 384 kbit/s, 32 kHz, or Layer I 448 kbit/s, with padding.
constexpr int kMaxFrameBytes = 1732;

// Milliseconds for the status: a length beyond 32 bits (a long, low-rate or lying stream)
// stops at the largest value rather than wrapping to a short one.
uint32_t DurationMs(double ms) {
  if (!(ms > 0.0)) return 0;
  if (ms >= static_cast<double>(UINT32_MAX)) return UINT32_MAX;
  return static_cast<uint32_t>(ms);
}

struct MpegCodec {
  Decoder* decoder = nullptr;
  int32_t channel_selection = 0;
  int32_t rate_reduction = 0;
  bool has_equaliser = false;
  int8_t equaliser[64] = {};

  // Frame reader.
  FrameHeader header;
  bool follows = false;      // this frame follows its predecessor without skipped bytes
  bool saved_valid = false;  // a checked header was read after the previous frame
  uint32_t saved_word = 0;
  uint8_t frame[kMaxFrameBytes + 8] = {};
  int frame_bytes = 0;  // body bytes in `frame` (side information for Layer III)
  uint8_t ring[kReservoirSize] = {};
  int ring_write = 0;
  int ring_available = 0;  // bytes before the current frame's main data
  int main_bytes = 0;      // this frame's own main data

  // Straight copy of the main data for the bit reader, with zero padding behind it.
  uint8_t main_data[kReservoirSize + Layer3Decoder::kMainDataPadding] = {};

  Layer3Decoder layer3;
  Synthesis synth[2];
  alignas(32) float slots[2][36][32];

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

  void ResetReader() {
    follows = false;
    saved_valid = false;
    ring_write = 0;
    ring_available = 0;
    layer3.Reset();
    for (Synthesis& s : synth) s.Reset();
  }
  void Reset() {
    ResetReader();
    samples_since_seek = 0;
    seek_offset = 0;
  }

  int32_t ReadFrame();
  int32_t ReadBody();
  int32_t Decode(OutputBuffer* out, DecoderStatus* status);
  void UpdateFacts(DecoderStatus* status);
  int32_t StreamInfo(DecoderStatus* status);
  void ApplyEqualiser();
};

// Header search, frame body and the next-header check.
int32_t MpegCodec::ReadFrame() {
  for (;;) {
    uint32_t word;
    if (saved_valid) {
      word = saved_word;
      saved_valid = false;
    } else {
      uint8_t b[4];
      for (;;) {
        if (const int32_t r = Read(b, 4)) return r;
        word = ReadBigEndian32(b);
        while (!FrameHeader::HasSync(word)) {
          follows = false;
          uint8_t next;
          if (const int32_t r = Read(&next, 1)) return r;
          word = word << 8 | next;
        }
        if (FrameHeader::Unpack(word).Check()) break;
        follows = false;
      }
    }
    header = FrameHeader::Unpack(word);
    const int ring_before = ring_write;
    if (const int32_t r = ReadBody()) return r;
    if (follows) return 0;

    uint8_t b[4];
    const int32_t r = Read(b, 4);
    if (r == SVD_E_END_OF_INPUT) return 0;  // the last frame of the input
    if (r) return r;
    const uint32_t next = ReadBigEndian32(b);
    if (FrameHeader::HasSync(next) && FrameHeader::Unpack(next).Check()) {
      saved_word = next;
      saved_valid = true;
      follows = true;
      return 0;
    }
    // Not followed by a frame: it was no frame. Forget its main data.
    ring_write = ring_before;
  }
}

int32_t MpegCodec::ReadBody() {
  const int length = header.frame_length();
  const int crc = header.protection == 0 ? 2 : 0;
  if (header.layer() != 3) {
    frame_bytes = length - 4;
    if (const int32_t r = Read(frame, frame_bytes)) return r;
    return 0;
  }
  frame_bytes = crc + header.side_info_length();
  main_bytes = length - 4 - frame_bytes;
  if (main_bytes < 0) return SVD_E_STREAM;
  if (const int32_t r = Read(frame, frame_bytes)) return r;
  const int first = std::min(main_bytes, kReservoirSize - ring_write);
  if (const int32_t r = Read(ring + ring_write, first)) return r;
  if (first < main_bytes) {
    if (const int32_t r = Read(ring, main_bytes - first)) return r;
  }
  ring_write = (ring_write + main_bytes) % kReservoirSize;
  return 0;
}

void MpegCodec::ApplyEqualiser() {
  if (!has_equaliser) {
    for (Synthesis& s : synth) s.SetEqualiser(nullptr);
    return;
  }
  for (int ch = 0; ch < 2; ++ch) {
    float gains[32];
    for (int sb = 0; sb < 32; ++sb) {
      const int v = equaliser[ch * 32 + sb];
      gains[sb] = v >= 0 ? 1.0f + v / 32.0f : 1.0f / (1.0f - v / 32.0f);
    }
    synth[ch].SetEqualiser(gains);
  }
}

int32_t MpegCodec::Decode(OutputBuffer* out, DecoderStatus* status) {
  if (const int32_t r = ReadFrame()) return r;
  const FrameHeader& h = header;

  int rate = h.sample_rate();
  int shift = 0;
  if (rate_reduction == 1 && rate >= 32000) shift = 1;
  if (rate_reduction == 2) shift = rate >= 32000 ? 2 : rate >= 16000 ? 1 : 0;
  rate >>= shift;
  for (Synthesis& s : synth) s.SetReductionShift(shift);

  const int stream_channels = h.channels();
  const int selection = stream_channels == 2 ? channel_selection : 0;
  const int out_channels = (stream_channels == 2 && selection == 0) ? 2 : 1;
  unsigned wanted = stream_channels == 1 ? 1u : selection == 1 ? 1u : selection == 2 ? 2u : 3u;

  int slot_count = 0;
  bool silent = false;
  if (h.layer() == 3) {
    const int crc = h.protection == 0 ? 2 : 0;
    const int begin = layer3.ReadSideInfo(h, frame + crc, static_cast<size_t>(frame_bytes - crc));
    const int available = std::min(ring_available + main_bytes, kReservoirSize);
    ring_available = available;
    slot_count = h.lsf() ? 18 : 36;
    if (available < begin + main_bytes) {
      silent = true;
      layer3.Reset();
    } else {
      const int total = begin + main_bytes;
      const int start = ((ring_write - total) % kReservoirSize + kReservoirSize) % kReservoirSize;
      const int first = std::min(total, kReservoirSize - start);
      std::memcpy(main_data, ring + start, static_cast<size_t>(first));
      std::memcpy(main_data + first, ring, static_cast<size_t>(total - first));
      std::memset(main_data + total, 0, Layer3Decoder::kMainDataPadding);
      layer3.DecodeMainData(main_data, static_cast<size_t>(total), wanted, 32 >> shift, slots);
    }
  } else {
    const int crc = h.protection == 0 ? 2 : 0;
    std::memset(frame + frame_bytes, 0, 8);
    BitReader body(frame + crc, static_cast<size_t>(frame_bytes - crc));
    slot_count = h.layer() == 1 ? DecodeLayer1(h, body, slots) : DecodeLayer2(h, body, slots);
    slot_count = std::clamp(slot_count, 0, 36);
    // The reduced rates feed only the subbands they keep.
    if (shift)
      for (int ch = 0; ch < stream_channels; ++ch)
        for (int t = 0; t < slot_count; ++t) std::fill(slots[ch][t] + (32 >> shift), slots[ch][t] + 32, 0.0f);
  }

  // Synthesis into the output buffer.
  const int per_slot = 32 >> shift;
  int16_t* pcm = out->samples;
  if (silent) {
    std::memset(pcm, 0, sizeof(int16_t) * static_cast<size_t>(slot_count * per_slot * out_channels));
  } else if (out_channels == 2) {
    synth[0].Run(slots[0], slot_count, pcm, 2);
    synth[1].Run(slots[1], slot_count, pcm + 1, 2);
  } else if (selection == 3) {
    for (int t = 0; t < slot_count; ++t)
      for (int sb = 0; sb < 32; ++sb) slots[0][t][sb] = (slots[0][t][sb] + slots[1][t][sb]) * 0.5f;
    synth[0].Run(slots[0], slot_count, pcm, 1);
  } else {
    synth[0].Run(slots[selection == 2 ? 1 : 0], slot_count, pcm, 1);
  }
  const int samples = slot_count * per_slot;
  out->sample_count = samples;
  out->channels = out_channels;
  out->sample_rate = rate;
  out->bytes_per_sample = 2;
  samples_since_seek += samples;
  UpdateFacts(status);
  return 0;
}

void MpegCodec::UpdateFacts(DecoderStatus* status) {
  if (status->stream_type != kStreamType) {
    status->stream_type = kStreamType;
    status->changes |= kChangedType;
  }
  if (vbr) return;
  const FrameHeader& h = header;
  if (h.level() != last_level || h.layer() != last_layer || h.mode != last_mode) {
    last_level = h.level();
    last_layer = h.layer();
    last_mode = h.mode;
    SetInteger("mpeg/level", h.level());
    SetInteger("mpeg/layer", h.layer());
    SetInteger("mpeg/mode", h.mode);
    status->changes |= kChangedAttributes | kChangedFacts;
    status->channels = h.channels();
  }
  if (h.sample_rate() != last_sample_rate) {
    last_sample_rate = h.sample_rate();
    status->sample_rate = last_sample_rate;
    status->changes |= kChangedFacts;
  }
  const int rate = h.bit_rate();
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
      h.sample_rate() != 0) {
    const int64_t offset = InputOffset();
    const double decoded = static_cast<double>(samples_since_seek) * 1000.0 / h.sample_rate();
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
  has_seek_table = false;
  uint8_t head[kHeadBytes];
  if (const int32_t r = Read(head, kHeadBytes)) {
    // A short input: its frames are still there to decode from the start.
    services().seek_input(decoder, 0);
    return r;
  }
  if (std::memcmp(head, "ID3", 3) == 0) {
    const int64_t tag = 10 + ((int64_t(head[6] & 0x7F) << 21) | (int64_t(head[7] & 0x7F) << 14) |
                              (int64_t(head[8] & 0x7F) << 7) | int64_t(head[9] & 0x7F));
    if (size < tag) {
      data_start = size;
      audio_bytes = 0;
    } else {
      data_start = tag;
      audio_bytes = size - tag;
    }
    if (const int32_t r = services().seek_input(decoder, data_start)) return r;
    seek_offset = data_start;
    if (const int32_t r = Read(head, kHeadBytes)) {
      services().seek_input(decoder, data_start);
      return r;
    }
  }
  services().seek_input(decoder, data_start);
  seek_offset = data_start;
  if (head[0] != 0xFF || head[1] < 0xE0 || !FrameHeader::Unpack(ReadBigEndian32(head)).Check()) {
    status->changes = 0;
    return SVD_E_NOT_AVAILABLE;
  }
  const FrameHeader h = FrameHeader::Unpack(ReadBigEndian32(head));
  int bit_rate = h.bit_rate();
  int64_t duration = bit_rate ? audio_bytes / (bit_rate / 8) : 0;
  if (bit_rate / 8 == 0) duration = 0;

  const int at = 4 + h.side_info_length();
  if (at + 18 <= kHeadBytes) {
    const uint8_t* tag = head + at;
    const int per_frame = h.lsf() ? 576 : 1152;
    auto from_frames = [&](uint32_t frames) {
      duration = static_cast<int64_t>(frames) * per_frame * 1000 / h.sample_rate();
      bit_rate = duration ? static_cast<int>(std::min<int64_t>(audio_bytes / duration * 8, INT32_MAX)) : 0;
      vbr = true;
    };
    if (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Lame", 4) == 0) {
      const uint32_t flags = ReadBigEndian32(tag + 4);
      int p = at + 8;
      if (flags & 1) {
        from_frames(ReadBigEndian32(head + p));
        p += 4;
      }
      if (flags & 2) p += 4;
      if ((flags & 4) && p + 100 <= kHeadBytes) {
        std::memcpy(seek_table, head + p, 100);
        has_seek_table = true;
      }
    } else if (std::memcmp(tag, "VBRI", 4) == 0 && at + 18 + 4 <= kHeadBytes) {
      from_frames(ReadBigEndian32(tag + 14));
    }
  }
  status->bit_rate = bit_rate;
  status->sample_rate = h.sample_rate();
  status->duration_ms = DurationMs(static_cast<double>(duration));
  status->channels = h.channels();
  SetInteger("mpeg/level", h.level());
  SetInteger("mpeg/layer", h.layer());
  SetInteger("mpeg/mode", h.mode);
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
  auto* codec = new (std::nothrow) MpegCodec;
  if (!codec) return SVD_E_NO_MEMORY;
  codec->decoder = decoder;
  codec->Reset();
  *out = codec;
  return 0;
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

float OffsetToPosition(Instance instance, int64_t offset) {
  const MpegCodec* c = Self(instance);
  if (!c || c->audio_bytes == 0 || offset < c->data_start) return 0.0f;
  return static_cast<float>(static_cast<double>(offset - c->data_start) /
                            static_cast<double>(c->audio_bytes));
}

float PositionToPosition(Instance instance, float p) {
  const MpegCodec* c = Self(instance);
  if (!c) return p;
  if (c->has_seek_table) {
    const float q = p * 100.0f;
    int i = static_cast<int>(q);
    i = std::clamp(i, 0, 100);
    float upper;
    if (i >= 99) {
      i = 99;
      upper = 256.0f;
    } else {
      upper = c->seek_table[i + 1];
    }
    const float lower = c->seek_table[i];
    p = (lower + (q - static_cast<float>(i)) * (upper - lower)) / 256.0f;
  }
  if (c->data_start != 0 && c->audio_bytes != 0) {
    const double a = static_cast<double>(c->audio_bytes), s = static_cast<double>(c->data_start);
    p = static_cast<float>((p * a + s) / (s + a));
  }
  return p;
}

int32_t InputChanged(Instance instance, const char*, const char*) {
  MpegCodec* c = Self(instance);
  if (!c) return SVD_E_INVALID_PARAMETER;
  c->Reset();
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
  c->Reset();
  c->seek_offset = offset;
  return 0;
}

int32_t ResetMethod(Instance instance) {
  MpegCodec* c = Self(instance);
  if (!c) return SVD_E_INVALID_PARAMETER;
  c->Reset();
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
    c->ApplyEqualiser();
  }
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
