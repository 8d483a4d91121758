// VQFDecode: a TwinVQ file to a 16-bit PCM WAV through FFmpeg's demuxer and decoder.
#include "codec_io/call.h"
#include "codec_io/wav_sink.h"
#include "progress.h"
#include "svvqf.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace svvqf {

namespace {

struct FormatClose {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct FileClose {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

uint32_t BE32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// The data size the file's header states (DSIZ) and where the data starts, read by hand so a
// cut-off file can be told from a whole one; -1 when the header does not say. False when the
// file is no VQF or its header claims more bytes than the file holds: such a file has no
// audio to give, and FFmpeg's demuxer (which is told the format) takes and loses memory of
// the claimed size.
bool StatedData(std::FILE* f, int64_t fileSize, int64_t& stated, int64_t& start) {
  stated = start = -1;
  uint8_t pre[16];
  if (std::fread(pre, 1, 16, f) != 16 || std::memcmp(pre, "TWIN", 4) != 0) return false;
  int64_t left = BE32(pre + 12), pos = 16;
  if (left > fileSize - pos) return false;
  for (int guard = 0; guard < 1000 && left >= 0; ++guard) {
    uint8_t h[8];
    if (std::fread(h, 1, 4, f) != 4) return true;
    if (std::memcmp(h, "DATA", 4) == 0) {
      start = pos + 4;
      return true;
    }
    if (std::fread(h + 4, 1, 4, f) != 4) return true;
    const uint32_t len = BE32(h + 4);
    pos += 8;
    if (static_cast<int64_t>(len) > fileSize - pos) return false;
    left -= 8 + static_cast<int64_t>(len);
    if (std::memcmp(h, "DSIZ", 4) == 0 && len == 4) {
      uint8_t v[4];
      if (std::fread(v, 1, 4, f) != 4) return true;
      stated = BE32(v);
    } else if (std::fseek(f, static_cast<long>(len), SEEK_CUR) != 0) {
      return true;
    }
    pos += len;
  }
  return true;
}

int16_t ToS16(float v) {
  const float s = v * 32768.0f;
  if (s >= 32767.0f) return 32767;
  if (s <= -32768.0f) return -32768;
  return static_cast<int16_t>(std::lrintf(s));
}

int32_t Decode(const char* source, const char* destination, const VqfDecodeProgressProc* progressCell,
               int16_t* cancel) {
  if (!source || !destination) return SVC_E_ARGUMENT;
  int64_t fileSize = 0, stated = -1, dataStart = -1;
  {
    std::unique_ptr<std::FILE, FileClose> probe(std::fopen(source, "rb"));
    struct stat st {};
    if (!probe || fstat(fileno(probe.get()), &st) != 0 || S_ISDIR(st.st_mode)) return SVC_E_SOURCE_OPEN;
    fileSize = st.st_size;
    if (!StatedData(probe.get(), fileSize, stated, dataStart)) return SVC_E_SOURCE_FORMAT;
  }
  struct stat ds {
  }, ss{};
  if (stat(destination, &ds) == 0 && stat(source, &ss) == 0 && ds.st_dev == ss.st_dev &&
      ds.st_ino == ss.st_ino)
    return SVC_E_ARGUMENT;  // would overwrite its own source

  const AVInputFormat* vqf = av_find_input_format("vqf");
  if (!vqf) return SVC_E_INTERNAL;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, source, vqf, nullptr) < 0) return SVC_E_SOURCE_FORMAT;
  std::unique_ptr<AVFormatContext, FormatClose> format(raw);
  if (format->nb_streams < 1 || format->streams[0]->codecpar->codec_id != AV_CODEC_ID_TWINVQ)
    return SVC_E_SOURCE_FORMAT;
  AVStream* stream = format->streams[0];
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_TWINVQ);
  if (!codec) return SVC_E_INTERNAL;
  std::unique_ptr<AVCodecContext, CodecFree> ctx(avcodec_alloc_context3(codec));
  if (!ctx || avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0) return SVC_E_INTERNAL;
  if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return SVC_E_SOURCE_FORMAT;
  const int channels = ctx->ch_layout.nb_channels;
  const int rate = ctx->sample_rate;
  if (channels < 1 || channels > 2 || rate <= 0) return SVC_E_SOURCE_FORMAT;

  svcodec::WavSink wav;
  if (const int32_t created = wav.Create(destination, channels, rate); created != SVC_OK) return created;
  VqfDecodeProgress progress(progressCell, fileSize);
  progress.Report(0);

  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  if (!packet || !frame) return SVC_E_INTERNAL;
  std::vector<int16_t> pcm;
  bool damaged = false;
  int32_t result = SVC_OK;

  auto drain = [&]() -> bool {
    for (;;) {
      const int r = avcodec_receive_frame(ctx.get(), frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) {
        damaged = true;
        return true;
      }
      const int n = frame->nb_samples;
      pcm.resize(static_cast<size_t>(n) * channels);
      const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
      for (int c = 0; c < channels; ++c) {
        const float* src = reinterpret_cast<const float*>(frame->extended_data[planar ? c : 0]);
        for (int i = 0; i < n; ++i)
          pcm[static_cast<size_t>(i) * channels + c] = ToS16(planar ? src[i] : src[i * channels + c]);
      }
      av_frame_unref(frame.get());
      if (!wav.Write(pcm.data(), n)) return false;
    }
  };

  for (;;) {
    if (svcodec::Cancelled(cancel)) {
      result = SVC_E_CANCELLED;
      break;
    }
    const int r = av_read_frame(format.get(), packet.get());
    if (r < 0) break;  // the demuxer ends every file with a failed read
    if (packet->stream_index == stream->index) {
      if (avcodec_send_packet(ctx.get(), packet.get()) < 0) damaged = true;
      if (!drain()) result = SVC_E_WRITE;
    }
    av_packet_unref(packet.get());
    if (result != SVC_OK) break;
    const int64_t at = avio_tell(format->pb);
    if (fileSize > 0 && at > 0) progress.Report(static_cast<double>(at) / fileSize);
  }
  if (result == SVC_OK) {
    avcodec_send_packet(ctx.get(), nullptr);
    if (!drain()) result = SVC_E_WRITE;
  }
  if (const int32_t finished = wav.Finish(); finished != SVC_OK && result == SVC_OK) result = finished;
  if (result != SVC_OK) return result;
  if (stated >= 0 && dataStart >= 0 && fileSize - dataStart < stated) damaged = true;  // cut off
  if (damaged) return SVC_E_DAMAGED;
  progress.Report(1.0);
  return SVC_OK;
}

}  // namespace

}  // namespace svvqf

extern "C" int32_t VQFDecode(const char* source, const char* destination,
                             const VqfDecodeProgressProc* progressCell, int16_t* cancel) {
  try {
    return svvqf::Decode(source, destination, progressCell, cancel);
  } catch (...) {
    return SVC_E_INTERNAL;
  }
}
