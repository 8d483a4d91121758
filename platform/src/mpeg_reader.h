#pragma once
// An MPEG audio file as 16-bit PCM through svdecode's core, for the "mpegvideo" device: its
// format, its length and its audio from any place in milliseconds. Lengths and places are
// those of the gapless output (without the encoder's delay and padding where the stream
// tells them); a place lands on its exact sample where the frames' numbers are exact
// (constant bit rates), near it otherwise.
#include "platform/pcm_output.h"

#include <svdecode_core.h>

#include <QFile>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace sv::mci {

class MpegReader {
 public:
  // kNoError, kFileNotFound, kFileRead, or kInvalidFile when it holds no MPEG audio frame.
  int Open(const QString& path);
  const PcmFormat& format() const { return format_; }
  qint64 lengthMs() const { return lengthMs_; }
  // Places the audio at `milliseconds` from its start; false when the file cannot seek.
  bool Seek(qint64 milliseconds);
  // Up to maxBytes of PCM in whole sample frames; 0 at the end.
  qint64 Read(char* data, qint64 maxBytes);

 private:
  static constexpr qint64 kReadBytes = 16384;
  bool nextFrame(svdecode::FrameInfo* info);
  bool decodeNext();

  QFile file_;
  qint64 size_ = 0;
  PcmFormat format_;
  qint64 lengthMs_ = 0;
  svdecode::Decoder decoder_;
  std::array<std::uint8_t, kReadBytes> input_{};
  std::array<std::int16_t, svdecode::kMaxFramePcm> pcm_{};
  qint64 target_ = 0;  // output sample the audio begins at
  std::vector<std::int16_t> pending_;
  std::size_t taken_ = 0;
};

}  // namespace sv::mci
