// The stream calls must give the very bytes that LAME gives when driven directly with the
// same settings, whatever the chunking, and must refuse bad input with the right codes.
#include "svencode.h"

#include <gtest/gtest.h>
#include <lame/lame.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

namespace {

struct Settings {
  uint32_t inRate = 44100;
  uint32_t outRate = 44100;
  int32_t mode = BE_MP3_MODE_JSTEREO;
  uint32_t kbps = 128;
  int32_t preset = LQP_NORMAL_QUALITY;
  uint32_t version = BE_MPEG1;
};

EncoderConfig makeConfig(const Settings& s) {
  EncoderConfig c;
  std::memset(&c, 0, sizeof c);
  c.configKind = BE_CONFIG_LAME;
  c.structVersion = 1;
  c.structSize = 331;
  c.sampleRate = s.inRate;
  c.outSampleRate = s.outRate;
  c.mode = s.mode;
  c.bitrate = s.kbps;
  c.preset = s.preset;
  c.mpegVersion = s.version;
  c.original = -1;
  c.vbrMethod = VBR_METHOD_NONE;
  return c;
}

// Test signal: two tones and a little noise, different per channel.
std::vector<int16_t> signal(size_t frames, int channels, unsigned seed = 7) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-600, 600);
  std::vector<int16_t> pcm(frames * channels);
  for (size_t i = 0; i < frames; ++i)
    for (int ch = 0; ch < channels; ++ch) {
      const double t = static_cast<double>(i) / 44100.0;
      const double f = ch == 0 ? 440.0 : 1250.0;
      const double v = 9000.0 * std::sin(2 * M_PI * f * t) + 4000.0 * std::sin(2 * M_PI * 97.0 * t);
      pcm[i * channels + ch] = static_cast<int16_t>(v + noise(rng));
    }
  return pcm;
}

// LAME on its own, fed the whole signal in one call.
std::vector<uint8_t> direct(const Settings& s, const std::vector<int16_t>& pcm, int quality,
                            int lowpass = 0) {
  lame_global_flags* gf = lame_init();
  const bool mono = s.mode == BE_MP3_MODE_MONO;
  const MPEG_mode modes[] = {STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO};
  lame_set_num_channels(gf, mono ? 1 : 2);
  lame_set_mode(gf, modes[s.mode]);
  lame_set_in_samplerate(gf, static_cast<int>(s.inRate));
  lame_set_out_samplerate(gf, static_cast<int>(s.outRate));
  lame_set_brate(gf, static_cast<int>(s.kbps));
  lame_set_quality(gf, quality);
  if (lowpass) lame_set_lowpassfreq(gf, lowpass);
  lame_set_original(gf, 1);
  lame_set_bWriteVbrTag(gf, 0);
  EXPECT_GE(lame_init_params(gf), 0);
  const int frames = static_cast<int>(mono ? pcm.size() : pcm.size() / 2);
  std::vector<uint8_t> out(frames * 5 / 4 + 7200 + 7200);
  std::vector<int16_t> copy(pcm);
  int n =
      mono
          ? lame_encode_buffer(gf, copy.data(), copy.data(), frames, out.data(), static_cast<int>(out.size()))
          : lame_encode_buffer_interleaved(gf, copy.data(), frames, out.data(), static_cast<int>(out.size()));
  EXPECT_GE(n, 0);
  int m = lame_encode_flush(gf, out.data() + n, static_cast<int>(out.size()) - n);
  EXPECT_GE(m, 0);
  out.resize(n + m);
  lame_close(gf);
  return out;
}

