#include "cli/disc_commands.h"

#include "burn_job.h"
#include "cd/core/grab_job.h"
#include "cli/convert_run.h"
#include "cli/progress_view.h"
#include "jobs/core/paths.h"
#include "platform/runtime_error.h"
#include "svripper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sv::cli {
namespace {

void out(const QString& text) {
  std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
  std::fflush(stdout);
}

void error(const QString& text) {
  std::fflush(stdout);
  std::fputs((QStringLiteral("sonvera-convert: ") + text + QLatin1Char('\n')).toLocal8Bit().constData(),
             stderr);
}

QString pathOf(const SVR_CDREC& drive) {
  char path[4096] = {};
  if (GetCDDrivePath(drive.ha, drive.tgt, drive.lun, path, sizeof path) <= 0) return {};
  return QString::fromUtf8(path);
}

std::uint32_t lbaOf(const SVR_TOCTRACK& t) {
  return std::uint32_t{t.address[0]} << 24 | std::uint32_t{t.address[1]} << 16 |
         std::uint32_t{t.address[2]} << 8 | t.address[3];
}

// The tracks of a disc: number, first frame, frames, audio or data.
struct DiscTrack {
  int number = 0;
  std::uint32_t start = 0, frames = 0;
  bool audio = true;
};

std::optional<std::vector<DiscTrack>> readToc(SVR_HCDROM handle) {
  ModifyCDParms(handle, SVR_CDP_MSF, 0);
  SVR_TOC toc{};
  if (ReadTOC(handle, &toc) != 1) return std::nullopt;
  const int count = toc.lastTrack - toc.firstTrack + 1;
  if (count < 1 || count >= SVR_MAX_TOC_ENTRIES) return std::nullopt;
  std::vector<DiscTrack> tracks;
  for (int i = 0; i < count; ++i) {
    const SVR_TOCTRACK& t = toc.tracks[i];
    const std::uint32_t next = lbaOf(toc.tracks[i + 1]);  // the next track, or the lead-out
    tracks.push_back({t.track, lbaOf(t), next > lbaOf(t) ? next - lbaOf(t) : 0, (t.adrControl & 0x04) == 0});
  }
  return tracks;
}

QString minutes(std::uint64_t frames) { return Elapsed(static_cast<double>(frames) / 75.0); }

// Texts of the window's message boxes as lines: CR LF and line ends become "; ".
QString oneLine(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("; "));
  text.replace(QLatin1Char('\n'), QStringLiteral("; "));
  return text;
}

// The burn job's display on a terminal: the status line and the two bars as the live line,
// its messages as lines.
class BurnLines : public burn::BurnSink {
 public:
  explicit BurnLines(ProgressStyle style) : view_(style) {}
  void Attach(const burn::BurnJob& job) { job_ = &job; }
  void StatusText(const QString& text) override {
    status_ = text;
    show();
  }
  void StatusColour(jobs::Rgb) override {}
  void TrackBar(int percent) override {
    track_ = percent;
    show();
  }
  void TotalBar(int percent) override {
    total_ = percent;
    show();
  }
  void TotalCaption(const QString&) override {}
  void EnableControls(bool) override {}
  void Message(const QString& text, burn::Icon) override {
    // What the window tells in a box: success on standard output, everything else is a failure.
    if (job_ && job_->Outcome() == QLatin1String("WritingComplete"))
      view_.Line(oneLine(text));
    else
      view_.Error(QStringLiteral("sonvera-convert: ") + oneLine(text));
  }
  const QString& Status() const { return status_; }
  void Clear() { view_.Clear(); }

 private:
  void show() { view_.Show({{status_, track_}}, total_, 0, 1, false); }

  ProgressView view_;
  const burn::BurnJob* job_ = nullptr;
  QString status_;
  int track_ = 0, total_ = 0;
};

}  // namespace

