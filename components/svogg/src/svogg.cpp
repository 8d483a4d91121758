// OGGEncode and OGGDecode over libvorbisenc and libvorbisfile. Every call owns all of its
// state; the only thing shared with the caller is the cancel flag it passes.
#include <ogg/ogg.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <unordered_map>
#include <vector>

#include "codec_io/call.h"
#include "codec_io/file_writer.h"
#include "codec_io/wav_sink.h"
#include "codec_io/wav_source.h"
#include "svcodec.h"

#define SVOGG_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using svcodec::Cancelled;
using svcodec::Progress;

constexpr const char* kEncoderName = "Sonvera Disc Suite (svogg)";
// Frames handed to the analysis at a time: small enough to see a cancel at once.
constexpr size_t kBlockFrames = 1024;

// The encoder's libvorbis and libogg state, released in the reverse order of its making.
struct Encoder {
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  ogg_stream_state stream;
  bool dspReady = false, streamReady = false;

  Encoder() {
    vorbis_info_init(&info);
    vorbis_comment_init(&comment);
  }
  ~Encoder() {
    if (streamReady) ogg_stream_clear(&stream);
    if (dspReady) {
      vorbis_block_clear(&block);
      vorbis_dsp_clear(&dsp);
    }
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
  }
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  bool WritePage(svcodec::FileWriter& out, const ogg_page& page) {
    return out.Write(page.header, static_cast<size_t>(page.header_len)) &&
           out.Write(page.body, static_cast<size_t>(page.body_len));
  }

  // Moves every finished block through the analysis into pages on disk.
  bool Drain(svcodec::FileWriter& out) {
    ogg_packet packet;
    ogg_page page;
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
        ogg_stream_packetin(&stream, &packet);
        while (ogg_stream_pageout(&stream, &page) != 0)
          if (!WritePage(out, page)) return false;
      }
    }
    return true;
  }
};

int32_t encode(const char* source, const char* destination, int32_t level, CodecProgressProc progressProc,
               int16_t* cancel) {
  if (!source || !destination || level < -1 || level > 10) return SVC_E_ARGUMENT;
  svcodec::WavSource in;
  if (const int32_t r = in.Open(source); r != SVC_OK) return r;

  Encoder enc;
  // Quality mode at the source's own rate and channel count; the library knows no setup
  // for some rates.
  if (vorbis_encode_init_vbr(&enc.info, in.Channels(), in.Rate(), static_cast<float>(level) / 10.0f) != 0)
    return SVC_E_SOURCE_FORMAT;
  vorbis_comment_add_tag(&enc.comment, "ENCODER", kEncoderName);
  if (vorbis_analysis_init(&enc.dsp, &enc.info) != 0) return SVC_E_INTERNAL;
  vorbis_block_init(&enc.dsp, &enc.block);
  enc.dspReady = true;
  // A random serial number, so that files joined into a chain stay valid.
  std::random_device seed;
  ogg_stream_init(&enc.stream, static_cast<int>(seed() & 0x7FFFFFFF));
  enc.streamReady = true;

  svcodec::FileWriter out;
  if (!out.Create(destination)) return SVC_E_DEST_CREATE;
  bool writeOk = true;
  {
    ogg_packet id, comments, books;
    vorbis_analysis_headerout(&enc.dsp, &enc.comment, &id, &comments, &books);
    ogg_stream_packetin(&enc.stream, &id);
    ogg_stream_packetin(&enc.stream, &comments);
    ogg_stream_packetin(&enc.stream, &books);
    ogg_page page;
    while (writeOk && ogg_stream_flush(&enc.stream, &page) != 0) writeOk = enc.WritePage(out, page);
  }

  Progress progress(progressProc);
  progress.Report(0);
  const int channels = in.Channels();
  std::vector<int16_t> pcm(kBlockFrames * static_cast<size_t>(channels));
  int32_t result = SVC_OK;
  for (int64_t n = 0; writeOk;) {
    if ((result = in.Step(cancel, pcm.data(), kBlockFrames, n)) != SVC_OK || n == 0) break;
    float** buffer = vorbis_analysis_buffer(&enc.dsp, static_cast<int>(n));
    for (int ch = 0; ch < channels; ++ch) {
      float* dst = buffer[ch];
      const int16_t* src = pcm.data() + ch;
      for (int64_t i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i * channels]) / 32768.0f;
    }
    vorbis_analysis_wrote(&enc.dsp, static_cast<int>(n));
    writeOk = enc.Drain(out);
    progress.Report(in.Fraction());
  }
  // The end of the stream is marked also after a stop or a short source: the file stays playable.
  if (writeOk) {
    vorbis_analysis_wrote(&enc.dsp, 0);
    writeOk = enc.Drain(out);
    ogg_page page;
    while (writeOk && ogg_stream_flush(&enc.stream, &page) != 0) writeOk = enc.WritePage(out, page);
  }
  writeOk = out.Close() && writeOk;
  if (!writeOk) {
    // A file cut short by a full disk plays nowhere to its end: it is not left behind.
    ::unlink(destination);
    return SVC_E_WRITE;
  }
  return progress.Conclude(result, in.Truncated());
}

