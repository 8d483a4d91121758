// The "mpegvideo" device: plays MPEG audio files through svdecode.
//
// svdecode keeps one decoder per loaded copy of the library, and the program's own copy
// belongs to the conversion jobs and to the MP3 information class. So each open device
// decodes with a copy of the library of its own, loaded into a separate link-map namespace:
// a play and a length measurement elsewhere in the program never meet. Copies are kept for
// reuse; at most kMaxCopies devices can be open at once.
//
// The decoder writes PCM to a file name, so it gets a pipe's name; what it writes is read
// back between decode steps, on the thread that plays.
#include "mci_file_device.h"
#include "platform/library_loader.h"
#include "platform/mci_file_devices.h"
#include "platform/stream_length.h"

#include <QFile>

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

namespace sv::mci {
namespace {

constexpr std::size_t kMaxCopies = 3;
constexpr int kWavHeaderBytes = 44;
constexpr std::int32_t kStreamError = -700;

// One copy of svdecode and its calls.
struct DecoderCopy {
  void* handle = nullptr;
  bool inUse = false;
  std::int32_t (*CreateDecoder)() = nullptr;
  std::int32_t (*DeleteDecoder)() = nullptr;
  std::int32_t (*RegisterInputModule)() = nullptr;
  std::int32_t (*RegisterOutputModule)() = nullptr;
  std::int32_t (*Mp3InputOpen)(const char*) = nullptr;
  std::int32_t (*WaveOutputOpen)(const char*) = nullptr;
  std::int32_t (*Mp3DecodePlay)() = nullptr;
  std::int32_t (*Mp3InputClose)() = nullptr;
  std::int32_t (*WaveOutputClose)() = nullptr;
  std::int32_t (*SeekToPosition)(float) = nullptr;
  std::int32_t (*SeekToTime)(float) = nullptr;
  float (*GetCurrentPosition)() = nullptr;
  double (*GetCurrentTimeSecond)() = nullptr;

  bool Load() {
    std::error_code ec;
    std::filesystem::path file = ProgramLibDirectory() / "libsvdecode.so";
    if (!std::filesystem::exists(file, ec)) file = "libsvdecode.so";
    handle = dlmopen(LM_ID_NEWLM, file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return false;
    bool ok = true;
    auto bind = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
      ok = ok && fn != nullptr;
    };
    bind(CreateDecoder, "CreateDecoder");
    bind(DeleteDecoder, "DeleteDecoder");
    bind(RegisterInputModule, "RegisterInputModule");
    bind(RegisterOutputModule, "RegisterOutputModule");
    bind(Mp3InputOpen, "Mp3InputOpen");
    bind(WaveOutputOpen, "WaveOutputOpen");
    bind(Mp3DecodePlay, "Mp3DecodePlay");
    bind(Mp3InputClose, "Mp3InputClose");
    bind(WaveOutputClose, "WaveOutputClose");
    bind(SeekToPosition, "SeekToPosition");
    bind(SeekToTime, "SeekToTime");
    bind(GetCurrentPosition, "GetCurrentPosition");
    bind(GetCurrentTimeSecond, "GetCurrentTimeSecond");
    return ok;
  }
};

// Namespaces cannot be reliably unloaded, so copies live as long as the process.
std::vector<std::unique_ptr<DecoderCopy>>& copies() {
  static std::vector<std::unique_ptr<DecoderCopy>> all;
  return all;
}

DecoderCopy* AcquireCopy(int& error) {
  for (auto& copy : copies())
    if (!copy->inUse) {
      copy->inUse = true;
      return copy.get();
    }
  if (copies().size() >= kMaxCopies) {
    error = kDeviceNotReady;
    return nullptr;
  }
  auto copy = std::make_unique<DecoderCopy>();
  if (!copy->Load()) {
    error = kCannotLoadDriver;
    return nullptr;
  }
  copy->inUse = true;
  copies().push_back(std::move(copy));
  return copies().back().get();
}

class MpegVideoDevice : public FileDevice {
 public:
  explicit MpegVideoDevice(DecoderCopy& copy) : d_(copy) {}

  ~MpegVideoDevice() override {
    StopOutput();
    closeOutput();
    if (created_) {
      d_.Mp3InputClose();
      d_.DeleteDecoder();
    }
    d_.inUse = false;
  }

