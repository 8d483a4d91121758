// WMAEncode and WMADecode over FFmpeg: WMA version 2 in an ASF file, and any WMA stream in
// ASF back to 16-bit WAV. Every call owns all of its state; nothing is global.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "codec_io/call.h"
#include "codec_io/wav_sink.h"
#include "codec_io/wav_source.h"
#include "svcodec.h"

#define SVWMA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using svcodec::Cancelled;
using svcodec::Progress;

constexpr int kRate = 44100;          // every profile is a 44.1 kHz one
constexpr size_t kReadFrames = 2048;  // source frames per step: a cancel is seen within milliseconds
// The ASF muxer's bytes around each frame and each packet, and the packet size it aims at.
constexpr int kPayloadHeader = 17;
constexpr int kPacketHeader = 16;
constexpr int kPacketTarget = 3200;

// Owners for FFmpeg's objects.
struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwrFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoFree {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct OutputFree {  // an output context and the file it opened
  void operator()(AVFormatContext* f) const {
    if (f->pb) avio_closep(&f->pb);
    avformat_free_context(f);
  }
};
struct InputFree {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoFree>;

int bitRateOf(uint8_t profile) {
  switch (profile) {
    case 22:
      return 64000;
    case 23:
      return 96000;
    case 24:
      return 128000;
    default:
      return 0;
  }
}

// The encode's output side: encoder, ASF muxer and the file, with its write errors.
struct WmaWriter {
  std::unique_ptr<AVFormatContext, OutputFree> format;
  CodecPtr codec;
  AVStream* stream = nullptr;
  PacketPtr packet{av_packet_alloc()};
  bool writeFailed = false;
  bool codecFailed = false;

  // Sends one frame (nullptr flushes) and writes every packet that comes out.
  void Send(AVFrame* frame) {
    if (writeFailed || codecFailed) return;
    if (avcodec_send_frame(codec.get(), frame) < 0) {
      codecFailed = true;
      return;
    }
    for (;;) {
      const int r = avcodec_receive_packet(codec.get(), packet.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
      if (r < 0) {
        codecFailed = true;
        return;
      }
      av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (av_write_frame(format.get(), packet.get()) < 0 || format->pb->error < 0) writeFailed = true;
      av_packet_unref(packet.get());
      if (writeFailed) return;
    }
  }
};

int32_t encode(const char* source, const char* destination, uint8_t profile, CodecProgressProc progressProc,
               int16_t* cancel) {
  const int bitRate = bitRateOf(profile);
  if (!source || !destination || bitRate == 0) return SVC_E_ARGUMENT;
  svcodec::WavSource in;
  if (const int32_t r = in.Open(source); r != SVC_OK) return r;
  const int channels = in.Channels();

  const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
  if (!encoder) return SVC_E_INTERNAL;
  WmaWriter w;
  {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "asf", destination) < 0 || !raw) return SVC_E_INTERNAL;
    w.format.reset(raw);
  }
  w.codec.reset(avcodec_alloc_context3(encoder));
  if (!w.codec || !w.packet) return SVC_E_INTERNAL;
  AVCodecContext* c = w.codec.get();
  c->sample_rate = kRate;
  c->sample_fmt = AV_SAMPLE_FMT_FLTP;
  c->bit_rate = bitRate;
  c->time_base = AVRational{1, kRate};
  av_channel_layout_default(&c->ch_layout, channels);
  if (w.format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(c, encoder, nullptr) < 0) return SVC_E_INTERNAL;
  w.stream = avformat_new_stream(w.format.get(), nullptr);
  if (!w.stream || avcodec_parameters_from_context(w.stream->codecpar, c) < 0) return SVC_E_INTERNAL;
  w.stream->time_base = c->time_base;

  // Samples as the encoder takes them: planar float at 44.1 kHz, resampled when the source
  // has another rate.
  SwrContext* rawSwr = nullptr;
  if (swr_alloc_set_opts2(&rawSwr, &c->ch_layout, AV_SAMPLE_FMT_FLTP, kRate, &c->ch_layout, AV_SAMPLE_FMT_S16,
                          in.Rate(), 0, nullptr) < 0)
    return SVC_E_INTERNAL;
  SwrPtr swr(rawSwr);
  if (swr_init(swr.get()) < 0) return SVC_E_INTERNAL;
  const int frameSize = c->frame_size > 0 ? c->frame_size : 2048;
  FifoPtr fifo(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, frameSize * 4));
  FramePtr frame(av_frame_alloc());
  if (!fifo || !frame) return SVC_E_INTERNAL;
  frame->nb_samples = frameSize;
  frame->format = AV_SAMPLE_FMT_FLTP;
  frame->sample_rate = kRate;
  if (av_channel_layout_copy(&frame->ch_layout, &c->ch_layout) < 0 || av_frame_get_buffer(frame.get(), 0) < 0)
    return SVC_E_INTERNAL;

  // ASF packets sized to hold whole frames: the muxer's default size leaves about a tenth of
  // every packet as padding at these rates.
  if (c->block_align > 0) {
    const int perFrame = c->block_align + kPayloadHeader;
    const int frames = std::max(1, (kPacketTarget - kPacketHeader) / perFrame);
    av_opt_set_int(w.format->priv_data, "packet_size", frames * perFrame + kPacketHeader, 0);
  }
  if (avio_open(&w.format->pb, destination, AVIO_FLAG_WRITE) < 0) return SVC_E_DEST_CREATE;
  if (avformat_write_header(w.format.get(), nullptr) < 0 || w.format->pb->error < 0) w.writeFailed = true;

  int64_t pts = 0;
  // Encodes whole frames from the FIFO; at the end the last one is padded with silence.
  auto encodeQueued = [&](bool last) {
    while (!w.writeFailed && !w.codecFailed &&
           (av_audio_fifo_size(fifo.get()) >= frameSize || (last && av_audio_fifo_size(fifo.get()) > 0))) {
      if (av_frame_make_writable(frame.get()) < 0) {
        w.codecFailed = true;
        return;
      }
      const int n = av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(frame->data), frameSize);
      if (n < frameSize) av_samples_set_silence(frame->data, n, frameSize - n, channels, AV_SAMPLE_FMT_FLTP);
      frame->pts = pts;
      pts += frameSize;
      w.Send(frame.get());
    }
  };
  // Resampled output of one step, planar.
  std::vector<int16_t> pcm(kReadFrames * static_cast<size_t>(channels));
  uint8_t** converted = nullptr;
  int convertedCapacity = 0;
  struct PlanesFree {
    uint8_t*** p;
    ~PlanesFree() {
      if (*p) av_freep(&(*p)[0]);
      av_freep(p);
    }
  } planesFree{&converted};
  auto convert = [&](const uint8_t* input, int frames) {
    const int room = swr_get_out_samples(swr.get(), frames);
    if (room > convertedCapacity) {
      if (converted) av_freep(&converted[0]);
      av_freep(&converted);
      if (av_samples_alloc_array_and_samples(&converted, nullptr, channels, room, AV_SAMPLE_FMT_FLTP, 0) < 0)
        throw std::bad_alloc();
      convertedCapacity = room;
    }
    const uint8_t* inputs[1] = {input};
    const int made = swr_convert(swr.get(), converted, room, input ? inputs : nullptr, frames);
    if (made < 0) {
      w.codecFailed = true;
      return;
    }
    if (made > 0 && av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(converted), made) < made)
      throw std::bad_alloc();
  };

  Progress progress(progressProc);
  progress.Report(0);
  int32_t result = SVC_OK;
  for (int64_t n = 0; !w.writeFailed && !w.codecFailed;) {
    if ((result = in.Step(cancel, pcm.data(), kReadFrames, n)) != SVC_OK || n == 0) break;
    convert(reinterpret_cast<const uint8_t*>(pcm.data()), static_cast<int>(n));
    encodeQueued(false);
    progress.Report(in.Fraction());
  }
  // What was read is encoded and the file closed properly, also after a stop.
  convert(nullptr, 0);
  encodeQueued(true);
  w.Send(nullptr);
  if (!w.writeFailed && (av_write_trailer(w.format.get()) < 0 || w.format->pb->error < 0))
    w.writeFailed = true;
  if (avio_closep(&w.format->pb) < 0) w.writeFailed = true;
  if (w.writeFailed) {
    ::unlink(destination);  // cut short by a full disk: nothing half-written stays behind
    return SVC_E_WRITE;
  }
  if (w.codecFailed) return SVC_E_INTERNAL;
  return progress.Conclude(result, in.Truncated());
}

