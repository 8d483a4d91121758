#include "image_recorder.h"

#include "folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <vector>

namespace cdw {
namespace fs = std::filesystem;

namespace {

constexpr int kChunkBlocks = 64;

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string dateTimeName() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
  return text;
}

bool writeAll(int fd, const void* data, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (n > 0) {
    const ssize_t put = ::write(fd, p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (put == 0) errno = ENOSPC;
      return false;
    }
    p += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

// A file written under a temporary name and given its real name only when complete; removed
// when it is not.
class PartFile {
 public:
  ~PartFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!part_.empty()) ::unlink(part_.c_str());
  }
  bool create(const fs::path& final) {
    final_ = final.string();
    const std::string part = final_ + ".part";
    fd_ = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0) return false;
    part_ = part;
    return true;
  }
  int fd() const { return fd_; }
  bool write(const void* data, std::size_t n) { return writeAll(fd_, data, n); }
  // Flushed to the disk, closed and renamed; never over an existing file.
  bool commit() {
    if (fdatasync(fd_) != 0) return false;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return false;
    if (renameat2(AT_FDCWD, part_.c_str(), AT_FDCWD, final_.c_str(), RENAME_NOREPLACE) != 0) {
      if (errno != EINVAL && errno != ENOSYS) return false;
      if (fs::exists(final_)) {
        errno = EEXIST;
        return false;
      }
      if (std::rename(part_.c_str(), final_.c_str()) != 0) return false;
    }
    part_.clear();
    return true;
  }
  // Undoes a commit.
  void remove() const { ::unlink(final_.c_str()); }

 private:
  int fd_ = -1;
  std::string part_, final_;
};

std::string systemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

class ImageRecorder : public Recorder {
 public:
  WriterInfo Info() const override { return {"Image", "Sonvera", "CUE/BIN disc image"}; }
  bool Select() override { return true; }
  void Release() override {}
  bool DiscLoaded() override { return true; }  // a new image is an empty disc
  std::int32_t DiscUsedBlocks() override { return 0; }
  std::int64_t CapacityBlocks() override { return kEightyMinutes; }
  int MaxSpeed() override { return 0; }
  bool BurnProofSupported() override { return true; }  // a file cannot run dry
  void Finish() override {}
  WriteOutcome Write(const DiscPlan& plan, const WriteSettings& settings, WriteContext& context) override;
};

