// LAME streams at every sampling rate, mono and stereo, CBR, VBR and ABR, decoded through the
// exported calls and compared with the mpg123 program: without gapless trimming frame for
// frame, with it to the source's exact length; both within one step of the 16-bit scale.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <string>
#include <vector>

#include "layer3_support.h"

extern char** environ;

namespace {

using namespace l3_test;

// Runs a program found on PATH; true when it exited with 0.
bool Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Its own messages are of no interest here.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (started != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool HaveMpg123() {
  static const bool have = Run({"mpg123", "--version"});
  return have;
}

// The mpg123 program's WAV of a file, with or without its gapless trimming.
Signal Mpg123(const fs::path& mp3, bool gapless) {
  const fs::path wav = mp3.string() + (gapless ? ".gapless.ref.wav" : ".ref.wav");
  std::vector<std::string> args = {"mpg123", "-q"};
  if (!gapless) args.push_back("--no-gapless");
  args.insert(args.end(), {"-w", wav.string(), mp3.string()});
  EXPECT_TRUE(Run(args)) << "mpg123 failed on " << mp3;
  return ReadWav(wav);
}

// Largest difference of two decodes of the same length.
int LargestDifference(const Signal& a, const Signal& b) {
  int largest = 0;
  for (size_t i = 0; i < std::min(a.pcm.size(), b.pcm.size()); ++i)
    largest = std::max(largest, std::abs(a.pcm[i] - b.pcm[i]));
  return largest;
}

// Music-like material: a chord with vibrato, a percussive noise burst every 0.4 s (so that
// the encoder switches to short blocks), and a sweep on the second channel.
Signal Music(int rate, int channels, double seconds) {
  Signal s;
  s.rate = rate;
  s.channels = channels;
  const size_t n = static_cast<size_t>(seconds * rate);
  s.pcm.resize(n * static_cast<size_t>(channels));
  std::mt19937 gen(3);
  std::normal_distribution<double> noise(0.0, 1.0);
  const double top = rate * 0.45;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / rate;
    double v = 0;
    for (double f : {220.0, 277.2, 329.6, 440.0 * (1 + 0.004 * std::sin(2 * M_PI * 5 * t))})
      v += std::sin(2 * M_PI * std::min(f, top) * t);
    const double hit = std::exp(-std::fmod(t, 0.4) * 30) * noise(gen);
    s.pcm[i * static_cast<size_t>(channels)] = Clip(5000 * v + 9000 * hit);
    if (channels == 2) {
      const double f0 = 100, f1 = top, k = std::log(f1 / f0) / seconds;
      const double sweep = std::sin(2 * M_PI * f0 * (std::exp(k * t) - 1) / k);
      s.pcm[i * 2 + 1] = Clip(12000 * sweep + 6000 * hit);
    }
  }
  return s;
}

struct Case {
  std::string name;
  int rate;
  int channels;
  vbr_mode vbr;
  int kbps;  // CBR and ABR
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Bit rates at which a CBR frame has room for the encoder's tag (LAME leaves it out of
// smaller frames, and without it nothing says how much to trim).
int CbrRate(int rate, int channels) {
  if (rate >= 32000) return channels == 1 ? 96 : 160;
  if (rate >= 16000) return channels == 1 ? 64 : 96;
  return channels == 1 ? 32 : 48;
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (int rate : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000})
    for (int channels : {1, 2})
      for (vbr_mode vbr : {vbr_off, vbr_default, vbr_abr}) {
        const char* kind = vbr == vbr_off ? "cbr" : vbr == vbr_abr ? "abr" : "vbr";
        cases.push_back({std::to_string(rate) + (channels == 1 ? "_mono_" : "_stereo_") + kind, rate,
                         channels, vbr, CbrRate(rate, channels)});
      }
  return cases;
}

class LameReference : public testing::TestWithParam<Case> {};

TEST_P(LameReference, MatchesMpg123WithAndWithoutGaplessTrimming) {
  if (!HaveMpg123()) GTEST_SKIP() << "the mpg123 program is not installed";
  const Case& c = GetParam();
  const Signal source = Music(c.rate, c.channels, 1.5);
  EncodeOptions o;
  o.kbps = c.kbps;
  o.vbr = c.vbr;
  o.xing = true;
  const Encoded mp3 = EncodeMp3(source, o);
  const fs::path file = Scratch("in.mp3");
  Save(file, mp3.bytes);

  const Decoded ours = DecodeThroughExports(file);
  EXPECT_EQ(ours.last, SVD_E_END_OF_INPUT);
  EXPECT_EQ(ours.errors, 0);
  EXPECT_EQ(ours.out.rate, c.rate);
  EXPECT_EQ(ours.out.channels, c.channels);
  // Exactly the source's length: the encoder's delay and padding are gone.
  EXPECT_EQ(ours.out.frames(), source.frames());
  const Signal gapless = Mpg123(file, true);
  ASSERT_EQ(gapless.pcm.size(), ours.out.pcm.size());
  EXPECT_LE(LargestDifference(ours.out, gapless), 1);

  // Untrimmed, every frame but the header frame, as mpg123 gives them.
  const Signal untrimmed = Mpg123(file, false);
  const int per_frame = c.rate >= 32000 ? 1152 : 576;
  ASSERT_EQ(untrimmed.frames(), static_cast<size_t>(ours.frames) * per_frame);
  const size_t begin = static_cast<size_t>(mp3.encoder_delay + kDecoderDelay);
  int largest = 0;
  for (size_t i = 0; i < ours.out.pcm.size(); ++i)
    largest = std::max(largest, std::abs(ours.out.pcm[i] - untrimmed.pcm[i + begin * c.channels]));
  EXPECT_LE(largest, 1);
}

INSTANTIATE_TEST_SUITE_P(AllRates, LameReference, testing::ValuesIn(AllCases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Two tagged files joined end to end: the second one's frames lie beyond the count the first
// header gave and come out whole, as mpg123 has them; nothing of the second file is lost.
TEST(JoinedStreams, FramesBeyondTheHeadersCountAreKept) {
  if (!HaveMpg123()) GTEST_SKIP() << "the mpg123 program is not installed";
  EncodeOptions o;
  o.kbps = 128;
  o.xing = true;
  const Signal first = Music(44100, 2, 1.0), second = Sweep(44100, 1.0, 2, 100, 5000);
  std::vector<uint8_t> joined = EncodeMp3(first, o).bytes;
  const std::vector<uint8_t> tail = EncodeMp3(second, o).bytes;
  joined.insert(joined.end(), tail.begin(), tail.end());
  const fs::path file = Scratch("joined.mp3");
  Save(file, joined);
  const Decoded ours = DecodeThroughExports(file);
  EXPECT_GT(ours.out.frames(), first.frames() + second.frames());
  const Signal ref = Mpg123(file, true);
  ASSERT_EQ(ours.out.pcm.size(), ref.pcm.size());
  EXPECT_LE(LargestDifference(ours.out, ref), 1);
}

// 8 kHz streams of several kinds and bit rates, without a header frame: frame for frame as
// mpg123 decodes them. Their bands are twice as wide as at the other rates, and so is the
// first region of the granules with window switching, which the sweeps and bursts bring.
struct EightCase {
  const char* name;
  int channels;
  int kbps;
  int kind;  // 0 music, 1 sweep, 2 noise, 3 tones
};

void PrintTo(const EightCase& c, std::ostream* os) { *os << c.name; }

class EightKilohertz : public testing::TestWithParam<EightCase> {};

TEST_P(EightKilohertz, MatchesMpg123FrameForFrame) {
  if (!HaveMpg123()) GTEST_SKIP() << "the mpg123 program is not installed";
  const EightCase& c = GetParam();
  Signal source;
  switch (c.kind) {
    case 0:
      source = Music(8000, c.channels, 4.0);
      break;
    case 1:
      source = Sweep(8000, 6.0, c.channels, 300, 3000);
      break;
    case 2:
      source = Noise(8000, 3.0, c.channels, 0.4, 9);
      break;
    default:
      source = Tones(8000, 3.0, c.channels == 2 ? std::vector<double>{500, 1700} : std::vector<double>{900});
      break;
  }
  EncodeOptions o;
  o.kbps = c.kbps;
  const Encoded mp3 = EncodeMp3(source, o);
  const fs::path file = Scratch("in.mp3");
  Save(file, mp3.bytes);
  const Decoded ours = DecodeThroughExports(file);
  EXPECT_EQ(ours.errors, 0);
  const Signal ref = Mpg123(file, false);
  ASSERT_EQ(ours.out.pcm.size(), ref.pcm.size());
  EXPECT_LE(LargestDifference(ours.out, ref), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, EightKilohertz,
    testing::Values(EightCase{"music_mono_16", 1, 16, 0}, EightCase{"music_joint_32", 2, 32, 0},
                    EightCase{"sweep_mono_16", 1, 16, 1}, EightCase{"sweep_mono_8", 1, 8, 1},
                    EightCase{"sweep_joint_24", 2, 24, 1}, EightCase{"noise_mono_32", 1, 32, 2},
                    EightCase{"noise_joint_64", 2, 64, 2}, EightCase{"tones_mono_24", 1, 24, 3},
                    EightCase{"tones_joint_16", 2, 16, 3}),
    [](const testing::TestParamInfo<EightCase>& info) { return std::string(info.param.name); });

}  // namespace