// Through the stream calls, in chunks of the given sizes (cycled), the last one short.
std::vector<uint8_t> streamed(const Settings& s, const std::vector<int16_t>& pcm,
                              std::vector<uint32_t> sizes = {}) {
  const EncoderConfig c = makeConfig(s);
  uint32_t chunk = 0, outSize = 0, handle = 0;
  EXPECT_EQ(beInitStream(&c, &chunk, &outSize, &handle), BE_ERR_SUCCESSFUL);
  if (sizes.empty()) sizes.push_back(chunk);
  std::vector<uint8_t> buffer(outSize), mp3;
  size_t done = 0, k = 0;
  while (done < pcm.size()) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(sizes[k++ % sizes.size()], pcm.size() - done));
    uint32_t produced = 0;
    EXPECT_EQ(beEncodeChunk(handle, n, pcm.data() + done, buffer.data(), &produced), BE_ERR_SUCCESSFUL);
    EXPECT_LE(produced, outSize);
    mp3.insert(mp3.end(), buffer.begin(), buffer.begin() + produced);
    done += n;
  }
  uint32_t produced = 0;
  EXPECT_EQ(beDeinitStream(handle, buffer.data(), &produced), BE_ERR_SUCCESSFUL);
  mp3.insert(mp3.end(), buffer.begin(), buffer.begin() + produced);
  EXPECT_EQ(beCloseStream(handle), BE_ERR_SUCCESSFUL);
  return mp3;
}

TEST(SvencodeBytes, JointStereoMatchesDirectLame) {
  Settings s;
  const auto pcm = signal(44100 * 3 + 333, 2);
  const auto expected = direct(s, pcm, 5);
  ASSERT_GT(expected.size(), 40000u);  // about 3 s at 128 kbit/s
  EXPECT_EQ(streamed(s, pcm), expected);
}

TEST(SvencodeBytes, StereoAndDualChannelAndResamplingMatchDirectLame) {
  Settings stereo{48000, 48000, BE_MP3_MODE_STEREO, 192, LQP_NORMAL_QUALITY, BE_MPEG1};
  auto pcm = signal(48000 * 2, 2, 11);
  EXPECT_EQ(streamed(stereo, pcm), direct(stereo, pcm, 5));

  Settings dual{44100, 44100, BE_MP3_MODE_DUALCHANNEL, 256, LQP_NORMAL_QUALITY, BE_MPEG1};
  pcm = signal(44100 * 2, 2, 12);
  EXPECT_EQ(streamed(dual, pcm), direct(dual, pcm, 5));

  Settings down{44100, 32000, BE_MP3_MODE_JSTEREO, 96, LQP_NORMAL_QUALITY, BE_MPEG1};
  EXPECT_EQ(streamed(down, pcm), direct(down, pcm, 5));

  Settings mpeg2{44100, 22050, BE_MP3_MODE_JSTEREO, 64, LQP_NORMAL_QUALITY, BE_MPEG2};
  EXPECT_EQ(streamed(mpeg2, pcm), direct(mpeg2, pcm, 5));
}

TEST(SvencodeBytes, MonoTakesOneChannelAndMatchesDirectLame) {
  Settings s{44100, 44100, BE_MP3_MODE_MONO, 64, LQP_NORMAL_QUALITY, BE_MPEG1};
  const auto pcm = signal(44100 * 2 + 5, 1, 3);
  const auto expected = direct(s, pcm, 5);
  EXPECT_EQ(streamed(s, pcm), expected);
  EXPECT_EQ(streamed(s, pcm, {1000, 7, 1152}), expected);
}

TEST(SvencodeBytes, ChunkingDoesNotChangeTheStream) {
  Settings s;
  const auto pcm = signal(44100 * 2, 2, 5);
  const auto expected = direct(s, pcm, 5);
  // Odd counts split a stereo pair between two calls; the pair must stay together.
  EXPECT_EQ(streamed(s, pcm, {1, 2303, 17, 2304, 0, 999}), expected);
  EXPECT_EQ(streamed(s, pcm, {1176}), expected);  // one CD frame per call
}

