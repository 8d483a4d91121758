// Stream facts of the MPEG codec while decoding: attributes, bit-rate average, duration
// estimate, time in whole seconds, and free format.
#include <gtest/gtest.h>

#include <cmath>

#include "decoder.h"
#include "layer3_support.h"

namespace {

using namespace l3_test;

int32_t Attribute(svd::Decoder* d, const char* name) {
  svd::AttributeValue v;
  EXPECT_EQ(d->status_attributes.Get(name, &v), 0) << name;
  return v.integer;
}

struct Opened {
  svd::Decoder* d = nullptr;
  explicit Opened(const fs::path& file) {
    CreateDecoder();
    RegisterInputModule();
    RegisterOutputModule();
    d = svd::CurrentDecoder();
    EXPECT_EQ(Mp3InputOpen(file.c_str()), 0);
    EXPECT_EQ(WaveOutputOpen(("wav:" + file.string() + ".wav").c_str()), 0);
  }
  ~Opened() {
    Mp3InputClose();
    WaveOutputClose();
    DeleteDecoder();
  }
};

TEST(CodecFacts, AttributesFollowTheStream) {
  const Signal source = Tones(8000, 1.0, {300.0});
  EncodeOptions o;
  o.kbps = 16;
  Save(Scratch("m25.mp3"), EncodeMp3(source, o).bytes);
  Opened s(Scratch("m25.mp3"));
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(Attribute(s.d, "mpeg/level"), 0);  // MPEG-2.5
  EXPECT_EQ(Attribute(s.d, "mpeg/layer"), 3);
  EXPECT_EQ(Attribute(s.d, "mpeg/mode"), 3);  // single channel
  EXPECT_EQ(s.d->status.channels, 1);
  EXPECT_EQ(s.d->status.sample_rate, 8000);
  EXPECT_STREQ(s.d->status.stream_type, "audio/mpeg");
}

// A variable-rate stream without a VBR header: the running average comes close to the real
// average rate, and the duration estimate close to the real length.
TEST(CodecFacts, AverageBitRateAndDurationOfVariableRateStream) {
  const Signal source = Sweep(44100, 20.0, 2, 60, 16000);
  lame_global_flags* gf = lame_init();
  lame_set_num_channels(gf, 2);
  lame_set_in_samplerate(gf, 44100);
  lame_set_VBR(gf, vbr_default);
  lame_set_VBR_quality(gf, 4);
  lame_set_bWriteVbrTag(gf, 0);
  ASSERT_EQ(lame_init_params(gf), 0);
  std::vector<uint8_t> out(source.pcm.size() * 2 + 8192);
  int n = lame_encode_buffer_interleaved(gf, const_cast<short*>(source.pcm.data()),
                                         static_cast<int>(source.frames()), out.data(),
                                         static_cast<int>(out.size()));
  n += lame_encode_flush(gf, out.data() + n, static_cast<int>(out.size()) - n);
  lame_close(gf);
  out.resize(static_cast<size_t>(n));
  Save(Scratch("vbr.mp3"), out);

  Opened s(Scratch("vbr.mp3"));
  int frames = 0;
  while (Mp3DecodePlay() == 0) ++frames;
  const double seconds = frames * 1152.0 / 44100.0;
  const double real_kbps = out.size() * 8.0 / seconds / 1000.0;
  EXPECT_NEAR(s.d->status.bit_rate, real_kbps, real_kbps * 0.15);
  EXPECT_NEAR(s.d->status.duration_ms, seconds * 1000.0, seconds * 1000.0 * 0.1);
}

// Time is reported in whole seconds: 61.75 s of stream reads as 61.
TEST(CodecFacts, TimeIsTruncatedToWholeSeconds) {
  // A Xing frame that claims 2640 frames (68963 ms), then silent frames.
  std::vector<uint8_t> frame(417, 0);
  frame[0] = 0xFF;
  frame[1] = 0xFB;
  frame[2] = 0x90;
  frame[3] = 0x00;
  std::vector<uint8_t> file = frame;
  const uint8_t xing[] = {'X', 'i', 'n', 'g', 0, 0, 0, 1, 0, 0, 0x0A, 0x50};
  std::copy(std::begin(xing), std::end(xing), file.begin() + 36);
  for (int i = 0; i < 2639; ++i) file.insert(file.end(), frame.begin(), frame.end());
  Save(Scratch("time.mp3"), file);
  Opened s(Scratch("time.mp3"));
  ASSERT_EQ(s.d->status.duration_ms, 68963u);
  int upper_halves = 0;
  while (Mp3DecodePlay() == 0) {
    const float t = 68963.0f * GetCurrentPosition() * 0.001f;
    const double whole = GetCurrentTimeSecond();
    EXPECT_EQ(whole, std::floor(whole));
    const float frac = t - std::floor(t);
    if (frac > 0.01f && frac < 0.99f) {
      EXPECT_EQ(whole, std::floor(t)) << t;
      if (frac >= 0.5f) ++upper_halves;
    }
  }
  EXPECT_GT(upper_halves, 100);
}

// Free format (bit-rate index 0) is searched through and yields nothing.
TEST(CodecFacts, FreeFormatYieldsNoFrames) {
  std::vector<uint8_t> file;
  for (int i = 0; i < 20; ++i) {
    std::vector<uint8_t> f(300, 0);
    f[0] = 0xFF;
    f[1] = 0xFB;
    f[2] = 0x00;
    f[3] = 0x00;  // index 0, 44.1 kHz
    file.insert(file.end(), f.begin(), f.end());
  }
  Save(Scratch("free.mp3"), file);
  const Decoded d = DecodeThroughExports(Scratch("free.mp3"));
  EXPECT_EQ(d.frames, 0);
  EXPECT_EQ(d.last, SVD_E_END_OF_INPUT);
  EXPECT_TRUE(d.out.pcm.empty());
}

}  // namespace
