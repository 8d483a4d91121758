// The decoder core on its own: bytes fed in any pieces, the header frame's facts, gapless
// trimming with and without seeks, decoders in parallel threads, the end of the input, and
// the reservoir after a false frame.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "frame.h"
#include "layer3_support.h"
#include "svdecode_core.h"

namespace {

using namespace l3_test;

struct CoreDecode {
  std::vector<int16_t> pcm;
  std::vector<svdecode::FrameInfo> frames;
  int damaged = 0;
};

// Decodes `bytes` with a new core, feeding pieces of the sizes `piece` gives (0: what the
// decoder asks for).
template <typename Piece>
CoreDecode DecodeCore(const std::vector<uint8_t>& bytes, Piece piece, const svdecode::Options& options = {}) {
  svdecode::Decoder d(options);
  CoreDecode out;
  int16_t pcm[svdecode::kMaxFramePcm];
  size_t fed = 0;
  for (int guard = 0; guard < 1000000; ++guard) {
    svdecode::FrameInfo info;
    const svdecode::Status s = d.Decode(pcm, &info);
    if (s == svdecode::Status::kEnd) break;
    if (s == svdecode::Status::kDamaged) {
      ++out.damaged;
    } else if (s == svdecode::Status::kFrame) {
      out.frames.push_back(info);
      out.pcm.insert(out.pcm.end(), pcm, pcm + info.samples * info.channels);
    } else if (fed == bytes.size()) {
      d.EndOfInput();
    } else {
      size_t n = piece();
      if (n == 0) n = d.BytesWanted();
      n = std::min(n, bytes.size() - fed);
      d.Feed(bytes.data() + fed, n);
      fed += n;
    }
  }
  return out;
}

CoreDecode DecodeWhole(const std::vector<uint8_t>& bytes, const svdecode::Options& options = {}) {
  return DecodeCore(
      bytes, [&] { return bytes.size(); }, options);
}

Encoded TaggedStream(int rate, int channels, vbr_mode vbr, int kbps, double seconds = 2.0) {
  EncodeOptions o;
  o.kbps = kbps;
  o.vbr = vbr;
  o.xing = true;
  return EncodeMp3(Sweep(rate, seconds, channels, 60, rate * 0.4), o);
}

// Start of every frame of a clean stream.
std::vector<size_t> FrameStarts(const std::vector<uint8_t>& s) {
  std::vector<size_t> starts;
  for (size_t at = 0; at + 4 <= s.size();) {
    const auto h = svd::FrameHeader::Parse(svd::ReadBigEndian32(&s[at]));
    if (!h) break;
    starts.push_back(at);
    at += static_cast<size_t>(h->frame_length());
  }
  return starts;
}

TEST(CoreFeeding, PiecesOfAnySizeGiveThePcmOfTheExports) {
  const Encoded mp3 = TaggedStream(44100, 2, vbr_default, 128);
  const fs::path file = Scratch("vbr.mp3");
  Save(file, mp3.bytes);
  const Decoded exports = DecodeThroughExports(file);
  ASSERT_GT(exports.frames, 10);

  const CoreDecode whole = DecodeWhole(mp3.bytes);
  EXPECT_EQ(whole.pcm, exports.out.pcm);
  EXPECT_EQ(static_cast<int>(whole.frames.size()), exports.frames);
  EXPECT_EQ(DecodeCore(mp3.bytes, [] { return size_t{0}; }).pcm, exports.out.pcm);
  std::mt19937 gen(4);
  EXPECT_EQ(DecodeCore(mp3.bytes, [&] { return size_t{1} + gen() % 700; }).pcm, exports.out.pcm);
  EXPECT_EQ(DecodeCore(mp3.bytes, [] { return size_t{1}; }).pcm, exports.out.pcm);

  // A leading ID3v2 tag is passed over, however the bytes come.
  std::vector<uint8_t> tagged = Id3v2Tag(3000);
  tagged.insert(tagged.end(), mp3.bytes.begin(), mp3.bytes.end());
  EXPECT_EQ(DecodeCore(tagged, [&] { return size_t{1} + gen() % 300; }).pcm, exports.out.pcm);
}

TEST(CoreFeeding, EveryLeadingTagIsPassedOverFootersIncluded) {
  const Encoded mp3 = TaggedStream(44100, 2, vbr_off, 128, 1.0);
  const CoreDecode plain = DecodeWhole(mp3.bytes);
  ASSERT_GT(plain.pcm.size(), 0u);
  std::vector<uint8_t> tagged = Id3v2TagHoldingFrames(4, true);
  const std::vector<uint8_t> second = Id3v2TagHoldingFrames(3, false);
  tagged.insert(tagged.end(), second.begin(), second.end());
  const int64_t tags = static_cast<int64_t>(tagged.size());
  tagged.insert(tagged.end(), mp3.bytes.begin(), mp3.bytes.end());
  std::mt19937 gen(9);
  for (const bool whole : {true, false}) {
    SCOPED_TRACE(whole ? "fed whole" : "fed in small pieces");
    const CoreDecode d =
        whole ? DecodeWhole(tagged) : DecodeCore(tagged, [&] { return size_t{1} + gen() % 300; });
    EXPECT_EQ(d.pcm, plain.pcm);
    ASSERT_EQ(d.frames.size(), plain.frames.size());
    EXPECT_EQ(d.frames.front().offset, tags + plain.frames.front().offset);
  }
  svdecode::Decoder d;
  int16_t pcm[svdecode::kMaxFramePcm];
  svdecode::FrameInfo info;
  d.Feed(tagged.data(), tagged.size());
  ASSERT_EQ(d.Decode(pcm, &info), svdecode::Status::kFrame);
  EXPECT_EQ(d.stream().data_start, tags);
  EXPECT_EQ(d.stream().total_samples, 44100);
}

TEST(CoreStreamInfo, TheHeaderFrameTellsDelayPaddingAndLength) {
  const Signal source = Sweep(22050, 2.0, 1, 60, 8000);
  EncodeOptions o;
  o.kbps = 48;
  o.vbr = vbr_abr;
  o.xing = true;
  const Encoded mp3 = EncodeMp3(source, o);
  svdecode::StreamInfo head;
  ASSERT_TRUE(svdecode::Decoder::InspectFrame(mp3.bytes.data(), mp3.bytes.size(), &head));
  EXPECT_TRUE(head.header_frame);
  EXPECT_TRUE(head.vbr);
  EXPECT_TRUE(head.encoder_tag);
  EXPECT_EQ(head.encoder_delay, mp3.encoder_delay);
  EXPECT_EQ(head.encoder_padding, mp3.encoder_padding);
  EXPECT_EQ(head.total_samples, static_cast<int64_t>(source.frames()));
  EXPECT_EQ(head.samples_per_frame, 576);
  EXPECT_EQ(head.frames + 1, static_cast<int64_t>(FrameStarts(mp3.bytes).size()));
  EXPECT_TRUE(head.has_toc);

  svdecode::Decoder d;
  EXPECT_EQ(d.stream().sample_rate, 0);  // nothing seen yet
  d.Feed(mp3.bytes.data(), mp3.bytes.size());
  int16_t pcm[svdecode::kMaxFramePcm];
  svdecode::FrameInfo info;
  ASSERT_EQ(d.Decode(pcm, &info), svdecode::Status::kFrame);
  EXPECT_EQ(info.index, 0);
  EXPECT_EQ(info.offset, head.header_frame_bytes);  // the header frame is left out
  EXPECT_EQ(d.stream().total_samples, head.total_samples);
  EXPECT_EQ(d.stream().encoder_delay, head.encoder_delay);
  // The delay and the decoder's own take more than one 576-sample frame.
  EXPECT_EQ(info.samples, 0);
  ASSERT_EQ(d.Decode(pcm, &info), svdecode::Status::kFrame);
  EXPECT_EQ(info.samples, 2 * 576 - mp3.encoder_delay - svdecode::kDecoderDelay);
  EXPECT_EQ(info.first_sample, 0);

  // A stream without a header frame says nothing of its length.
  o.xing = false;
  const Encoded plain = EncodeMp3(source, o);
  ASSERT_TRUE(svdecode::Decoder::InspectFrame(plain.bytes.data(), plain.bytes.size(), &head));
  EXPECT_FALSE(head.header_frame);
  EXPECT_EQ(head.total_samples, -1);
  EXPECT_EQ(head.sample_rate, 22050);
  EXPECT_FALSE(svdecode::Decoder::InspectFrame(plain.bytes.data() + 1, plain.bytes.size() - 1, &head));
}

TEST(CoreGapless, WithoutTrimmingEveryFrameButTheHeaderComesOut) {
  const Encoded mp3 = TaggedStream(48000, 2, vbr_off, 192);
  const CoreDecode trimmed = DecodeWhole(mp3.bytes);
  svdecode::Options o;
  o.gapless = false;
  const CoreDecode full = DecodeWhole(mp3.bytes, o);
  ASSERT_EQ(full.frames.size(), trimmed.frames.size());
  EXPECT_EQ(full.pcm.size(), full.frames.size() * 1152 * 2);
  const size_t begin = 2 * static_cast<size_t>(mp3.encoder_delay + svdecode::kDecoderDelay);
  ASSERT_LE(trimmed.pcm.size() + begin, full.pcm.size());
  EXPECT_TRUE(
      std::equal(trimmed.pcm.begin(), trimmed.pcm.end(), full.pcm.begin() + static_cast<long>(begin)));
  // The padding is trimmed at the end: what is left beyond the source is the padding.
  EXPECT_EQ(full.pcm.size() - begin - trimmed.pcm.size(),
            2 * static_cast<size_t>(mp3.encoder_padding - svdecode::kDecoderDelay));
}

// After a seek to any frame of a constant bit rate stream the frames are numbered exactly, so
// the trimming and the output positions agree with a decode from the start.
TEST(CoreSeek, FramesAfterASeekLineUpWithTheWholeDecode) {
  const Encoded mp3 = TaggedStream(44100, 2, vbr_off, 128, 3.0);
  const CoreDecode whole = DecodeWhole(mp3.bytes);
  const std::vector<size_t> starts = FrameStarts(mp3.bytes);
  svdecode::StreamInfo head;
  ASSERT_TRUE(svdecode::Decoder::InspectFrame(mp3.bytes.data(), mp3.bytes.size(), &head));
  for (size_t k : {size_t{1}, size_t{2}, size_t{17}, size_t{60}, starts.size() - 3, starts.size() - 1}) {
    svdecode::Decoder d;
    d.SetStreamInfo(head);
    d.Seek(static_cast<int64_t>(starts[k]));
    d.Feed(mp3.bytes.data() + starts[k], mp3.bytes.size() - starts[k]);
    d.EndOfInput();
    int16_t pcm[svdecode::kMaxFramePcm];
    svdecode::FrameInfo info;
    std::vector<int16_t> tail;
    int64_t first = -1, frame = 0;
    for (svdecode::Status s; (s = d.Decode(pcm, &info)) != svdecode::Status::kEnd;) {
      ASSERT_EQ(s, svdecode::Status::kFrame);
      if (frame++ == 0) {
        EXPECT_EQ(info.index, static_cast<int64_t>(k) - 1) << "frame " << k;
      }
      // The reservoir (up to 511 bytes back) and the filter memories take a few frames to
      // be back in step.
      if (frame <= 4) continue;
      if (first < 0) first = info.first_sample;
      tail.insert(tail.end(), pcm, pcm + info.samples * 2);
    }
    if (tail.empty()) continue;
    const size_t at = 2 * static_cast<size_t>(first);
    ASSERT_EQ(at + tail.size(), whole.pcm.size()) << "frame " << k;
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), whole.pcm.begin() + static_cast<long>(at)))
        << "frame " << k;
  }
}

