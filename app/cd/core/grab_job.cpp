#include "cd/core/grab_job.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <new>

#include "cd/core/checksums.h"
#include "cd/core/disc_ids.h"
#include "jobs/core/paths.h"
#include "platform/cd_reader.h"
#include "platform/rounding.h"
#include "platform/runtime_error.h"
#include "wav_file_io.h"

namespace sv::grab {
namespace {

using jobs::RowResult;

constexpr std::int16_t kStopValue = -1;

std::string Native(const QString& path) { return jobs::NativePath(path).toStdString(); }

QString WriteFailedText(const QString& path) {
  return QStringLiteral("could not write %1 (is the disk full?)").arg(QFileInfo(path).fileName());
}

QString CreateFailedText(const QString& path) { return QStringLiteral("could not create %1").arg(path); }

QString OutputText(const GrabSettings& s) {
  if (s.kind == OutputKind::Wav) return QStringLiteral("WAV, 44100 Hz, 16 bit, stereo");
  const EncoderConfig c = RipperEncoderConfig(s.mp3);
  const QStringList modes{QStringLiteral("stereo"), QStringLiteral("joint stereo"),
                          QStringLiteral("dual channel"), QStringLiteral("mono")};
  const QStringList quality = Mp3QualityItems();
  return QStringLiteral("MP3 (svencode), %1 kbit/s, %2 Hz, %3, quality %4")
      .arg(c.bitrate)
      .arg(c.outSampleRate)
      .arg(c.mode >= 0 && c.mode < modes.size() ? modes[c.mode] : QString::number(c.mode))
      .arg(s.mp3.Mp3Quality >= 0 && s.mp3.Mp3Quality < quality.size() ? quality[s.mp3.Mp3Quality]
                                                                      : quality.value(1));
}

// How the block loop ended.
enum class Loop { Done, Stopped, ReadFailed, WriteFailed, EncoderFailed };

}  // namespace

QString TypeText(OutputKind kind) {
  return kind == OutputKind::Mp3 ? QStringLiteral("CD->MP3") : QStringLiteral("CD->WAV");
}

QString TrackFileName(const QString& folder, int track, OutputKind kind) {
  QString base = folder;
  if (!base.endsWith(QLatin1Char('/'))) base += QLatin1Char('/');
  return base + QStringLiteral("track%1").arg(track, 2, 10, QLatin1Char('0')) +
         (kind == OutputKind::Mp3 ? QStringLiteral(".mp3") : QStringLiteral(".wav"));
}

EncoderConfig RipperEncoderConfig(const WaveToAllOptions& positions) {
  return MakeEncoderConfig(positions, 44100);
}

std::int32_t SvripperDisc::ReadBlock(SVR_TRACKBUF* buffer) {
  return cdreader::ReadCDAudioLBA(handle_, buffer);
}

QString SvripperDisc::ErrorText() { return AspiErrorText(cdreader::GetAspiLibError()); }

QString SvripperDisc::CdText(int track, int field) {
  std::string text;
  cdreader::ReadCDText(handle_, track, field, text);
  return QString::fromStdString(text);
}

std::vector<std::uint8_t> Id3v1Tag(const QString& title, const QString& artist, const QString& album,
                                   int track) {
  std::vector<std::uint8_t> tag(128, 0);
  std::memcpy(tag.data(), "TAG", 3);
  auto put = [&](std::size_t at, const QString& text) {
    const QByteArray bytes = text.toLatin1().left(30);
    std::memcpy(tag.data() + at, bytes.constData(), static_cast<std::size_t>(bytes.size()));
  };
  put(3, title);
  put(33, artist);
  put(63, album);
  // Year (93..96) and comment (97..124) empty; 125 zero marks the track number in 126.
  tag[126] = static_cast<std::uint8_t>(track > 0 && track < 256 ? track : 0);
  tag[127] = 255;
  return tag;
}

// --- rows ----------------------------------------------------------------------------------

class GrabJob::TrackRows : public jobs::JobRows {
 public:
  explicit TrackRows(const GrabSettings& settings) : settings_(settings) {}
  int RowCount() const override { return static_cast<int>(settings_.tracks.size()); }
  jobs::JobRow Row(int row) const override {
    const int track = settings_.tracks.at(static_cast<std::size_t>(row - 1));
    jobs::JobRow r;
    r.type = TypeText(settings_.kind);
    r.source = QStringLiteral("CD Track %1").arg(track);
    r.destination = TrackFileName(settings_.outputFolder, track, settings_.kind);
    r.tag = track;
    return r;
  }
  bool ReplaceExisting() const override { return settings_.overwrite; }

