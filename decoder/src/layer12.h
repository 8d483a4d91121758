// Facts of the Layer I and Layer II decoders that the codec and the tests look at. The decode
// entry points themselves are in layers.h.
#pragma once

#include "frame.h"

namespace svd {

// First subband coded jointly: 4, 8, 12 or 16 in joint stereo, else 32.
int JointStereoBound(const FrameHeader& header);

// Layer II allocation table of a frame: 0 to 3 the MPEG-1 tables with 27, 30, 8 and 12
// subbands, 4 the 30-subband table of the lower sampling frequencies (MPEG-2).
int Layer2Table(const FrameHeader& header);
// Number of coded subbands of that table.
int Layer2SubbandLimit(const FrameHeader& header);

}  // namespace svd
