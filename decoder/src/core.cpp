// The decoder core: finds and checks frames in the bytes it is fed, keeps the Layer III
// reservoir, runs the layer decoders and the synthesis, leaves out the header frame and
// trims the encoder's delay and padding.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bitreader.h"
#include "frame.h"
#include "layer3.h"
#include "layers.h"
#include "seek_table.h"
#include "stream_error.h"
#include "svdecode_core.h"
#include "synth.h"

namespace svdecode {

namespace {

using svd::FrameHeader;

constexpr int kReservoirSize = 4096;
// Largest frame: Layer II/III at 384 kbit/s, 32 kHz, or Layer I 448 kbit/s, with padding.
constexpr int kMaxFrameBytes = 1732;
// A leading tag is passed over in pieces of at most this size.
constexpr size_t kSkipPiece = 4096;

// Where a "Xing"/"Info"/"LAME" header sits in a frame: after the side information.
int TagOffset(const FrameHeader& h) { return 4 + h.side_info_length(); }

bool Is(const uint8_t* p, const char (&text)[5]) { return std::memcmp(p, text, 4) == 0; }

// The encoder strings whose tag carries a meaningful delay and padding.
bool KnownEncoder(const uint8_t* p) { return Is(p, "LAME") || Is(p, "Lavf") || Is(p, "Lavc"); }

// The header tag of a frame, when it is a header frame; fills the header facts of `info`.
bool ReadHeaderTag(const FrameHeader& h, const uint8_t* frame, size_t size, StreamInfo* info) {
  const size_t at = static_cast<size_t>(TagOffset(h));
  auto fits = [size](size_t end) { return end <= size; };
  if (fits(at + 8) && (Is(frame + at, "Xing") || Is(frame + at, "Info") || Is(frame + at, "Lame"))) {
    info->header_frame = true;
    info->vbr = !Is(frame + at, "Info");
    const uint32_t flags = svd::ReadBigEndian32(frame + at + 4);
    size_t p = at + 8;
    if (flags & 1) {
      if (fits(p + 4)) info->frames = svd::ReadBigEndian32(frame + p);
      p += 4;
    }
    if (flags & 2) {
      if (fits(p + 4)) info->stream_bytes = svd::ReadBigEndian32(frame + p);
      p += 4;
    }
    if (flags & 4) {
      if (fits(p + 100)) {
        std::memcpy(info->toc, frame + p, 100);
        info->has_toc = true;
      }
      p += 100;
    }
    if (flags & 8) p += 4;  // quality
    // The encoder's tag: version string (9), revision, lowpass, replay gain (8), flags, bit
    // rate, then delay and padding in 12 bits each.
    if (fits(p + 24) && KnownEncoder(frame + p)) {
      const uint8_t* d = frame + p + 21;
      info->encoder_tag = true;
      info->encoder_delay = d[0] << 4 | d[1] >> 4;
      info->encoder_padding = (d[1] & 15) << 8 | d[2];
    }
    return true;
  }
  // "VBRI" stands 32 bytes after the header whatever the mode.
  for (const size_t v : {size_t{36}, at}) {
    if (fits(v + 18) && Is(frame + v, "VBRI")) {
      info->header_frame = true;
      info->vbr = true;
      info->stream_bytes = svd::ReadBigEndian32(frame + v + 10);
      info->frames = svd::ReadBigEndian32(frame + v + 14);
      return true;
    }
  }
  return false;
}

void FillTotal(StreamInfo* info) {
  info->total_samples = -1;
  if (info->frames <= 0 || info->samples_per_frame <= 0) return;
  int64_t total = info->frames * info->samples_per_frame;
  if (info->encoder_tag) total -= int64_t{info->encoder_delay} + info->encoder_padding;
  info->total_samples = std::max<int64_t>(total, 0);
}

}  // namespace

struct Decoder::Impl {
  Options options;
  bool has_equaliser = false;
  int8_t equaliser[64] = {};

  // Input: bytes fed and not yet consumed are in[head, in.size()).
  std::vector<uint8_t> in;
  size_t head = 0;
  int64_t head_offset = 0;  // stream offset of in[head]
  bool ended = false;
  size_t wanted = 4;

