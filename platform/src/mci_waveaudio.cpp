// The "waveaudio" device: plays a RIFF WAVE file. Length and position are in milliseconds;
// integer PCM of 8 to 32 bits and 32-bit float play as 16-bit samples.
#include "mci_file_device.h"
#include "platform/mci_file_devices.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <vector>

namespace sv::mci {
namespace {

constexpr quint16 kPcm = 1;
constexpr quint16 kFloat = 3;
constexpr quint16 kExtensible = 0xFFFE;

quint32 le32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<quint32>(u[3]) << 24);
}
quint16 le16(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<quint16>(u[0] | (u[1] << 8));
}

class WaveAudioDevice : public FileDevice {
 public:
  ~WaveAudioDevice() override { StopOutput(); }

  // Reads the chunk list; an error code when the file is missing or not a WAVE file.
  int Open(const QString& path) {
    file_.setFileName(path);
    if (!file_.exists()) return kFileNotFound;
    if (!file_.open(QIODevice::ReadOnly)) return kFileRead;
    char head[12];
    if (file_.read(head, 12) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
      return kInvalidFile;
    bool haveFormat = false, haveData = false;
    while (!haveData) {
      char chunk[8];
      if (file_.read(chunk, 8) != 8) break;
      const qint64 size = le32(chunk + 4);
      const qint64 body = file_.pos();
      if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
        char fmt[40] = {};
        file_.read(fmt, std::min<qint64>(size, sizeof fmt));
        tag_ = le16(fmt);
        channels_ = le16(fmt + 2);
        rate_ = static_cast<int>(le32(fmt + 4));
        blockAlign_ = le16(fmt + 12);
        bits_ = le16(fmt + 14);
        if (tag_ == kExtensible && size >= 26) tag_ = le16(fmt + 24);
        haveFormat = true;
      } else if (std::memcmp(chunk, "data", 4) == 0) {
        dataStart_ = body;
        // Writers that never finished leave a size past the end: the file's bytes count.
        dataBytes_ = std::min(size, file_.size() - body);
        haveData = true;
      }
      if (!file_.seek(body + size + (size & 1))) break;
    }
    if (!haveFormat || !haveData || channels_ == 0 || rate_ <= 0 || blockAlign_ == 0) return kInvalidFile;
    format_ = PcmFormat{rate_, channels_};
    const qint64 frames = dataBytes_ / blockAlign_;
    lengthMs_ = frames * 1000 / rate_;
    return kNoError;
  }

 protected:
  int PlayError() const override {
    const bool integer = tag_ == kPcm && bits_ >= 8 && bits_ <= 32 && bits_ % 8 == 0;
    const bool floating = tag_ == kFloat && bits_ == 32;
    return (integer || floating) && blockAlign_ == channels_ * bits_ / 8 ? kNoError : kInvalidFile;
  }

  bool Rewind(qint64 milliseconds) override {
    const qint64 frame = milliseconds * rate_ / 1000;
    readOffset_ = std::min(frame * blockAlign_, dataBytes_);
    return file_.seek(dataStart_ + readOffset_);
  }

  qint64 Read(char* data, qint64 maxBytes) override {
    const int bytesIn = bits_ / 8;
    const qint64 frames =
        std::min(maxBytes / format_.bytesPerFrame(), (dataBytes_ - readOffset_) / blockAlign_);
    if (frames <= 0) return 0;
    if (bytesIn == 2) {
      const qint64 n = file_.read(data, frames * blockAlign_);
      if (n <= 0) return 0;
      readOffset_ += n;
      return n / blockAlign_ * blockAlign_;
    }
    raw_.resize(static_cast<std::size_t>(frames * blockAlign_));
    const qint64 n = file_.read(raw_.data(), static_cast<qint64>(raw_.size()));
    if (n <= 0) return 0;
    readOffset_ += n;
    const qint64 samples = n / blockAlign_ * channels_;
    auto* out = reinterpret_cast<qint16*>(data);
    for (qint64 i = 0; i < samples; ++i) {
      const char* p = raw_.data() + i * bytesIn;
      qint32 v = 0;
      if (tag_ == kFloat) {
        float f;
        std::memcpy(&f, p, 4);
        v = static_cast<qint32>(std::clamp(f, -1.0f, 1.0f) * 32767.0f);
      } else if (bytesIn == 1) {
        v = (static_cast<unsigned char>(p[0]) - 128) << 8;
      } else {
        // The two most significant bytes of a little-endian sample.
        v = static_cast<qint16>(le16(p + bytesIn - 2));
      }
      out[i] = static_cast<qint16>(v);
    }
    return samples * 2;
  }

 private:
  QFile file_;
  quint16 tag_ = 0;
  int channels_ = 0;
  int rate_ = 0;
  int blockAlign_ = 0;
  int bits_ = 0;
  qint64 dataStart_ = 0;
  qint64 dataBytes_ = 0;
  qint64 readOffset_ = 0;
  std::vector<char> raw_;
};

}  // namespace

void RegisterWaveAudioDevice() {
  if (IsDeviceTypeRegistered(QStringLiteral("waveaudio"))) return;
  RegisterDeviceType(QStringLiteral("waveaudio"),
                     [](const OpenRequest& request, int& error) -> std::unique_ptr<Device> {
                       if (request.element.isEmpty()) {
                         error = kMissingParameter;
                         return nullptr;
                       }
                       auto device = std::make_unique<WaveAudioDevice>();
                       error = device->Open(request.element);
                       return error == kNoError ? std::move(device) : nullptr;
                     });
}

}  // namespace sv::mci