int ListDrives() {
  SVR_CDLIST list{};
  list.max = SVR_MAX_DRIVES;
  const int drives = GetCDList(&list);
  char folder[4096] = {};
  GetCDImageFolder(folder, sizeof folder);
  out(QStringLiteral("Drives and disc images (images from %1):").arg(QString::fromUtf8(folder)));
  if (drives <= 0) out(QStringLiteral("  none"));
  for (int i = 0; i < drives && i < SVR_MAX_DRIVES; ++i) {
    const SVR_CDREC& d = list.cd[i];
    QString line = QStringLiteral("  %1  %2").arg(i + 1).arg(QString::fromUtf8(d.id).trimmed());
    const QString path = pathOf(d);
    if (!path.isEmpty()) line += QStringLiteral("  (%1)").arg(path);
    out(line);
    SVR_GETCDHAND request{12, 1, d.ha, d.tgt, d.lun, 0, {}};
    const SVR_HCDROM handle = GetCDHandle(&request);
    const auto tracks = handle ? readToc(handle) : std::nullopt;
    if (handle) CloseCDHandle(handle);
    if (!tracks) {
      out(QStringLiteral("     no disc"));
      continue;
    }
    int audio = 0;
    std::uint64_t frames = 0;
    for (const DiscTrack& t : *tracks)
      if (t.audio) ++audio, frames += t.frames;
    out(QStringLiteral("     %1 audio track%2, %3")
            .arg(audio)
            .arg(audio == 1 ? "" : "s")
            .arg(minutes(frames)));
  }
  out(QStringLiteral("Writers:"));
  BurnLines quiet(ProgressStyle::Quiet);
  try {
    burn::BurnJob job(quiet);
    const QStringList writers = job.Writers();
    for (int i = 0; i < writers.size(); ++i) out(QStringLiteral("  %1  %2").arg(i + 1).arg(writers[i]));
  } catch (const RuntimeError& e) {
    error(QStringLiteral("the CD-writer component could not be started: %1").arg(ErrorText(e)));
    return kExitFailed;
  }
  return kExitOk;
}

int WriteDisc(const CliSettings& s) {
  QStringList files;
  for (const QString& file : s.inputs) {
    const QString kind = QFileInfo(file).suffix().toLower();
    if (!QFileInfo(file).isFile()) {
      error(QStringLiteral("%1: no such file").arg(file));
      return kExitFailed;
    }
    if (kind != QLatin1String("wav") && kind != QLatin1String("mp3")) {
      error(QStringLiteral("%1: not a WAV or MP3 file").arg(file));
      return kExitFailed;
    }
    files << QFileInfo(file).absoluteFilePath();
  }
  BurnLines lines(s.progress);
  std::unique_ptr<burn::BurnJob> job;
  try {
    job = std::make_unique<burn::BurnJob>(lines);
  } catch (const RuntimeError& e) {
    error(QStringLiteral("the CD-writer component could not be started: %1").arg(ErrorText(e)));
    return kExitFailed;
  }
  lines.Attach(*job);
  // The writer: the image writer by default, else by number or address ("address: vendor product").
  const QStringList writers = job->Writers();
  const QString wanted = s.writer.isEmpty() ? QStringLiteral("image") : s.writer;
  bool number = false;
  const int index = wanted.toInt(&number);
  int chosen = -1;
  for (int i = 0; i < writers.size(); ++i)
    if (number ? index == i + 1
               : writers[i].section(QStringLiteral(": "), 0, 0).compare(wanted, Qt::CaseInsensitive) == 0)
      chosen = i;
  if (chosen < 0) {
    error(QStringLiteral("no writer '%1' (see --list-drives)").arg(wanted));
    return kExitUsage;
  }
  if (!job->SelectWriter(chosen)) {
    error(QStringLiteral("the writer %1 can not be used").arg(writers[chosen]));
    return kExitFailed;
  }
  try {
    job->Control().Put(100, s.imageName);
  } catch (const RuntimeError&) {
  }

  InterruptPipe interrupts;
  QSocketNotifier notifier(interrupts.fd(), QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    if (interrupts.Count() > 0) job->Cancel();
  });
  burn::BurnOptions options;
  options.testMode = s.testWrite;
  options.burnProof = job->BurnProofSupported();
  if (!job->BurnNow(files, options)) return kExitFailed;  // the sink said why
  while (job->Burning() || job->Outcome().isEmpty())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 200);
  lines.Clear();
  const QString& end = job->Outcome();
  if (end == QLatin1String("WritingComplete")) {
    QString image;
    try {
      image = job->Control().Get(101).toString();
    } catch (const RuntimeError&) {
    }
    const int tracks = static_cast<int>(files.size());
    out(image.isEmpty() ? QStringLiteral("Disc written: %1 track%2.").arg(tracks).arg(tracks == 1 ? "" : "s")
                        : QStringLiteral("Disc image written: %1 (%2 track%3)")
                              .arg(image)
                              .arg(tracks)
                              .arg(tracks == 1 ? "" : "s"));
    return kExitOk;
  }
  if (end == QLatin1String("WritingCancelled")) {
    out(QStringLiteral("Stopped by the user; the disc was not finished."));
    return kExitInterrupted;
  }
  if (end == QLatin1String("TrackFileError")) error(oneLine(lines.Status()));
  return kExitFailed;
}

