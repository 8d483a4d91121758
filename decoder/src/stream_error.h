// The error trap of the layer decoders: code that meets a fatal inconsistency in a frame
// calls RaiseStreamError(); whoever runs the frame's decoding catches StreamError and ends
// that frame only (the decoder core with a damaged frame, the decode step with -700).
#pragma once

namespace svd {

struct StreamError {};

[[noreturn]] inline void RaiseStreamError() { throw StreamError{}; }

}  // namespace svd