  // Stream layout.
  int64_t stream_start = 0;  // offset of the stream's first byte (a tag or the first frame)
  bool check_tag = true;     // a leading ID3v2 tag may come next
  int64_t skip = 0;          // bytes of a leading tag still to pass over
  bool first_frame = true;   // the next frame found is the stream's first (maybe a header)
  int64_t audio_start = -1;  // offset of the first audio frame, once known
  int64_t next_index = 0;    // number of the next audio frame, -1 when to be estimated
  StreamInfo stream;

  // Frame reader.
  FrameHeader header;
  bool follows = false;  // this frame follows its predecessor without skipped bytes
  uint8_t frame[kMaxFrameBytes + 8] = {};
  int frame_bytes = 0;  // body bytes in `frame` (side information for Layer III)
  uint8_t ring[kReservoirSize] = {};
  int ring_write = 0;
  int ring_available = 0;    // bytes before the current frame's main data
  int main_bytes = 0;        // this frame's own main data
  int64_t frame_offset = 0;  // where the frame being decoded began

  // Straight copy of the main data for the bit reader, with zero padding behind it.
  uint8_t main_data[kReservoirSize + svd::Layer3Decoder::kMainDataPadding] = {};

  svd::Layer3Decoder layer3;
  svd::Synthesis synth[2];
  alignas(32) float slots[2][36][32];

  explicit Impl(const Options& o) { Apply(o); }

  void Apply(const Options& o) {
    options = o;
    options.channel_selection = std::clamp(o.channel_selection, 0, 3);
    options.rate_reduction = std::clamp(o.rate_reduction, 0, 2);
    has_equaliser = o.equaliser != nullptr;
    if (has_equaliser) std::memcpy(equaliser, o.equaliser, sizeof equaliser);
    options.equaliser = nullptr;  // the copy is ours
    for (int ch = 0; ch < 2; ++ch) {
      if (!has_equaliser) {
        synth[ch].SetEqualiser(nullptr);
        continue;
      }
      float gains[32];
      for (int sb = 0; sb < 32; ++sb) {
        const int v = equaliser[ch * 32 + sb];
        gains[sb] = v >= 0 ? 1.0f + v / 32.0f : 1.0f / (1.0f - v / 32.0f);
      }
      synth[ch].SetEqualiser(gains);
    }
  }

  size_t available() const { return in.size() - head; }
  const uint8_t* at() const { return in.data() + head; }
  void Consume(size_t n) {
    head += n;
    head_offset += static_cast<int64_t>(n);
    // Keep the buffer small: drop what was consumed once it is most of it.
    if (head == in.size()) {
      in.clear();
      head = 0;
    } else if (head >= 8192 && head * 2 >= in.size()) {
      in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(head));
      head = 0;
    }
  }

  void DropInput(int64_t offset) {
    in.clear();
    head = 0;
    head_offset = offset;
    ended = false;
    wanted = 4;
    skip = 0;
  }

  void ResetReader() {
    follows = false;
    ring_write = 0;
    ring_available = 0;
    layer3.Reset();
    for (svd::Synthesis& s : synth) s.Reset();
  }

  void Restart(int64_t offset) {
    DropInput(offset);
    ResetReader();
    stream = StreamInfo{};
    stream_start = offset;
    stream.data_start = offset;
    check_tag = true;
    first_frame = true;
    audio_start = -1;
    next_index = 0;
  }

  void Seek(int64_t offset) {
    DropInput(offset);
    ResetReader();
    // Back at the start, everything happens as the first time through.
    const bool at_start = offset <= stream.data_start;
    check_tag = offset <= stream_start;
    first_frame = at_start;
    next_index = at_start ? 0 : -1;
  }

  Status NeedInput(size_t n) {
    wanted = n;
    return ended ? Status::kEnd : Status::kNeedInput;
  }

  Status ReadFrame();
  Status DecodeFrame(int16_t* pcm, FrameInfo* info);
  int64_t EstimateIndex(int64_t offset) const;
  void Trim(int16_t* pcm, FrameInfo* info, int shift) const;
};

