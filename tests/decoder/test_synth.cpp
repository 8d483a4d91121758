// The synthesis filterbank against a direct double-precision evaluation of the polyphase
// filter: matrixing into a 1024-value history, windowing, summing 16 products per sample.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "synth.h"

namespace {

using svd::Synthesis;
using Slot = float[32];

class DirectFilter {
 public:
  DirectFilter() : v_(1024, 0.0) {
    const double pi = std::acos(-1.0);
    for (int i = 0; i < 64; ++i)
      for (int k = 0; k < 32; ++k) n_[i][k] = std::cos((16 + i) * (2 * k + 1) * pi / 64.0);
  }

  // Unrounded output of one slot on the 16-bit scale.
  std::vector<double> Run(const float* s) {
    for (int i = 1023; i >= 64; --i) v_[i] = v_[i - 64];
    for (int i = 0; i < 64; ++i) {
      double sum = 0.0;
      for (int k = 0; k < 32; ++k) sum += n_[i][k] * s[k];
      v_[i] = sum;
    }
    double u[512];
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 32; ++j) {
        u[i * 64 + j] = v_[i * 128 + j];
        u[i * 64 + 32 + j] = v_[i * 128 + 96 + j];
      }
    const int32_t* d = svd::SynthesisWindow();
    std::vector<double> out(32);
    for (int j = 0; j < 32; ++j) {
      double sum = 0.0;
      for (int i = 0; i < 16; ++i) sum += u[j + 32 * i] * d[j + 32 * i] / 65536.0;
      out[j] = sum * 32768.0;
    }
    return out;
  }

 private:
  std::vector<double> v_;
  double n_[64][32];
};

int ExpectedSample(double v) {
  if (v >= 32767.0) return 32767;
  if (v <= -32768.0) return -32768;
  return static_cast<int>(std::nearbyint(v));  // default mode: halves to even
}

std::vector<Synthesis::Path> Paths() {
  std::vector<Synthesis::Path> paths = {Synthesis::Path::kScalar, Synthesis::Path::kSse2};
  if (Synthesis::BestPath() == Synthesis::Path::kAvx2) paths.push_back(Synthesis::Path::kAvx2);
  return paths;
}

std::vector<float> RandomSlots(int count, float amplitude, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  std::vector<float> slots(count * 32);
  for (float& x : slots) x = dist(rng);
  return slots;
}

// Tones in a few subbands, as a layer decoder delivers them for a sine input.
std::vector<float> ToneSlots(int count) {
  std::vector<float> slots(count * 32, 0.0f);
  for (int n = 0; n < count; ++n) {
    slots[n * 32 + 1] = 0.7f * std::sin(0.31f * n);
    slots[n * 32 + 6] = 0.2f * std::cos(1.7f * n + 0.4f);
    slots[n * 32 + 20] = 0.05f * std::sin(2.9f * n);
  }
  return slots;
}

const Slot* AsSlots(const std::vector<float>& v) { return reinterpret_cast<const Slot*>(v.data()); }

std::vector<int16_t> RunAll(Synthesis& f, const std::vector<float>& slots, int per_call = 7) {
  const int count = static_cast<int>(slots.size() / 32);
  std::vector<int16_t> pcm(count * (32 >> f.reduction_shift()), 12345);
  int16_t* out = pcm.data();
  for (int n = 0; n < count; n += per_call) {
    const int c = std::min(per_call, count - n);
    int16_t* next = f.Run(AsSlots(slots) + n, c, out, 1);
    EXPECT_EQ(next - out, c * (32 >> f.reduction_shift()));
    out = next;
  }
  return pcm;
}

struct Comparison {
  int max_diff = 0;
  int exact = 0;
  int total = 0;
};

Comparison CompareWithDirect(Synthesis& f, const std::vector<float>& slots, const float* gains = nullptr) {
  DirectFilter direct;
  const std::vector<int16_t> pcm = RunAll(f, slots);
  const int count = static_cast<int>(slots.size() / 32);
  const int shift = f.reduction_shift();
  Comparison c;
  for (int n = 0; n < count; ++n) {
    float in[32];
    for (int k = 0; k < 32; ++k) in[k] = slots[n * 32 + k] * (gains ? gains[k] : 1.0f);
    const std::vector<double> want = direct.Run(in);
    for (int i = 0; i < (32 >> shift); ++i) {
      const int d = std::abs(pcm[n * (32 >> shift) + i] - ExpectedSample(want[i << shift]));
      c.max_diff = std::max(c.max_diff, d);
      c.exact += d == 0;
      ++c.total;
    }
  }
  return c;
}