 private:
  const GrabSettings& settings_;
};

// --- the step: one track ---------------------------------------------------------------------

class GrabJob::Step : public jobs::RowStep {
 public:
  explicit Step(GrabJob& job, Mp3EncoderCalls mp3) : job_(job), mp3_(std::move(mp3)) {}

  RowResult Run(const jobs::JobRow& row, jobs::StepContext& context) override {
    const int number = static_cast<int>(row.tag);
    TrackEntry& entry = job_.entries_[number];
    entry = TrackEntry{};
    entry.track = number;
    entry.file = row.destination;
    const DiscLayout::Track* track = job_.layout_.find(number);
    if (!track) return RowResult::Failed(QStringLiteral("track %1 is not on the disc").arg(number));
    entry.first = track->start;
    entry.end = track->end;
    // Its sectors are no audio: grabbed, they would be noise.
    if (!track->audio)
      return RowResult::Failed(
          QStringLiteral("track %1 is a data track, not audio: not grabbed").arg(number));
    if (track->end < track->start)
      return RowResult::Failed(QStringLiteral("track %1 has no valid range").arg(number));
    try {
      return job_.settings_.kind == OutputKind::Wav ? ripWav(row.destination, *track, entry, context)
                                                    : ripMp3(row.destination, *track, entry, context);
    } catch (const std::bad_alloc&) {
      return RowResult::Failed(RuntimeError(errOutOfMemory).description());
    }
  }

 private:
  // Reads [first, end) in blocks of 26 frames into one buffer, at most three attempts a block;
  // each block's audio goes to `sink`, which says whether it was kept.
  Loop readRange(const DiscLayout::Track& track, TrackEntry& entry, jobs::StepContext& context,
                 const std::function<bool(const std::uint8_t*, int)>& sink) {
    const std::int32_t total = track.end - track.start;
    TrackChecksums sums(std::int64_t(total) * 588, track.number == job_.layout_.firstAudio(),
                        track.number == job_.layout_.lastAudio());
    entry.checked = true;
    auto record = [&] {
      entry.crc32 = sums.Crc32();
      entry.accurateRipV1 = sums.AccurateRipV1();
      entry.accurateRipV2 = sums.AccurateRipV2();
      entry.peak = sums.Peak();
    };
    std::vector<std::uint8_t> block(sizeof(SVR_TRACKBUF) + kBlockBytes, 0);
    SVR_TRACKBUF header{};
    header.maxLen = kBlockBytes;
    std::int32_t remaining = total, current = track.start, n = kBlockFrames;
    while (remaining > 0) {
      if (remaining < n) n = remaining;
      header.startFrame = static_cast<std::uint32_t>(current);
      header.numFrames = static_cast<std::uint32_t>(n);
      bool read = false;
      for (int attempt = 0; attempt < kReadAttempts && !read; ++attempt) {
        std::memcpy(block.data(), &header, sizeof header);
        ++entry.attempts;
        if (attempt > 0) ++entry.retries;
        read = job_.disc_.ReadBlock(reinterpret_cast<SVR_TRACKBUF*>(block.data())) == 1;
      }
      if (!read) {
        error_ = job_.disc_.ErrorText();
        record();
        return Loop::ReadFailed;
      }
      ++entry.blocks;
      const std::uint8_t* audio = block.data() + sizeof(SVR_TRACKBUF);
      sums.Add(audio, static_cast<std::size_t>(n) * SVR_FRAME_BYTES);
      if (!sink(audio, n)) {
        record();
        return encoderFailed_ ? Loop::EncoderFailed : Loop::WriteFailed;
      }
      current += n;
      remaining -= n;
      entry.framesRead += n;
      const float percent = static_cast<float>(total - remaining) / static_cast<float>(total) * 100.0f;
      if (!context.Progress(CInt(percent))) {
        record();
        return Loop::Stopped;
      }
    }
    record();
    return Loop::Done;
  }

