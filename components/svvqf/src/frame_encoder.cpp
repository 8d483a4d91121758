#include "frame_encoder.h"

#include "analysis.h"
#include "gains.h"
#include "lsp.h"
#include "ppc.h"
#include "tables/twinvq_tables.h"

#include <algorithm>
#include <cmath>

namespace svvqf {

FrameEncoder::FrameEncoder(const Mode& mode) : mode_(mode), ppc_(mode) {
  for (int i = 0; i < kLevels; ++i) levels_[i] = std::pow(10.0f, (i - 130) / 20.0f);
  for (int f = kShort; f <= kLong; ++f)
    main_[f] = std::make_unique<ConjugateCodebook>(mode.type[f].cbA, mode.type[f].cbB, mode.type[f].cbStride);
  for (int f = kShort; f <= kLong; ++f) lsf_[f] = std::make_unique<LsfAnalyser>(mode.type[f].block);
  for (auto& h : lspHistory_) h.fill(0.0f);
  for (int f = kShort; f <= kLong; ++f)
    for (int ch = 0; ch < 2; ++ch) InitBarkHistory(static_cast<FrameType>(f), ch, barkHistory_[f][ch], 40);
  const size_t n = static_cast<size_t>(mode.channels) * Mode::kSize;
  env_.resize(n);
  r_.resize(n);
  target_.resize(n);
  weight_.resize(n);
  decoded_.resize(n);
  scale_.resize(n);
  recon_.resize(n);
}

bool FrameEncoder::Encode(int wt, const float* x, BitWriter& out) {
  const FrameType f = TypeOfWindow(wt);
  const TypeParams& t = mode_.type[f];
  const int channels = mode_.channels, B = t.block, S = t.sub;
  const uint64_t startBits = out.BitsWritten();

  // LSP envelope, one per channel, from the sub-blocks' mean amplitude spectrum.
  LspCode lsp[2];
  for (int ch = 0; ch < channels; ++ch) {
    const float* xc = x + ch * Mode::kSize;
    std::vector<float> amp(B, 0.0f);
    for (int j = 0; j < S; ++j)
      for (int k = 0; k < B; ++k) amp[k] += std::fabs(xc[j * B + k]) / S;
    Lsf target;
    lsf_[f]->Analyse(amp.data(), target);
    lsp[ch] = QuantiseLsf(target, amp.data(), B, lspHistory_[ch]);
    const Lsf lsf = DecodeLsp(lsp[ch].h, lsp[ch].i1, lsp[ch].i2, lspHistory_[ch]);
    float* ec = env_.data() + ch * Mode::kSize;
    LpcEnvelope(lsf, f, B, ec);
    for (int j = 1; j < S; ++j) std::copy(ec, ec + B, ec + j * B);
    for (int k = 0; k < Mode::kSize; ++k) r_[ch * Mode::kSize + k] = xc[k] / ec[k];
  }

  // Periodic peaks come off the target before the gains are chosen.
  PpcChoice ppc;
  if (f == kLong) {
    ppc = ppc_.Search(r_.data(), env_.data());
    for (size_t k = 0; k < r_.size(); ++k) r_[k] -= ppc.contribution[k];
  }

  // Gains and bark envelope per channel and sub-block.
  BarkChoice bark[2][16];
  int gain[2] = {}, subGain[2][16] = {};
  for (int ch = 0; ch < channels; ++ch) {
    float* hist = barkHistory_[f][ch];
    BandStats stats[16][40];
    for (int j = 0; j < S; ++j)
      BandStatsOf(t, r_.data() + ch * Mode::kSize + j * B, env_.data() + ch * Mode::kSize + j * B, stats[j]);
    const float ones[40] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                            1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    float st[40];
    if (f == kLong) {
      int q = BestGainCode(stats[0], t.barkBands, ones, 0, 255, LongGain, 8);
      q = BestGainCode(stats[0], t.barkBands, ones, std::max(0, q - 7), std::min(255, q + 7), LongGain);
      BarkChoice b = ChooseBark(t, stats[0], LongGain(q), hist);
      float tmp[40];
      std::copy(hist, hist + 40, tmp);
      DecodeBark(t, b.idx, b.useHistory, tmp, st);
      q = BestGainCode(stats[0], t.barkBands, st, std::max(0, q - 24), std::min(255, q + 24), LongGain);
      b = ChooseBark(t, stats[0], LongGain(q), hist);
      gain[ch] = q;
      bark[ch][0] = b;
      DecodeBark(t, b.idx, b.useHistory, hist, st);
      float* sc = scale_.data() + ch * Mode::kSize;
      for (int e = 0, k = 0; e < t.barkBands; ++e)
        for (int i = 0; i < t.barkWidth[e]; ++i) sc[k++] = LongGain(q) * st[e];
    } else {
      // The frame gain leaves the loudest sub-block room at the top of the sub-gain range.
      float want[16];
      float loudest = 0;
      for (int j = 0; j < S; ++j) {
        float best = 3.4e38f;
        want[j] = 0;
        for (int i = 0; i < kLevels; ++i) {
          const float g = levels_[i];
          const float c = CostAt(stats[j], t.barkBands, g, ones);
          if (c < best) {
            best = c;
            want[j] = g;
          }
        }
        loudest = std::max(loudest, want[j]);
      }
      gain[ch] = 255;
      for (int q = 0; q < 256; ++q)
        if (FrameGain(q) * SubGain(31) >= loudest * 1.5f) {
          gain[ch] = q;
          break;
        }
      const float G = FrameGain(gain[ch]);
      float* sc = scale_.data() + ch * Mode::kSize;
      for (int j = 0; j < S; ++j) {
        int s = BestGainCode(stats[j], t.barkBands, ones, 0, 31, [&](int c) { return G * SubGain(c); });
        BarkChoice b = ChooseBark(t, stats[j], G * SubGain(s), hist);
        float tmp[40];
        std::copy(hist, hist + t.barkBands, tmp);
        DecodeBark(t, b.idx, b.useHistory, tmp, st);
        s = BestGainCode(stats[j], t.barkBands, st, 0, 31, [&](int c) { return G * SubGain(c); });
        b = ChooseBark(t, stats[j], G * SubGain(s), hist);
        subGain[ch][j] = s;
        bark[ch][j] = b;
        DecodeBark(t, b.idx, b.useHistory, hist, st);
        for (int e = 0, k = j * B; e < t.barkBands; ++e)
          for (int i = 0; i < t.barkWidth[e]; ++i) sc[k++] = G * SubGain(s) * st[e];
      }
    }
  }

  // Main vector quantisation in the coded domain, errors weighed as in the spectrum.
  const size_t n = static_cast<size_t>(channels) * Mode::kSize;
  for (size_t k = 0; k < n; ++k) {
    const float s = scale_[k];
    const float safe = std::fabs(s) > 1e-20f ? s : 1e-20f;
    target_[k] = r_[k] / safe;
    const float w = env_[k] * s;
    weight_[k] = w * w;
  }
  VqFields vq;
  SearchVq(mode_.alloc[f], *main_[f], target_.data(), weight_.data(), vq, decoded_.data());
  for (size_t k = 0; k < n; ++k)
    recon_[k] = env_[k] * (scale_[k] * decoded_[k] + (f == kLong ? ppc.contribution[k] : 0.0f));

  // The fields in stream order.
  const Allocation& a = mode_.alloc[f];
  out.Put(static_cast<uint32_t>(wt), 4);
  for (int v = 0; v < a.vectors; ++v) {
    out.Put(vq.a[v], Allocation::BitsA(a.Bits(v)));
    out.Put(vq.b[v], Allocation::BitsB(a.Bits(v)));
  }
  for (int ch = 0; ch < channels; ++ch)
    for (int j = 0; j < S; ++j)
      for (int k = 0; k < t.barkCoefs; ++k) out.Put(static_cast<uint32_t>(bark[ch][j].idx[k]), t.barkBits);
  for (int ch = 0; ch < channels; ++ch)
    for (int j = 0; j < S; ++j) out.Put(bark[ch][j].useHistory ? 1 : 0, 1);
  for (int ch = 0; ch < channels; ++ch) {
    out.Put(static_cast<uint32_t>(gain[ch]), Mode::kGainBits);
    if (f != kLong)
      for (int j = 0; j < S; ++j) out.Put(static_cast<uint32_t>(subGain[ch][j]), Mode::kSubGainBits);
  }
  for (int ch = 0; ch < channels; ++ch) {
    out.Put(static_cast<uint32_t>(lsp[ch].h), Mode::kLspBit0);
    out.Put(static_cast<uint32_t>(lsp[ch].i1), Mode::kLspBit1);
    for (int c = 0; c < Mode::kLspSplit; ++c) out.Put(static_cast<uint32_t>(lsp[ch].i2[c]), Mode::kLspBit2);
  }
  if (f == kLong) {
    const Allocation& pa = mode_.alloc[kPpc];
    for (int v = 0; v < pa.vectors; ++v) {
      out.Put(ppc.fields.a[v], Allocation::BitsA(pa.Bits(v)));
      out.Put(ppc.fields.b[v], Allocation::BitsB(pa.Bits(v)));
    }
    for (int ch = 0; ch < channels; ++ch) {
      out.Put(static_cast<uint32_t>(ppc.period[ch]), Mode::kPpcPeriodBits);
      out.Put(static_cast<uint32_t>(ppc.gain[ch]), Mode::kPpcGainBits);
    }
  }
  return out.BitsWritten() - startBits == static_cast<uint64_t>(mode_.frameBits);
}

}  // namespace svvqf