// Finds the next frame: header search, the frame body and the next-header check. On kFrame
// the frame's bytes are in `frame` and the reservoir, and consumed from the input.
Status Decoder::Impl::ReadFrame() {
  for (;;) {
    if (skip > 0) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(skip, static_cast<int64_t>(available())));
      Consume(n);
      skip -= static_cast<int64_t>(n);
      if (skip > 0) return NeedInput(static_cast<size_t>(std::min<int64_t>(skip, kSkipPiece)));
    }
    if (check_tag) {
      if (available() < 10 && !ended) return NeedInput(10 - available());
      check_tag = false;
      if (const int64_t tag = Id3v2Length(at(), available())) {
        stream.data_start = head_offset + tag;
        skip = tag;
        check_tag = true;  // some taggers write a second tag behind the first
        continue;
      }
    }
    // Header search: slide byte by byte to the sync bits; a header that fails the check is
    // passed over whole.
    std::optional<FrameHeader> found;
    while (!found) {
      if (available() < 4) return NeedInput(4 - available());
      const uint32_t word = svd::ReadBigEndian32(at());
      if (!FrameHeader::HasSync(word)) {
        follows = false;
        Consume(1);
        continue;
      }
      found = FrameHeader::Parse(word);
      if (!found) {
        follows = false;
        Consume(4);
      }
    }
    const size_t length = static_cast<size_t>(found->frame_length());
    if (available() < length) return NeedInput(length - available());
    if (!follows) {
      // Found by searching: only a frame if another header follows (or the input ends).
      if (available() < length + 4 && !ended) return NeedInput(length + 4 - available());
      if (available() >= length + 4 && !FrameHeader::Parse(svd::ReadBigEndian32(at() + length))) {
        Consume(length + 4);  // no frame: search on behind the bytes just looked at
        continue;
      }
      follows = true;
    }
    header = *found;
    const uint8_t* bytes = at();
    const int64_t offset = head_offset;
    if (first_frame) {
      first_frame = false;
      StreamInfo facts;
      InspectFrame(bytes, length, &facts);
      facts.data_start = stream.data_start;
      stream = facts;
      if (stream.header_frame) {
        audio_start = offset + static_cast<int64_t>(length);
        next_index = 0;
        Consume(length);
        continue;
      }
      audio_start = offset;
    }

    const int crc = header.protection == 0 ? 2 : 0;
    if (header.layer() != 3) {
      frame_bytes = static_cast<int>(length) - 4;
      std::memcpy(frame, bytes + 4, static_cast<size_t>(frame_bytes));
    } else {
      frame_bytes = crc + header.side_info_length();
      main_bytes = static_cast<int>(length) - 4 - frame_bytes;
      if (main_bytes < 0) {
        Consume(length);
        return Status::kDamaged;
      }
      std::memcpy(frame, bytes + 4, static_cast<size_t>(frame_bytes));
      const uint8_t* main = bytes + 4 + frame_bytes;
      const int first = std::min(main_bytes, kReservoirSize - ring_write);
      std::memcpy(ring + ring_write, main, static_cast<size_t>(first));
      std::memcpy(ring, main + first, static_cast<size_t>(main_bytes - first));
      ring_write = (ring_write + main_bytes) % kReservoirSize;
    }
    Consume(length);
    frame_offset = offset;
    if (next_index < 0) next_index = EstimateIndex(offset);
    return Status::kFrame;
  }
}

// Number of the audio frame at `offset` after a seek: exact at the start and for a constant
// bit rate, from the seek table or the mean frame length otherwise.
int64_t Decoder::Impl::EstimateIndex(int64_t offset) const {
  const int64_t first = audio_start >= 0 ? audio_start : stream.data_start;
  if (offset <= first) return 0;
  const double bytes = static_cast<double>(offset - first);
  if (stream.vbr && stream.frames > 0 && stream.stream_bytes > 0) {
    const double whole = static_cast<double>(stream.stream_bytes);
    double fraction = std::min(1.0, static_cast<double>(offset - stream.data_start) / whole);
    // The seek table maps time to bytes; run it backwards.
    if (stream.has_toc)
      return std::llround(svd::BytesToTime(stream.toc, fraction) * static_cast<double>(stream.frames));
    return std::llround(bytes / (whole / static_cast<double>(stream.frames)));
  }
  // Constant bit rate: frames of bit rate × samples ÷ 8 ÷ rate bytes on average (padding
  // makes up the fraction), so the nearest whole number is the frame.
  const double mean = static_cast<double>(header.bit_rate()) * 125.0 * header.samples_per_frame() /
                      static_cast<double>(header.sample_rate());
  return mean > 0 ? std::llround(bytes / mean) : 0;
}

