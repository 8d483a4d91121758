// The decoders' output: a 16-bit PCM WAV whose header always describes what the file
// holds. The header is written first with no samples and made to match the samples that
// reached the disk when the file is finished, however the decode ended.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec_io/file_writer.h"

namespace svcodec {

class WavSink {
 public:
  // channelMask is used for more than two channels (WAV speaker positions); 0 for none.
  // SVC_OK or SVC_E_DEST_CREATE.
  int32_t Create(const char* path, int channels, int rate, uint32_t channelMask = 0);
  // Interleaved frames; false once writing has failed or the file would outgrow a WAV.
  bool Write(const int16_t* frames, size_t count);
  // Makes the header tell the truth and closes: SVC_OK or SVC_E_WRITE.
  int32_t Finish();
  uint64_t FramesWritten() const;

 private:
  FileWriter out_;
  int channels_ = 0;
  int rate_ = 0;
  uint32_t mask_ = 0;
  uint32_t headerBytes_ = 0;
  bool tooLong_ = false;
  bool finished_ = false;
};

}  // namespace svcodec
