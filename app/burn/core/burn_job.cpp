#include "burn_job.h"

#include "platform/rounding.h"
#include "platform/runtime_error.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace sv::burn {
namespace {

// Members of the CD-writer control.
enum Member : int {
  mTestMode = 2,
  mCloseDisc = 4,
  mDiscAtOnce = 5,
  mCdText = 6,
  mTrackGap = 7,
  mLog = 21,
  mErrorData = 23,
  mWriterCount = 24,
  mWriterAddress = 25,
  mWriterProduct = 26,
  mWriterVendor = 27,
  mSelectWriter = 28,
  mFinishDisc = 29,
  mDiscLoaded = 33,
  mStartWrite = 34,
  mSetSpeed = 37,
  mMaxSpeed = 38,
  mCancelWrite = 39,
  mDiscUsed = 41,
  mClearTracks = 63,
  mTrackCount = 64,
  mAddTrack = 67,
  mLayOut = 68,
  mBurnProof = 70,
  mBurnProofSupported = 71,
};

constexpr jobs::Rgb kStatusBlack{0, 0, 0};
constexpr jobs::Rgb kStatusComplete{23, 122, 18};
const QString kCrLf = QStringLiteral("\r\n");

QVariant i16(int value) { return QVariant::fromValue(static_cast<short>(value)); }

QString twoDigits(qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

// A step whose run-time error is passed over: the fallback stands for its result.
template <typename F>
QVariant step(F&& call, QVariant fallback = {}) {
  try {
    return call();
  } catch (const RuntimeError&) {
    return fallback;
  }
}

qint64 arg(const QVariantList& args, int i) { return i < args.size() ? args[i].toLongLong() : 0; }

}  // namespace

std::vector<Speed> BurnSpeeds(int maxSpeed) {
  std::vector<Speed> out;
  const auto m = static_cast<std::int16_t>(maxSpeed);
  if (m < 1) return {{QString::fromLatin1(kDefaultSpeed), 0}};
  for (int s = m; s > 0; s = s > 4 ? s - 4 : rnd(s / 2.0)) out.push_back({QString::number(s) + 'x', s});
  return out;
}

QString WriteErrorText(int code, std::int32_t deviceError, const QString& errorData) {
  switch (code) {
    case 0:
      return QStringLiteral("The read buffer could not be initialized...check your memory/disc resources.");
    case 1:
      return QStringLiteral("The write buffer could not be initialized...check your memory/disc resources.");
    case 2:
      return QStringLiteral("A file error was encountered while writing the disc.");
    case 3:
      return QStringLiteral("A device error has occurred. Device Error ") + QString::number(deviceError) +
             kCrLf + QStringLiteral("Error Data - ") + errorData;
    case 4:
      return QStringLiteral("Tracks have been added the disc image...Please add tracks and try again.");
    case 5:
      return QStringLiteral(
          "Tracks have been added the disc image with an invalid format...Please try again.");
    default:
      return QStringLiteral("Unknown writing error.");
  }
}

QString FileErrorText(int code, const QString& fileName) {
  switch (code) {
    case 0:
      return QStringLiteral("Error opening file: ") + fileName;
    case 1:
      return QStringLiteral("Error reading file: ") + fileName;
    case 2:
      return QStringLiteral("Error writing file: ") + fileName;
    case 4:
      return QStringLiteral("Error buffering file: ") + fileName;
    default:
      return QStringLiteral("Unknown file error!:");
  }
}

QString RefusedFileText(const QString& path, const QString& reason) {
  QString text = path + kCrLf + QStringLiteral("Only high quality MP3,Wave(eg:44100hz) files can be burned!");
  // The control says which file before why; the path is already there.
  QString why = reason.startsWith(path + QStringLiteral(": ")) ? reason.mid(path.size() + 2) : reason;
  if (!why.isEmpty()) text += kCrLf + QStringLiteral("(") + why + QStringLiteral(")");
  return text;
}

WriteProgress WriteStatusPercent(std::int64_t blocksWritten, std::int64_t blocksToWrite, int track,
                                 int trackCount) {
  WriteProgress p;
  p.track = blocksToWrite > 0
                ? rnd(static_cast<double>(blocksWritten) / static_cast<double>(blocksToWrite) * 100.0)
                : 100;
  // A layout that was never read counts the track being written as the last.
  const int tracks = trackCount > 0 ? trackCount : std::max(track, 1);
  p.total = rnd((p.track / 100.0 + (track - 1)) / tracks * 100.0);
  p.total = std::clamp(p.total, 0, 99);
  p.track = std::clamp(p.track, 0, 100);
  return p;
}

int CachingPercent(std::int64_t blocksCached, std::int64_t blocksToCache) {
  if (blocksToCache <= 0) return 100;
  return rnd(static_cast<double>(blocksCached) / static_cast<double>(blocksToCache) * 100.0);
}

QString BurnLogPath() {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (state.isEmpty() || !QDir::isAbsolutePath(state))
    state = QDir::homePath() + QStringLiteral("/.local/state");
  return state + QStringLiteral("/sonvera/svburn.log");
}

BurnJob::BurnJob(BurnSink& sink) : sink_(sink), control_(std::make_unique<CDWriterControl>()) {
  QObject::connect(control_.get(), &CDWriterControl::Event,
                   [this](const QString& name, const QVariantList& args) { OnEvent(name, args); });
}

BurnJob::~BurnJob() = default;

void BurnJob::StartLog(const QString& path) {
  if (QFile::exists(path)) QFile::remove(path);
  QVariantList args{path, true};
  control_->Call(mLog, args);
}

QStringList BurnJob::Writers() {
  QStringList out;
  selectedWriter_ = -1;
  const int count = control_->Get(mWriterCount).toInt();
  for (int i = 0; i < count; ++i) {
    auto text = [&](int member) {
      QVariantList index{i16(i)};
      return control_->Invoke(member, CDWriterControl::Kind::Get, index).toString();
    };
    out << text(mWriterAddress) + QStringLiteral(": ") + text(mWriterVendor) + QLatin1Char(' ') +
               text(mWriterProduct);
  }
  return out;
}

bool BurnJob::SelectWriter(int index) {
  QVariantList args{i16(index)};
  selectedWriter_ = control_->Call(mSelectWriter, args).toBool() ? index : -1;
  return selectedWriter_ >= 0;
}

bool BurnJob::BurnProofSupported() { return control_->Get(mBurnProofSupported).toBool(); }

std::vector<Speed> BurnJob::Speeds() { return BurnSpeeds(control_->Get(mMaxSpeed).toInt()); }

void BurnJob::ChooseSpeed(const Speed& speed) {
  if (speed.text == QLatin1String(kDefaultSpeed)) return;
  control_->Call(mSetSpeed, {i16(speed.speed)});
}

bool BurnJob::BurnNow(const QStringList& files, const BurnOptions& options) {
  sink_.StatusColour(kStatusBlack);
  step([&] { return control_->Call(mClearTracks); });
  if (!AddBurnTracks(files)) return false;
  return StartBurn(options);
}

bool BurnJob::AddBurnTracks(const QStringList& files) {
  for (int r = 0; r < files.size(); ++r) {
    QVariantList args{files[r], i16(r + 1)};
    QString reason;
    bool accepted = false;
    try {
      accepted = control_->Call(mAddTrack, args).toBool();
      if (!accepted) reason = step([&] { return control_->Get(mErrorData); }).toString();
    } catch (const RuntimeError& error) {
      reason = ErrorText(error);
    }
    if (!accepted) {
      sink_.Message(RefusedFileText(files[r], reason), Icon::Information);
      return false;
    }
  }
  PrepareDiscLayout();
  return true;
}

void BurnJob::PrepareDiscLayout() {
  step([&] { return control_->Call(mLayOut); });
  burnTrackCount_ = step([&] { return control_->Get(mTrackCount); }, 0).toInt();
}

bool BurnJob::StartBurn(const BurnOptions& options) {
  if (selectedWriter_ == -1) {
    sink_.Message(QStringLiteral("CD write drive is not selected or does not exist."), Icon::Information);
    return false;
  }
  if (!step([&] { return control_->Get(mDiscLoaded); }, true).toBool()) {
    sink_.Message(QStringLiteral("Please load an empty disc for recording."), Icon::Information);
    return false;
  }
  if (step([&] { return control_->Get(mDiscUsed); }, 0).toInt() != 0) {
    sink_.Message(QStringLiteral("Please insert an empty disc for recording."), Icon::Information);
    return false;
  }
  step([&] { return control_->Put(mCdText, true), QVariant(); });
  step([&] { return control_->Put(mTrackGap, 0), QVariant(); });
  step([&] { return control_->Put(mTestMode, options.testMode), QVariant(); });
  step([&] { return control_->Put(mCloseDisc, true), QVariant(); });
  step([&] { return control_->Put(mDiscAtOnce, true), QVariant(); });
  step([&] { return control_->Call(mBurnProof, {options.burnProof}); });
  if (!step([&] { return control_->Call(mStartWrite); }, false).toBool()) {
    sink_.Message(QStringLiteral("Audio CD Write could not be started."), Icon::Critical);
    return false;
  }
  outcome_.clear();
  started_ = true;
  return true;
}

bool BurnJob::Cancel() {
  cancelFlag_ = true;
  // A write that was started but has not yet said so is stopped too, not left running.
  if (!burning_ && !started_) return false;
  step([&] { return control_->Call(mCancelWrite); });
  return true;
}

void BurnJob::OnEvent(const QString& name, const QVariantList& args) {
  auto ended = [&] {
    burning_ = false;
    started_ = false;
    outcome_ = name;
    if (Ended) Ended(name);
  };
  if (name == QLatin1String("CachingTrack")) {
    cachingTrack_ = static_cast<int>(arg(args, 0));
    cachingSize_ = arg(args, 1);
  } else if (name == QLatin1String("CachingTrackStatus")) {
    sink_.StatusText(QStringLiteral("Caching and Decoding Track #") + twoDigits(cachingTrack_) +
                     QStringLiteral(" - ") + twoDigits(CachingPercent(arg(args, 0), cachingSize_)) +
                     QLatin1Char('%'));
  } else if (name == QLatin1String("PreparingToWrite")) {
    sink_.StatusText(QStringLiteral("Preparing to Write Disc...."));
    sink_.TrackBar(0);
    sink_.TotalBar(0);
    sink_.EnableControls(false);
    sink_.TotalCaption(QString::fromLatin1(kTotalWaiting));
    burning_ = true;
    outcome_.clear();
  } else if (name == QLatin1String("TrackWriteStart")) {
    sink_.StatusText(QStringLiteral("Preparing to Write Track #") + twoDigits(arg(args, 0)));
    sink_.TrackBar(0);
    trackWriteSize_ = arg(args, 1);
  } else if (name == QLatin1String("TrackWriteStatus")) {
    const int track = static_cast<int>(arg(args, 0));
    const WriteProgress p = WriteStatusPercent(arg(args, 1), trackWriteSize_, track, burnTrackCount_);
    sink_.TrackBar(p.track);
    sink_.TotalBar(p.total);
    sink_.StatusText(QStringLiteral("Writing Track #") + twoDigits(track) + QStringLiteral("... "));
  } else if (name == QLatin1String("ClosingTrack")) {
    sink_.StatusText(QStringLiteral("Closing Track....#") + twoDigits(arg(args, 0)));
  } else if (name == QLatin1String("ClosingDisc")) {
    sink_.StatusText(QStringLiteral("Closing Disc....Please wait until finish!"));
  } else if (name == QLatin1String("WritingComplete")) {
    sink_.StatusColour(kStatusComplete);
    sink_.StatusText(QStringLiteral("Writing Complete!"));
    sink_.TotalBar(100);
    sink_.EnableControls(true);
    sink_.TotalCaption(QString::fromLatin1(kTotalComplete));
    ended();
    sink_.Message(QStringLiteral("Burn Audio CD successful!"), Icon::Information);
    if (!step([&] { return control_->Get(mTestMode); }, true).toBool())
      step([&] { return control_->Call(mFinishDisc); });
  } else if (name == QLatin1String("WritingCancelled")) {
    sink_.StatusText(QStringLiteral("Writing Cancelled......"));
    sink_.EnableControls(true);
    ended();
  } else if (name == QLatin1String("TrackFileError")) {
    sink_.StatusText(FileErrorText(static_cast<int>(arg(args, 0)), args.value(1).toString()));
    sink_.TotalCaption(QString::fromLatin1(kTotalError));
    ended();
  } else if (name == QLatin1String("WriteError")) {
    const QString data = step([&] { return control_->Get(mErrorData); }).toString();
    sink_.Message(
        WriteErrorText(static_cast<int>(arg(args, 0)), static_cast<std::int32_t>(arg(args, 1)), data),
        Icon::Critical);
    sink_.EnableControls(true);
    sink_.StatusText(QStringLiteral("A write error occurred.."));
    sink_.TotalCaption(QString::fromLatin1(kTotalError));
    ended();
  }
}

}  // namespace sv::burn