bool isWma(AVCodecID id) {
  return id == AV_CODEC_ID_WMAV1 || id == AV_CODEC_ID_WMAV2 || id == AV_CODEC_ID_WMAPRO ||
         id == AV_CODEC_ID_WMALOSSLESS || id == AV_CODEC_ID_WMAVOICE;
}

uint64_t le64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// The file length that the ASF header's file properties record, or 0 when it records none
// (a live stream). A file shorter than that was cut off.
uint64_t declaredFileSize(const char* path) {
  static const uint8_t kHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  static const uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                              0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path, "rb"), &std::fclose);
  if (!f) return 0;
  std::vector<uint8_t> head(64 * 1024);
  head.resize(std::fread(head.data(), 1, head.size(), f.get()));
  if (head.size() < 30 || std::memcmp(head.data(), kHeader, 16) != 0) return 0;
  const size_t end = static_cast<size_t>(std::min<uint64_t>(le64(head.data() + 16), head.size()));
  for (size_t pos = 30; pos + 24 <= end;) {
    const uint64_t size = le64(head.data() + pos + 16);
    if (size < 24 || size > end - pos) return 0;
    if (std::memcmp(head.data() + pos, kFileProperties, 16) == 0 && size >= 104) {
      const bool broadcast = head[pos + 88] & 1;
      return broadcast ? 0 : le64(head.data() + pos + 40);
    }
    pos += static_cast<size_t>(size);
  }
  return 0;
}

