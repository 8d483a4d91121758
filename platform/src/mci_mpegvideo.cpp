// The "mpegvideo" device: plays MPEG audio files, each open device with a decoder of its own
// (svdecode's core) that decodes as the output asks for audio, on the output's thread.
#include "mci_file_device.h"
#include "mpeg_reader.h"
#include "platform/mci_file_devices.h"

namespace sv::mci {
namespace {

class MpegVideoDevice : public FileDevice {
 public:
  // The output reads the reader on a thread of its own: it stops before the reader goes.
  ~MpegVideoDevice() override { StopOutput(); }

  int Open(const QString& path) {
    if (const int e = reader_.Open(path); e != kNoError) return e;
    format_ = reader_.format();
    lengthMs_ = reader_.lengthMs();
    return kNoError;
  }

 protected:
  bool Rewind(qint64 milliseconds) override { return reader_.Seek(milliseconds); }
  qint64 Read(char* data, qint64 maxBytes) override { return reader_.Read(data, maxBytes); }

 private:
  MpegReader reader_;
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
                       auto device = std::make_unique<MpegVideoDevice>();
                       error = device->Open(request.element);
                       return error == kNoError ? std::move(device) : nullptr;
                     });
}

}  // namespace sv::mci
