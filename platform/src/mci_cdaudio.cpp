// The "cdaudio" device: an audio-CD player for the drives and disc images the CD-reading
// component lists. Audio is read digitally beside the user-interface thread and played
// through the PCM output; the disc's TOC is watched beside it too, so that status queries
// answer at once from the latest look.
#include "platform/mci_cdaudio.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/cd_reader.h"
#include "platform/mci.h"
#include "platform/pcm_output.h"
#include "platform/runtime_error.h"

namespace sv::mci {
namespace {

using cdreader::Toc;
constexpr int kFrameBytes = SVR_FRAME_BYTES;
constexpr int kBlockFrames = 26;
constexpr int kLeadIn = 150;  // MSF 00:02:00 is LBA 0
constexpr auto kWatchInterval = std::chrono::milliseconds(250);
constexpr auto kIdleAfter = std::chrono::seconds(3);

// A range of frames to play, [start, end).
struct Span {
  int32_t start = 0, end = 0;
};

// Reads the spans to play into a ring of about three seconds of audio.
class Reader {
 public:
  Reader(cdreader::Drive drive, std::vector<Span> spans)
      : drive_(std::move(drive)), spans_(std::move(spans)), ring_(3 * 75 * kFrameBytes) {
    thread_ = std::thread([this] { run(); });
  }
  ~Reader() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    space_.notify_all();
    thread_.join();
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Up to max bytes of what has been read; never waits.
  qint64 take(char* out, qint64 max) {
    std::lock_guard lock(mutex_);
    const auto n = static_cast<std::size_t>(std::min<qint64>(max, static_cast<qint64>(size_)));
    for (std::size_t done = 0; done < n;) {
      const std::size_t chunk = std::min(n - done, ring_.size() - head_);
      std::memcpy(out + done, ring_.data() + head_, chunk);
      head_ = (head_ + chunk) % ring_.size();
      done += chunk;
    }
    size_ -= n;
    if (n > 0) space_.notify_all();
    return static_cast<qint64>(n);
  }

  bool ended() const {
    std::lock_guard lock(mutex_);
    return ended_ && size_ == 0;
  }

 private:
  void run() {
    std::vector<uint8_t> request(sizeof(SVR_TRACKBUF) + kBlockFrames * kFrameBytes);
    auto* header = reinterpret_cast<SVR_TRACKBUF*>(request.data());
    try {
      cdreader::Handle handle(drive_);
      if (handle) {
        cdreader::ModifyCDParms(handle.id(), SVR_CDP_MSF, 0);
        cdreader::ModifyCDParms(handle.id(), SVR_CDP_READMODE, SVR_READ_FAST);
        for (const Span& span : spans_) {
          for (int32_t at = span.start; at < span.end;) {
            const int32_t n = std::min<int32_t>(kBlockFrames, span.end - at);
            const std::size_t bytes = static_cast<std::size_t>(n) * kFrameBytes;
            {
              std::unique_lock lock(mutex_);
              space_.wait(lock, [&] { return stop_ || ring_.size() - size_ >= bytes; });
              if (stop_) {
                ended_ = true;
                return;
              }
            }
            bool read = false;
            for (int attempt = 0; attempt < 3 && !read; ++attempt) {
              *header = SVR_TRACKBUF{
                  static_cast<uint32_t>(at), static_cast<uint32_t>(n), kBlockFrames * kFrameBytes, 0, 0, 0};
              read = cdreader::ReadCDAudioLBA(handle.id(), header) == 1;
            }
            if (!read) return finish();  // what was read plays; then the player stops
            put(request.data() + sizeof(SVR_TRACKBUF), bytes);
            at += n;
          }
        }
      }
    } catch (const RuntimeError&) {
    }
    finish();
  }

  void put(const uint8_t* data, std::size_t n) {
    std::lock_guard lock(mutex_);
    std::size_t tail = (head_ + size_) % ring_.size();
    for (std::size_t done = 0; done < n;) {
      const std::size_t chunk = std::min(n - done, ring_.size() - tail);
      std::memcpy(ring_.data() + tail, data + done, chunk);
      tail = (tail + chunk) % ring_.size();
      done += chunk;
    }
    size_ += n;
  }

  void finish() {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }

  cdreader::Drive drive_;
  std::vector<Span> spans_;
  mutable std::mutex mutex_;
  std::condition_variable space_;
  std::vector<char> ring_;
  std::size_t head_ = 0, size_ = 0;
  bool stop_ = false;
  bool ended_ = false;
  std::thread thread_;
};

// What the watcher saw last.
struct Look {
  bool present = false;
  Toc toc;
  bool doorOpen = false;
};

Look lookAt(const cdreader::Drive& drive) {
  Look look;
  try {
    cdreader::Handle handle(drive);
    look.present = handle && cdreader::ReadToc(handle.id(), look.toc);
  } catch (const RuntimeError&) {
  }
  if (!look.present) look.toc = Toc{};
  return look;
}

bool sameDrivePath(const std::string& a, const QString& b) {
  if (QString::fromStdString(a) == b) return true;
  const QString ca = QFileInfo(QString::fromStdString(a)).canonicalFilePath();
  return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

class CdAudioDevice : public Device {
 public:
  CdAudioDevice(cdreader::Drive drive, Look first)
      : drive_(std::move(drive)), image_(drive_.path.rfind("/dev/", 0) != 0), look_(std::move(first)) {
    position_ = firstStart();
    watcher_ = std::thread([this] { watch(); });
  }

  ~CdAudioDevice() override {
    stopPlaying();
    {
      std::lock_guard lock(lookMutex_);
      quit_ = true;
    }
    wake_.notify_all();
    watcher_.join();
  }

  int execute(const Command& c, QString& reply) override {
    const Look look = current();
    // A disc changed under a playing device ends the playback.
    if (reader_ && look.toc != playingToc_) stopPlaying();
    const QString verb = c.verb;
    if (verb == QLatin1String("status")) return status(c, look, reply);
    if (verb == QLatin1String("set")) return set(c);
    if (verb == QLatin1String("info")) return info(c, reply);
    if (verb == QLatin1String("capability")) return capability(c, reply);
    if (verb == QLatin1String("stop")) {
      stopPlaying();
      return kNoError;
    }
    if (verb == QLatin1String("pause")) {
      if (reader_) output_.pause();
      return kNoError;
    }
    if (verb == QLatin1String("resume")) {
      if (reader_ && output_.mode() == PcmOutput::Mode::Paused) output_.resume();
      return kNoError;
    }
    if (verb == QLatin1String("seek")) return seek(c, look);
    if (verb == QLatin1String("play")) return play(c, look);
    return kUnsupportedFunction;
  }

 private:
  Look current() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(lookMutex_);
    const auto now = Clock::now();
    // Nobody asked for a while: the watcher rested, so this look is taken now.
    if (now - lastQuery_ > kIdleAfter && !(doorOpen_ && image_)) {
      lock.unlock();
      Look fresh = lookAt(drive_);
      lock.lock();
      takeLook(std::move(fresh));
    }
    lastQuery_ = now;
    if (doorOpen_) return Look{false, {}, true};
    return look_;
  }

  void takeLook(Look fresh) {
    if (doorOpen_ && fresh.present) doorOpen_ = false;  // a real drive closed with a disc
    if (!doorOpen_) look_ = std::move(fresh);
  }

  // Looks at the disc every quarter second while the device is being asked; images are
  // re-read from their sheet. A drive nobody asks about is left alone, so it may spin down.
  void watch() {
    std::unique_lock lock(lookMutex_);
    while (!quit_) {
      wake_.wait_for(lock, kWatchInterval, [this] { return quit_; });
      if (quit_) break;
      if (doorOpen_ && image_) continue;  // an ejected image stays out until reopened
      if (std::chrono::steady_clock::now() - lastQuery_ > kIdleAfter) continue;
      lock.unlock();
      Look fresh = lookAt(drive_);
      lock.lock();
      takeLook(std::move(fresh));
    }
  }

  int32_t firstStart() const {
    std::lock_guard lock(lookMutex_);
    return look_.toc.tracks.empty() ? 0 : look_.toc.tracks.front().start;
  }

  // Playback state. ---------------------------------------------------------------

  bool playing() const { return reader_ && output_.mode() != PcmOutput::Mode::Stopped; }

  // Frames played so far mapped onto the spans.
  int32_t playingPosition() const {
    const qint64 played = std::max<qint64>(0, output_.playedMilliseconds() - silenceMs());
    int64_t frames = played * 75 / 1000;
    for (const Span& s : spans_) {
      if (frames < s.end - s.start) return static_cast<int32_t>(s.start + frames);
      frames -= s.end - s.start;
    }
    return spans_.empty() ? position_ : spans_.back().end;
  }

  qint64 silenceMs() const { return silenceBytes_ * 1000 / output_.format().bytesPerSecond(); }

  int32_t position() {
    if (reader_) {
      const int32_t p = playingPosition();
      if (output_.mode() == PcmOutput::Mode::Stopped) {
        // Played to the end.
        position_ = p;
        reader_.reset();
      }
      return p;
    }
    return position_;
  }

  void stopPlaying() {
    if (!reader_) return;
    position_ = playingPosition();
    output_.stop();
    reader_.reset();
  }

  // Times. ----------------------------------------------------------------------

  // Which TOC entry holds a frame; frames before the first track count to it.
  static std::size_t trackAt(const Toc& toc, int32_t lba) {
    std::size_t i = 0;
    while (i + 1 < toc.tracks.size() && lba >= toc.tracks[i + 1].start) ++i;
    return i;
  }

  QString formatPosition(const Toc& toc, int32_t lba) const {
    switch (format_) {
      case TimeFormat::Tmsf: {
        if (toc.tracks.empty()) return FormatTmsf(1, 0, 0, 0);
        const std::size_t i = trackAt(toc, lba);
        const int32_t into = std::max(0, lba - toc.tracks[i].start);
        return FormatTmsf(toc.tracks[i].number, into / (60 * 75), (into / 75) % 60, into % 75);
      }
      case TimeFormat::Msf:
        return formatLength(lba + kLeadIn);
      default:
        return QString::number(static_cast<qint64>(lba + kLeadIn) * 1000 / 75);
    }
  }

  QString formatLength(int32_t frames) const {
    frames = std::max(0, frames);
    if (format_ == TimeFormat::Milliseconds) return QString::number(static_cast<qint64>(frames) * 1000 / 75);
    return FormatMsf(frames / (60 * 75), (frames / 75) % 60, frames % 75);
  }

  // A position as the current time format writes it; -1 when it is none.
  int32_t parsePosition(const Toc& toc, const QString& text) const {
    const QStringList parts = text.split(QLatin1Char(':'));
    std::vector<int> v;
    for (const QString& p : parts) {
      bool ok = false;
      const int n = p.toInt(&ok);
      if (!ok || n < 0) return -1;
      v.push_back(n);
    }
    if (format_ == TimeFormat::Tmsf) {
      if (v.empty() || v.size() > 4) return -1;
      const auto it = std::find_if(toc.tracks.begin(), toc.tracks.end(),
                                   [&](const Toc::Track& t) { return t.number == v[0]; });
      if (it == toc.tracks.end()) return -1;
      v.resize(4, 0);
      return it->start + (v[1] * 60 + v[2]) * 75 + v[3];
    }
    if (format_ == TimeFormat::Msf) {
      if (v.size() > 3) return -1;
      v.resize(3, 0);
      return (v[0] * 60 + v[1]) * 75 + v[2] - kLeadIn;
    }
    if (v.size() != 1) return -1;
    return static_cast<int32_t>(static_cast<int64_t>(v[0]) * 75 / 1000) - kLeadIn;
  }

  // Commands. ---------------------------------------------------------------------

  int status(const Command& c, const Look& look, QString& reply) {
    const QString what = c.joinedLower();
    if (what.isEmpty()) return kMissingParameter;
    auto boolean = [&](bool b) {
      reply = b ? QStringLiteral("true") : QStringLiteral("false");
      return kNoError;
    };
    if (what == QLatin1String("media present") || what == QLatin1String("ready"))
      return boolean(look.present);
    if (what == QLatin1String("mode")) {
      if (look.doorOpen)
        reply = QStringLiteral("open");
      else if (playing())
        reply =
            output_.mode() == PcmOutput::Mode::Paused ? QStringLiteral("paused") : QStringLiteral("playing");
      else
        reply = look.present ? QStringLiteral("stopped") : QStringLiteral("not ready");
      return kNoError;
    }
    if (what == QLatin1String("time format")) {
      reply = format_ == TimeFormat::Tmsf  ? QStringLiteral("tmsf")
              : format_ == TimeFormat::Msf ? QStringLiteral("msf")
                                           : QStringLiteral("milliseconds");
      return kNoError;
    }
    if (!look.present) return kDeviceNotReady;
    const Toc& toc = look.toc;
    if (what == QLatin1String("number of tracks")) {
      reply = QString::number(toc.tracks.size());
      return kNoError;
    }
    if (what == QLatin1String("length")) {
      reply = formatLength(toc.leadout - toc.tracks.front().start);
      return kNoError;
    }
    if (what == QLatin1String("position")) {
      reply = formatPosition(toc, position());
      return kNoError;
    }
    if (what == QLatin1String("start position")) {
      reply = formatPosition(toc, toc.tracks.front().start);
      return kNoError;
    }
    if (what == QLatin1String("current track")) {
      reply = QString::number(toc.tracks[trackAt(toc, position())].number);
      return kNoError;
    }
    // "length track n", "position track n", "type track n"
    const QString n = c.valueAfter(QStringLiteral("track"));
    if (!n.isEmpty()) {
      bool ok = false;
      const int number = n.toInt(&ok);
      if (!ok) return kBadInteger;
      const auto it = std::find_if(toc.tracks.begin(), toc.tracks.end(),
                                   [&](const Toc::Track& t) { return t.number == number; });
      if (it == toc.tracks.end()) return kOutOfRange;
      const auto i = static_cast<std::size_t>(it - toc.tracks.begin());
      const QString item = c.args.front().toLower();
      if (item == QLatin1String("length")) {
        reply = formatLength(toc.end(i) - it->start);
        return kNoError;
      }
      if (item == QLatin1String("position")) {
        reply = formatPosition(toc, it->start);
        return kNoError;
      }
      if (item == QLatin1String("type")) {
        reply = it->audio ? QStringLiteral("audio") : QStringLiteral("other");
        return kNoError;
      }
    }
    return kUnrecognizedKeyword;
  }

  int set(const Command& c) {
    const QString word = TimeFormatWord(c.args);
    if (!word.isEmpty()) {
      TimeFormat f;
      if (!ParseTimeFormat(word, f) ||
          (f != TimeFormat::Milliseconds && f != TimeFormat::Msf && f != TimeFormat::Tmsf))
        return kBadTimeFormat;
      format_ = f;
      return kNoError;
    }
    const QString what = c.joinedLower();
    if (what == QLatin1String("door open")) {
      stopPlaying();
      if (!image_) {
        try {
          cdreader::Handle handle(drive_);
          if (!handle || cdreader::EjectCD(handle.id()) != 1) return kHardware;
        } catch (const RuntimeError&) {
          return kHardware;
        }
      }
      std::lock_guard lock(lookMutex_);
      doorOpen_ = true;
      look_ = Look{};
      return kNoError;
    }
    if (what == QLatin1String("door closed")) {
      Look fresh = lookAt(drive_);
      std::lock_guard lock(lookMutex_);
      doorOpen_ = false;
      look_ = std::move(fresh);
      return kNoError;
    }
    if (what.startsWith(QLatin1String("audio")) || what.startsWith(QLatin1String("video"))) return kNoError;
    return kUnrecognizedKeyword;
  }

  int info(const Command& c, QString& reply) {
    const QString what = c.joinedLower();
    if (what == QLatin1String("product")) {
      reply = QStringLiteral("CD Audio");
      return kNoError;
    }
    if (what == QLatin1String("identity")) {
      reply = QString::fromStdString(drive_.name);
      return kNoError;
    }
    return what.isEmpty() ? kMissingParameter : kUnrecognizedKeyword;
  }

  int capability(const Command& c, QString& reply) {
    const QString what = c.joinedLower();
    if (what == QLatin1String("device type")) {
      reply = QStringLiteral("cdaudio");
      return kNoError;
    }
    const QStringList yes = {QStringLiteral("can eject"), QStringLiteral("can play"),
                             QStringLiteral("has audio")};
    const QStringList no = {QStringLiteral("can record"), QStringLiteral("can save"),
                            QStringLiteral("compound device"), QStringLiteral("has video"),
                            QStringLiteral("uses files")};
    if (yes.contains(what))
      reply = QStringLiteral("true");
    else if (no.contains(what))
      reply = QStringLiteral("false");
    else
      return what.isEmpty() ? kMissingParameter : kUnrecognizedKeyword;
    return kNoError;
  }

  int seek(const Command& c, const Look& look) {
    if (!look.present) return kDeviceNotReady;
    const Toc& toc = look.toc;
    int32_t target = -1;
    if (c.has(QStringLiteral("start")))
      target = toc.tracks.front().start;
    else if (c.has(QStringLiteral("end")))
      target = toc.leadout;
    else {
      const QString to = c.valueAfter(QStringLiteral("to"));
      if (to.isEmpty()) return kMissingParameter;
      target = parsePosition(toc, to);
    }
    if (target < 0 || target > toc.leadout) return kOutOfRange;
    stopPlaying();
    position_ = target;
    return kNoError;
  }

  int play(const Command& c, const Look& look) {
    if (!look.present) return kDeviceNotReady;
    const Toc& toc = look.toc;
    int32_t from = position();
    int32_t to = toc.leadout;
    if (const QString f = c.valueAfter(QStringLiteral("from")); !f.isEmpty()) from = parsePosition(toc, f);
    if (const QString t = c.valueAfter(QStringLiteral("to")); !t.isEmpty()) to = parsePosition(toc, t);
    if (from < 0 || to < 0 || from > toc.leadout || to > toc.leadout) return kOutOfRange;
    stopPlaying();
    // The audio from there on, passing over data tracks.
    std::vector<Span> spans;
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
      if (!toc.tracks[i].audio) continue;
      const int32_t start = i == 0 ? std::min(from, toc.tracks[i].start) : toc.tracks[i].start;
      const Span s{std::max(start, from), std::min(toc.end(i), to)};
      if (s.end > s.start) spans.push_back(s);
    }
    position_ = from;
    if (spans.empty()) return kNoError;
    spans_ = spans;
    playingToc_ = toc;
    silenceBytes_ = 0;
    reader_ = std::make_unique<Reader>(drive_, spans);
    output_.start([this](char* data, qint64 max) -> qint64 {
      if (!reader_) return 0;
      const qint64 n = reader_->take(data, max);
      if (n > 0 || reader_->ended()) return n;
      // The drive is not there yet: silence, which the position leaves out.
      const qint64 gap = std::min<qint64>(max, output_.format().bytesPerSecond() / 50) & ~qint64(3);
      std::memset(data, 0, static_cast<std::size_t>(gap));
      silenceBytes_ += gap;
      return gap;
    });
    return kNoError;
  }

