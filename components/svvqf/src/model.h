// What the decoder computes from the side fields: gains, bark-scale envelope, LSP decoding
// and the LPC envelope, periodic-peak placement. The encoder runs the same arithmetic on the
// fields it writes, so its state (LSP and bark histories) and its targets match the
// decoder's exactly.
#pragma once

#include "mode.h"

#include <array>

namespace svvqf {

// Gains from their quantised codes.
float LongGain(int q);   // 8-bit gain of a long frame
float FrameGain(int q);  // 8-bit gain of a short or medium frame
float SubGain(int s);    // 5-bit sub-block gain, multiplies FrameGain
float PpcGain(int q);    // 7-bit periodic-peak gain

using Lsf = std::array<float, Mode::kLsp>;

// LSP codebook access: stage-1 row, stage-2 row, prediction weights.
const float* LspStage1(int i);
const float* LspStage2(int i);
const float* LspPredict(int h);
// First coefficient of LSP split chunk c (c = 0..kLspSplit; the last is kLsp).
int LspChunkStart(int c);

// Decodes one channel's LSP fields; `history` is the channel's predictor state, updated.
Lsf DecodeLsp(int h, int i1, const int* i2, Lsf& history);

// The LPC power response at angle w (radians), used as an amplitude multiplier.
float LpcResponse(const Lsf& lsf, float w);
// The envelope of one sub-block of `block` bins for a frame type, with the decoder's
// interpolation between exactly evaluated points.
void LpcEnvelope(const Lsf& lsf, FrameType type, int block, float* env);

// Bark band factors of one sub-block: indices `idx` (barkCoefs of them), history flag;
// `history` (barkBands values) is updated. Writes barkBands factors to `st`.
void DecodeBark(const TypeParams& t, const int* idx, bool useHistory, float* history, float* st);
// Initial bark histories of a channel for a frame type.
void InitBarkHistory(FrameType type, int channel, float* history, int bands);

// Bins that the 54 periodic-peak shape values go to, in order, for period code p.
// Returns how many values are placed (all of them for the 44.1 kHz modes).
int PpcBins(int kbpsPerChannel, int p, int* bins);

}  // namespace svvqf