int32_t decode(const char* source, const char* destination, CodecProgressProc progressProc, int16_t* cancel) {
  if (!source || !destination) return SVC_E_ARGUMENT;
  struct stat st {};
  if (::access(source, R_OK) != 0 || ::stat(source, &st) != 0) return SVC_E_SOURCE_OPEN;
  if (!S_ISREG(st.st_mode)) return SVC_E_SOURCE_FORMAT;
  std::unique_ptr<AVFormatContext, InputFree> input;
  {
    AVFormatContext* raw = nullptr;
    const int r = avformat_open_input(&raw, source, av_find_input_format("asf"), nullptr);
    if (r < 0)
      return r == AVERROR(ENOENT) || r == AVERROR(EACCES) || r == AVERROR(EIO) ? SVC_E_SOURCE_OPEN
                                                                               : SVC_E_SOURCE_FORMAT;
    input.reset(raw);
  }
  const AVCodec* decoder = nullptr;
  const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (index < 0 || !decoder || !isWma(decoder->id)) return SVC_E_SOURCE_FORMAT;
  AVStream* stream = input->streams[index];
  CodecPtr codec(avcodec_alloc_context3(decoder));
  if (!codec) return SVC_E_INTERNAL;
  if (avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0) return SVC_E_INTERNAL;
  if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return SVC_E_SOURCE_FORMAT;
  AVCodecContext* c = codec.get();
  if (c->ch_layout.nb_channels < 1 || c->ch_layout.nb_channels > 8 || c->sample_rate < 1)
    return SVC_E_SOURCE_FORMAT;
  struct Layout {
    AVChannelLayout value{};
    ~Layout() { av_channel_layout_uninit(&value); }
  } ownedLayout;
  AVChannelLayout& layout = ownedLayout.value;
  if (c->ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
    av_channel_layout_copy(&layout, &c->ch_layout);
  else
    av_channel_layout_default(&layout, c->ch_layout.nb_channels);
  const int channels = layout.nb_channels;
  const int rate = c->sample_rate;
  // FFmpeg's native order is WAV's speaker order, so the mask goes into the header as it is.
  const uint32_t mask = channels > 2 ? static_cast<uint32_t>(layout.u.mask) : 0;

  svcodec::WavSink out;
  if (out.Create(destination, channels, rate, mask) != SVC_OK) return SVC_E_DEST_CREATE;
  SwrPtr swr;
  AVSampleFormat swrFormat = AV_SAMPLE_FMT_NONE;
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  if (!packet || !frame) throw std::bad_alloc();
  std::vector<int16_t> pcm;
  bool damaged = static_cast<uint64_t>(st.st_size) < declaredFileSize(source);
  bool writeFailed = false;
  int64_t decoded = 0;
  int64_t nextPts = AV_NOPTS_VALUE;
  const int64_t halfFrame =
      av_rescale_q(std::max(c->frame_size, 512) / 2, AVRational{1, rate}, stream->time_base);

  // Converts and writes every frame the decoder has ready.
  auto drain = [&]() {
    for (;;) {
      const int r = avcodec_receive_frame(c, frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
      if (r < 0) {
        damaged = true;
        return;
      }
      // A frame that starts later than the last one ended follows packets that were lost.
      const int64_t pts = frame->best_effort_timestamp;
      if (pts != AV_NOPTS_VALUE) {
        if (nextPts != AV_NOPTS_VALUE && pts - nextPts > halfFrame) damaged = true;
        nextPts = pts + av_rescale_q(frame->nb_samples, AVRational{1, rate}, stream->time_base);
      }
      const auto format = static_cast<AVSampleFormat>(frame->format);
      if (frame->ch_layout.nb_channels != channels || frame->sample_rate != rate) {
        damaged = true;  // never write samples under a header that does not describe them
        av_frame_unref(frame.get());
        continue;
      }
      if (!swr || format != swrFormat) {
        SwrContext* raw = nullptr;
        if (swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_S16, rate, &layout, format, rate, 0, nullptr) <
                0 ||
            swr_init(raw) < 0) {
          swr_free(&raw);
          throw std::bad_alloc();
        }
        swr.reset(raw);
        swrFormat = format;
      }
      pcm.resize(static_cast<size_t>(frame->nb_samples) * static_cast<size_t>(channels));
      uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(pcm.data())};
      const int made = swr_convert(swr.get(), outPlanes, frame->nb_samples,
                                   const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
      av_frame_unref(frame.get());
      if (made < 0) {
        damaged = true;
        continue;
      }
      decoded += made;
      if (!out.Write(pcm.data(), static_cast<size_t>(made))) {
        writeFailed = true;
        return;
      }
    }
  };

  Progress progress(progressProc);
  progress.Report(0);
  const double size = static_cast<double>(std::max<int64_t>(avio_size(input->pb), 1));
  int32_t result = SVC_OK;
  while (!writeFailed) {
    if (Cancelled(cancel)) {
      result = SVC_E_CANCELLED;
      break;
    }
    const int r = av_read_frame(input.get(), packet.get());
    if (r == AVERROR_EOF) break;
    if (r < 0) {
      damaged = true;
      break;
    }
    if (packet->stream_index == index) {
      const int s = avcodec_send_packet(c, packet.get());
      if (s < 0 && s != AVERROR(EAGAIN)) damaged = true;  // the damaged packet is passed over
      drain();
    }
    av_packet_unref(packet.get());
    progress.Report(static_cast<double>(avio_tell(input->pb)) / size);
  }
  if (result == SVC_OK && !writeFailed) {
    avcodec_send_packet(c, nullptr);
    drain();
  }
  // A file cut short ends before the play time its header gives (one frame of slack).
  if (result == SVC_OK && input->duration > 0) {
    const int64_t expected = av_rescale(input->duration, rate, AV_TIME_BASE);
    const int64_t slack = std::max(c->frame_size, 4096);
    if (decoded + slack < expected) damaged = true;
  }
  if (const int32_t written = out.Finish(); written != SVC_OK) return written;
  return progress.Conclude(result, damaged);
}

}  // namespace

SVWMA_EXPORT int32_t WMAEncode(const char* source, const char* destination, uint8_t profile,
                               CodecProgressProc progress, int16_t* cancel) {
  return svcodec::Guarded([&] { return encode(source, destination, profile, progress, cancel); });
}

SVWMA_EXPORT int32_t WMADecode(const char* source, const char* destination, CodecProgressProc progress,
                               int16_t* cancel) {
  return svcodec::Guarded([&] { return decode(source, destination, progress, cancel); });
}
