#include "platform/pcm_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QObject>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

namespace sv {

namespace {

std::atomic<bool> forceSilent{false};

using Clock = std::chrono::steady_clock;
constexpr qint64 kUnlimited = std::numeric_limits<qint64>::max();
// How much audio the sound server holds for us: enough to ride out a busy machine.
constexpr qint64 kBufferMs = 500;
// How often the playback thread tops the server's buffer up and reads its clock: seldom,
// since each wake-up costs; often while the server's clock has yet to start and once the
// source has ended, so that the position moves and the end is reported when heard.
constexpr int kTickMs = 100;
constexpr int kFastTickMs = 10;
// How often the silent sink takes from the source.
constexpr int kSilentTickMs = 20;
// A stream that stops moving after its source ended is taken as played out.
constexpr auto kStallLimit = std::chrono::milliseconds(500);

qint64 Micros(Clock::duration d) { return std::chrono::duration_cast<std::chrono::microseconds>(d).count(); }

// What the caller's thread and the playback thread share. The source is called only with
// sourceMutex_ held, so that stop() and pause() can promise it is not called once they
// return; the position has a lock of its own, so that reading it never waits for a source.
class Shared {
 public:
  explicit Shared(PcmFormat format) : format_(format) {}

  const PcmFormat& format() const { return format_; }

  // --- the caller's thread

  // A new playback; events of older ones are recognised by their generation and dropped.
  quint64 begin(PcmOutput::Source source, bool clockRuns) {
    std::scoped_lock lock(sourceMutex_, positionMutex_);
    source_ = std::move(source);
    paused_ = false;
    ended_ = false;
    given_ = 0;
    carry_.clear();
    const qint64 buffer = format_.bytesPerSecond() * kBufferMs / 1000;
    padding_ = buffer - buffer % format_.bytesPerFrame();
    ++generation_;
    resetPosition();
    running_ = clockRuns;  // the silent sink's clock starts now, the server's when it plays
    return generation_;
  }

  void halt() {
    std::scoped_lock lock(sourceMutex_, positionMutex_);
    source_ = nullptr;
    ++generation_;
    resetPosition();
  }

  void pause() {
    std::scoped_lock lock(sourceMutex_, positionMutex_);
    paused_ = true;
    base_ = positionAt(Clock::now());
    running_ = false;
  }

  // The silent sink's clock runs again at once; the server's when it reports progress.
  void resume(bool clockRuns) {
    std::scoped_lock lock(sourceMutex_, positionMutex_);
    paused_ = false;
    stamp_ = Clock::now();
    running_ = clockRuns;
  }

  qint64 playedUs() {
    const std::lock_guard lock(positionMutex_);
    reported_ = std::max(reported_, positionAt(Clock::now()));
    return reported_;
  }

  // --- the playback thread

  // Hands the sound server whole frames from the source; 0 while paused. After the end comes
  // a buffer's worth of silence: the server starts a stream only once its buffer is full, so
  // a sound shorter than that would otherwise never be heard. The silence is not counted:
  // the output ends when the server has played the source's last frame.
  qint64 read(quint64 generation, char* data, qint64 maxBytes) {
    const std::lock_guard lock(sourceMutex_);
    if (generation != generation_ || paused_ || !source_) return 0;
    const qint64 frame = format_.bytesPerFrame();
    maxBytes -= maxBytes % frame;
    if (maxBytes <= 0) return 0;
    if (!ended_) {
      qint64 have = static_cast<qint64>(carry_.size());
      std::memcpy(data, carry_.data(), carry_.size());
      do {  // at least one whole frame, or the end
        const qint64 got = source_(data + have, maxBytes - have);
        if (got <= 0)
          ended_ = true;
        else
          have += std::min(got, maxBytes - have);
      } while (have < frame && !ended_);
      const qint64 whole = have - have % frame;
      carry_.assign(data + whole, data + have);
      given_ += whole;
      {
        const std::lock_guard position(positionMutex_);
        limitUs_ = microsFor(given_);  // never ahead of what the server was given
      }
      if (whole > 0) return whole;
    }
    const qint64 n = std::min(maxBytes, padding_);
    std::memset(data, 0, static_cast<std::size_t>(n));
    padding_ -= n;
    return n;
  }