TEST(SvencodeBytes, PresetsUseTheirDocumentedSettings) {
  const auto pcm = signal(44100 * 2, 2, 9);
  Settings s;
  s.preset = LQP_LOW_QUALITY;
  EXPECT_EQ(streamed(s, pcm), direct(s, pcm, 7));
  s.preset = LQP_HIGH_QUALITY;
  EXPECT_EQ(streamed(s, pcm), direct(s, pcm, 2));
  s.preset = LQP_PHONE;
  EXPECT_EQ(streamed(s, pcm), direct(s, pcm, 5, 3400));
  s.preset = LQP_STUDIO;
  EXPECT_EQ(streamed(s, pcm), direct(s, pcm, 0, -1));
  s.preset = LQP_NOPRESET;
  EXPECT_EQ(streamed(s, pcm), direct(s, pcm, 5));
  // Low and normal differ, so the preset does reach the encoder.
  s.preset = LQP_LOW_QUALITY;
  const auto low = streamed(s, pcm);
  s.preset = LQP_NORMAL_QUALITY;
  EXPECT_NE(low, streamed(s, pcm));
}

TEST(SvencodeBytes, QualityFieldOverridesThePreset) {
  const auto pcm = signal(44100, 2, 4);
  Settings s;
  s.preset = LQP_LOW_QUALITY;
  EncoderConfig c = makeConfig(s);
  c.quality = 0xFD02;  // complement pair: quality 2
  uint32_t chunk, outSize, handle;
  ASSERT_EQ(beInitStream(&c, &chunk, &outSize, &handle), 0);
  std::vector<uint8_t> out(outSize), mp3;
  for (size_t done = 0; done < pcm.size();) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(chunk, pcm.size() - done));
    uint32_t p = 0;
    ASSERT_EQ(beEncodeChunk(handle, n, pcm.data() + done, out.data(), &p), 0);
    mp3.insert(mp3.end(), out.begin(), out.begin() + p);
    done += n;
  }
  uint32_t p = 0;
  ASSERT_EQ(beDeinitStream(handle, out.data(), &p), 0);
  mp3.insert(mp3.end(), out.begin(), out.begin() + p);
  EXPECT_EQ(beCloseStream(handle), 0);
  EXPECT_EQ(mp3, direct(s, pcm, 2));
}

// Variable bit rate through the record, against LAME set up by hand.
std::vector<uint8_t> directVbr(const std::vector<int16_t>& pcm, vbr_mode mode, int q, int minKbps,
                               int meanKbps) {
  lame_global_flags* gf = lame_init();
  lame_set_num_channels(gf, 2);
  lame_set_mode(gf, JOINT_STEREO);
  lame_set_in_samplerate(gf, 44100);
  lame_set_out_samplerate(gf, 44100);
  lame_set_VBR(gf, mode);
  if (mode == vbr_abr) lame_set_VBR_mean_bitrate_kbps(gf, meanKbps);
  lame_set_VBR_q(gf, q);
  lame_set_VBR_min_bitrate_kbps(gf, minKbps);
  lame_set_quality(gf, 5);
  lame_set_original(gf, 1);
  lame_set_bWriteVbrTag(gf, 0);
  EXPECT_GE(lame_init_params(gf), 0);
  std::vector<int16_t> copy(pcm);
  std::vector<uint8_t> out(pcm.size() + 20000);
  const int n = lame_encode_buffer_interleaved(gf, copy.data(), static_cast<int>(pcm.size() / 2), out.data(),
                                               static_cast<int>(out.size()));
  const int m = lame_encode_flush(gf, out.data() + n, static_cast<int>(out.size()) - n);
  out.resize(n + m);
  lame_close(gf);
  return out;
}

