// The TwinVQ encoder as a stream: 44.1 kHz samples in, frames out. Frames the input the way
// the decoder's overlap puts it back together (two frames of lead-in, so the decoded audio
// lines up with the input at lag 0), picks long, medium or short blocks at attacks, windows
// and transforms, and hands each frame to the frame coder.
#pragma once

#include "analysis.h"
#include "bit_writer.h"
#include "frame_encoder.h"
#include "mode.h"

#include <array>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace svvqf {

class Encoder {
 public:
  // kbpsPerChannel 40 or 48; channels 1 or 2.
  Encoder(int kbpsPerChannel, int channels);
  bool Ok() const;
  // Long blocks only when off (to measure what the short blocks buy).
  void SetBlockSwitching(bool on) { switching_ = on; }
  const Mode& GetMode() const { return mode_; }

  // Interleaved samples (left first) at 44100 Hz, 16-bit range. Codes every frame that has
  // all its input. False on an internal fault.
  bool Push(const float* pcm, int frames, BitWriter& out);
  // Codes the frames still owed so that the decoded audio covers all input.
  bool Finish(BitWriter& out);

  int64_t FramesWritten() const { return frame_; }
  // Frames a stream of `samples` samples per channel takes.
  static int64_t FrameCount(int64_t samples) { return (samples + Mode::kSize - 1) / Mode::kSize + 2; }
  // Frame types chosen so far, by frame (for tests and the statistics).
  const std::vector<uint8_t>& WindowTypes() const { return windowTypes_; }

 private:
  bool EncodeFrame(BitWriter& out);
  const std::vector<float>& Window(int block, int start, int end);

  Mode mode_;
  FrameEncoder frames_;
  std::unique_ptr<Mdct> mdct_[3];
  TransientDetector detector_;
  std::array<std::vector<float>, 2> pending_;  // input from frame_'s first sample, per channel
  int64_t frame_ = 0;                          // next frame to code
  int64_t samples_ = 0;                        // input samples per channel so far
  FrameType prev_ = kLong, cur_ = kLong;
  bool switching_ = true;
  std::vector<float> x_, block_;
  std::map<std::tuple<int, int, int>, std::vector<float>> windows_;  // the few shapes in use
  std::vector<uint8_t> windowTypes_;
};

}  // namespace svvqf