WriteOutcome ImageRecorder::Write(const DiscPlan& plan, const WriteSettings& settings,
                                  WriteContext& context) {
  PartFile bin, cue;
  fs::path cuePath, binPath;
  if (!settings.test) {
    const fs::path folder = DiscFolder();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
      return WriteOutcome::Error(kDeviceError, ec.value(),
                                 "The disc folder " + folder.string() + " cannot be made: " + ec.message());
    std::string base = SafeImageName(settings.imageName);
    if (base.empty()) base = dateTimeName();
    // The first name of base, base_2, base_3 ... of which nothing exists yet.
    for (int n = 1;; ++n) {
      const std::string name = n == 1 ? base : base + "_" + std::to_string(n);
      cuePath = folder / (name + ".cue");
      binPath = folder / (name + ".bin");
      if (fs::exists(cuePath, ec) || fs::exists(binPath, ec) || fs::exists(cuePath.string() + ".part", ec))
        continue;
      if (bin.create(binPath)) break;
      if (errno != EEXIST)
        return WriteOutcome::Error(kDeviceError, errno,
                                   systemError("Cannot create " + binPath.string(), errno));
    }
    context.Note("Image: " + cuePath.string());
  }

  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kChunkBlocks) * kBlockBytes);
  for (std::size_t i = 0; i < plan.tracks.size(); ++i) {
    const PlannedTrack& track = plan.tracks[i];
    auto reader = context.OpenTrack(i);
    if (!reader) return WriteOutcome::File(context.FailedFile());
    const std::int64_t total = track.place.pregap + track.place.blocks;
    context.TrackStarted(track.number, total);
    std::int64_t written = 0;
    while (written < total) {
      const int n = static_cast<int>(std::min<std::int64_t>(kChunkBlocks, total - written));
      // The pregap is silence before the track's own blocks.
      const std::int64_t silent =
          std::min<std::int64_t>(n, std::max<std::int64_t>(track.place.pregap - written, 0));
      std::memset(buffer.data(), 0, static_cast<std::size_t>(silent) * kBlockBytes);
      if (silent < n && !reader->Read(buffer.data() + silent * kBlockBytes, static_cast<int>(n - silent)))
        return WriteOutcome::File(reader->error());
      if (!settings.test && !bin.write(buffer.data(), static_cast<std::size_t>(n) * kBlockBytes))
        return WriteOutcome::Error(kDeviceError, errno, systemError("Writing " + binPath.string(), errno));
      written += n;
      context.TrackProgress(track.number, written, 0);
      if (context.Cancelled()) return WriteOutcome::Cancelled();
    }
    context.TrackClosing(track.number, reader->crc());
  }
  context.DiscClosing();
  if (settings.test) return WriteOutcome::Complete();

  const std::string sheet = CueSheet(plan, binPath.filename().string(), settings.cdText);
  if (!cue.create(cuePath))
    return WriteOutcome::Error(kDeviceError, errno, systemError("Cannot create " + cuePath.string(), errno));
  if (!cue.write(sheet.data(), sheet.size()))
    return WriteOutcome::Error(kDeviceError, errno, systemError("Writing " + cuePath.string(), errno));
  // The BIN gets its name first, so a CUE sheet never stands beside a partial BIN.
  if (!bin.commit())
    return WriteOutcome::Error(kDeviceError, errno, systemError("Finishing " + binPath.string(), errno));
  if (!cue.commit()) {
    const int error = errno;
    bin.remove();
    return WriteOutcome::Error(kDeviceError, error, systemError("Finishing " + cuePath.string(), error));
  }
  if (const int dir = ::open(cuePath.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    fsync(dir);
    ::close(dir);
  }
  return WriteOutcome::Complete(cuePath.string());
}

}  // namespace

std::string SafeImageName(const std::string& name) {
  std::string out;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    out += (c == '/' || c == '"' || c == '\\' || u < 0x20 || u == 0x7F) ? '_' : c;
  }
  const auto first = out.find_first_not_of(" .");
  if (first == std::string::npos) return {};
  out = out.substr(first, out.find_last_not_of(' ') - first + 1);
  return out.substr(0, 200);
}

std::string CueSheet(const DiscPlan& plan, const std::string& binName, bool cdText) {
  std::ostringstream cue;
  auto text = [&](const CdText& t, const char* indent) {
    if (!cdText) return;
    if (!t.title.empty()) cue << indent << "TITLE " << quoted(t.title) << "\n";
    if (!t.performer.empty()) cue << indent << "PERFORMER " << quoted(t.performer) << "\n";
  };
  text(plan.text, "");
  cue << "FILE " << quoted(binName) << " BINARY\n";
  for (const PlannedTrack& track : plan.tracks) {
    char number[8];
    std::snprintf(number, sizeof number, "%02d", track.number);
    cue << "  TRACK " << number << " AUDIO\n";
    text(track.text, "    ");
    // Positions in the BIN, which starts with track 1's pregap.
    const std::int64_t index1 = plan.tracks.front().place.pregap + track.place.start;
    if (track.place.pregap > 0) cue << "    INDEX 00 " << Msf(index1 - track.place.pregap) << "\n";
    cue << "    INDEX 01 " << Msf(index1) << "\n";
  }
  return cue.str();
}

std::unique_ptr<Recorder> MakeImageRecorder() { return std::make_unique<ImageRecorder>(); }

}  // namespace cdw
