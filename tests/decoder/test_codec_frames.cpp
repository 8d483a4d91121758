// The MPEG codec's frame stream: header rules and frame lengths, the stream head (ID3v2 tag,
// Xing header), rate reduction and channel selection, junk, seeking and damaged streams.
#include <gtest/gtest.h>

#include <random>

#include "decoder.h"
#include "frame.h"
#include "layer3_support.h"
#include "module.h"
#include "svdecode_core.h"

namespace {

using namespace l3_test;
using svd::FrameHeader;

// Header word: MPEG-1 Layer III without CRC, the given bit-rate and sampling index.
constexpr uint32_t Mpeg1Layer3(int bitrate_index, int sampling_index, int padding, int mode) {
  return 0xFFFA0000u | 0x10000u | uint32_t(bitrate_index) << 12 | uint32_t(sampling_index) << 10 |
         uint32_t(padding) << 9 | uint32_t(mode) << 6;
}

TEST(CodecFrameHeader, LengthsWithAndWithoutPadding) {
  const FrameHeader a = FrameHeader::Unpack(Mpeg1Layer3(9, 0, 0, 0));  // 128 kbit/s, 44.1 kHz
  ASSERT_TRUE(a.Check());
  EXPECT_EQ(a.bit_rate(), 128);
  EXPECT_EQ(a.sample_rate(), 44100);
  EXPECT_EQ(a.frame_length(), 417);
  EXPECT_EQ(FrameHeader::Unpack(Mpeg1Layer3(9, 0, 1, 0)).frame_length(), 418);
  const FrameHeader b = FrameHeader::Unpack(Mpeg1Layer3(9, 1, 0, 0));  // 48 kHz
  ASSERT_TRUE(b.Check());
  EXPECT_EQ(b.frame_length(), 384);
  EXPECT_FALSE(FrameHeader::Unpack(Mpeg1Layer3(9, 1, 1, 0)).Check());  // padded 48 kHz refused
  EXPECT_FALSE(FrameHeader::Unpack(Mpeg1Layer3(9, 2, 1, 0)).Check());  // and 32 kHz
  EXPECT_EQ(a.side_info_length(), 32);
  EXPECT_EQ(FrameHeader::Unpack(Mpeg1Layer3(9, 0, 0, 3)).side_info_length(), 17);
  EXPECT_EQ(a.samples_per_frame(), 1152);
}

TEST(CodecFrameHeader, RefusedHeaders) {
  EXPECT_FALSE(FrameHeader::Unpack(Mpeg1Layer3(0, 0, 0, 0)).Check());   // free format
  EXPECT_FALSE(FrameHeader::Unpack(Mpeg1Layer3(15, 0, 0, 0)).Check());  // bad bit rate
  EXPECT_FALSE(FrameHeader::Unpack(Mpeg1Layer3(9, 3, 0, 0)).Check());   // reserved rate
  EXPECT_FALSE(FrameHeader::Unpack(0xFFF89000u).Check());               // layer 0
  EXPECT_FALSE(FrameHeader::Unpack(0xFFEC9000u).Check());               // MPEG-2.5 Layer II
  EXPECT_FALSE(FrameHeader::Unpack(0xFFEA9000u | 0x80000u).Check());    // reserved version
  // MPEG-1 Layer II: 32 kbit/s only in single channel, 224 kbit/s only with two channels.
  EXPECT_FALSE(FrameHeader::Unpack(0xFFFC1000u).Check());
  EXPECT_TRUE(FrameHeader::Unpack(0xFFFC10C0u).Check());
  EXPECT_FALSE(FrameHeader::Unpack(0xFFFCB0C0u).Check());
  EXPECT_TRUE(FrameHeader::Unpack(0xFFFCB000u).Check());
}

TEST(CodecFrameHeader, LowerRatesAndLayers) {
  // MPEG-2.5 Layer III, 8 kHz, 8 kbit/s, single channel.
  const FrameHeader h = FrameHeader::Unpack(0xFFE218C0u);
  ASSERT_TRUE(h.Check());
  EXPECT_EQ(h.version, svd::kMpeg25);
  EXPECT_EQ(h.sample_rate(), 8000);
  EXPECT_EQ(h.bit_rate(), 8);
  EXPECT_EQ(h.samples_per_frame(), 576);
  EXPECT_EQ(h.frame_length(), 72);
  EXPECT_EQ(h.side_info_length(), 9);
  EXPECT_EQ(h.level(), 0);
  // MPEG-2 Layer III, 22.05 kHz, 64 kbit/s: 64 * 72000 / 22050.
  const FrameHeader m2 = FrameHeader::Unpack(0xFFF28000u);
  ASSERT_TRUE(m2.Check());
  EXPECT_EQ(m2.frame_length(), 208);
  EXPECT_EQ(m2.side_info_length(), 17);
  // Layer I, 44.1 kHz, 384 kbit/s, with padding: 4 slots more.
  const FrameHeader l1 = FrameHeader::Unpack(0xFFFEC200u);
  ASSERT_TRUE(l1.Check());
  EXPECT_EQ(l1.frame_length(), 4 * (384 * 12000 / 44100) + 4);
}

// A silent MPEG-1 Layer III frame (128 kbit/s, 44.1 kHz, stereo): zero side information.
std::vector<uint8_t> SilentFrame() {
  std::vector<uint8_t> f(417, 0);
  f[0] = 0xFF;
  f[1] = 0xFB;
  f[2] = 0x90;
  f[3] = 0x00;
  return f;
}

struct Session {
  svd::Decoder* d = nullptr;
  explicit Session(const fs::path& file, int reduction = 0, int selection = 0) {
    EXPECT_EQ(CreateDecoder(), 0);
    RegisterInputModule();
    RegisterOutputModule();
    d = svd::CurrentDecoder();
    d->parameters.word1 = selection;
    d->parameters.word2 = reduction;
    EXPECT_EQ(Mp3InputOpen(file.c_str()), 0);
    EXPECT_EQ(WaveOutputOpen(("wav:" + file.string() + ".wav").c_str()), 0);
  }
  ~Session() {
    Mp3InputClose();
    WaveOutputClose();
    DeleteDecoder();
  }
};

TEST(CodecStreamHead, XingFrameCountGivesDuration) {
  std::vector<uint8_t> file = SilentFrame();
  const uint8_t xing[] = {'X', 'i', 'n', 'g', 0, 0, 0, 1, 0, 0, 0x03, 0xE8};  // 1000 frames
  std::copy(std::begin(xing), std::end(xing), file.begin() + 36);
  for (int i = 0; i < 5; ++i) {
    const auto f = SilentFrame();
    file.insert(file.end(), f.begin(), f.end());
  }
  const fs::path path = Scratch("xing.mp3");
  Save(path, file);
  Session s(path);
  EXPECT_EQ(s.d->status.duration_ms, 26122u);  // 1000 × 1152 / 44.1 ms
  EXPECT_EQ(s.d->status.bit_rate, static_cast<int32_t>(file.size() / 26122 * 8));
  EXPECT_EQ(s.d->status.sample_rate, 44100);
  EXPECT_EQ(s.d->status.channels, 2);
  // The header frame holds no audio: five steps for the five frames behind it.
  for (int i = 0; i < 5; ++i) ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_END_OF_INPUT);
  EXPECT_EQ(s.d->status.duration_ms, 26122u);  // the header's facts stand
}

