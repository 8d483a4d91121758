// What the MPEG codec needs from the layer decoders: subband samples for the synthesis.
#pragma once

#include "bitreader.h"
#include "frame.h"

namespace svd {

// Subband samples of one frame and channel: up to 36 time slots of 32 values.
using SubbandSlots = float[36][32];

// Layer I and Layer II: `body` reads the frame after the header (and after the CRC word when
// there is one). Fill out[ch] for every channel of the stream (out[1] only when the header is
// not single channel) and return the number of time slots: 12 for Layer I, 36 for Layer II.
// A fatal inconsistency calls RaiseStreamError() (stream_error.h).
int DecodeLayer1(const FrameHeader& header, BitReader& body, SubbandSlots* out);
int DecodeLayer2(const FrameHeader& header, BitReader& body, SubbandSlots* out);

}  // namespace svd
