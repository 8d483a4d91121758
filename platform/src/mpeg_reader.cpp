#include "mpeg_reader.h"

#include "platform/mci.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sv::mci {
namespace {

// A seek starts this far before its frame and drops the audio up to it, so that the Layer III
// reservoir (up to 511 bytes back) and the previous frame, whose overlap and filter memory
// the first frame played needs, are decoded whole: more than both and one of the largest
// frames.
constexpr qint64 kWarmUpBytes = 4096;

}  // namespace

int MpegReader::Open(const QString& path) {
  file_.setFileName(path);
  if (!file_.exists()) return kFileNotFound;
  if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return kFileRead;
  size_ = file_.size();
  // The first frame tells what the stream decodes to.
  svdecode::FrameInfo first;
  if (!nextFrame(&first)) return kInvalidFile;
  format_ = PcmFormat{first.sample_rate, first.channels};
  const svdecode::StreamInfo& s = decoder_.stream();
  if (s.total_samples >= 0)
    lengthMs_ = std::llround(static_cast<double>(s.total_samples) * 1000.0 / s.sample_rate);
  else if (s.bit_rate > 0)  // every frame at the first one's bit rate: bytes × 8 ÷ kbit/s
    lengthMs_ = (size_ - s.data_start) * 8 / s.bit_rate;
  return Seek(0) ? kNoError : kInvalidFile;
}

bool MpegReader::Seek(qint64 milliseconds) {
  pending_.clear();
  taken_ = 0;
  target_ = milliseconds * format_.sampleRate / 1000;
  qint64 offset = 0;
  if (target_ > 0 && lengthMs_ > 0) {
    const double fraction = static_cast<double>(milliseconds) / static_cast<double>(lengthMs_);
    // Never into a leading tag, whose bytes may look like frames.
    offset =
        std::max<qint64>(decoder_.SeekOffset(fraction, size_) - kWarmUpBytes, decoder_.stream().data_start);
  }
  if (!file_.seek(offset)) return false;
  decoder_.Seek(offset);
  return true;
}

qint64 MpegReader::Read(char* data, qint64 maxBytes) {
  const qint64 frameBytes = format_.bytesPerFrame();
  qint64 given = 0;
  while (maxBytes - given >= frameBytes) {
    if (taken_ == pending_.size() && !decodeNext()) break;
    const qint64 n = std::min<qint64>(static_cast<qint64>(pending_.size() - taken_) * 2,
                                      (maxBytes - given) / frameBytes * frameBytes);
    std::memcpy(data + given, pending_.data() + taken_, static_cast<std::size_t>(n));
    taken_ += static_cast<std::size_t>(n / 2);
    given += n;
  }
  return given;
}

// The next frame that gives PCM, decoded into pcm_ and fed from the file; false at the end.
bool MpegReader::nextFrame(svdecode::FrameInfo* info) {
  for (;;) {
    switch (decoder_.Decode(pcm_.data(), info)) {
      case svdecode::Status::kFrame:
        return true;
      case svdecode::Status::kDamaged:
        break;
      case svdecode::Status::kEnd:
        return false;
      case svdecode::Status::kNeedInput:
        if (const qint64 n = file_.read(reinterpret_cast<char*>(input_.data()), kReadBytes); n > 0)
          decoder_.Feed(input_.data(), static_cast<std::size_t>(n));
        else
          decoder_.EndOfInput();
        break;
    }
  }
}

// Makes the next frame's audio pending, without what lies before the place asked for.
bool MpegReader::decodeNext() {
  svdecode::FrameInfo info;
  do {
    if (!nextFrame(&info)) return false;
    // Frames of another layout (streams joined end to end) cannot play in this format.
  } while (info.channels != format_.channels || info.sample_rate != format_.sampleRate ||
           info.first_sample + info.samples <= target_);
  const qint64 skip = std::clamp<qint64>(target_ - info.first_sample, 0, info.samples);
  pending_.assign(pcm_.begin() + skip * info.channels, pcm_.begin() + info.samples * info.channels);
  taken_ = 0;
  return true;
}

}  // namespace sv::mci