TEST(CodecStreamHead, Id3v2TagIsSkipped) {
  const Signal source = Sweep(44100, 2.0, 2, 100, 8000);
  const Encoded mp3 = EncodeMp3(source, {});
  std::vector<uint8_t> tagged = Id3v2Tag(4096);  // size field 4086
  EXPECT_EQ(tagged[9] | tagged[8] << 7, 4086);
  tagged.insert(tagged.end(), mp3.bytes.begin(), mp3.bytes.end());
  const fs::path plain = Scratch("plain.mp3"), with_tag = Scratch("tagged.mp3");
  Save(plain, mp3.bytes);
  Save(with_tag, tagged);
  {
    Session s(with_tag);
    const auto& codec = s.d->codec.module->descriptor;
    EXPECT_EQ(codec.offset_to_position(s.d->codec.instance.get(), 4096), 0.0f);
    EXPECT_FLOAT_EQ(codec.offset_to_position(s.d->codec.instance.get(),
                                             4096 + static_cast<int64_t>(mp3.bytes.size()) / 2),
                    0.5f);
    EXPECT_EQ(GetCurrentPosition(), 0.0f);
    // Duration from the audio bytes alone: bytes ÷ (128 ÷ 8) ms.
    EXPECT_EQ(s.d->status.duration_ms, static_cast<uint32_t>(mp3.bytes.size() / 16));
  }
  const Decoded a = DecodeThroughExports(plain);
  const Decoded b = DecodeThroughExports(with_tag);
  EXPECT_EQ(a.frames, b.frames);
  EXPECT_EQ(a.out.pcm, b.out.pcm);
}