  int Open(const QString& path) {
    if (!QFile::exists(path)) return kFileNotFound;
    if (d_.CreateDecoder() != 0) return kOutOfMemory;
    created_ = true;
    d_.RegisterInputModule();
    d_.RegisterOutputModule();
    if (d_.Mp3InputOpen(QFile::encodeName(path).constData()) != 0) return kInvalidFile;
    const double seconds = StreamSeconds(
        DecoderClock{d_.SeekToPosition, d_.SeekToTime, d_.GetCurrentTimeSecond, d_.GetCurrentPosition});
    lengthMs_ = static_cast<qint64>(std::llround(seconds * 1000.0));
    // The header before the first decoded frame tells the sample rate and the channels.
    if (!Rewind(0) || !fill(kWavHeaderBytes)) return kInvalidFile;
    const auto* h = reinterpret_cast<const unsigned char*>(pending_.data());
    format_.channels = h[22] | (h[23] << 8);
    format_.sampleRate = static_cast<int>(h[24] | (h[25] << 8) | (h[26] << 16));
    if (format_.channels < 1 || format_.channels > 2 || format_.sampleRate <= 0) return kInvalidFile;
    return kNoError;
  }

 protected:
  bool Rewind(qint64 milliseconds) override {
    closeOutput();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd_ = fds[0];
    fcntl(readEnd_, F_SETFL, O_NONBLOCK);
    // Room for many frames, so the decoder never waits on the reader (the same thread).
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    const std::string name = "wav:/proc/self/fd/" + std::to_string(fds[1]);
    if (milliseconds > 0)
      d_.SeekToTime(static_cast<float>(milliseconds / 1000.0));
    else
      d_.SeekToPosition(0.0f);
    const bool opened = d_.WaveOutputOpen(name.c_str()) == 0;
    ::close(fds[1]);
    if (!opened) {
      closeOutput();
      return false;
    }
    outputOpen_ = true;
    ended_ = false;
    pending_.clear();
    headerSkipped_ = false;
    return true;
  }

  qint64 Read(char* data, qint64 maxBytes) override {
    maxBytes -= maxBytes % format_.bytesPerFrame();
    fill(kWavHeaderBytes + maxBytes);
    if (!headerSkipped_) {
      if (pending_.size() < static_cast<std::size_t>(kWavHeaderBytes)) return 0;
      pending_.erase(pending_.begin(), pending_.begin() + kWavHeaderBytes);
      headerSkipped_ = true;
    }
    std::size_t n = std::min<std::size_t>(pending_.size(), static_cast<std::size_t>(maxBytes));
    n -= n % static_cast<std::size_t>(format_.bytesPerFrame());
    std::memcpy(data, pending_.data(), n);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<qint64>(n);
  }

 private:
  // Decodes until `bytes` are waiting or the stream has ended.
  bool fill(qint64 bytes) {
    while (static_cast<qint64>(pending_.size()) < bytes && !ended_) {
      const std::int32_t r = d_.Mp3DecodePlay();
      if (r != 0 && r != kStreamError) {
        // The end: what the output still holds comes with its close.
        d_.WaveOutputClose();
        outputOpen_ = false;
        ended_ = true;
      }
      drain();
    }
    return static_cast<qint64>(pending_.size()) >= bytes;
  }

  void drain() {
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(readEnd_, buffer, sizeof buffer);
      if (n <= 0) break;
      pending_.insert(pending_.end(), buffer, buffer + n);
    }
  }

  void closeOutput() {
    if (outputOpen_) d_.WaveOutputClose();
    outputOpen_ = false;
    if (readEnd_ >= 0) ::close(readEnd_);
    readEnd_ = -1;
  }

  DecoderCopy& d_;
  bool created_ = false;
  bool outputOpen_ = false;
  bool ended_ = false;
  bool headerSkipped_ = false;
  int readEnd_ = -1;
  std::vector<char> pending_;
};

}  // namespace

void RegisterMpegVideoDevice() {
  if (IsDeviceTypeRegistered(QStringLiteral("mpegvideo"))) return;
  RegisterDeviceType(QStringLiteral("mpegvideo"),
                     [](const OpenRequest& request, int& error) -> std::unique_ptr<Device> {
                       if (request.element.isEmpty()) {
                         error = kMissingParameter;
                         return nullptr;
                       }
                       DecoderCopy* copy = AcquireCopy(error);
                       if (!copy) return nullptr;
                       auto device = std::make_unique<MpegVideoDevice>(*copy);
                       error = device->Open(request.element);
                       return error == kNoError ? std::move(device) : nullptr;
                     });
}

}  // namespace sv::mci
