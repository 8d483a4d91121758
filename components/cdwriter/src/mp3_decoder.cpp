#include "mp3_decoder.h"

#include "codec_io/wav_sink.h"
#include "svcodec.h"

#include <svdecode_core.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <memory>
#include <vector>

namespace cdw {
namespace {

// Damaged frames passed over before the first good one, before a file counts as no MP3.
constexpr int kMaxLeadingDamage = 64;
// Progress is told every this many frames.
constexpr int kProgressFrames = 16;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// An MP3 file fed to a decoder core as it asks for bytes.
class Mp3Stream {
 public:
  explicit Mp3Stream(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
    struct stat st {};
    if (file_ && fstat(fileno(file_.get()), &st) == 0) size_ = st.st_size;
  }
  bool opened() const { return file_ != nullptr; }
  bool readFailed() const { return readFailed_; }
  std::int64_t size() const { return size_; }
  const svdecode::StreamInfo& stream() const { return decoder_.stream(); }

  // The next frame: kFrame (its PCM in pcm), kDamaged, or kEnd (also after a read error).
  svdecode::Status Next(std::int16_t* pcm, svdecode::FrameInfo* info) {
    for (;;) {
      const svdecode::Status s = decoder_.Decode(pcm, info);
      if (s != svdecode::Status::kNeedInput) return s;
      const std::size_t n = std::fread(input_.data(), 1, input_.size(), file_.get());
      if (n > 0) {
        decoder_.Feed(input_.data(), n);
      } else {
        readFailed_ = std::ferror(file_.get()) != 0;
        decoder_.EndOfInput();
      }
    }
  }

 private:
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::int64_t size_ = 0;
  bool readFailed_ = false;
  svdecode::Decoder decoder_;
  std::array<std::uint8_t, 65536> input_{};
};

}  // namespace

std::optional<Mp3Facts> ProbeMp3(const std::string& mp3) {
  Mp3Stream in(mp3);
  if (!in.opened()) return std::nullopt;
  std::vector<std::int16_t> pcm(svdecode::kMaxFramePcm);
  svdecode::FrameInfo info;
  svdecode::Status s = svdecode::Status::kDamaged;
  for (int damaged = 0; damaged <= kMaxLeadingDamage && s == svdecode::Status::kDamaged; ++damaged)
    s = in.Next(pcm.data(), &info);
  if (s != svdecode::Status::kFrame) return std::nullopt;
  Mp3Facts facts;
  facts.sampleRate = info.sample_rate;
  facts.channels = info.channels;
  const svdecode::StreamInfo& stream = in.stream();
  if (stream.total_samples >= 0)
    facts.frames = stream.total_samples;
  else if (stream.bit_rate > 0)  // every frame at the first one's bit rate
    facts.frames = (in.size() - stream.data_start) * 8 / stream.bit_rate * stream.sample_rate / 1000;
  return facts;
}

Mp3Result DecodeMp3ToWav(const std::string& mp3, const std::string& wav,
                         const std::function<bool(double)>& progress) {
  Mp3Result result = Mp3Result::Done;
  {
    Mp3Stream in(mp3);
    svcodec::WavSink out;
    bool created = false;
    std::vector<std::int16_t> pcm(svdecode::kMaxFramePcm);
    svdecode::FrameInfo info, first;
    svdecode::Status s;
    int frames = 0;
    while (in.opened() && (s = in.Next(pcm.data(), &info)) != svdecode::Status::kEnd) {
      if (s == svdecode::Status::kFrame) {
        // The first frame sets the format; frames of another (streams joined end to end)
        // cannot be written in it.
        if (!created) {
          first = info;
          created = true;
          if (out.Create(wav.c_str(), info.channels, info.sample_rate) != SVC_OK) {
            result = Mp3Result::WriteFailed;
            break;
          }
        }
        if (info.channels == first.channels && info.sample_rate == first.sample_rate &&
            !out.Write(pcm.data(), static_cast<std::size_t>(info.samples))) {
          result = Mp3Result::WriteFailed;
          break;
        }
      }
      if (++frames % kProgressFrames == 0 && in.size() > 0 &&
          !progress(static_cast<double>(info.offset) / static_cast<double>(in.size()))) {
        result = Mp3Result::Cancelled;
        break;
      }
    }
    if (result == Mp3Result::Done && (!in.opened() || in.readFailed() || !created))
      result = Mp3Result::ReadFailed;
    if (created && out.Finish() != SVC_OK && result == Mp3Result::Done) result = Mp3Result::WriteFailed;
    if (result == Mp3Result::Done) progress(1.0);
  }
  if (result != Mp3Result::Done) ::unlink(wav.c_str());
  return result;
}

}  // namespace cdw