  // The silent sink: takes from the source what the clock has played so far; true once
  // all of it has been played.
  bool consumeSilently(quint64 generation, std::vector<char>& scratch) {
    const auto now = Clock::now();
    qint64 wanted = 0;
    {
      const std::lock_guard lock(positionMutex_);
      if (generation != generation_) return false;
      wanted = bytesFor(positionAt(now));
    }
    std::scoped_lock lock(sourceMutex_, positionMutex_);
    if (generation != generation_ || paused_) return false;
    while (!ended_ && given_ < wanted) {
      const qint64 chunk = std::min<qint64>(static_cast<qint64>(scratch.size()), wanted - given_);
      const qint64 n = source_ ? source_(scratch.data(), chunk) : 0;
      if (n <= 0)
        ended_ = true;
      else
        given_ += n;
    }
    if (!ended_) return false;
    limitUs_ = microsFor(given_);
    return positionAt(now) >= limitUs_;
  }

  struct Progress {
    bool current = false;  // still the playback this generation started
    bool ended = false;    // the source has given all it has
    qint64 givenUs = 0;
  };
  Progress progress(quint64 generation) {
    const std::lock_guard lock(sourceMutex_);
    return {generation == generation_, ended_, microsFor(given_)};
  }

  // The server's clock as the playback thread read it; kept still while paused.
  void sync(quint64 generation, qint64 playedUs, Clock::time_point at, bool running) {
    const std::lock_guard lock(positionMutex_);
    if (generation != generation_ || paused_) return;
    base_ = playedUs;
    stamp_ = at;
    running_ = running;
  }

  // The playback has ended (everything played) or failed (the server went away): the
  // position stays where it is, the source is not called again.
  void settle(quint64 generation, bool played) {
    std::scoped_lock lock(sourceMutex_, positionMutex_);
    if (generation != generation_) return;
    source_ = nullptr;
    base_ = played ? microsFor(given_) : positionAt(Clock::now());
    running_ = false;
  }

 private:
  qint64 microsFor(qint64 bytes) const { return bytes * 1000000 / format_.bytesPerSecond(); }
  qint64 bytesFor(qint64 us) const { return us * format_.bytesPerSecond() / 1000000; }

  qint64 positionAt(Clock::time_point now) const {
    const qint64 us = base_ + (running_ ? std::max<qint64>(0, Micros(now - stamp_)) : 0);
    return std::min(us, limitUs_);
  }

  void resetPosition() {
    base_ = 0;
    stamp_ = Clock::now();
    running_ = false;
    limitUs_ = kUnlimited;
    reported_ = 0;
  }

  const PcmFormat format_;

  std::mutex sourceMutex_;
  PcmOutput::Source source_;
  quint64 generation_ = 0;  // written under both locks, so either lock reads it
  bool paused_ = false;     // written under both locks too
  bool ended_ = false;
  qint64 given_ = 0;         // bytes the source has given to this playback
  std::vector<char> carry_;  // a partial frame waiting for the rest
  qint64 padding_ = 0;       // silence still to give after the end

  std::mutex positionMutex_;
  qint64 base_ = 0;  // microseconds played at stamp_
  Clock::time_point stamp_;
  bool running_ = false;  // the position moves with real time from stamp_
  qint64 limitUs_ = kUnlimited;
  qint64 reported_ = 0;  // the position never runs backwards
};

// Lives on the playback thread: owns the sink, reads its clock, feeds the silent sink, and
// tells the caller's thread when a playback has ended or failed.
class Player final : public QObject {
 public:
  using Report = std::function<void(quint64 generation, bool failed)>;

  Player(Shared& shared, Report report)
      : shared_(shared),
        report_(std::move(report)),
        scratch_(static_cast<std::size_t>(
            std::max<qint64>(4096, shared.format().bytesPerSecond() * kBufferMs / 1000))) {
    tick_.setTimerType(Qt::PreciseTimer);
    connect(&tick_, &QTimer::timeout, this, [this] { onTick(); });
  }
  ~Player() override { close(); }