namespace {

// The drive a user named: its number in the list, or its device or image path.
std::optional<SVR_CDREC> findDrive(const QString& named) {
  SVR_CDLIST list{};
  list.max = SVR_MAX_DRIVES;
  const int drives = std::min(GetCDList(&list), SVR_MAX_DRIVES);
  bool number = false;
  const int index = named.toInt(&number);
  const QString path = QFileInfo(named).absoluteFilePath();
  for (int i = 0; i < drives; ++i) {
    if (number ? index == i + 1 : pathOf(list.cd[i]) == path || pathOf(list.cd[i]) == named)
      return list.cd[i];
  }
  return std::nullopt;
}

// An open drive, closed at the end.
class DriveHandle {
 public:
  explicit DriveHandle(const SVR_CDREC& drive) {
    SVR_GETCDHAND request{12, 1, drive.ha, drive.tgt, drive.lun, 0, {}};
    handle_ = GetCDHandle(&request);
  }
  ~DriveHandle() {
    if (handle_) CloseCDHandle(handle_);
  }
  DriveHandle(const DriveHandle&) = delete;
  DriveHandle& operator=(const DriveHandle&) = delete;
  SVR_HCDROM get() const { return handle_; }

 private:
  SVR_HCDROM handle_ = 0;
};

// The grab job's display and questions on a terminal: a line per track, Ctrl-C to stop.
class GrabSink : public jobs::JobSink, public jobs::JobQuestions {
 public:
  GrabSink(grab::GrabJob& job, ProgressStyle style, InterruptPipe& interrupts)
      : job_(job), view_(style), interrupts_(interrupts) {}
  void Attach(jobs::JobRunner& runner) { runner_ = &runner; }

  void ShowRow(const QString&, const QString& source, const QString&) override { current_ = source; }
  void SetStatus(const QString&, jobs::Rgb) override {}
  void DrawFileBar(float percent, jobs::Rgb) override { file_ = static_cast<int>(percent); }
  void DrawTotalBar(float percent, jobs::Rgb) override {
    total_ = percent;
    view_.Show({{current_, file_}}, total_, done_, static_cast<int>(job_.Settings().tracks.size()), false);
  }
  void RowFinished(int, const jobs::JobRow& row, const jobs::RowResult& result) override {
    job_.RowFinished(row, result);
    ++done_;
    const QString track = QStringLiteral("track %1").arg(row.tag);
    switch (result.outcome) {
      case jobs::RowOutcome::Done:
        view_.Line(QStringLiteral("grabbed   %1 -> %2").arg(track, row.destination));
        break;
      case jobs::RowOutcome::Skipped:
        view_.Line(QStringLiteral("skipped   %1: %2 exists (-y replaces it)").arg(track, row.destination));
        break;
      case jobs::RowOutcome::Stopped:
        // As with conversions: a cut-off track would pass for a whole one.
        jobs::RemoveFile(row.destination);
        view_.Line(QStringLiteral("stopped   %1 (its partial output was removed)").arg(track));
        ++stopped_;
        break;
      case jobs::RowOutcome::Failed:
        view_.Error(QStringLiteral("sonvera-convert: %1: %2").arg(track, result.reason));
        break;
    }
  }
  void JobStarted() override {}
  void JobFinished(int) override { job_.Finished(); }
  void Yield(bool) override {
    if (runner_ && interrupts_.Count() > stops_) {
      stops_ = interrupts_.Count();
      runner_->Cancel();
    }
  }
  void Close() override { view_.Clear(); }

  Overwrite AskOverwrite(const QString&) override { return Overwrite::No; }
  bool AskStop(const QString&) override { return true; }
  void Tell(const QString& text) override { view_.Error(QStringLiteral("sonvera-convert: ") + text); }
  void TellError(const RuntimeError&) override {}

