// What every whole-file call must do whatever its format: refuse bad input with its own
// code, report a full disk, keep headers truthful, report progress and stop when asked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <random>
#include <thread>

#include "codec_support.h"

namespace codectest {
namespace {

struct Codec {
  const char* name;
  const char* extension;
  int setting;  // OGG level or WMA profile
  int32_t (*encode)(const char*, const char*, int setting, CodecProgressProc, int16_t*);
  int32_t (*decode)(const char*, const char*, CodecProgressProc, int16_t*);
  int badSetting;
  int frameSlack;  // frames a decode may differ from the source (codec delay and padding)
};

int32_t oggEncode(const char* s, const char* d, int level, CodecProgressProc p, int16_t* c) {
  return Lib().oggEncode(s, d, 44100, level, p, c);
}
int32_t oggDecode(const char* s, const char* d, CodecProgressProc p, int16_t* c) {
  return Lib().oggDecode(s, d, p, c);
}
int32_t wmaEncode(const char* s, const char* d, int profile, CodecProgressProc p, int16_t* c) {
  return Lib().wmaEncode(s, d, static_cast<uint8_t>(profile), p, c);
}
int32_t wmaDecode(const char* s, const char* d, CodecProgressProc p, int16_t* c) {
  return Lib().wmaDecode(s, d, p, c);
}

const Codec kOgg{"ogg", ".ogg", 2, oggEncode, oggDecode, 11, 0};
const Codec kWma{"wma", ".wma", 23, wmaEncode, wmaDecode, 25, 2 * 2048};

class EveryCodec : public ::testing::TestWithParam<Codec> {
 protected:
  const Codec& codec() const { return GetParam(); }
  std::string encoded() const { return (dir / (std::string("song") + codec().extension)).string(); }

  // A 4-second stereo source and its encoding.
  void SetUp() override {
    pcm = MakeSignal(signal);
    WriteWav(wav, pcm, signal);
    int16_t cancel = 0;
    ASSERT_EQ(codec().encode(wav.c_str(), encoded().c_str(), codec().setting, nullptr, &cancel), SVC_OK);
  }
  int32_t encodeTo(const fs::path& source, const fs::path& destination, ProgressLog* log = nullptr,
                   int16_t* cancel = nullptr) {
    int16_t none = 0;
    const int32_t r = codec().encode(source.c_str(), destination.c_str(), codec().setting,
                                     log ? ProgressLog::Start(*log) : nullptr, cancel ? cancel : &none);
    ProgressLog::Stop();
    return r;
  }
  int32_t decodeTo(const fs::path& source, const fs::path& destination, ProgressLog* log = nullptr,
                   int16_t* cancel = nullptr) {
    int16_t none = 0;
    const int32_t r = codec().decode(source.c_str(), destination.c_str(),
                                     log ? ProgressLog::Start(*log) : nullptr, cancel ? cancel : &none);
    ProgressLog::Stop();
    return r;
  }
  // Writes the first `bytes` of the encoded file, then `tail`.
  fs::path cut(size_t bytes, const std::string& name, const std::vector<char>& tail = {}) {
    auto b = ReadBytes(encoded());
    b.resize(std::min(bytes, b.size()));
    b.insert(b.end(), tail.begin(), tail.end());
    WriteBytes(dir / name, b);
    return dir / name;
  }