  QString incompleteText(const TrackEntry& entry) const {
    return QStringLiteral("%1 The track is incomplete: %2 of %3 frames were read and written.")
        .arg(error_)
        .arg(entry.framesRead)
        .arg(entry.end - entry.first);
  }

  RowResult ripWav(const QString& path, const DiscLayout::Track& track, TrackEntry& entry,
                   jobs::StepContext& context) {
    const std::int64_t bytes = std::int64_t(track.end - track.start) * SVR_FRAME_BYTES;
    if (bytes > clsFileIo::kMaxWavDataLength)
      return RowResult::Failed(QStringLiteral("track %1 is too long for a WAV file").arg(track.number));
    clsFileIo out;
    if (out.OpenFile(Native(path)) != clsFileIo::kTrue) return RowResult::Failed(CreateFailedText(path));
    if (out.writeWavHeader(static_cast<std::int32_t>(bytes)) != clsFileIo::kTrue)
      return RowResult::Failed(WriteFailedText(path));
    const Loop end = readRange(track, entry, context, [&](const std::uint8_t* audio, int frames) {
      return out.WriteBytes(audio, frames * SVR_FRAME_BYTES) == clsFileIo::kTrue;
    });
    // Closed without waiting for the disk: a WAV track is many megabytes, and the window
    // would stand still while they are forced out.
    const bool closed = out.CloseFile() == clsFileIo::kTrue;
    if (end == Loop::WriteFailed || !closed) return RowResult::Failed(WriteFailedText(path));
    if (end == Loop::Done) return RowResult::Done();
    // A stopped or broken-off track keeps what was read; its header says how much that is.
    if (!rewriteHeader(path, entry.framesRead * SVR_FRAME_BYTES))
      return RowResult::Failed(WriteFailedText(path));
    if (end == Loop::Stopped) return RowResult::Stopped();
    RowResult failed = RowResult::Failed(incompleteText(entry));
    failed.keepOutput = true;
    return failed;
  }

  static bool rewriteHeader(const QString& path, std::int64_t dataBytes) {
    clsFileIo fix;  // opens at the start and never truncates
    if (fix.OpenFile(Native(path)) != clsFileIo::kTrue) return false;
    const bool written = fix.writeWavHeader(static_cast<std::int32_t>(dataBytes)) == clsFileIo::kTrue;
    return fix.CloseFile() == clsFileIo::kTrue && written;
  }