TEST(CodecStreamHead, Id3v24FootersAndSeveralTagsAreSkipped) {
  // A LAME-made stream with its encoder tag: the length is the source's, to the sample.
  const Signal source = Sweep(44100, 1.5, 2, 100, 8000);
  EncodeOptions o;
  o.xing = true;
  const Encoded mp3 = EncodeMp3(source, o);
  const fs::path plain = Scratch("plain.mp3");
  Save(plain, mp3.bytes);
  uint32_t plain_ms = 0;
  {
    Session s(plain);
    plain_ms = s.d->status.duration_ms;
  }
  EXPECT_EQ(plain_ms, source.frames() * 1000 / 44100);
  const Decoded reference = DecodeThroughExports(plain);
  ASSERT_EQ(reference.out.frames(), source.frames());

  const std::vector<uint8_t> v24 = Id3v2TagHoldingFrames(4, true), v23 = Id3v2TagHoldingFrames(3, false);
  const std::vector<uint8_t> v24_plain = Id3v2TagHoldingFrames(4, false);
  EXPECT_EQ(svdecode::Decoder::Id3v2Length(v24.data(), v24.size()), static_cast<int64_t>(v24.size()));
  EXPECT_EQ(svdecode::Decoder::Id3v2Length(v24_plain.data(), 10), static_cast<int64_t>(v24_plain.size()));
  // Version 3 has no footer: a stray 0x10 flag adds nothing.
  std::vector<uint8_t> v23_flagged = v23;
  v23_flagged[5] = 0x10;
  EXPECT_EQ(svdecode::Decoder::Id3v2Length(v23_flagged.data(), 10), static_cast<int64_t>(v23.size()));

  const struct {
    const char* name;
    std::vector<std::vector<uint8_t>> tags;
  } cases[] = {{"v2.4 with footer", {v24}},
               {"v2.3, then v2.4 with footer", {v23, v24}},
               {"three tags", {v24, v23, v24_plain}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file;
    for (const auto& tag : c.tags) file.insert(file.end(), tag.begin(), tag.end());
    const int64_t tags = static_cast<int64_t>(file.size());
    file.insert(file.end(), mp3.bytes.begin(), mp3.bytes.end());
    const fs::path path = Scratch("tagged.mp3");
    Save(path, file);
    {
      Session s(path);
      EXPECT_EQ(s.d->status.duration_ms, plain_ms);
      const auto& codec = s.d->codec.module->descriptor;
      EXPECT_EQ(codec.offset_to_position(s.d->codec.instance.get(), tags), 0.0f);
      EXPECT_EQ(GetCurrentPosition(), 0.0f);
    }
    const Decoded d = DecodeThroughExports(path);
    EXPECT_EQ(d.frames, reference.frames) << "no frame of a tag is decoded";
    EXPECT_EQ(d.out.pcm, reference.out.pcm);
  }
}

TEST(CodecStreamHead, ShortFileHasNoFactsUntilDecoded) {
  // Two MPEG-2.5 frames of 72 bytes: 144 bytes, less than the 152-byte stream head.
  std::vector<uint8_t> file;
  for (int i = 0; i < 2; ++i) {
    std::vector<uint8_t> f(72, 0);
    f[0] = 0xFF;
    f[1] = 0xE2;
    f[2] = 0x18;
    f[3] = 0xC0;
    file.insert(file.end(), f.begin(), f.end());
  }
  const fs::path path = Scratch("short.mp3");
  Save(path, file);
  Session s(path);
  EXPECT_EQ(s.d->status.sample_rate, 0);
  EXPECT_EQ(s.d->status.duration_ms, 0u);
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(s.d->output_buffer.sample_count, 576);
  EXPECT_EQ(s.d->output_buffer.sample_rate, 8000);
  EXPECT_EQ(s.d->status.sample_rate, 8000);
  EXPECT_EQ(s.d->status.channels, 1);
  EXPECT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_END_OF_INPUT);
}