TEST(SvencodeBytes, VariableAndAverageBitRate) {
  const auto pcm = signal(44100 * 2, 2, 6);
  auto encode = [&](int32_t method, int32_t q, uint32_t minKbps, uint32_t abrBps) {
    EncoderConfig c = makeConfig({});
    c.enableVbr = -1;
    c.vbrMethod = method;
    c.vbrQuality = q;
    c.bitrate = minKbps;
    c.vbrAbrBps = abrBps;
    uint32_t chunk, outSize, handle;
    EXPECT_EQ(beInitStream(&c, &chunk, &outSize, &handle), 0);
    std::vector<uint8_t> out(outSize), mp3;
    for (size_t done = 0; done < pcm.size();) {
      const uint32_t n = static_cast<uint32_t>(std::min<size_t>(chunk, pcm.size() - done));
      uint32_t p = 0;
      EXPECT_EQ(beEncodeChunk(handle, n, pcm.data() + done, out.data(), &p), 0);
      mp3.insert(mp3.end(), out.begin(), out.begin() + p);
      done += n;
    }
    uint32_t p = 0;
    EXPECT_EQ(beDeinitStream(handle, out.data(), &p), 0);
    mp3.insert(mp3.end(), out.begin(), out.begin() + p);
    EXPECT_EQ(beCloseStream(handle), 0);
    return mp3;
  };
  EXPECT_EQ(encode(VBR_METHOD_NEW, 4, 32, 0), directVbr(pcm, vbr_mtrh, 4, 32, 0));
  EXPECT_EQ(encode(VBR_METHOD_OLD, 2, 64, 0), directVbr(pcm, vbr_rh, 2, 64, 0));
  EXPECT_EQ(encode(VBR_METHOD_ABR, 5, 32, 160000), directVbr(pcm, vbr_abr, 5, 32, 160));
  // VBR and CBR streams differ, so the switch does reach the encoder.
  EXPECT_NE(encode(VBR_METHOD_NEW, 4, 32, 0), streamed(Settings{}, pcm));
  uint32_t chunk, outSize, handle;
  EncoderConfig c = makeConfig({});
  c.enableVbr = -1;
  c.vbrMethod = 9;
  EXPECT_EQ(beInitStream(&c, &chunk, &outSize, &handle), BE_ERR_INVALID_FORMAT_PARAMETERS);
  c.vbrMethod = VBR_METHOD_ABR;
  c.vbrAbrBps = 500;
  EXPECT_EQ(beInitStream(&c, &chunk, &outSize, &handle), BE_ERR_INVALID_FORMAT_PARAMETERS);
}

TEST(SvencodeBytes, InterleavedStreamsStayIndependent) {
  Settings a;
  Settings b{44100, 44100, BE_MP3_MODE_MONO, 64, LQP_NORMAL_QUALITY, BE_MPEG1};
  const auto pa = signal(44100, 2, 1), pb = signal(44100, 1, 2);
  const EncoderConfig ca = makeConfig(a), cb = makeConfig(b);
  uint32_t na, nb, oa, ob, ha, hb;
  ASSERT_EQ(beInitStream(&ca, &na, &oa, &ha), 0);
  ASSERT_EQ(beInitStream(&cb, &nb, &ob, &hb), 0);
  EXPECT_NE(ha, hb);
  std::vector<uint8_t> ba(oa), bb(ob), ma, mb;
  size_t da = 0, db = 0;
  while (da < pa.size() || db < pb.size()) {
    uint32_t p = 0;
    if (da < pa.size()) {
      const uint32_t n = static_cast<uint32_t>(std::min<size_t>(na, pa.size() - da));
      ASSERT_EQ(beEncodeChunk(ha, n, pa.data() + da, ba.data(), &p), 0);
      ma.insert(ma.end(), ba.begin(), ba.begin() + p);
      da += n;
    }
    if (db < pb.size()) {
      const uint32_t n = static_cast<uint32_t>(std::min<size_t>(nb, pb.size() - db));
      ASSERT_EQ(beEncodeChunk(hb, n, pb.data() + db, bb.data(), &p), 0);
      mb.insert(mb.end(), bb.begin(), bb.begin() + p);
      db += n;
    }
  }
  uint32_t p = 0;
  ASSERT_EQ(beDeinitStream(ha, ba.data(), &p), 0);
  ma.insert(ma.end(), ba.begin(), ba.begin() + p);
  ASSERT_EQ(beDeinitStream(hb, bb.data(), &p), 0);
  mb.insert(mb.end(), bb.begin(), bb.begin() + p);
  EXPECT_EQ(beCloseStream(ha), 0);
  EXPECT_EQ(beCloseStream(hb), 0);
  EXPECT_EQ(ma, direct(a, pa, 5));
  EXPECT_EQ(mb, direct(b, pb, 5));
}

