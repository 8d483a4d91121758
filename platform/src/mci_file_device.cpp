#include "mci_file_device.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sv::mci {

FileDevice::~FileDevice() { StopOutput(); }

void FileDevice::StopOutput() {
  *alive_ = false;
  if (output_) output_->stop();
}

qint64 FileDevice::position() const {
  if (output_ && output_->mode() != PcmOutput::Mode::Stopped)
    return std::min(startMs_ + output_->playedMilliseconds(), endMs_);
  return stoppedMs_;
}

void FileDevice::halt() {
  if (!output_ || output_->mode() == PcmOutput::Mode::Stopped) return;
  stoppedMs_ = position();
  output_->stop();
}

bool FileDevice::parseTime(const QString& text, qint64& milliseconds) const {
  bool ok = false;
  const double value = text.toDouble(&ok);
  if (!ok || !std::isfinite(value) || value < 0) return false;
  milliseconds = static_cast<qint64>(std::llround(value));
  return true;
}

int FileDevice::execute(const Command& command, QString& reply) {
  const QString& verb = command.verb;
  if (verb == QLatin1String("play")) return play(command);
  if (verb == QLatin1String("seek")) return seek(command);
  if (verb == QLatin1String("status")) return status(command, reply);
  if (verb == QLatin1String("set")) return set(command);
  if (verb == QLatin1String("stop")) {
    halt();
    return kNoError;
  }
  if (verb == QLatin1String("pause")) {
    if (output_ && output_->mode() == PcmOutput::Mode::Playing) output_->pause();
    return kNoError;
  }
  if (verb == QLatin1String("resume")) {
    if (output_ && output_->mode() == PcmOutput::Mode::Paused) output_->resume();
    return kNoError;
  }
  if (verb == QLatin1String("cue")) return kNoError;
  return kUnsupportedFunction;
}

int FileDevice::play(const Command& command) {
  const QString fromText = command.valueAfter(QStringLiteral("from"));
  const QString toText = command.valueAfter(QStringLiteral("to"));
  const bool moved = !fromText.isEmpty() || !toText.isEmpty();
  if (const int e = PlayError(); e != kNoError) return e;
  const PcmOutput::Mode mode = output_ ? output_->mode() : PcmOutput::Mode::Stopped;
  // Play on a playing device goes on as it is; on a paused one it resumes.
  if (!moved && mode == PcmOutput::Mode::Paused) {
    output_->resume();
  } else if (moved || mode != PcmOutput::Mode::Playing) {
    qint64 from = position(), to = lengthMs_;
    if ((command.has(QStringLiteral("from")) && !parseTime(fromText, from)) ||
        (command.has(QStringLiteral("to")) && !parseTime(toText, to)))
      return kBadInteger;
    if (from > lengthMs_ || to > lengthMs_ || to < from) return kOutOfRange;
    halt();
    stoppedMs_ = from;
    if (from == to) return kNoError;
    if (!Rewind(from)) return kHardware;
    startMs_ = from;
    endMs_ = to;
    // A play to the end runs until the stream ends; one with "to" stops at its frame.
    remaining_ = to < lengthMs_ ? (to - from) * format_.bytesPerSecond() / 1000 / format_.bytesPerFrame() *
                                      format_.bytesPerFrame()
                                : -1;
    if (!output_) output_ = std::make_unique<PcmOutput>(format_);
    output_->setFinishedHandler([this] { stoppedMs_ = endMs_; });
    carry_.clear();
    output_->start([this](char* data, qint64 maxBytes) { return pull(data, maxBytes); });
  }
  if (command.wait) {
    // The caller waits; the window system goes on meanwhile, as the sink needs it.
    const std::shared_ptr<bool> alive = alive_;
    while (*alive && output_ && output_->mode() != PcmOutput::Mode::Stopped)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return kNoError;
}

qint64 FileDevice::pull(char* data, qint64 maxBytes) {
  if (remaining_ >= 0) maxBytes = std::min(maxBytes, remaining_);
  if (maxBytes <= 0) return 0;
  const qint64 frame = format_.bytesPerFrame();
  // The sink may ask for less than a frame; the rest of that frame waits in carry_.
  if (carry_.isEmpty() && maxBytes < frame) {
    carry_.resize(frame);
    const qint64 n = Read(carry_.data(), frame);
    carry_.resize(std::max<qint64>(n, 0));
  }
  qint64 given = 0;
  if (!carry_.isEmpty()) {
    given = std::min<qint64>(maxBytes, carry_.size());
    std::memcpy(data, carry_.constData(), static_cast<std::size_t>(given));
    carry_.remove(0, given);
  } else {
    given = Read(data, maxBytes - maxBytes % frame);
  }
  if (remaining_ >= 0 && given > 0) remaining_ -= given;
  return given;
}

int FileDevice::seek(const Command& command) {
  qint64 to = 0;
  if (command.has(QStringLiteral("start"))) {
    to = 0;
  } else if (command.has(QStringLiteral("end"))) {
    to = lengthMs_;
  } else if (command.has(QStringLiteral("to"))) {
    if (!parseTime(command.valueAfter(QStringLiteral("to")), to)) return kBadInteger;
    if (to > lengthMs_) return kOutOfRange;
  } else {
    return kMissingParameter;
  }
  halt();
  stoppedMs_ = to;
  return kNoError;
}

int FileDevice::status(const Command& command, QString& reply) const {
  const QString item = command.joinedLower();
  if (item == QLatin1String("length") || item == QLatin1String("length track 1"))
    reply = QString::number(lengthMs_);
  else if (item == QLatin1String("position"))
    reply = QString::number(position());
  else if (item == QLatin1String("mode")) {
    const PcmOutput::Mode mode = output_ ? output_->mode() : PcmOutput::Mode::Stopped;
    reply = mode == PcmOutput::Mode::Playing  ? QStringLiteral("playing")
            : mode == PcmOutput::Mode::Paused ? QStringLiteral("paused")
                                              : QStringLiteral("stopped");
  } else if (item == QLatin1String("ready") || item == QLatin1String("media present"))
    reply = QStringLiteral("true");
  else if (item == QLatin1String("time format"))
    reply = QStringLiteral("milliseconds");
  else if (item == QLatin1String("start position"))
    reply = QStringLiteral("0");
  else if (item == QLatin1String("number of tracks") || item == QLatin1String("current track"))
    reply = QStringLiteral("1");
  else if (item == QLatin1String("channels"))
    reply = QString::number(format_.channels);
  else if (item == QLatin1String("samplespersec"))
    reply = QString::number(format_.sampleRate);
  else
    return kUnrecognizedKeyword;
  return kNoError;
}

int FileDevice::set(const Command& command) {
  const QString word = TimeFormatWord(command.args);
  if (word.isEmpty()) return kUnsupportedFunction;
  TimeFormat format = TimeFormat::Msf;
  if (!ParseTimeFormat(word, format) || format != TimeFormat::Milliseconds) return kBadTimeFormat;
  return kNoError;
}

}  // namespace sv::mci