TEST(CodecOptions, RateReductionAndChannelSelection) {
  const Signal source = Tones(44100, 1.0, {500.0, 2000.0});
  const Encoded mp3 = EncodeMp3(source, EncodeOptions{});
  const fs::path path = Scratch("tones.mp3");
  Save(path, mp3.bytes);
  const Decoded full = DecodeThroughExports(path);
  {
    Session s(path, 2);
    ASSERT_EQ(Mp3DecodePlay(), 0);
    EXPECT_EQ(s.d->output_buffer.sample_rate, 11025);
    EXPECT_EQ(s.d->output_buffer.sample_count, 288);
    EXPECT_EQ(s.d->output_buffer.channels, 2);
  }
  {
    Session s(path, 1);
    ASSERT_EQ(Mp3DecodePlay(), 0);
    EXPECT_EQ(s.d->output_buffer.sample_rate, 22050);
    EXPECT_EQ(s.d->output_buffer.sample_count, 576);
  }
  // Left only and right only are exactly the channels of the full decode; mixed is their mean.
  std::vector<int16_t> one[4];
  for (int selection = 1; selection <= 3; ++selection) {
    Session s(path, 0, selection);
    for (;;) {
      if (Mp3DecodePlay() != 0) break;
      ASSERT_EQ(s.d->output_buffer.channels, 1);
      one[selection].insert(one[selection].end(), s.d->output_buffer.samples,
                            s.d->output_buffer.samples + s.d->output_buffer.sample_count);
    }
  }
  ASSERT_EQ(one[1].size(), full.out.frames());
  ASSERT_EQ(one[3].size(), full.out.frames());
  int off_mean = 0;
  for (size_t i = 0; i < full.out.frames(); ++i) {
    ASSERT_EQ(one[1][i], full.out.at(i, 0)) << i;
    ASSERT_EQ(one[2][i], full.out.at(i, 1)) << i;
    const double mean = (full.out.at(i, 0) + full.out.at(i, 1)) / 2.0;
    if (std::abs(one[3][i] - mean) > 1.0) ++off_mean;
  }
  EXPECT_EQ(off_mean, 0);
}

// Frame boundaries of a clean stream.
std::vector<size_t> FrameStarts(const std::vector<uint8_t>& s) {
  std::vector<size_t> starts;
  size_t at = 0;
  while (at + 4 <= s.size()) {
    const FrameHeader h = FrameHeader::Unpack(svd::ReadBigEndian32(&s[at]));
    if (!h.Check()) break;
    starts.push_back(at);
    at += static_cast<size_t>(h.frame_length());
  }
  return starts;
}

TEST(CodecFrameStream, JunkBetweenFramesIsSkipped) {
  const Signal source = Sweep(32000, 2.0, 2, 100, 8000);
  const Encoded mp3 = EncodeMp3(source, EncodeOptions{});
  const std::vector<size_t> starts = FrameStarts(mp3.bytes);
  ASSERT_GT(starts.size(), 40u);
  std::mt19937 gen(11);
  std::vector<uint8_t> junked;
  for (size_t i = 0; i < starts.size(); ++i) {
    const size_t end = i + 1 < starts.size() ? starts[i + 1] : mp3.bytes.size();
    if (i % 7 == 3) {
      // Junk, with a sync pattern in it that fails the header check.
      const uint8_t bad_header[] = {0xFF, 0xFB, 0xF0, 0x00};
      junked.insert(junked.end(), std::begin(bad_header), std::end(bad_header));
      for (int k = 0; k < 37; ++k) junked.push_back(static_cast<uint8_t>(gen() & 0x7F));
    }
    junked.insert(junked.end(), mp3.bytes.begin() + static_cast<long>(starts[i]),
                  mp3.bytes.begin() + static_cast<long>(end));
  }
  Save(Scratch("clean.mp3"), mp3.bytes);
  Save(Scratch("junk.mp3"), junked);
  const Decoded clean = DecodeThroughExports(Scratch("clean.mp3"));
  const Decoded junk = DecodeThroughExports(Scratch("junk.mp3"));
  EXPECT_EQ(clean.frames, static_cast<int>(starts.size()));
  EXPECT_EQ(junk.frames, clean.frames);
  EXPECT_EQ(junk.out.pcm, clean.out.pcm);
}