// Cuts the frame's PCM to the part inside the source's samples.
void Decoder::Impl::Trim(int16_t* pcm, FrameInfo* info, int shift) const {
  const int64_t per_frame = header.samples_per_frame();
  const int64_t first = info->index * per_frame;
  int64_t begin = 0, end = INT64_MAX;
  if (options.gapless && stream.encoder_tag && stream.samples_per_frame == per_frame) {
    begin = int64_t{stream.encoder_delay} + kDecoderDelay;
    // Frames beyond the count the header gave (streams joined end to end, a header that
    // undercounts) are kept whole: the padding is trimmed where the header said it is.
    if (stream.frames > 0 && info->index < stream.frames)
      end = stream.frames * per_frame - stream.encoder_padding + kDecoderDelay;
  }
  const int64_t keep_from = std::clamp<int64_t>(begin - first, 0, per_frame);
  const int64_t keep_to = std::clamp<int64_t>(end - first, keep_from, per_frame);
  info->first_sample = (std::max(first, begin) - begin) >> shift;
  if (keep_from == 0 && keep_to == per_frame) return;
  const int from = static_cast<int>(keep_from >> shift), to = static_cast<int>(keep_to >> shift);
  const int channels = info->channels;
  if (from > 0 && to > from)
    std::memmove(pcm, pcm + static_cast<size_t>(from) * channels,
                 sizeof(int16_t) * static_cast<size_t>((to - from) * channels));
  info->samples = to - from;
}

Status Decoder::Impl::DecodeFrame(int16_t* pcm, FrameInfo* info) {
  if (const Status s = ReadFrame(); s != Status::kFrame) return s;
  const FrameHeader& h = header;
  const int64_t index = next_index++;

  int rate = h.sample_rate();
  int shift = 0;
  if (options.rate_reduction == 1 && rate >= 32000) shift = 1;
  if (options.rate_reduction == 2) shift = rate >= 32000 ? 2 : rate >= 16000 ? 1 : 0;
  for (svd::Synthesis& s : synth) s.SetReductionShift(shift);

  const int stream_channels = h.channels();
  const int selection = stream_channels == 2 ? options.channel_selection : 0;
  const int out_channels = (stream_channels == 2 && selection == 0) ? 2 : 1;
  const unsigned wanted_channels = stream_channels == 1 ? 1u : selection == 1 ? 1u : selection == 2 ? 2u : 3u;

  int slot_count = 0;
  bool silent = false;
  const int crc = h.protection == 0 ? 2 : 0;
  try {
    if (h.layer() == 3) {
      const int begin = layer3.ReadSideInfo(h, frame + crc, static_cast<size_t>(frame_bytes - crc));
      const int available_bytes = std::min(ring_available + main_bytes, kReservoirSize);
      ring_available = available_bytes;
      slot_count = h.lsf() ? 18 : 36;
      if (available_bytes < begin + main_bytes) {
        // The main data begins before what we have (after a seek or a damaged frame).
        silent = true;
        layer3.Reset();
      } else {
        const int total = begin + main_bytes;
        const int start = ((ring_write - total) % kReservoirSize + kReservoirSize) % kReservoirSize;
        const int first = std::min(total, kReservoirSize - start);
        std::memcpy(main_data, ring + start, static_cast<size_t>(first));
        std::memcpy(main_data + first, ring, static_cast<size_t>(total - first));
        std::memset(main_data + total, 0, svd::Layer3Decoder::kMainDataPadding);
        layer3.DecodeMainData(main_data, static_cast<size_t>(total), wanted_channels, 32 >> shift, slots);
      }
    } else {
      std::memset(frame + frame_bytes, 0, 8);
      svd::BitReader body(frame + crc, static_cast<size_t>(frame_bytes - crc));
      slot_count = h.layer() == 1 ? svd::DecodeLayer1(h, body, slots) : svd::DecodeLayer2(h, body, slots);
      slot_count = std::clamp(slot_count, 0, 36);
      // The reduced rates feed only the subbands they keep.
      if (shift)
        for (int ch = 0; ch < stream_channels; ++ch)
          for (int t = 0; t < slot_count; ++t)
            std::fill(slots[ch][t] + (32 >> shift), slots[ch][t] + 32, 0.0f);
    }
  } catch (const svd::StreamError&) {
    return Status::kDamaged;
  }

  // Synthesis into the PCM buffer.
  const int per_slot = 32 >> shift;
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

  *info = FrameInfo{};
  info->sample_rate = rate >> shift;
  info->channels = out_channels;
  info->samples = slot_count * per_slot;
  info->layer = h.layer();
  info->level = h.level();
  info->mode = h.mode;
  info->bit_rate = h.bit_rate();
  info->stream_sample_rate = rate;
  info->offset = frame_offset;
  info->index = index;
  Trim(pcm, info, shift);
  return Status::kFrame;
}