TEST(CoreThreads, DecodersInParallelGiveWhatEachGivesAlone) {
  std::vector<std::vector<uint8_t>> streams;
  streams.push_back(TaggedStream(44100, 2, vbr_default, 128).bytes);
  streams.push_back(TaggedStream(8000, 1, vbr_off, 32).bytes);
  streams.push_back(TaggedStream(24000, 2, vbr_abr, 64).bytes);
  streams.push_back(TaggedStream(32000, 1, vbr_off, 96).bytes);
  std::vector<std::vector<int16_t>> alone;
  for (const auto& s : streams) alone.push_back(DecodeWhole(s).pcm);
  std::vector<int> mismatches(streams.size(), 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < streams.size(); ++t)
    threads.emplace_back([&, t] {
      std::mt19937 gen(static_cast<unsigned>(t));
      for (int round = 0; round < 3; ++round)
        if (DecodeCore(streams[t], [&] { return size_t{1} + gen() % 2000; }).pcm != alone[t]) ++mismatches[t];
    });
  for (auto& t : threads) t.join();
  for (size_t t = 0; t < streams.size(); ++t) EXPECT_EQ(mismatches[t], 0) << "stream " << t;
}

TEST(CoreEnd, ATruncatedLastFrameWaitsForTheRestOfIt) {
  const Encoded mp3 = TaggedStream(44100, 1, vbr_off, 64);
  const CoreDecode whole = DecodeWhole(mp3.bytes);
  svdecode::Decoder d;
  d.Feed(mp3.bytes.data(), mp3.bytes.size() - 10);
  d.EndOfInput();
  int16_t pcm[svdecode::kMaxFramePcm];
  svdecode::FrameInfo info;
  size_t frames = 0;
  svdecode::Status s;
  while ((s = d.Decode(pcm, &info)) == svdecode::Status::kFrame) ++frames;
  EXPECT_EQ(s, svdecode::Status::kEnd);
  EXPECT_EQ(frames + 1, whole.frames.size());
  EXPECT_EQ(d.Decode(pcm, &info), svdecode::Status::kEnd);  // stays the end
  // The rest arrives after all: the last frame comes out.
  d.Feed(mp3.bytes.data() + mp3.bytes.size() - 10, 10);
  d.EndOfInput();
  ASSERT_EQ(d.Decode(pcm, &info), svdecode::Status::kFrame);
  EXPECT_EQ(info.index + 1, static_cast<int64_t>(whole.frames.size()));
  EXPECT_EQ(d.Decode(pcm, &info), svdecode::Status::kEnd);
}