  RowResult ripMp3(const QString& path, const DiscLayout::Track& track, TrackEntry& entry,
                   jobs::StepContext& context) {
    EncoderConfig config = RipperEncoderConfig(job_.settings_.mp3);
    std::uint32_t samplesPerChunk = 0, outputSize = 0, stream = 0;
    const std::int32_t init = mp3_.Init(&config, &samplesPerChunk, &outputSize, &stream);
    if (init != BE_ERR_SUCCESSFUL) {
      entry.checked = false;
      const QString text = EncoderErrorText(init);
      return RowResult::Failed(text.isEmpty() ? QStringLiteral("encoder error %1").arg(init) : text);
    }
    const Mp3StreamGuard closer(mp3_, stream);

    clsFileIo out;
    if (out.OpenFile(Native(path)) != clsFileIo::kTrue) return RowResult::Failed(CreateFailedText(path));
    // In mono the encoder takes one channel per chunk: each frame is mixed down to 588 samples.
    const bool mono = config.mode == BE_MP3_MODE_MONO;
    std::vector<std::int16_t> frame(kFrameSamples);
    std::vector<std::uint8_t> output(std::max<std::uint32_t>(outputSize, 1));
    std::vector<std::uint8_t> pending;
    pending.reserve(static_cast<std::size_t>(outputSize) * kBlockFrames);
    encoderFailed_ = false;
    const Loop end = readRange(track, entry, context, [&](const std::uint8_t* audio, int frames) {
      pending.clear();
      for (int k = 0; k < frames; ++k) {
        std::memcpy(frame.data(), audio + std::size_t(k) * SVR_FRAME_BYTES, SVR_FRAME_BYTES);
        std::uint32_t samples = kFrameSamples;
        if (mono) {
          for (int i = 0; i < kFrameSamples / 2; ++i)
            frame[i] = static_cast<std::int16_t>((std::int32_t(frame[2 * i]) + frame[2 * i + 1]) >> 1);
          samples /= 2;
        }
        std::uint32_t produced = 0;
        const std::int32_t result = mp3_.Encode(stream, samples, frame.data(), output.data(), &produced);
        if (result != BE_ERR_SUCCESSFUL) {
          encoderFailed_ = true;
          error_ = EncoderErrorText(result);
          return false;
        }
        pending.insert(pending.end(), output.begin(), output.begin() + produced);
      }
      return pending.empty() ||
             out.WriteBytes(pending.data(), static_cast<std::int32_t>(pending.size())) == clsFileIo::kTrue;
    });
    if (end == Loop::EncoderFailed) return RowResult::Failed(error_);
    // The encoder's last frames complete the file, also after a stop or a read failure.
    std::uint32_t produced = 0;
    bool written = end != Loop::WriteFailed;
    if (written && mp3_.Deinit(stream, output.data(), &produced) == BE_ERR_SUCCESSFUL && produced > 0)
      written = out.WriteBytes(output.data(), static_cast<std::int32_t>(produced)) == clsFileIo::kTrue;
    if (written && end == Loop::Done) {
      const std::vector<std::uint8_t> tag = job_.tagOf(track.number);
      if (!tag.empty())
        written = out.WriteBytes(tag.data(), static_cast<std::int32_t>(tag.size())) == clsFileIo::kTrue;
    }
    // Closed without forcing it to disk, as the WAVs are: behind a grab's gigabyte of freshly
    // written audio an fsync waits for the journal to commit all of it, and the window would
    // stand still for a tenth of a second or more between tracks.
    const bool closed = out.CloseFile() == clsFileIo::kTrue;
    if (!written || !closed) return RowResult::Failed(WriteFailedText(path));
    if (end == Loop::Stopped) return RowResult::Stopped();
    if (end == Loop::ReadFailed) {
      RowResult failed = RowResult::Failed(incompleteText(entry));
      failed.keepOutput = true;
      return failed;
    }
    return RowResult::Done();
  }

