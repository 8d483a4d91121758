#include "platform/pcm_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <vector>

namespace sv {

namespace {
std::atomic<bool> forceSilent{false};

// Hands the sink what the source gives; remembers when the source ran dry.
class PullDevice : public QIODevice {
 public:
  explicit PullDevice(PcmOutput::Source source) : source_(std::move(source)) {}
  bool ended() const { return ended_; }
  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override { return ended_ ? 0 : 1 << 16; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    if (ended_ || maxSize <= 0) return 0;
    const qint64 n = source_ ? source_(data, maxSize) : 0;
    if (n <= 0) {
      ended_ = true;
      return 0;
    }
    return n;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  PcmOutput::Source source_;
  bool ended_ = false;
};
}  // namespace

struct PcmOutput::Impl {
  PcmFormat format;
  Mode mode = Mode::Stopped;
  std::function<void()> finished;

  // Sound device.
  std::unique_ptr<QAudioSink> sink;
  std::unique_ptr<PullDevice> pull;

  // Silent sink: a clock, and the audio it has taken so far.
  bool silent = true;
  Source source;
  QTimer tick;
  QElapsedTimer clock;
  qint64 elapsedBeforeMs = 0;  // time played before the last resume
  qint64 consumedBytes = 0;
  bool sourceEnded = false;
  std::vector<char> scratch;

  qint64 silentElapsedMs() const {
    return elapsedBeforeMs + (mode == Mode::Playing && clock.isValid() ? clock.elapsed() : 0);
  }
  qint64 consumedMs() const { return consumedBytes * 1000 / format.bytesPerSecond(); }

  void finish() {
    tick.stop();
    mode = Mode::Stopped;
    if (finished) finished();
  }

  // Takes from the source what real time has played so far.
  void silentTick() {
    if (mode != Mode::Playing) return;
    const qint64 elapsed = silentElapsedMs();
    const qint64 wanted = elapsed * format.bytesPerSecond() / 1000;
    while (!sourceEnded && consumedBytes < wanted) {
      const qint64 chunk = std::min<qint64>(static_cast<qint64>(scratch.size()), wanted - consumedBytes);
      const qint64 n = source ? source(scratch.data(), chunk) : 0;
      if (n <= 0)
        sourceEnded = true;
      else
        consumedBytes += n;
    }
    if (sourceEnded && elapsed >= consumedMs()) {
      elapsedBeforeMs = consumedMs();
      clock.invalidate();
      finish();
    }
  }

  void reset() {
    tick.stop();
    if (sink) {
      sink->disconnect();
      sink->stop();
    }
    sink.reset();
    pull.reset();
    source = nullptr;
    clock.invalidate();
    elapsedBeforeMs = 0;
    consumedBytes = 0;
    sourceEnded = false;
    mode = Mode::Stopped;
  }
};

PcmOutput::PcmOutput(PcmFormat format) : d_(std::make_unique<Impl>()) {
  d_->format = format;
  d_->scratch.resize(static_cast<std::size_t>(std::max<qint64>(4096, format.bytesPerSecond() / 10)));
  d_->tick.setInterval(20);
  QObject::connect(&d_->tick, &QTimer::timeout, [impl = d_.get()] { impl->silentTick(); });
}

PcmOutput::~PcmOutput() { d_->reset(); }

void PcmOutput::start(Source source) {
  d_->reset();
  QAudioFormat fmt;
  fmt.setSampleRate(d_->format.sampleRate);
  fmt.setChannelCount(d_->format.channels);
  fmt.setSampleFormat(QAudioFormat::Int16);
  const QAudioDevice device = forceSilent ? QAudioDevice() : QMediaDevices::defaultAudioOutput();
  d_->silent = device.isNull() || !device.isFormatSupported(fmt);
  d_->mode = Mode::Playing;
  if (d_->silent) {
    d_->source = std::move(source);
    d_->clock.start();
    d_->tick.start();
    return;
  }
  d_->pull = std::make_unique<PullDevice>(std::move(source));
  d_->pull->open(QIODevice::ReadOnly);
  d_->sink = std::make_unique<QAudioSink>(device, fmt);
  QObject::connect(d_->sink.get(), &QAudioSink::stateChanged, [impl = d_.get()](QAudio::State state) {
    if (state == QAudio::IdleState && impl->pull && impl->pull->ended() && impl->mode == Mode::Playing)
      impl->finish();
    else if (state == QAudio::StoppedState && impl->sink && impl->sink->error() != QAudio::NoError &&
             impl->mode == Mode::Playing)
      impl->finish();
  });
  d_->sink->start(d_->pull.get());
}

void PcmOutput::pause() {
  if (d_->mode != Mode::Playing) return;
  if (d_->silent) {
    d_->silentTick();
    if (d_->mode != Mode::Playing) return;
    d_->elapsedBeforeMs = d_->silentElapsedMs();
    d_->clock.invalidate();
    d_->tick.stop();
  } else if (d_->sink) {
    d_->sink->suspend();
  }
  d_->mode = Mode::Paused;
}

void PcmOutput::resume() {
  if (d_->mode != Mode::Paused) return;
  d_->mode = Mode::Playing;
  if (d_->silent) {
    d_->clock.start();
    d_->tick.start();
  } else if (d_->sink) {
    d_->sink->resume();
  }
}

void PcmOutput::stop() { d_->reset(); }

PcmOutput::Mode PcmOutput::mode() const { return d_->mode; }

qint64 PcmOutput::playedMilliseconds() const {
  if (!d_->silent) return d_->sink ? d_->sink->processedUSecs() / 1000 : 0;
  // Never ahead of what the source has given.
  const qint64 elapsed = d_->silentElapsedMs();
  return d_->sourceEnded ? std::min(elapsed, d_->consumedMs()) : elapsed;
}

const PcmFormat& PcmOutput::format() const { return d_->format; }
bool PcmOutput::silent() const { return d_->silent; }
void PcmOutput::setFinishedHandler(std::function<void()> handler) { d_->finished = std::move(handler); }
void PcmOutput::ForceSilent(bool silent) { forceSilent = silent; }

}  // namespace sv
