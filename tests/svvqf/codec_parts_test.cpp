// The encoder's building blocks against the format's rules: bit allocation, interleaving,
// the decoder model, the transform and the bit packing.
#include "analysis.h"
#include "bit_writer.h"
#include "lsp.h"
#include "mode.h"
#include "model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <set>
#include <sstream>

namespace svvqf {
namespace {

// Field widths of one frame of a type, summed as the decoder reads them.
int FrameFieldBits(const Mode& m, FrameType f) {
  const TypeParams& t = m.type[f];
  const int C = m.channels;
  int bits = 4 + m.alloc[f].bits;
  bits += C * t.sub * t.barkCoefs * t.barkBits + C * t.sub;  // bark indices, history flags
  bits += C * Mode::kGainBits + (f == kLong ? 0 : C * t.sub * Mode::kSubGainBits);
  bits += C * (Mode::kLspBit0 + Mode::kLspBit1 + Mode::kLspSplit * Mode::kLspBit2);
  if (f == kLong) bits += m.alloc[kPpc].bits + C * (Mode::kPpcPeriodBits + Mode::kPpcGainBits);
  return bits;
}

TEST(VqfMode, FramesFillTheirBitBudgetExactly) {
  for (int kbps : {40, 48})
    for (int ch : {1, 2}) {
      const Mode m(kbps, ch);
      EXPECT_EQ(m.frameBits, static_cast<int>(int64_t{kbps} * 1000 * ch * 2048 / 44100));
      for (FrameType f : {kShort, kMedium, kLong})
        EXPECT_EQ(FrameFieldBits(m, f), m.frameBits) << kbps << ch << f;
    }
  EXPECT_EQ(Mode(40, 2).frameBits, 3715);
  EXPECT_EQ(Mode(48, 2).frameBits, 4458);
}

TEST(VqfMode, AllocationOfStereo80Long) {
  const Allocation& a = Mode(40, 2).alloc[kLong];
  EXPECT_EQ(a.bits, 3399);
  EXPECT_EQ(a.vectors, 243);
  EXPECT_EQ(a.bitsFirst, 14);
  EXPECT_EQ(a.firstBitsCount, 240);
  EXPECT_EQ(a.lenFirst, 17);
  EXPECT_EQ(a.firstLenCount, 208);
  // Nothing shifted here: element r of vector v is u = 243 r + v, channel u % 2, bin u / 2.
  EXPECT_EQ(a.destination[1 * 17 + 1], (243 + 1) % 2 * 2048 + (243 + 1) / 2);
}

TEST(VqfMode, InterleavingWritesEveryCoefficientOnce) {
  for (int kbps : {40, 48})
    for (int ch : {1, 2}) {
      const Mode m(kbps, ch);
      for (int f = kShort; f <= kPpc; ++f) {
        const Allocation& a = m.alloc[f];
        std::vector<int> hits(a.coefs, 0);
        for (int v = 0; v < a.vectors; ++v)
          for (int r = 0; r < a.Length(v); ++r) {
            const int d = a.destination[v * a.lenFirst + r];
            ASSERT_GE(d, 0);
            ASSERT_LT(d, a.coefs);
            ++hits[d];
          }
        EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), a.coefs) << kbps << ch << f;
      }
    }
}

// The format notes carry the interleaving maps worked out independently; compare when present.
TEST(VqfMode, InterleavingMatchesTheFormatNotes) {
  const std::filesystem::path dir = "../shared/formats/tables";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no format tables at " << dir;
  const char* names[] = {"short", "medium", "long", "ppc"};
  for (int kbps : {40, 48})
    for (int ch : {1, 2}) {
      const Mode m(kbps, ch);
      for (int f = kShort; f <= kPpc; ++f) {
        std::ifstream in(dir / ("perm_44_" + std::to_string(kbps) + (ch == 2 ? "_stereo_" : "_mono_") +
                                names[f] + ".txt"));
        ASSERT_TRUE(in);
        const Allocation& a = m.alloc[f];
        std::string line;
        int v = 0;
        while (std::getline(in, line)) {
          if (line.empty() || line[0] == '#') continue;
          std::istringstream row(line);
          int d, r = 0;
          while (row >> d) {
            if (d >= 0) {
              EXPECT_EQ(a.destination[v * a.lenFirst + r], d) << names[f] << " v" << v << " r" << r;
            }
            ++r;
          }
          ++v;
        }
        EXPECT_EQ(v, a.vectors);
      }
    }
}

TEST(VqfModel, GainsFollowTheirCurves) {
  EXPECT_NEAR(LongGain(255), 13000.0 / 8192, 1e-4);  // the top code clips at the limit
  EXPECT_LT(LongGain(0), 2e-4);
  for (int q = 1; q < 256; ++q) EXPECT_GT(LongGain(q), LongGain(q - 1));
  EXPECT_NEAR(SubGain(31), 4500, 1e-2);
  EXPECT_NEAR(FrameGain(100) * (1 << 23), LongGain(100) * 8192, 1e-2);
  for (int q = 1; q < 128; ++q) EXPECT_GT(PpcGain(q), PpcGain(q - 1));
}