TEST(SynthesisWindow, IsTheStandardPrototype) {
  const int32_t* d = svd::SynthesisWindow();
  EXPECT_EQ(d[0], 0);
  EXPECT_NEAR(d[256] / 65536.0, 1.144989014, 1e-9);
  EXPECT_NEAR(d[1] / 65536.0, -0.000015259, 1e-9);
  // Undoing the sign of every other 64-tap block gives the symmetric lowpass prototype
  // whose taps add up to twice the number of bands.
  double sum = 0.0;
  for (int i = 0; i < 512; ++i) {
    const int h = ((i / 64) % 2) ? -d[i] : d[i];
    sum += h / 65536.0;
    if (i > 0) {
      const int mirror = ((512 - i) / 64) % 2 ? -d[512 - i] : d[512 - i];
      EXPECT_EQ(h, mirror) << "tap " << i;
    }
  }
  EXPECT_NEAR(sum, 64.0, 0.01);
}

TEST(Synthesis, MatchesDirectFormulaOnRandomAndToneInput) {
  const std::vector<std::vector<float>> inputs = {RandomSlots(1500, 0.4f, 1), ToneSlots(1500),
                                                  RandomSlots(300, 1.0f, 2)};
  for (Synthesis::Path path : Paths()) {
    for (const auto& slots : inputs) {
      Synthesis f;
      f.SetPath(path);
      ASSERT_EQ(f.path(), path);
      const Comparison c = CompareWithDirect(f, slots);
      EXPECT_LE(c.max_diff, 1) << "path " << int(path);
      EXPECT_GT(c.exact, c.total * 97 / 100) << "path " << int(path);
    }
  }
}

TEST(Synthesis, ClipsFullScaleWithoutWrapping) {
  // A square wave at full scale in the lowest band overshoots the 16-bit range.
  std::vector<float> slots(400 * 32, 0.0f);
  for (int n = 0; n < 400; ++n) slots[n * 32] = ((n / 6) % 2) ? -1.9f : 1.9f;
  for (Synthesis::Path path : Paths()) {
    Synthesis f;
    f.SetPath(path);
    DirectFilter direct;
    const std::vector<int16_t> pcm = RunAll(f, slots);
    int high = 0, low = 0;
    for (int n = 0; n < 400; ++n) {
      const std::vector<double> want = direct.Run(&slots[n * 32]);
      for (int i = 0; i < 32; ++i) {
        const int16_t got = pcm[n * 32 + i];
        if (want[i] > 32768.0) {
          EXPECT_EQ(got, 32767);
          ++high;
        } else if (want[i] < -32769.0) {
          EXPECT_EQ(got, -32768);
          ++low;
        } else {
          EXPECT_LE(std::abs(got - ExpectedSample(want[i])), 1);
        }
      }
    }
    EXPECT_GT(high, 100);
    EXPECT_GT(low, 100);
  }
}

TEST(Synthesis, ReducedRatesGiveEverySecondAndFourthSample) {
  const std::vector<float> slots = RandomSlots(800, 0.5f, 3);
  for (Synthesis::Path path : Paths()) {
    Synthesis full;
    full.SetPath(path);
    const std::vector<int16_t> reference = RunAll(full, slots);
    for (int shift = 1; shift <= 2; ++shift) {
      Synthesis reduced;
      reduced.SetPath(path);
      reduced.SetReductionShift(shift);
      ASSERT_EQ(reduced.reduction_shift(), shift);
      const std::vector<int16_t> pcm = RunAll(reduced, slots);
      ASSERT_EQ(pcm.size(), reference.size() >> shift);
      int max_diff = 0, exact = 0;
      for (size_t i = 0; i < pcm.size(); ++i) {
        const int d = std::abs(pcm[i] - reference[i << shift]);
        max_diff = std::max(max_diff, d);
        exact += d == 0;
      }
      EXPECT_LE(max_diff, 1);
      EXPECT_GT(exact, static_cast<int>(pcm.size()) * 97 / 100);
      Synthesis again;
      again.SetPath(path);
      again.SetReductionShift(shift);
      const Comparison c = CompareWithDirect(again, slots);
      EXPECT_LE(c.max_diff, 1);
    }
  }
}