  void play(quint64 generation, const QAudioDevice& device, bool silent) {
    close();
    generation_ = generation;
    silent_ = silent;
    done_ = false;
    lastUs_ = -1;
    lastProgress_ = Clock::now();
    if (!silent) {
      const PcmFormat& f = shared_.format();
      QAudioFormat format;
      format.setSampleRate(f.sampleRate);
      format.setChannelCount(f.channels);
      format.setSampleFormat(QAudioFormat::Int16);
      sink_ = std::make_unique<QAudioSink>(device, format);
      sink_->setBufferSize(static_cast<qsizetype>(f.bytesPerSecond() * kBufferMs / 1000));
      connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::StoppedState && sink_ && sink_->error() != QAudio::NoError) fail();
      });
      // Pushed, not pulled: the sink's own pull timer would wake the thread every few ms.
      io_ = sink_->start();
      if (done_) return;
      if (!io_) {
        fail();
        return;
      }
      feed();
    }
    tick_.start(silent ? kSilentTickMs : kFastTickMs);
  }

  void suspend(quint64 generation) {
    if (generation != generation_ || done_) return;
    if (sink_) sink_->suspend();
    tick_.stop();
  }

  void resume(quint64 generation) {
    if (generation != generation_ || done_) return;
    if (sink_) sink_->resume();
    lastProgress_ = Clock::now();  // the clock stood still while paused
    tick_.start(silent_ ? kSilentTickMs : kFastTickMs);
    if (sink_) feed();
  }

  void halt() { close(); }

 private:
  void onTick() {
    if (done_) return;
    if (silent_) {
      if (shared_.consumeSilently(generation_, scratch_)) finish();
      return;
    }
    if (!sink_) return;
    if (sink_->state() == QAudio::StoppedState || sink_->error() == QAudio::FatalError ||
        sink_->error() == QAudio::OpenError) {
      fail();
      return;
    }
    feed();
    const auto now = Clock::now();
    const qint64 us = sink_->processedUSecs();
    if (us != lastUs_) {
      lastUs_ = us;
      lastProgress_ = now;
    }
    const Shared::Progress p = shared_.progress(generation_);
    if (!p.current) return;
    const QAudio::State state = sink_->state();
    const bool moving = us > 0 && state != QAudio::SuspendedState && state != QAudio::StoppedState &&
                        !(p.ended && us >= p.givenUs);
    shared_.sync(generation_, us, now, moving);
    // The sink calls itself idle once the source is empty, while the server still plays
    // what it holds: the end is when the server's clock has caught up.
    if (p.ended && (us >= p.givenUs || now - lastProgress_ > kStallLimit)) {
      finish();
      return;
    }
    // Closely while the clock has yet to start (after a start or a resume) and near the end.
    const int interval = moving && !p.ended ? kTickMs : kFastTickMs;
    if (tick_.interval() != interval) tick_.setInterval(interval);
  }

  // Tops the server's buffer up with whole frames from the source.
  void feed() {
    const qint64 frame = shared_.format().bytesPerFrame();
    for (;;) {
      if (pending_.empty()) {
        qint64 room = std::min<qint64>(sink_->bytesFree(), static_cast<qint64>(scratch_.size()));
        room -= room % frame;
        const qint64 n = room > 0 ? shared_.read(generation_, scratch_.data(), room) : 0;
        if (n <= 0) return;
        pending_.assign(scratch_.data(), scratch_.data() + n);
      }
      const qint64 written = io_->write(pending_.data(), static_cast<qint64>(pending_.size()));
      if (written <= 0) return;
      pending_.erase(pending_.begin(), pending_.begin() + written);
    }
  }

  void finish() {
    done_ = true;
    tick_.stop();
    shared_.settle(generation_, true);
    close();
    report_(generation_, false);
  }

  // The sound server went away. Called from the sink's own signal, so the sink is closed
  // later, not from under it.
  void fail() {
    if (done_) return;
    done_ = true;
    tick_.stop();
    shared_.settle(generation_, false);
    report_(generation_, true);
    QMetaObject::invokeMethod(
        this,
        [this, generation = generation_] {
          if (generation == generation_) close();
        },
        Qt::QueuedConnection);
  }

  void close() {
    tick_.stop();
    if (sink_) {
      sink_->disconnect(this);
      sink_->stop();
    }
    sink_.reset();
    io_ = nullptr;
    pending_.clear();
  }

  Shared& shared_;
  Report report_;
  std::vector<char> scratch_;
  QTimer tick_;
  quint64 generation_ = 0;
  bool silent_ = true;
  bool done_ = false;
  std::unique_ptr<QAudioSink> sink_;
  QIODevice* io_ = nullptr;    // the sink's own, valid while it plays
  std::vector<char> pending_;  // read from the source, not yet taken by the sink
  qint64 lastUs_ = -1;
  Clock::time_point lastProgress_;
};