// Whether every page is whole and in place: no bytes that fail their checksum, no page
// missing from a stream's numbering (vorbisfile passes silently over a lost first audio
// page), every stream closed by its end page and nothing cut off after it. Junk after the
// last page is allowed. A stop asked for during the scan is seen as well.
enum class Pages { kIntact, kDamaged, kStopped };
Pages checkPages(std::FILE* f, int16_t* cancel) {
  if (std::fseek(f, 0, SEEK_SET) != 0) return Pages::kDamaged;
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  struct Stream {
    long nextPage = 0;
    bool ended = false;
  };
  std::unordered_map<int, Stream> streams;  // by serial number
  size_t open = 0;                          // streams not ended yet
  bool intact = true, trailing = false, stopped = false;
  while (intact) {
    if ((stopped = Cancelled(cancel))) break;
    char* buffer = ogg_sync_buffer(&sync, 64 * 1024);
    const size_t got = buffer ? std::fread(buffer, 1, 64 * 1024, f) : 0;
    if (got == 0) break;
    ogg_sync_wrote(&sync, static_cast<long>(got));
    ogg_page page;
    for (long r; intact && (r = ogg_sync_pageseek(&sync, &page)) != 0;) {
      if (r < 0) {  // bytes that are not a whole page: damage, or junk after the end
        if (streams.empty() || open > 0) intact = false;
        trailing = true;
        continue;
      }
      if (trailing) intact = false;  // pages after junk: the junk was inside the file
      const auto [it, isNew] = streams.try_emplace(ogg_page_serialno(&page));
      Stream& stream = it->second;
      if (isNew) {
        ++open;
        if (!ogg_page_bos(&page)) intact = false;
      }
      if (stream.ended || ogg_page_pageno(&page) != stream.nextPage) intact = false;
      stream.nextPage = ogg_page_pageno(&page) + 1;
      if (ogg_page_eos(&page) && !stream.ended) {
        stream.ended = true;
        --open;
      }
    }
  }
  const bool leftover = sync.fill > sync.returned;  // a page cut off at the end of the file
  ogg_sync_clear(&sync);
  if (stopped) return Pages::kStopped;
  return intact && !streams.empty() && open == 0 && (!leftover || trailing) ? Pages::kIntact
                                                                            : Pages::kDamaged;
}

// Vorbis orders three and more channels differently from WAV: the WAV position of each
// Vorbis channel, and the speaker mask that goes with it.
struct ChannelMap {
  std::array<int, 8> target;
  uint32_t mask;
};
const ChannelMap& channelMap(int channels) {
  static const ChannelMap maps[9] = {
      {{0}, 0},
      {{0}, 0x4},
      {{0, 1}, 0x3},
      {{0, 2, 1}, 0x7},                   // L C R
      {{0, 1, 2, 3}, 0x33},               // FL FR RL RR
      {{0, 2, 1, 3, 4}, 0x37},            // FL C FR RL RR
      {{0, 2, 1, 4, 5, 3}, 0x3F},         // FL C FR RL RR LFE
      {{0, 2, 1, 5, 6, 4, 3}, 0x70F},     // FL C FR SL SR RC LFE
      {{0, 2, 1, 6, 7, 4, 5, 3}, 0x63F},  // FL C FR SL SR RL RR LFE
  };
  return maps[channels];
}

struct VorbisFile {
  OggVorbis_File vf;
  bool open = false;
  ~VorbisFile() {
    if (open) ov_clear(&vf);
  }
};