  GrabJob& job_;
  Mp3EncoderCalls mp3_;
  QString error_;
  bool encoderFailed_ = false;
};

// --- the job --------------------------------------------------------------------------------

GrabJob::GrabJob(GrabSettings settings, const SVR_TOC& toc, GrabDisc& disc, GrabInfo info,
                 Mp3EncoderCalls mp3)
    : settings_(std::move(settings)), toc_(toc), layout_(LayoutOf(toc)), disc_(disc), info_(std::move(info)) {
  rows_ = std::make_unique<TrackRows>(settings_);
  steps_.Add(TypeText(settings_.kind), std::make_unique<Step>(*this, std::move(mp3)));
}

GrabJob::~GrabJob() {
  // A job that never reached its end (stopped, or its window closed) says so.
  if (prepared_ && !finished_) {
    try {
      log_.WriteSummary(grabbed_, notGrabbed_, skipped_, true);
    } catch (...) {
    }
  }
}

jobs::JobRows& GrabJob::Rows() { return *rows_; }

jobs::JobOptions GrabJob::Options(std::int16_t* stopFlag) const {
  jobs::JobOptions options;
  options.texts.ready = QStringLiteral("Total %1 CD Tracks, ready to grab...");
  options.texts.finished = QStringLiteral("Finish Tracks Grab!");
  options.texts.stopQuestion = settings_.kind == OutputKind::Wav
                                   ? QStringLiteral("Really want to stop grabing?")
                                   : QStringLiteral("Really want to stop grabbing?");
  options.texts.notConverted = QStringLiteral(" %1 track%2 not grabbed.");
  options.cancelFlag = stopFlag;
  options.cancelValue = kStopValue;
  return options;
}

std::vector<std::uint8_t> GrabJob::tagOf(int track) {
  const QString album = disc_.CdText(0, SVR_CDTEXT_TITLE);
  const QString discArtist = disc_.CdText(0, SVR_CDTEXT_PERFORMER);
  const QString title = disc_.CdText(track, SVR_CDTEXT_TITLE);
  QString artist = disc_.CdText(track, SVR_CDTEXT_PERFORMER);
  if (artist.isEmpty()) artist = discArtist;
  if (album.isEmpty() && artist.isEmpty() && title.isEmpty()) return {};
  return Id3v1Tag(title, artist, album, track);
}

QString GrabJob::Prepare() {
  const QString folder = settings_.outputFolder;
  if (folder.isEmpty()) return QStringLiteral("output directory can not be empty!");
  if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
    return QStringLiteral("The output folder %1 could not be made. Choose another folder on the CD page.")
        .arg(folder);
  if (settings_.tracks.empty()) return {};

  LogHeader h;
  h.program = info_.program;
  const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
  h.date = QDateTime::currentDateTime().toString(format) + QStringLiteral(" local time, ") +
           QDateTime::currentDateTimeUtc().toString(format) + QStringLiteral(" UTC");
  h.drive = info_.drive;
  h.drivePath = info_.drivePath;
  h.readMode =
      info_.readMode +
      QStringLiteral("; blocks of %1 frames, at most %2 attempts each").arg(kBlockFrames).arg(kReadAttempts);
  h.output = OutputText(settings_);
  h.folder = folder;
  h.disc = layout_;
  h.musicBrainzId = MusicBrainzDiscId(layout_);
  h.freedbId = FreedbDiscId(layout_);
  h.accurateRipKey = AccurateRipDiscKey(layout_);
  h.discTitle = disc_.CdText(0, SVR_CDTEXT_TITLE);
  h.discPerformer = disc_.CdText(0, SVR_CDTEXT_PERFORMER);
  for (const auto& t : layout_.tracks) {
    h.trackTitles.push_back(disc_.CdText(t.number, SVR_CDTEXT_TITLE));
    h.trackPerformers.push_back(disc_.CdText(t.number, SVR_CDTEXT_PERFORMER));
  }
  QString base = QStringLiteral("rip");
  if (!h.discTitle.isEmpty() && !SafeFileName(h.discTitle).isEmpty())
    base = SafeFileName(h.discPerformer.isEmpty() ? h.discTitle
                                                  : h.discPerformer + QStringLiteral(" - ") + h.discTitle);
  // Without a log the copy cannot be checked later, but the tracks are still worth having.
  if (log_.Open(folder, base)) log_.WriteHeader(h);
  prepared_ = true;
  return {};
}

void GrabJob::RowFinished(const jobs::JobRow& row, const jobs::RowResult& result) {
  const int number = static_cast<int>(row.tag);
  TrackEntry& entry = entries_[number];
  entry.track = number;
  if (entry.file.isEmpty()) entry.file = row.destination;
  if (const DiscLayout::Track* t = layout_.find(number); t && entry.end == 0) {
    entry.first = t->start;
    entry.end = t->end;
  }
  switch (result.outcome) {
    case jobs::RowOutcome::Done:
      ++grabbed_;
      entry.result = entry.retries > 0 ? QStringLiteral("copy OK (after %1 retries)").arg(entry.retries)
                                       : QStringLiteral("copy OK");
      break;
    case jobs::RowOutcome::Skipped:
      ++skipped_;
      entry.checked = false;
      entry.result = QStringLiteral("skipped: ") + result.reason;
      break;
    case jobs::RowOutcome::Failed:
      ++notGrabbed_;
      entry.result = QStringLiteral("not grabbed: ") + result.reason;
      break;
    case jobs::RowOutcome::Stopped:
      ++notGrabbed_;
      entry.result =
          QStringLiteral("stopped by the user after %1 frames; the file holds them").arg(entry.framesRead);
      break;
  }
  log_.WriteTrack(entry);
}

void GrabJob::Finished() {
  if (finished_) return;
  finished_ = true;
  log_.WriteSummary(grabbed_, notGrabbed_, skipped_, false);
}

}  // namespace sv::grab