TEST(VqfModel, BarkFactorsUseHistoryAndReplaceTooNegativeValues) {
  const Mode m(40, 2);
  const TypeParams& t = m.type[kLong];
  float hist[40], st[40];
  InitBarkHistory(kLong, 0, hist, 40);
  const int idx[4] = {0, 1, 2, 3};
  DecodeBark(t, idx, false, hist, st);
  for (int e = 0; e < 40; ++e) {
    const float raw = t.fcb[idx[e % 4] * 10 + e / 4] / 4096.0f;
    EXPECT_FLOAT_EQ(st[e], 1 + raw);
    EXPECT_FLOAT_EQ(hist[e], raw);
  }
  float st2[40], hist2[40];
  std::copy(hist, hist + 40, hist2);
  DecodeBark(t, idx, true, hist2, st2);
  for (int e = 0; e < 40; ++e) EXPECT_NEAR(st2[e], 1 + 0.72f * hist[e] + 0.28f * hist[e], 1e-6);
  // The short frames' first channel starts with a history of 0.1 in its three lowest bands.
  InitBarkHistory(kShort, 0, hist, 10);
  EXPECT_FLOAT_EQ(hist[0], 0.1f);
  EXPECT_FLOAT_EQ(hist[3], 0.0f);
}

TEST(VqfModel, LspDecodingKeepsOrderAndPrediction) {
  Lsf history{};
  const int i2[4] = {3, 7, 11, 15};
  const Lsf first = DecodeLsp(1, 12, i2, history);
  EXPECT_TRUE(std::is_sorted(first.begin(), first.end()));
  // The history is the unpredicted vector: stage 1 plus stage 2.
  EXPECT_NEAR(history[0], LspStage1(12)[0] + LspStage2(3)[0], 1e-6);
  EXPECT_NEAR(history[19], LspStage1(12)[19] + LspStage2(15)[19], 1e-6);
  EXPECT_EQ(LspChunkStart(1), 4);
  EXPECT_EQ(LspChunkStart(2), 9);
  EXPECT_EQ(LspChunkStart(3), 14);
  EXPECT_EQ(LspChunkStart(4), 20);
}

TEST(VqfModel, EnvelopeInterpolationStaysNearTheTrueResponse) {
  Lsf history{};
  const int i2[4] = {0, 0, 0, 0};
  const Lsf lsf = DecodeLsp(0, 5, i2, history);
  std::vector<float> env(2048);
  LpcEnvelope(lsf, kLong, 2048, env.data());
  for (int k = 0; k < 1024; k += 8)
    EXPECT_FLOAT_EQ(env[k], LpcResponse(lsf, (k + 0.5f) * float(M_PI) / 2048));
  std::vector<float> shortEnv(128);
  LpcEnvelope(lsf, kShort, 128, shortEnv.data());
  for (int k = 0; k < 128; ++k)
    EXPECT_FLOAT_EQ(shortEnv[k], LpcResponse(lsf, (k + 0.5f) * float(M_PI) / 128));
  // Interpolated points lie between their evaluated neighbours' range, give or take the
  // refinement at sharp peaks.
  for (int k = 1; k < 1016; ++k) EXPECT_GT(env[k], 0.0f);
}

TEST(VqfModel, PeakPlacementUsesAllShapeValuesInRange) {
  int bins[Mode::kPpcShapeLen];
  for (int p : {0, 1, 100, 255, 511}) {
    ASSERT_EQ(PpcBins(40, p, bins), Mode::kPpcShapeLen);
    std::set<int> distinct(bins, bins + Mode::kPpcShapeLen);
    EXPECT_EQ(distinct.size(), static_cast<size_t>(Mode::kPpcShapeLen)) << p;
    for (int b : bins) {
      EXPECT_GE(b, 0);
      EXPECT_LT(b, 1024);
    }
  }
  // Period code 0: peaks 3724/400 = 9.31 bins apart, one bin wide.
  PpcBins(40, 0, bins);
  EXPECT_EQ(bins[0], 9);
  EXPECT_EQ(bins[1], 19);
}