// The playback thread; its player is made and destroyed on it.
class PlaybackThread final : public QThread {
 public:
  PlaybackThread(Shared& shared, Player::Report report) : shared_(shared), report_(std::move(report)) {
    setObjectName(QStringLiteral("pcm-output"));
  }
  ~PlaybackThread() override {
    quit();
    wait();
  }

  Player& launch() {
    start();
    ready_.acquire();
    return *player_;
  }

 protected:
  void run() override {
    Player player(shared_, report_);
    player_ = &player;
    ready_.release();
    exec();
  }

 private:
  Shared& shared_;
  Player::Report report_;
  Player* player_ = nullptr;
  QSemaphore ready_;
};

}  // namespace

struct PcmOutput::Impl {
  explicit Impl(PcmFormat f) : format(f), shared(f) {}
  ~Impl() {
    shared.halt();
    thread.reset();  // before the relay, so that no report arrives for a destroyed output
  }

  PcmFormat format;
  Shared shared;
  Mode mode = Mode::Stopped;
  bool silent = true;
  quint64 generation = 0;
  std::function<void()> finished;
  std::function<void()> failed;
  QObject relay;  // the playback thread's reports arrive through it on the caller's thread
  std::unique_ptr<PlaybackThread> thread;
  Player* player = nullptr;

  // The playback thread starts with the first playback.
  template <class Command>
  void post(Command command) {
    if (!thread) {
      thread = std::make_unique<PlaybackThread>(shared, [this](quint64 gen, bool failedNow) {
        QMetaObject::invokeMethod(
            &relay, [this, gen, failedNow] { report(gen, failedNow); }, Qt::QueuedConnection);
      });
      player = &thread->launch();
    }
    QMetaObject::invokeMethod(
        player, [p = player, command = std::move(command)] { command(*p); }, Qt::QueuedConnection);
  }

  void report(quint64 gen, bool failedNow) {
    if (gen != generation || mode == Mode::Stopped) return;
    mode = Mode::Stopped;
    const auto handler = failedNow ? failed : finished;  // a copy: it may destroy this output
    if (handler) handler();
  }

  void halt() {
    if (generation == 0) return;
    shared.halt();
    generation = 0;
    mode = Mode::Stopped;
    post([](Player& p) { p.halt(); });
  }
};

PcmOutput::PcmOutput(PcmFormat format) : d_(std::make_unique<Impl>(format)) {}

PcmOutput::~PcmOutput() = default;

void PcmOutput::start(Source source) {
  QAudioFormat fmt;
  fmt.setSampleRate(d_->format.sampleRate);
  fmt.setChannelCount(d_->format.channels);
  fmt.setSampleFormat(QAudioFormat::Int16);
  // The desktop's default device: the user picks it in the desktop's sound settings.
  const QAudioDevice device = forceSilent ? QAudioDevice() : QMediaDevices::defaultAudioOutput();
  const bool silent = device.isNull() || !device.isFormatSupported(fmt);
  d_->silent = silent;
  d_->generation = d_->shared.begin(std::move(source), silent);
  d_->mode = Mode::Playing;
  d_->post([gen = d_->generation, device, silent](Player& p) { p.play(gen, device, silent); });
}

void PcmOutput::pause() {
  if (d_->mode != Mode::Playing) return;
  d_->shared.pause();
  d_->mode = Mode::Paused;
  d_->post([gen = d_->generation](Player& p) { p.suspend(gen); });
}

void PcmOutput::resume() {
  if (d_->mode != Mode::Paused) return;
  d_->shared.resume(d_->silent);
  d_->mode = Mode::Playing;
  d_->post([gen = d_->generation](Player& p) { p.resume(gen); });
}

void PcmOutput::stop() { d_->halt(); }

PcmOutput::Mode PcmOutput::mode() const { return d_->mode; }

qint64 PcmOutput::playedMilliseconds() const { return d_->shared.playedUs() / 1000; }

const PcmFormat& PcmOutput::format() const { return d_->format; }
bool PcmOutput::silent() const { return d_->silent; }
void PcmOutput::setFinishedHandler(std::function<void()> handler) { d_->finished = std::move(handler); }
void PcmOutput::setFailedHandler(std::function<void()> handler) { d_->failed = std::move(handler); }
void PcmOutput::ForceSilent(bool silent) { forceSilent = silent; }

}  // namespace sv