int32_t decode(const char* source, const char* destination, CodecProgressProc progressProc, int16_t* cancel) {
  if (!source || !destination) return SVC_E_ARGUMENT;
  std::FILE* f = std::fopen(source, "rb");
  if (!f) return SVC_E_SOURCE_OPEN;
  struct stat st {};
  if (::fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    return SVC_E_SOURCE_FORMAT;
  }
  VorbisFile file;
  if (const int r = ov_open_callbacks(f, &file.vf, nullptr, 0, OV_CALLBACKS_DEFAULT); r != 0) {
    // A failed open can keep some of what it read (a damaged chain's serial numbers); the
    // file itself is not taken over and is closed here, not by the clean-up.
    file.vf.datasource = nullptr;
    ov_clear(&file.vf);
    const bool unreadable = r == OV_EREAD && std::ferror(f);  // else its headers are damaged
    std::fclose(f);
    return unreadable ? SVC_E_SOURCE_OPEN : SVC_E_SOURCE_FORMAT;
  }
  file.open = true;
  const vorbis_info* first = ov_info(&file.vf, 0);
  if (!first || first->channels < 1 || first->channels > 8) return SVC_E_SOURCE_FORMAT;
  const int channels = first->channels;
  const long rate = first->rate;
  const ChannelMap& map = channelMap(channels);
  // Progress by samples where the file tells its length, else by bytes.
  const ogg_int64_t totalSamples = ov_pcm_total(&file.vf, -1);
  const double fileSize = static_cast<double>(std::max<off_t>(st.st_size, 1));
  auto position = [&] {
    return totalSamples > 0 ? static_cast<double>(ov_pcm_tell(&file.vf)) / static_cast<double>(totalSamples)
                            : static_cast<double>(ov_raw_tell(&file.vf)) / fileSize;
  };

  svcodec::WavSink out;
  if (out.Create(destination, channels, static_cast<int>(rate), channels > 2 ? map.mask : 0) != SVC_OK)
    return SVC_E_DEST_CREATE;

  Progress progress(progressProc);
  progress.Report(0);
  std::vector<char> pcm(64 * 1024);
  std::vector<int16_t> ordered;
  int32_t result = SVC_OK;
  bool damaged = false;
  int link = -1;
  ogg_int64_t decoded = 0;
  for (;;) {
    if (Cancelled(cancel)) {
      result = SVC_E_CANCELLED;
      break;
    }
    int current = 0;
    const long n = ov_read(&file.vf, pcm.data(), static_cast<int>(pcm.size()), 0, 2, 1, &current);
    if (n == 0) break;
    if (n == OV_HOLE) {  // a gap in the data: decoding goes on after it
      damaged = true;
      continue;
    }
    if (n < 0) {
      damaged = true;
      break;
    }
    if (current != link) {
      // One WAV has one format: a chain that changes rate or channels ends here.
      const vorbis_info* vi = ov_info(&file.vf, current);
      if (!vi || vi->channels != channels || vi->rate != rate) {
        result = SVC_E_SOURCE_FORMAT;
        break;
      }
      link = current;
    }
    const size_t frames = static_cast<size_t>(n) / (2 * static_cast<size_t>(channels));
    const auto* samples = reinterpret_cast<const int16_t*>(pcm.data());
    if (channels > 2) {
      ordered.resize(frames * static_cast<size_t>(channels));
      for (size_t i = 0; i < frames; ++i)
        for (int ch = 0; ch < channels; ++ch)
          ordered[i * channels + map.target[ch]] = samples[i * channels + ch];
      samples = ordered.data();
    }
    decoded += static_cast<ogg_int64_t>(frames);
    if (!out.Write(samples, frames)) break;  // Finish reports it
    progress.Report(position());
  }
  if (result == SVC_OK && !damaged) {
    damaged = totalSamples >= 0 && decoded != totalSamples;
    switch (checkPages(static_cast<std::FILE*>(file.vf.datasource), cancel)) {
      case Pages::kDamaged:
        damaged = true;
        break;
      case Pages::kStopped:
        result = SVC_E_CANCELLED;
        break;
      case Pages::kIntact:
        break;
    }
  }
  if (const int32_t written = out.Finish(); written != SVC_OK) return written;
  return progress.Conclude(result, damaged);
}

}  // namespace

SVOGG_EXPORT int32_t OGGEncode(const char* source, const char* destination, int32_t /*sampleRate*/,
                               int32_t level, CodecProgressProc progress, int16_t* cancel) {
  // The sample rate argument is not used: the file keeps its source's rate.
  return svcodec::Guarded([&] { return encode(source, destination, level, progress, cancel); });
}

SVOGG_EXPORT int32_t OGGDecode(const char* source, const char* destination, CodecProgressProc progress,
                               int16_t* cancel) {
  return svcodec::Guarded([&] { return decode(source, destination, progress, cancel); });
}
