#pragma once
// What the file-playing devices share: the play, pause, stop, seek and status commands over a
// stream of 16-bit PCM, played through PcmOutput in milliseconds of device time.
#include "platform/mci.h"
#include "platform/pcm_output.h"

#include <QByteArray>

#include <memory>

namespace sv::mci {

class FileDevice : public Device {
 public:
  ~FileDevice() override;
  int execute(const Command& command, QString& reply) override;

 protected:
  // Set by the device while it opens.
  PcmFormat format_;
  qint64 lengthMs_ = 0;

  // Places the stream at a time in milliseconds (0 ≤ ms ≤ length); false when it cannot.
  virtual bool Rewind(qint64 milliseconds) = 0;
  // Up to maxBytes of PCM in format_; 0 at the end of the stream.
  virtual qint64 Read(char* data, qint64 maxBytes) = 0;
  // MCI error for a file the device can measure but not play; 0 when it plays.
  virtual int PlayError() const { return kNoError; }
  // Ends playback for good. The output reads the stream on a thread of its own, so a device
  // calls this first in its destructor, before the stream it reads from goes.
  void StopOutput();

 private:
  enum class Mode { Stopped, Playing, Paused };
  int play(const Command& command);
  int seek(const Command& command);
  int status(const Command& command, QString& reply) const;
  int set(const Command& command);
  qint64 position() const;
  void halt();
  // What the sink asks for, from the stream.
  qint64 pull(char* data, qint64 maxBytes);
  bool parseTime(const QString& text, qint64& milliseconds) const;

  std::unique_ptr<PcmOutput> output_;
  qint64 startMs_ = 0;    // where the running play began
  qint64 stoppedMs_ = 0;  // position while nothing plays
  qint64 endMs_ = 0;      // where the running play ends
  qint64 remaining_ = 0;  // bytes the running play may still take from the stream
  QByteArray carry_;      // the part of a frame the sink has not taken yet
  // Cleared when the device goes, so a waiting play can tell.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace sv::mci