TEST(VqfLsp, FitFindsTheResonanceOfAPeakySpectrum) {
  std::vector<float> amp(2048);
  for (int k = 0; k < 2048; ++k) amp[k] = 1.0f + 200.0f / (1.0f + std::pow((k - 300) / 6.0f, 2.0f));
  LsfAnalyser analyser(2048);
  Lsf lsf;
  ASSERT_TRUE(analyser.Analyse(amp.data(), lsf));
  EXPECT_TRUE(std::is_sorted(lsf.begin(), lsf.end()));
  // The fitted response peaks near bin 300.
  int peak = 0;
  float best = 0;
  for (int k = 0; k < 2048; k += 2) {
    const float r = LpcResponse(lsf, (k + 0.5f) * float(M_PI) / 2048);
    if (r > best) {
      best = r;
      peak = k;
    }
  }
  EXPECT_NEAR(peak, 300, 12);
  std::vector<float> silence(2048, 0.0f);
  EXPECT_FALSE(analyser.Analyse(silence.data(), lsf));
  EXPECT_EQ(lsf, FlatLsf());
}

// The decoder's inverse transform, written out from its formula.
std::vector<double> InverseMdct(const std::vector<float>& X, int B, int channels) {
  const double norm = channels == 2 ? 1 : 2;
  std::vector<double> y(2 * B);
  for (int n = 0; n < 2 * B; ++n) {
    double s = 0;
    for (int k = 0; k < B; ++k) s += X[k] * std::cos(M_PI / B * (n + 0.5 + B / 2.0) * (k + 0.5));
    y[n] = std::sqrt(norm / B) * s;  // in 16-bit units (the decoder divides by 32768)
  }
  return y;
}

TEST(VqfAnalysis, TransformIsTheDecodersInverseWithOverlap) {
  for (int channels : {1, 2})
    for (int B : {128, 512}) {
      Mdct mdct(B, channels);
      ASSERT_TRUE(mdct.Ok());
      // Three overlapping blocks of a signal; the middle stretch must come back exactly.
      std::vector<float> x(4 * B);
      for (size_t i = 0; i < x.size(); ++i)
        x[i] = 1000.0f * std::sin(0.01f * i * i / B) + 300.0f * std::cos(0.3f * i);
      std::vector<double> out(4 * B, 0.0);
      for (int b = 0; b < 3; ++b) {
        std::vector<float> in(2 * B), X(B);
        for (int n = 0; n < 2 * B; ++n) in[n] = x[b * B + n] * WindowAt(B, B, B, n);
        mdct.Forward(in.data(), X.data());
        const auto y = InverseMdct(X, B, channels);
        for (int n = 0; n < 2 * B && b * B + n < 4 * B; ++n) out[b * B + n] += y[n] * WindowAt(B, B, B, n);
      }
      for (int i = B; i < 3 * B; ++i) ASSERT_NEAR(out[i], x[i], 0.05) << "B " << B << " at " << i;
    }
}

TEST(VqfAnalysis, WindowSlopesMeetPowerComplementarily) {
  // A long block ending with the short slope against a short block starting with it.
  for (int n = 0; n < 64; ++n) {
    const float fall = WindowAt(2048, 2048, 64, 2048 + 1024 - 32 + n);
    const float rise = WindowAt(128, 64, 64, 32 + n);
    EXPECT_NEAR(fall * fall + rise * rise, 1.0f, 1e-5);
  }
  EXPECT_EQ(WindowAt(2048, 2048, 64, 2048 + 1024 + 32), 0.0f);
  EXPECT_EQ(StartSlope(2), 64);
  EXPECT_EQ(StartSlope(5), 512);
  EXPECT_EQ(StartSlope(0), 2048);
  EXPECT_EQ(TypeOfWindow(4), kMedium);
  EXPECT_EQ(TypeOfWindow(3), kLong);
}

TEST(VqfAnalysis, AttacksAskForShortBlocksAndSteadyTonesDoNot) {
  TransientDetector d(1);
  std::vector<float> x(8 * 2048, 0.0f);
  for (size_t i = 0; i < x.size(); ++i) x[i] = 3000.0f * std::sin(0.05f * i);
  for (int i = 0; i < 400; ++i)
    x[5 * 2048 + 1500 + i] += 25000.0f * std::exp(-i / 60.0f) * ((i % 7) - 3) / 3.0f;
  d.Feed(x.data(), static_cast<int>(x.size()));
  EXPECT_EQ(d.Decide(2 * 2048 + 1024), kLong);
  EXPECT_EQ(d.Decide(4 * 2048 + 1024), kLong);   // its short blocks end before the attack
  EXPECT_EQ(d.Decide(5 * 2048 + 1024), kShort);  // they cover [11264, 13312), the attack is at 11740
}

TEST(VqfBits, WriterPacksMostSignificantBitFirstAcrossBytes) {
  BitWriter w;
  w.Put(0b101, 3);
  w.Put(0x1F, 5);
  w.Put(0x3, 4);
  EXPECT_EQ(w.BitsWritten(), 12u);
  ASSERT_EQ(w.Bytes().size(), 1u);
  EXPECT_EQ(w.Bytes()[0], 0b10111111);
  w.Flush();
  ASSERT_EQ(w.Bytes().size(), 2u);
  EXPECT_EQ(w.Bytes()[1], 0b00110000);
}

}  // namespace
}  // namespace svvqf