  TempDir dir;
  Signal signal{44100, 2, 4.0};
  std::vector<int16_t> pcm;
  fs::path wav = dir / "source.wav";
};

void expectWholePercents(const ProgressLog& log, bool complete) {
  ASSERT_FALSE(log.percents.empty());
  EXPECT_FALSE(log.otherThread);
  EXPECT_EQ(log.percents.front(), 0);
  for (size_t i = 1; i < log.percents.size(); ++i) EXPECT_GT(log.percents[i], log.percents[i - 1]);
  EXPECT_LE(log.percents.back(), 100);
  if (complete) {
    EXPECT_EQ(log.percents.back(), 100);
  }
}

TEST_P(EveryCodec, EncoderRefusesWhatIsNotSixteenBitPcmMonoOrStereo) {
  const auto bad = [&](const WavSpec& spec) {
    WriteWav(dir / "bad.wav", pcm, spec);
    return encodeTo(dir / "bad.wav", dir / "out");
  };
  EXPECT_EQ(bad({44100, 2, 8, 1, -1}), SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(bad({44100, 2, 24, 1, -1}), SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(bad({44100, 1, 32, 3, -1}), SVC_E_SOURCE_FORMAT);  // float
  EXPECT_EQ(bad({44100, 3, 16, 1, -1}), SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(bad({0, 2, 16, 1, -1}), SVC_E_SOURCE_FORMAT);
  std::ofstream(dir / "text.wav") << "just some words, no RIFF at all";
  EXPECT_EQ(encodeTo(dir / "text.wav", dir / "out"), SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(encodeTo(dir.path(), dir / "out"), SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(encodeTo(dir / "absent.wav", dir / "out"), SVC_E_SOURCE_OPEN);
  EXPECT_FALSE(fs::exists(dir / "out"));  // nothing made for a refused source

  int16_t cancel = 0;
  EXPECT_EQ(codec().encode(nullptr, "x", codec().setting, nullptr, &cancel), SVC_E_ARGUMENT);
  EXPECT_EQ(codec().encode(wav.c_str(), nullptr, codec().setting, nullptr, &cancel), SVC_E_ARGUMENT);
  EXPECT_EQ(codec().encode(wav.c_str(), (dir / "out").c_str(), codec().badSetting, nullptr, &cancel),
            SVC_E_ARGUMENT);
}

TEST_P(EveryCodec, WavShorterThanItsHeaderSaysIsEncodedToItsEndAndReportedDamaged) {
  WavSpec spec;
  spec.claimedDataBytes = static_cast<int64_t>(pcm.size()) * 2 * 3;  // promises three times more
  WriteWav(dir / "short.wav", pcm, spec);
  ASSERT_EQ(encodeTo(dir / "short.wav", dir / "short.out"), SVC_E_DAMAGED);
  ASSERT_EQ(decodeTo(dir / "short.out", dir / "back.wav"), SVC_OK);  // closed and whole
  const Wav back = ReadWav(dir / "back.wav");
  EXPECT_NEAR(double(back.Frames()), double(pcm.size() / 2), codec().frameSlack);
}

TEST_P(EveryCodec, DestinationThatCannotBeCreated) {
  EXPECT_EQ(encodeTo(wav, dir / "no-such-folder" / "out"), SVC_E_DEST_CREATE);
  EXPECT_EQ(decodeTo(encoded(), dir / "no-such-folder" / "out.wav"), SVC_E_DEST_CREATE);
  EXPECT_EQ(encodeTo(wav, wav / "out"), SVC_E_DEST_CREATE);  // a file where a folder should be
  if (::geteuid() != 0) {                                    // root writes into read-only folders anyway
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(encodeTo(wav, dir / "locked" / "out"), SVC_E_DEST_CREATE);
    EXPECT_EQ(decodeTo(encoded(), dir / "locked" / "out.wav"), SVC_E_DEST_CREATE);
  }
}

TEST_P(EveryCodec, FullDiskWhileEncodingLeavesNoFileBehind) {
  {
    FileSizeLimit limit(12000);
    EXPECT_EQ(encodeTo(wav, dir / "full.out"), SVC_E_WRITE);
  }
  EXPECT_FALSE(fs::exists(dir / "full.out"));
  EXPECT_EQ(ReadWav(wav).samples, pcm);  // the source is untouched
}

TEST_P(EveryCodec, FullDiskWhileDecodingLeavesATruthfulWav) {
  {
    FileSizeLimit limit(300001);  // not even on a frame boundary
    EXPECT_EQ(decodeTo(encoded(), dir / "full.wav"), SVC_E_WRITE);
  }
  const Wav w = ReadWav(dir / "full.wav");
  EXPECT_TRUE(w.Truthful());
  EXPECT_GT(w.Frames(), 40000u);
  EXPECT_LE(w.fileSize, 300001u);
}

TEST_P(EveryCodec, ProgressRisesByWholePercentsOnTheCallingThread) {
  ProgressLog log;
  ASSERT_EQ(encodeTo(wav, dir / "p.out", &log), SVC_OK);
  expectWholePercents(log, true);
  EXPECT_GE(log.percents.size(), 50u);  // a bar that moves, not one that jumps
  ProgressLog back;
  ASSERT_EQ(decodeTo(encoded(), dir / "p.wav", &back), SVC_OK);
  expectWholePercents(back, true);
  EXPECT_GE(back.percents.size(), 50u);
}

// The flag is set by the callback at 30 %: the call stops within a tenth of a second of
// work, and the partial file is closed and plays.
TEST_P(EveryCodec, CancelledEncodeStopsAtOnceAndLeavesAPlayableFile) {
  int16_t cancel = 0;
  double flagged = 0;
  ProgressLog log;
  log.hook = [&](int percent) {
    if (percent >= 30 && !cancel) {
      cancel = 1;
      flagged = ThreadCpuSeconds();
    }
  };
  ASSERT_EQ(encodeTo(wav, dir / "stop.out", &log, &cancel), SVC_E_CANCELLED);
  EXPECT_LT(ThreadCpuSeconds() - flagged, 0.1);
  expectWholePercents(log, false);
  EXPECT_LT(log.percents.back(), 40);
  ASSERT_EQ(decodeTo(dir / "stop.out", dir / "stop.wav"), SVC_OK);
  const double frames = double(ReadWav(dir / "stop.wav").Frames());
  EXPECT_GT(frames, 0.25 * double(pcm.size() / 2));
  EXPECT_LT(frames, 0.40 * double(pcm.size() / 2));
}

TEST_P(EveryCodec, EncodeCancelledBeforeItStartsGivesAnEmptyButValidFile) {
  int16_t cancel = 1;
  ASSERT_EQ(encodeTo(wav, dir / "none.out", nullptr, &cancel), SVC_E_CANCELLED);
  ASSERT_EQ(decodeTo(dir / "none.out", dir / "none.wav"), SVC_OK);
  EXPECT_TRUE(ReadWav(dir / "none.wav").Truthful());
  EXPECT_LE(ReadWav(dir / "none.wav").Frames(), size_t(codec().frameSlack));
}

TEST_P(EveryCodec, FlagSetByAnotherThreadIsSeen) {
  std::atomic<bool> started{false};
  int16_t cancel = 0;
  ProgressLog log;
  log.hook = [&](int percent) {
    if (percent == 5) started = true;
  };
  std::thread other([&] {
    while (!started) std::this_thread::yield();
    std::atomic_ref<int16_t>(cancel).store(1);
  });
  // A longer source, so that the call cannot end before the other thread acts.
  const Signal longer{44100, 2, 60.0};
  WriteWav(dir / "long.wav", MakeSignal(longer), longer);
  const int32_t r = encodeTo(dir / "long.wav", dir / "long.out", &log, &cancel);
  other.join();
  EXPECT_EQ(r, SVC_E_CANCELLED);
  EXPECT_LT(log.percents.back(), 100);
}

TEST_P(EveryCodec, CancelledDecodeLeavesATruthfulWav) {
  int16_t cancel = 0;
  double flagged = 0;
  ProgressLog log;
  log.hook = [&](int percent) {
    if (percent >= 50 && !cancel) {
      cancel = 1;
      flagged = ThreadCpuSeconds();
    }
  };
  ASSERT_EQ(decodeTo(encoded(), dir / "half.wav", &log, &cancel), SVC_E_CANCELLED);
  EXPECT_LT(ThreadCpuSeconds() - flagged, 0.1);
  const Wav w = ReadWav(dir / "half.wav");
  EXPECT_TRUE(w.Truthful());
  EXPECT_GT(w.Frames(), 0.4 * double(pcm.size() / 2));
  EXPECT_LT(w.Frames(), 0.7 * double(pcm.size() / 2));
}

TEST_P(EveryCodec, DecoderRefusesWhatIsNotItsFormat) {
  std::mt19937 rng(3);
  std::vector<char> noise(50000);
  for (auto& c : noise) c = static_cast<char>(rng());
  WriteBytes(dir / "noise", noise);
  std::ofstream(dir / "empty");
  EXPECT_EQ(decodeTo(dir / "noise", dir / "a.wav"), SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(decodeTo(dir / "empty", dir / "a.wav"), SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(decodeTo(wav, dir / "a.wav"), SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(decodeTo(dir.path(), dir / "a.wav"), SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(decodeTo(cut(20, "stub"), dir / "a.wav"), SVC_E_SOURCE_FORMAT);
  // The other format's file.
  const Codec& other = codec().name == std::string("ogg") ? kWma : kOgg;
  int16_t cancel = 0;
  ASSERT_EQ(other.encode(wav.c_str(), (dir / "other").c_str(), other.setting, nullptr, &cancel), SVC_OK);
  EXPECT_EQ(decodeTo(dir / "other", dir / "a.wav"), SVC_E_SOURCE_FORMAT);
  EXPECT_FALSE(fs::exists(dir / "a.wav"));
  EXPECT_EQ(decodeTo(dir / "absent", dir / "a.wav"), SVC_E_SOURCE_OPEN);
  EXPECT_EQ(codec().decode(nullptr, "x", nullptr, &cancel), SVC_E_ARGUMENT);
}

TEST_P(EveryCodec, TruncatedFileIsDecodedToItsEndAndReportedDamaged) {
  const size_t size = fs::file_size(encoded());
  for (const double part : {0.5, 0.9}) {
    SCOPED_TRACE(part);
    ASSERT_EQ(decodeTo(cut(size_t(double(size) * part), "cut"), dir / "cut.wav"), SVC_E_DAMAGED);
    const Wav w = ReadWav(dir / "cut.wav");
    EXPECT_TRUE(w.Truthful());
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 44100);
    EXPECT_NEAR(double(w.Frames()) / double(pcm.size() / 2), part, 0.1);
  }
}

TEST_P(EveryCodec, DamagedMiddleNeverCrashesAndKeepsTheHeaderTruthful) {
  auto b = ReadBytes(encoded());
  std::mt19937 rng(9);
  for (size_t i = b.size() / 2; i < b.size() / 2 + 3000; ++i) b[i] = static_cast<char>(rng());
  WriteBytes(dir / "hurt", b);
  const int32_t r = decodeTo(dir / "hurt", dir / "hurt.wav");
  EXPECT_TRUE(r == SVC_OK || r == SVC_E_DAMAGED) << r;
  if (codec().name == std::string("ogg")) {
    EXPECT_EQ(r, SVC_E_DAMAGED);  // pages carry checksums
  }
  const Wav w = ReadWav(dir / "hurt.wav");
  EXPECT_TRUE(w.Truthful());
  EXPECT_GT(w.Frames(), pcm.size() / 2 / 2);
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryCodec, ::testing::Values(kOgg, kWma),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace codectest