  int Stopped() const { return stopped_; }
  void Clear() { view_.Clear(); }

 private:
  grab::GrabJob& job_;
  ProgressView view_;
  InterruptPipe& interrupts_;
  jobs::JobRunner* runner_ = nullptr;
  QString current_;
  int file_ = 0, done_ = 0, stopped_ = 0, stops_ = 0;
  float total_ = 0;
};

}  // namespace

int GrabTracks(const CliSettings& s) {
  const auto drive = findDrive(s.drive);
  if (!drive) {
    error(QStringLiteral("no drive or disc image '%1' (see --list-drives)").arg(s.drive));
    return kExitUsage;
  }
  DriveHandle handle(*drive);
  SVR_TOC toc{};
  if (!handle.get() || ModifyCDParms(handle.get(), SVR_CDP_MSF, 0) != 1 || ReadTOC(handle.get(), &toc) != 1) {
    error(QStringLiteral("no disc can be read in %1").arg(pathOf(*drive)));
    return kExitFailed;
  }
  const grab::DiscLayout layout = grab::LayoutOf(toc);
  grab::GrabSettings settings;
  settings.kind = s.format == QLatin1String("mp3") ? grab::OutputKind::Mp3 : grab::OutputKind::Wav;
  settings.mp3 = s.wave;
  settings.outputFolder = QDir::cleanPath(
      QDir::current().absoluteFilePath(s.outputDir.isEmpty() ? QStringLiteral(".") : s.outputDir));
  settings.overwrite = s.overwrite;
  if (s.tracks.isEmpty()) {
    for (const auto& t : layout.tracks)
      if (t.audio) settings.tracks.push_back(t.number);
  } else {
    const std::vector<int> wanted = ParseTrackList(s.tracks).value_or(std::vector<int>{});
    for (const int t : wanted) {
      if (!layout.find(t)) {
        error(QStringLiteral("the disc has no track %1 (it has %2)").arg(t).arg(layout.tracks.size()));
        return kExitUsage;
      }
      settings.tracks.push_back(t);
    }
  }
  if (settings.tracks.empty()) {
    error(QStringLiteral("the disc has no audio tracks"));
    return kExitFailed;
  }

  grab::SvripperDisc disc(handle.get());
  grab::GrabInfo info;
  info.program =
      QStringLiteral("Sonvera Disc Suite %1 (sonvera-convert)").arg(QStringLiteral(SONVERA_VERSION));
  info.drive = QString::fromUtf8(drive->id).trimmed();
  info.drivePath = pathOf(*drive);
  grab::GrabJob job(settings, toc, disc, info);
  InterruptPipe interrupts;
  GrabSink sink(job, s.progress, interrupts);
  std::int16_t stopFlag = 0;
  jobs::JobRunner runner(job.Rows(), job.Steps(), sink, sink, job.Options(&stopFlag));
  sink.Attach(runner);
  runner.Load();
  if (const QString problem = job.Prepare(); !problem.isEmpty()) {
    error(problem);
    return kExitFailed;
  }
  runner.Run();
  sink.Clear();
  const auto& results = runner.Results();
  const int grabbed =
      static_cast<int>(std::count_if(results.begin(), results.end(), [](const jobs::RowResult& r) {
        return r.outcome == jobs::RowOutcome::Done;
      }));
  const int skipped =
      static_cast<int>(std::count_if(results.begin(), results.end(), [](const jobs::RowResult& r) {
        return r.outcome == jobs::RowOutcome::Skipped;
      }));
  const bool stopped = runner.Results().size() < settings.tracks.size() || sink.Stopped() > 0;
  if (stopped) out(QStringLiteral("Stopped by the user."));
  QString line = QStringLiteral("%1 track%2: %3 grabbed")
                     .arg(settings.tracks.size())
                     .arg(settings.tracks.size() == 1 ? "" : "s")
                     .arg(grabbed);
  if (skipped) line += QStringLiteral(", %1 skipped (already there)").arg(skipped);
  if (runner.FailedRows()) line += QStringLiteral(", %1 failed").arg(runner.FailedRows());
  out(line);
  if (!job.LogPath().isEmpty()) out(QStringLiteral("Rip log: %1").arg(job.LogPath()));
  if (stopped) return kExitInterrupted;
  return runner.FailedRows() > 0 ? kExitFailed : kExitOk;
}

}  // namespace sv::cli