// A frame found by searching must be followed by another header; a lone sync is no frame.
TEST(CodecFrameStream, FalseSyncIsDropped) {
  std::vector<uint8_t> file = SilentFrame();  // a plausible frame followed by junk
  file.resize(417 + 50, 0x11);
  for (int i = 0; i < 3; ++i) {
    const auto f = SilentFrame();
    file.insert(file.end(), f.begin(), f.end());
  }
  Save(Scratch("false.mp3"), file);
  const Decoded d = DecodeThroughExports(Scratch("false.mp3"));
  EXPECT_EQ(d.frames, 3);
  EXPECT_EQ(d.last, SVD_E_END_OF_INPUT);
}

TEST(CodecFrameStream, SeekClearsStateAndStartsWithSilence) {
  const Signal source = Sweep(44100, 4.0, 2, 100, 12000);
  const Encoded mp3 = EncodeMp3(source, EncodeOptions{});
  const fs::path path = Scratch("sweep.mp3");
  Save(path, mp3.bytes);
  const Decoded fresh = DecodeThroughExports(path);

  Session s(path);
  for (int i = 0; i < 60; ++i) ASSERT_EQ(Mp3DecodePlay(), 0);
  // The first frame after a seek into the middle finds its main data missing: silence.
  ASSERT_EQ(SeekToPosition(0.5f), 0);
  ASSERT_EQ(Mp3DecodePlay(), 0);
  const svd::OutputBuffer& ob = s.d->output_buffer;
  ASSERT_EQ(ob.sample_count, 1152);
  int nonzero = 0;
  for (int i = 0; i < 2 * ob.sample_count; ++i) nonzero += ob.samples[i] != 0;
  EXPECT_EQ(nonzero, 0);
  int later = 0;
  for (int k = 0; k < 5; ++k) {
    ASSERT_EQ(Mp3DecodePlay(), 0);
    for (int i = 0; i < 2 * ob.sample_count; ++i) later += ob.samples[i] != 0;
  }
  EXPECT_GT(later, 0);
  // Back to the start: the filter memories are clear, so the output is that of a fresh decode.
  ASSERT_EQ(SeekToPosition(0.0f), 0);
  std::vector<int16_t> again;
  while (Mp3DecodePlay() == 0) again.insert(again.end(), ob.samples, ob.samples + 2 * ob.sample_count);
  EXPECT_EQ(again, fresh.out.pcm);
}

// Damaged streams give -700 steps or silent frames and always come to an end.
TEST(CodecFrameStream, DamagedStreamsEndCleanly) {
  const Signal source = Sweep(44100, 2.0, 2, 100, 12000);
  const Encoded mp3 = EncodeMp3(source, EncodeOptions{});
  std::mt19937 gen(5);
  for (int round = 0; round < 6; ++round) {
    std::vector<uint8_t> bytes = mp3.bytes;
    for (int k = 0; k < 40 * (round + 1); ++k)
      bytes[gen() % bytes.size()] ^= static_cast<uint8_t>(1u << (gen() % 8));
    const fs::path path = Scratch("damaged" + std::to_string(round) + ".mp3");
    Save(path, bytes);
    const Decoded d = DecodeThroughExports(path, 100000);
    EXPECT_EQ(d.last, SVD_E_END_OF_INPUT) << "round " << round;
    EXPECT_GT(d.frames, 0);
  }
}

// Big values above 288 are a fatal stream error for the step only.
TEST(CodecFrameStream, ImpossibleBigValuesEndTheStepWith700) {
  std::vector<uint8_t> bad = SilentFrame();
  // Granule 0, channel 0: part 2+3 length 0 (12 bits), then big values 289 (9 bits).
  // Side information begins after the header: main data begin 9, private 3, scfsi 8 = 20 bits.
  // Bits 20..31 part 2+3 length, bits 32..40 big values.
  bad[4 + 4] = static_cast<uint8_t>(289 >> 1);
  bad[4 + 5] = static_cast<uint8_t>((289 & 1) << 7);
  std::vector<uint8_t> file = SilentFrame();
  file.insert(file.end(), bad.begin(), bad.end());
  const auto good = SilentFrame();
  file.insert(file.end(), good.begin(), good.end());
  Save(Scratch("bigvalues.mp3"), file);
  Session s(Scratch("bigvalues.mp3"));
  EXPECT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_STREAM);
  EXPECT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_END_OF_INPUT);
}

}  // namespace