TEST(SvencodeLayout, ChunkIsOneFrameOfAllChannels) {
  struct Case {
    Settings s;
    uint32_t frameLength;
    uint32_t channels;
  } cases[] = {
      {{44100, 44100, BE_MP3_MODE_JSTEREO, 128, 0, BE_MPEG1}, 1152, 2},
      {{44100, 48000, BE_MP3_MODE_STEREO, 128, 0, BE_MPEG1}, 1152, 2},
      {{44100, 44100, BE_MP3_MODE_MONO, 64, 0, BE_MPEG1}, 1152, 1},
      {{44100, 22050, BE_MP3_MODE_JSTEREO, 64, 0, BE_MPEG2}, 576, 2},
      {{44100, 11025, BE_MP3_MODE_MONO, 32, 0, BE_MPEG2}, 576, 1},
  };
  for (const auto& k : cases) {
    const EncoderConfig c = makeConfig(k.s);
    uint32_t chunk = 0, outSize = 0, handle = 0;
    ASSERT_EQ(beInitStream(&c, &chunk, &outSize, &handle), BE_ERR_SUCCESSFUL) << k.s.outRate;
    EXPECT_EQ(chunk, k.frameLength * k.channels) << k.s.outRate << " mode " << k.s.mode;
    // LAME's documented worst case for one call's output, and room for the final flush.
    EXPECT_GE(outSize, k.frameLength * 5 / 4 + 7200);
    EXPECT_EQ(beCloseStream(handle), BE_ERR_SUCCESSFUL);
  }
}

TEST(SvencodeErrors, RecordKindVersionAndSize) {
  uint32_t chunk, outSize, handle;
  EncoderConfig c = makeConfig({});
  c.configKind = 0;
  EXPECT_EQ(beInitStream(&c, &chunk, &outSize, &handle), BE_ERR_INVALID_FORMAT);
  c = makeConfig({});
  c.structSize = 330;
  EXPECT_EQ(beInitStream(&c, &chunk, &outSize, &handle), BE_ERR_INVALID_FORMAT);
  c = makeConfig({});
  c.structVersion = 0;
  EXPECT_EQ(beInitStream(&c, &chunk, &outSize, &handle), BE_ERR_INVALID_FORMAT);
}

TEST(SvencodeErrors, UnusableSettings) {
  uint32_t chunk, outSize, handle;
  auto rejects = [&](auto change) {
    EncoderConfig c = makeConfig({});
    change(c);
    return beInitStream(&c, &chunk, &outSize, &handle) == BE_ERR_INVALID_FORMAT_PARAMETERS;
  };
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.bitrate = 100; }));
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.bitrate = 0; }));
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.mode = 4; }));
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.mode = -1; }));
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.preset = 42; }));
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.sampleRate = 0; }));
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.outSampleRate = 22050; }));  // not MPEG-1
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.outSampleRate = 44000; }));
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.mpegVersion = 2; }));
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.emphasis = 2; }));
  EXPECT_TRUE(rejects([](EncoderConfig& c) { c.quality = 0xF50A; }));   // complement, but 10
  EXPECT_FALSE(rejects([](EncoderConfig& c) { c.quality = 0x1234; }));  // not an override
  EXPECT_EQ(beCloseStream(handle), BE_ERR_SUCCESSFUL);
  const EncoderConfig good = makeConfig({});
  EXPECT_EQ(beInitStream(nullptr, &chunk, &outSize, &handle), BE_ERR_INVALID_FORMAT_PARAMETERS);
  EXPECT_EQ(beInitStream(&good, nullptr, &outSize, &handle), BE_ERR_INVALID_FORMAT_PARAMETERS);
  EXPECT_EQ(beInitStream(&good, &chunk, &outSize, nullptr), BE_ERR_INVALID_FORMAT_PARAMETERS);
}