// --- the public face ---------------------------------------------------------------------

Decoder::Decoder(const Options& options) : impl_(std::make_unique<Impl>(options)) {}
Decoder::~Decoder() = default;
Decoder::Decoder(Decoder&&) noexcept = default;
Decoder& Decoder::operator=(Decoder&&) noexcept = default;

void Decoder::Feed(const uint8_t* data, size_t size) {
  if (!data || size == 0) return;
  impl_->in.insert(impl_->in.end(), data, data + size);
  impl_->ended = false;
}

void Decoder::EndOfInput() { impl_->ended = true; }

size_t Decoder::BytesWanted() const { return impl_->wanted; }

Status Decoder::Decode(int16_t* pcm, FrameInfo* info) {
  FrameInfo ignored;
  if (!info) info = &ignored;
  if (!pcm) return Status::kDamaged;
  return impl_->DecodeFrame(pcm, info);
}

void Decoder::Seek(int64_t offset) { impl_->Seek(std::max<int64_t>(offset, 0)); }

void Decoder::Restart(int64_t offset) { impl_->Restart(std::max<int64_t>(offset, 0)); }

void Decoder::SetStreamInfo(const StreamInfo& info) {
  Impl& d = *impl_;
  d.stream = info;
  d.stream.data_start = std::max<int64_t>(info.data_start, d.stream_start);
  d.audio_start = d.stream.data_start + (info.header_frame ? info.header_frame_bytes : 0);
}

void Decoder::SetOptions(const Options& options) { impl_->Apply(options); }

const Options& Decoder::options() const { return impl_->options; }

const StreamInfo& Decoder::stream() const { return impl_->stream; }

int64_t Decoder::SeekOffset(double fraction, int64_t stream_size) const {
  const StreamInfo& s = impl_->stream;
  if (!(fraction > 0.0)) fraction = 0.0;
  if (fraction > 1.0) fraction = 1.0;
  const int64_t audio = std::max<int64_t>(stream_size - s.data_start, 0);
  fraction *= svd::OutputShare(s);  // of the output's time, as the frames' time
  if (s.has_toc) fraction = svd::TimeToBytes(s.toc, fraction);
  return s.data_start + static_cast<int64_t>(fraction * static_cast<double>(audio));
}

int64_t Decoder::Id3v2Length(const uint8_t* head, size_t size) {
  if (!head || size < 10 || std::memcmp(head, "ID3", 3) != 0) return 0;
  // From version 4 on, flag 0x10 says a 10-byte footer follows the tag; the size leaves it out.
  const int64_t footer = head[3] >= 4 && (head[5] & 0x10) ? 10 : 0;
  return 10 + footer +
         (int64_t{head[6] & 0x7F} << 21 | int64_t{head[7] & 0x7F} << 14 | int64_t{head[8] & 0x7F} << 7 |
          int64_t{head[9] & 0x7F});
}

bool Decoder::InspectFrame(const uint8_t* frame, size_t size, StreamInfo* info) {
  const int64_t data_start = info ? info->data_start : 0;
  StreamInfo facts;
  facts.data_start = data_start;
  if (!frame || size < 4) {
    if (info) *info = facts;
    return false;
  }
  const std::optional<FrameHeader> h = FrameHeader::Parse(svd::ReadBigEndian32(frame));
  if (h) {
    facts.sample_rate = h->sample_rate();
    facts.samples_per_frame = h->samples_per_frame();
    facts.channels = h->channels();
    facts.bit_rate = h->bit_rate();
    facts.level = h->level();
    facts.layer = h->layer();
    facts.mode = h->mode;
    ReadHeaderTag(*h, frame, std::min(size, static_cast<size_t>(h->frame_length())), &facts);
    if (facts.header_frame) facts.header_frame_bytes = h->frame_length();
    FillTotal(&facts);
  }
  if (info) *info = facts;
  return h.has_value();
}

}  // namespace svdecode