// A plausible frame found by searching but not followed by another header is no frame: its
// bytes must not enter the reservoir, from which the next real frame takes its main data.
TEST(CoreReservoir, AFalseFrameFoundBySearchingLeavesNoMainDataBehind) {
  EncodeOptions o;
  o.kbps = 64;
  const Encoded mp3 = EncodeMp3(Noise(44100, 2.0, 2, 0.3, 5), o);
  const std::vector<size_t> starts = FrameStarts(mp3.bytes);
  // A frame whose main data begins in earlier frames' bytes.
  size_t k = 10;
  while (k + 3 < starts.size() &&
         (mp3.bytes[starts[k + 1] + 4] << 1 | mp3.bytes[starts[k + 1] + 5] >> 7) < 20)
    ++k;
  ASSERT_LT(k + 3, starts.size());
  const size_t frame_length = starts[k + 1] - starts[k];

  std::vector<uint8_t> junked(mp3.bytes.begin(), mp3.bytes.begin() + static_cast<long>(starts[k + 1]));
  std::vector<uint8_t> faked = junked;
  const std::vector<uint8_t> junk(24, 0x00);
  std::mt19937 gen(8);
  std::vector<uint8_t> fake(mp3.bytes.begin() + static_cast<long>(starts[k]),
                            mp3.bytes.begin() + static_cast<long>(starts[k] + 4));
  for (size_t i = 4; i < frame_length; ++i) fake.push_back(static_cast<uint8_t>(gen() & 0x7F));
  junked.insert(junked.end(), junk.begin(), junk.end());
  faked.insert(faked.end(), junk.begin(), junk.end());
  faked.insert(faked.end(), fake.begin(), fake.end());
  faked.insert(faked.end(), junk.begin(), junk.end());
  for (auto* s : {&junked, &faked})
    s->insert(s->end(), mp3.bytes.begin() + static_cast<long>(starts[k + 1]), mp3.bytes.end());

  const CoreDecode clean = DecodeWhole(mp3.bytes);
  const CoreDecode with_junk = DecodeWhole(junked);
  const CoreDecode with_fake = DecodeWhole(faked);
  ASSERT_EQ(with_junk.pcm, clean.pcm);
  EXPECT_EQ(with_fake.frames.size(), clean.frames.size());
  EXPECT_EQ(with_fake.pcm, clean.pcm);
}

}  // namespace