TEST(SvencodeErrors, HandlesAndBufferSize) {
  const EncoderConfig c = makeConfig({});
  uint32_t chunk, outSize, handle;
  ASSERT_EQ(beInitStream(&c, &chunk, &outSize, &handle), 0);
  std::vector<int16_t> pcm(chunk + 2, 100);
  std::vector<uint8_t> out(outSize);
  uint32_t produced = 0;
  EXPECT_EQ(beEncodeChunk(handle, chunk + 1, pcm.data(), out.data(), &produced), BE_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(beEncodeChunk(handle, chunk, pcm.data(), out.data(), &produced), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(beEncodeChunk(handle, chunk, nullptr, out.data(), &produced), BE_ERR_INVALID_FORMAT_PARAMETERS);
  EXPECT_EQ(beEncodeChunk(handle + 1000, chunk, pcm.data(), out.data(), &produced), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(beEncodeChunk(0, chunk, pcm.data(), out.data(), &produced), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(beDeinitStream(handle, out.data(), &produced), BE_ERR_SUCCESSFUL);
  EXPECT_GT(produced, 0u);
  // A finished stream takes no more samples; closing it still works once.
  EXPECT_EQ(beEncodeChunk(handle, chunk, pcm.data(), out.data(), &produced), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(beDeinitStream(handle, out.data(), &produced), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(beCloseStream(handle), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(beCloseStream(handle), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(beDeinitStream(handle, out.data(), &produced), BE_ERR_INVALID_HANDLE);
}

TEST(SvencodeErrors, NoMoreHandlesWhileTheTableIsFull) {
  const EncoderConfig c = makeConfig({});
  uint32_t chunk, outSize;
  std::vector<uint32_t> handles;
  for (int i = 0; i < SVENCODE_MAX_STREAMS; ++i) {
    uint32_t h = 0;
    ASSERT_EQ(beInitStream(&c, &chunk, &outSize, &h), BE_ERR_SUCCESSFUL) << i;
    handles.push_back(h);
  }
  uint32_t extra = 0;
  EXPECT_EQ(beInitStream(&c, &chunk, &outSize, &extra), BE_ERR_NO_MORE_HANDLES);
  EXPECT_EQ(beCloseStream(handles.back()), 0);
  handles.pop_back();
  ASSERT_EQ(beInitStream(&c, &chunk, &outSize, &extra), BE_ERR_SUCCESSFUL);
  for (uint32_t h : handles) EXPECT_NE(h, extra);  // handles are not reused
  handles.push_back(extra);
  for (uint32_t h : handles) EXPECT_EQ(beCloseStream(h), 0);
}

}  // namespace

// --- nothing leaves the C boundary as an exception -------------------------------------------

namespace {
// Allocations of this program fail from the Nth one on while armed (-1: never).
int gAllocationsLeft = -1;
}  // namespace

// The replacement pair works on malloc and free, which the compiler cannot see through.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (gAllocationsLeft == 0) throw std::bad_alloc();
  if (gAllocationsLeft > 0) --gAllocationsLeft;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

TEST(NoThrowBoundary, RunningOutOfMemoryAtAnyAllocationGivesAnErrorCode) {
  const EncoderConfig config = makeConfig(Settings{});
  int refused = 0;
  for (int allowed = 0; allowed < 8; ++allowed) {
    uint32_t chunk = 0, size = 0, stream = 0;
    gAllocationsLeft = allowed;
    const int32_t result = beInitStream(&config, &chunk, &size, &stream);
    gAllocationsLeft = -1;
    if (result == BE_ERR_SUCCESSFUL) {
      EXPECT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
    } else {
      EXPECT_EQ(result, BE_ERR_NO_MORE_HANDLES) << "after " << allowed << " allocations";
      ++refused;
    }
  }
  EXPECT_GE(refused, 2) << "the stream record and its table entry both allocate";
  // Afterwards the encoder works as before.
  uint32_t chunk = 0, size = 0, stream = 0;
  ASSERT_EQ(beInitStream(&config, &chunk, &size, &stream), BE_ERR_SUCCESSFUL);
  std::vector<int16_t> pcm(chunk, 100);
  std::vector<uint8_t> out(size);
  uint32_t produced = 0;
  gAllocationsLeft = 0;
  EXPECT_EQ(beEncodeChunk(stream, chunk, pcm.data(), out.data(), &produced), BE_ERR_SUCCESSFUL)
      << "a chunk allocates nothing";
  gAllocationsLeft = -1;
  EXPECT_EQ(beDeinitStream(stream, out.data(), &produced), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
}

}  // namespace