  const cdreader::Drive drive_;
  const bool image_;

  mutable std::mutex lookMutex_;
  std::condition_variable wake_;
  Look look_;
  std::chrono::steady_clock::time_point lastQuery_ = std::chrono::steady_clock::now();
  bool doorOpen_ = false;
  bool quit_ = false;
  std::thread watcher_;

  TimeFormat format_ = TimeFormat::Msf;
  int32_t position_ = 0;
  PcmOutput output_;
  std::unique_ptr<Reader> reader_;
  std::vector<Span> spans_;
  Toc playingToc_;
  std::atomic<qint64> silenceBytes_{0};  // added by the output's thread, read by the device
};

std::unique_ptr<Device> openCdAudio(const OpenRequest& request, int& error) {
  std::vector<cdreader::Drive> drives;
  try {
    drives = cdreader::ListDrives();
  } catch (const RuntimeError&) {
    error = kCannotLoadDriver;
    return nullptr;
  }
  const auto it = request.element.isEmpty()
                      ? drives.begin()
                      : std::find_if(drives.begin(), drives.end(), [&](const cdreader::Drive& d) {
                          return sameDrivePath(d.path, request.element);
                        });
  if (it == drives.end()) {
    error = kInvalidDeviceName;
    return nullptr;
  }
  return std::make_unique<CdAudioDevice>(*it, lookAt(*it));
}

}  // namespace

void RegisterCdAudioDevice() { RegisterDeviceType(QStringLiteral("cdaudio"), openCdAudio); }

}  // namespace sv::mci