TEST(Synthesis, EqualiserScalesEachBand) {
  float gains[32];
  for (int k = 0; k < 32; ++k) gains[k] = k % 3 == 0 ? 1.5f : (k % 3 == 1 ? 1.0f / (1.0f + k / 32.0f) : 0.0f);
  const std::vector<float> slots = RandomSlots(600, 0.4f, 4);
  std::vector<float> scaled = slots;
  for (size_t i = 0; i < scaled.size(); ++i) scaled[i] *= gains[i % 32];
  for (Synthesis::Path path : Paths()) {
    Synthesis eq, plain;
    eq.SetPath(path);
    plain.SetPath(path);
    eq.SetEqualiser(gains);
    EXPECT_EQ(RunAll(eq, slots), RunAll(plain, scaled));
    Synthesis checked;
    checked.SetPath(path);
    checked.SetEqualiser(gains);
    EXPECT_LE(CompareWithDirect(checked, slots, gains).max_diff, 1);
    // Removing the gains restores the plain filter.
    Synthesis removed, fresh;
    removed.SetPath(path);
    fresh.SetPath(path);
    removed.SetEqualiser(gains);
    removed.SetEqualiser(nullptr);
    EXPECT_EQ(RunAll(removed, slots), RunAll(fresh, slots));
  }
}

TEST(Synthesis, ResetClearsFilterMemory) {
  const std::vector<float> history = RandomSlots(50, 0.8f, 5);
  const std::vector<float> slots = ToneSlots(100);
  Synthesis fresh;
  const std::vector<int16_t> want = RunAll(fresh, slots);
  Synthesis used;
  RunAll(used, history);
  EXPECT_NE(RunAll(used, slots), want) << "history should matter before a reset";
  RunAll(used, history);
  used.Reset();
  EXPECT_EQ(RunAll(used, slots), want);
  // Garbage from a damaged frame is gone after a reset too.
  std::vector<float> bad(32 * 3, std::nanf(""));
  bad[5] = INFINITY;
  RunAll(used, bad);
  used.Reset();
  EXPECT_EQ(RunAll(used, slots), want);
  // A change of rate starts from cleared memory at the new rate.
  Synthesis half, half_fresh;
  half_fresh.SetReductionShift(1);
  RunAll(half, history);
  half.SetReductionShift(1);
  EXPECT_EQ(RunAll(half, slots), RunAll(half_fresh, slots));
}

TEST(Synthesis, InterleavesAtStrideAndSilenceKeepsState) {
  const std::vector<float> left = RandomSlots(40, 0.5f, 6);
  const std::vector<float> right = ToneSlots(40);
  Synthesis l, r, lone, rone;
  const std::vector<int16_t> l_want = RunAll(lone, left), r_want = RunAll(rone, right);
  std::vector<int16_t> pcm(40 * 32 * 2 + 2, 777);
  int16_t* end_l = l.Run(AsSlots(left), 40, pcm.data(), 2);
  int16_t* end_r = r.Run(AsSlots(right), 40, pcm.data() + 1, 2);
  EXPECT_EQ(end_l, pcm.data() + 40 * 64);
  EXPECT_EQ(end_r, pcm.data() + 40 * 64 + 1);
  for (int i = 0; i < 40 * 32; ++i) {
    ASSERT_EQ(pcm[2 * i], l_want[i]);
    ASSERT_EQ(pcm[2 * i + 1], r_want[i]);
  }
  EXPECT_EQ(pcm[40 * 64], 777);

  // Silence writes zeros at the stride and leaves the filter where it was.
  Synthesis a, b;
  a.SetReductionShift(1);
  b.SetReductionShift(1);
  RunAll(a, left);
  RunAll(b, left);
  std::vector<int16_t> quiet(3 * 16 * 2, 5);
  EXPECT_EQ(a.Silence(3, quiet.data(), 2), quiet.data() + 96);
  for (size_t i = 0; i < quiet.size(); ++i) EXPECT_EQ(quiet[i], i % 2 ? 5 : 0);
  EXPECT_EQ(RunAll(a, right), RunAll(b, right));
}

TEST(Synthesis, SimdPathsAgreeWithScalar) {
  const std::vector<float> slots = RandomSlots(2000, 0.6f, 7);
  for (int shift = 0; shift <= 2; ++shift) {
    Synthesis scalar;
    scalar.SetPath(Synthesis::Path::kScalar);
    scalar.SetReductionShift(shift);
    const std::vector<int16_t> want = RunAll(scalar, slots);
    for (Synthesis::Path path : Paths()) {
      Synthesis f;
      f.SetPath(path);
      f.SetReductionShift(shift);
      const std::vector<int16_t> got = RunAll(f, slots);
      int max_diff = 0, same = 0;
      for (size_t i = 0; i < got.size(); ++i) {
        max_diff = std::max(max_diff, std::abs(got[i] - want[i]));
        same += got[i] == want[i];
      }
      EXPECT_LE(max_diff, 1);
      EXPECT_GT(same, static_cast<int>(got.size()) * 99 / 100);
    }
  }
}

}  // namespace
