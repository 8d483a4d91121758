#include "cd_writer.h"

#include "folders.h"
#include "mp3_decoder.h"

#include <QMetaObject>
#include <QObject>

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace cdw {
namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

std::string twoDigits(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::string channelsText(int channels) { return channels == 1 ? "mono" : "stereo"; }

// A percentage that changed since the last report, or the end.
bool worthReporting(std::int64_t done, std::int64_t total, int& lastPercent) {
  const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
  if (percent == lastPercent && done < total) return false;
  lastPercent = percent;
  return true;
}

// Removes a folder and what it holds when the scope ends.
struct ScratchFolder {
  fs::path path;
  ~ScratchFolder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
  bool make() {
    std::error_code ec;
    fs::create_directories(CacheFolder(), ec);
    std::string pattern = (CacheFolder() / "burn-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return false;
    path = pattern;
    return true;
  }
};

}  // namespace

const char* EventName(EventId id) {
  switch (id) {
    case EventId::CachingTrack:
      return "CachingTrack";
    case EventId::CachingTrackStatus:
      return "CachingTrackStatus";
    case EventId::ClosingDisc:
      return "ClosingDisc";
    case EventId::ClosingTrack:
      return "ClosingTrack";
    case EventId::PreparingToWrite:
      return "PreparingToWrite";
    case EventId::TrackFileError:
      return "TrackFileError";
    case EventId::TrackWriteStart:
      return "TrackWriteStart";
    case EventId::TrackWriteStatus:
      return "TrackWriteStatus";
    case EventId::WriteError:
      return "WriteError";
    case EventId::WritingCancelled:
      return "WritingCancelled";
    case EventId::WritingComplete:
      return "WritingComplete";
  }
  return "";
}

bool IsFinal(EventId id) {
  return id == EventId::TrackFileError || id == EventId::WriteError || id == EventId::WritingCancelled ||
         id == EventId::WritingComplete;
}

std::string Describe(const Event& e) {
  std::string text = EventName(e.id);
  auto add = [&](const char* name, const std::string& value) {
    text += std::string(" ") + name + "=" + value;
  };
  switch (e.id) {
    case EventId::CachingTrack:
      add("Track", std::to_string(e.a));
      add("BlocksToCache", std::to_string(e.b));
      break;
    case EventId::CachingTrackStatus:
      add("BlocksCached", std::to_string(e.a));
      break;
    case EventId::ClosingTrack:
      add("Track", std::to_string(e.a));
      break;
    case EventId::TrackFileError:
      add("FileError", std::to_string(e.a));
      add("FileName", e.text);
      break;
    case EventId::TrackWriteStart:
      add("Track", std::to_string(e.a));
      add("BlocksToWrite", std::to_string(e.b));
      break;
    case EventId::TrackWriteStatus:
      add("Track", std::to_string(e.a));
      add("BlocksWritten", std::to_string(e.b));
      add("DeviceBufferUsed", std::to_string(e.c));
      break;
    case EventId::WriteError:
      add("WriteError", std::to_string(e.a));
      add("DeviceError", std::to_string(e.b));
      break;
    default:
      break;
  }
  return text;
}

// What a write works from: copies taken when it starts, so the control's own state may be
// read and changed meanwhile.
struct CDWriter::Job {
  std::vector<Track> tracks;
  WriteSettings settings;
  Recorder* recorder = nullptr;
  std::string writer;
  std::int64_t capacity = 0;
};

// The write's view of the control: readers of the planned tracks, progress into events.
class CDWriter::Session : public WriteContext {
 public:
  Session(CDWriter& owner, DiscPlan& plan) : owner_(owner), plan_(plan) {}

  std::unique_ptr<TrackReader> OpenTrack(std::size_t index) override {
    const PlannedTrack& t = plan_.tracks[index];
    auto reader = std::make_unique<TrackReader>(t.pcm, t.place.blocks, t.stamp, t.source,
                                                t.cached ? kErrorBuffering : kErrorReading);
    if (reader->Open()) return reader;
    failed_ = reader->error();
    return nullptr;
  }
  FileError FailedFile() const override { return failed_; }
  bool Cancelled() const override { return owner_.cancel_; }

  void TrackStarted(int track, std::int64_t blocks) override {
    blocks_ = blocks;
    lastPercent_ = -1;
    owner_.Post({EventId::TrackWriteStart, track, static_cast<std::int32_t>(blocks)});
  }
  void TrackProgress(int track, std::int64_t written, int bufferPercent) override {
    if (worthReporting(written, blocks_, lastPercent_))
      owner_.Post({EventId::TrackWriteStatus, track, static_cast<std::int32_t>(written), bufferPercent});
  }
  void TrackClosing(int track, std::uint32_t crc) override {
    owner_.Post({EventId::ClosingTrack, track});
    for (const PlannedTrack& t : plan_.tracks)
      if (t.number == track) {
        char line[96];
        std::snprintf(line, sizeof line, "%lld blocks (%s), CRC32 %08X",
                      static_cast<long long>(t.place.blocks), Msf(t.place.blocks).c_str(), crc);
        Note("Track " + twoDigits(track) + " written: " + t.source + ", " + line);
      }
  }
  void DiscClosing() override { owner_.Post({EventId::ClosingDisc}); }
  void Note(const std::string& line) override { owner_.Log(line); }

  // Caching progress, a percentage at a time.
  void Caching(std::int64_t cached, std::int64_t total) {
    if (worthReporting(cached, total, lastPercent_))
      owner_.Post({EventId::CachingTrackStatus, static_cast<std::int32_t>(cached)});
  }
  void StartCaching(int track, std::int64_t blocks) {
    lastPercent_ = -1;
    owner_.Post({EventId::CachingTrack, track, static_cast<std::int32_t>(blocks)});
  }

 private:
  CDWriter& owner_;
  DiscPlan& plan_;
  FileError failed_;
  std::int64_t blocks_ = 0;
  int lastPercent_ = -1;
};

std::vector<std::unique_ptr<Recorder>> CDWriter::AllWriters() {
  std::vector<std::unique_ptr<Recorder>> all;
  if (const char* script = std::getenv("SONVERA_CDWRITER_SCRIPT"); script && *script) {
    std::string error;
    for (auto& r : ScriptedRecorders(script, &error)) all.push_back(std::move(r));
    if (!error.empty()) std::fprintf(stderr, "cdwriter: %s: %s\n", script, error.c_str());
  }
  for (auto& r : FindDrives()) all.push_back(std::move(r));
  all.push_back(MakeImageRecorder());
  return all;
}

CDWriter::CDWriter(std::vector<std::unique_ptr<Recorder>> writers)
    : writers_(std::move(writers)), mailbox_(std::make_unique<QObject>()) {}

CDWriter::~CDWriter() {
  if (worker_.joinable()) {
    CancelWrite();
    worker_.join();
  }
  // Queued events die with the mailbox.
  mailbox_.reset();
  if (Recorder* r = selected()) r->Release();
}

bool CDWriter::SetTrackGap(int blocks) {
  if (blocks < 0 || blocks > kMaxGapBlocks) return false;
  settings_.gapBlocks = blocks;
  return true;
}

void CDWriter::SetWriteSpeed(int speed) {
  settings_.speed = std::max(speed, 0);
  Log("Write speed set to " + (speed > 0 ? std::to_string(speed) + "x" : std::string("the writer's best")));
}

void CDWriter::EnableLog(const std::string& path, bool on) {
  if (!on) {
    Log("Log ended");
    log_.Close();
    return;
  }
  if (log_.Open(path)) {
    Log("Log started");
    for (std::size_t i = 0; i < writers_.size(); ++i) {
      const WriterInfo w = writers_[i]->Info();
      Log("Writer " + std::to_string(i) + ": " + w.address + ": " + w.vendor + " " + w.product);
    }
  }
}

std::optional<WriterInfo> CDWriter::Writer(int index) const {
  if (index < 0 || index >= WriterCount()) return std::nullopt;
  return writers_[static_cast<std::size_t>(index)]->Info();
}

bool CDWriter::SelectWriter(int index) {
  if (writing_) return false;
  if (index != selected_)
    if (Recorder* r = selected()) r->Release();
  selected_ = -1;
  if (index < 0 || index >= WriterCount()) return false;
  Recorder& r = *writers_[static_cast<std::size_t>(index)];
  const WriterInfo w = r.Info();
  if (!r.Select()) {
    Log("Writer " + w.address + " cannot be used now");
    return false;
  }
  selected_ = index;
  maxSpeed_ = r.MaxSpeed();
  burnProof_ = r.BurnProofSupported();
  Log("Writer selected: " + w.address + ": " + w.vendor + " " + w.product + ", highest speed " +
      (maxSpeed_ > 0 ? std::to_string(maxSpeed_) + "x" : std::string("unknown")) +
      (burnProof_ ? ", buffer-underrun protection" : ""));
  return true;
}

void CDWriter::FinishDisc() {
  Recorder* r = selected();
  if (!r || writing_) return;
  r->Finish();
  Log("Disc finished");
}

bool CDWriter::DiscLoaded() {
  Recorder* r = selected();
  if (!r) return false;
  if (!writing_) discLoaded_ = r->DiscLoaded();
  return discLoaded_;
}

std::int32_t CDWriter::DiscUsedBlocks() {
  Recorder* r = selected();
  if (!r) return 0;
  if (!writing_) discUsed_ = r->DiscUsedBlocks();
  return discUsed_;
}

int CDWriter::MaxWriteSpeed() {
  Recorder* r = selected();
  if (!r) return 0;
  if (!writing_) maxSpeed_ = r->MaxSpeed();
  return maxSpeed_;
}

bool CDWriter::BurnProofSupported() {
  Recorder* r = selected();
  if (!r) return false;
  if (!writing_) burnProof_ = r->BurnProofSupported();
  return burnProof_;
}

void CDWriter::ClearTracks() {
  if (writing_) return;
  tracks_.clear();
}

bool CDWriter::AddTrack(const std::string& path, std::int16_t& number) {
  auto refuse = [&](const std::string& why) {
    lastError_ = path + ": " + why;
    Log("File refused: " + lastError_);
    return false;
  };
  if (writing_) return refuse("a write is running");
  if (tracks_.size() >= kMaxTracks) return refuse("a disc holds at most 99 tracks");
  const auto stamp = StampOf(path);
  if (!stamp) return refuse("cannot be opened");
  Track track;
  track.path = path;
  track.stamp = *stamp;
  std::string why;
  if (auto wav = ReadWavRegion(path, &why)) {
    track.pcm = *wav;
    track.estimatedFrames = wav->frames();
    Log("Track " + twoDigits(TrackCount() + 1) + " added: " + path + " (WAV, 44100 Hz, " +
        channelsText(wav->channels) + ", " + MinutesSeconds(TrackBlocks(wav->frames())) + ")");
  } else if (why != "not a WAV file") {
    return refuse("WAV with " + why);
  } else if (lowerExtension(path) != ".mp3") {
    return refuse("neither WAV nor MP3");
  } else {
    const auto facts = ProbeMp3(path);
    if (!facts) return refuse("no MPEG audio found");
    if (facts->sampleRate != kSampleRate)
      return refuse("MP3 at " + std::to_string(facts->sampleRate) + " Hz; a CD takes 44100 Hz");
    if (facts->channels < 1 || facts->channels > 2) return refuse("MP3 of an unusable format");
    track.mp3 = true;
    track.pcm.channels = facts->channels;
    track.estimatedFrames = facts->frames;
    track.tag = ReadId3v1(path);
    Log("Track " + twoDigits(TrackCount() + 1) + " added: " + path + " (MP3, 44100 Hz, " +
        channelsText(facts->channels) + ", about " + MinutesSeconds(TrackBlocks(track.estimatedFrames)) +
        (track.tag ? ", tagged \"" + Latin1ToUtf8(track.tag->artist + " - " + track.tag->title) + "\""
                   : std::string()) +
        ")");
  }
  tracks_.push_back(std::move(track));
  number = static_cast<std::int16_t>(tracks_.size());
  return true;
}

void CDWriter::LayOutDisc() {
  std::vector<std::int64_t> frames;
  for (const Track& t : tracks_) frames.push_back(t.estimatedFrames);
  const Layout layout = LayOut(frames, settings_.gapBlocks);
  Log("Disc laid out: " + std::to_string(tracks_.size()) + " tracks, about " +
      MinutesSeconds(layout.programBlocks));
}

bool CDWriter::StartWrite() {
  Recorder* r = selected();
  if (writing_ || !r) return false;
  auto job = std::make_shared<Job>();
  job->tracks = tracks_;
  job->settings = settings_;
  job->recorder = r;
  const WriterInfo w = r->Info();
  job->writer = w.address + ": " + w.vendor + " " + w.product;
  job->capacity = r->CapacityBlocks();
  discLoaded_ = r->DiscLoaded();
  discUsed_ = r->DiscUsedBlocks();
  cancel_ = false;
  writing_ = true;
  lastImage_.clear();
  worker_ = std::thread(&CDWriter::Run, this, std::move(job));
  return true;
}

void CDWriter::CancelWrite() {
  if (!writing_) return;
  Log("Cancel asked for");
  cancel_ = true;
  if (Recorder* r = selected()) r->Cancel();
}

void CDWriter::Post(Event event) {
  Log("Event " + Describe(event));
  QMetaObject::invokeMethod(
      mailbox_.get(), [this, event] { Deliver(event); }, Qt::QueuedConnection);
}

void CDWriter::Deliver(const Event& event) {
  if (IsFinal(event.id)) {
    // The write thread posts its last event as its last act.
    if (worker_.joinable()) worker_.join();
    writing_ = false;
    if (outcome_.kind == WriteOutcome::Kind::Complete) lastImage_ = outcome_.detail;
    if (outcome_.kind == WriteOutcome::Kind::WriteError) lastError_ = outcome_.detail;
  }
  if (handler_) handler_(event);
}

void CDWriter::Run(std::shared_ptr<Job> job) {
  DiscPlan plan;
  Session session(*this, plan);
  // The cache is gone when Burn returns, before the end is told.
  const WriteOutcome outcome = Burn(*job, plan, session);
  outcome_ = outcome;  // read by Deliver after joining this thread
  Event last{EventId::WritingComplete};
  switch (outcome.kind) {
    case WriteOutcome::Kind::Complete:
      if (!outcome.detail.empty()) Log("Image written: " + outcome.detail);
      break;
    case WriteOutcome::Kind::Cancelled:
      Log("Write cancelled; nothing of it was kept");
      last = {EventId::WritingCancelled};
      break;
    case WriteOutcome::Kind::WriteError:
      Log("Error: " + outcome.detail);
      last = {EventId::WriteError, outcome.code, outcome.deviceError};
      break;
    case WriteOutcome::Kind::FileError:
      Log("File error " + std::to_string(outcome.code) + ": " + outcome.fileName);
      last = {EventId::TrackFileError, outcome.code, 0, 0, outcome.fileName};
      break;
  }
  Post(last);
}

WriteOutcome CDWriter::Burn(Job& job, DiscPlan& plan, Session& session) {
  const WriteSettings& s = job.settings;
  Post({EventId::PreparingToWrite});
  Log("Burn started on " + job.writer);
  Log(std::string("Speed: ") + (s.speed > 0 ? std::to_string(s.speed) + "x" : "Default") +
      "; mode: " + (s.test ? "test (nothing is recorded)" : "real write") + ", " +
      (s.discAtOnce ? "disc-at-once" : "track-at-once") + ", " +
      (s.closeDisc ? "disc closed" : "disc left open") + ", buffer-underrun protection " +
      (s.burnProof ? "on" : "off") + ", CD-Text " + (s.cdText ? "on" : "off") + ", " +
      std::to_string(s.gapBlocks) + " blocks between tracks");
  if (job.tracks.empty()) return WriteOutcome::Error(kNoTracks, 0, "No tracks were added.");

  // The files must be the ones that were added.
  for (const Track& t : job.tracks) {
    const auto now = StampOf(t.path);
    if (!now) return WriteOutcome::File({kErrorOpening, t.path});
    if (!(*now == t.stamp)) return WriteOutcome::File({kErrorReading, t.path});
  }
  auto tooLong = [&](std::int64_t blocks, const char* about) {
    std::string need = MinutesSeconds(blocks), room = MinutesSeconds(job.capacity);
    if (need == room) {  // a fraction of a second too long
      need = Msf(blocks);
      room = Msf(job.capacity);
    }
    return WriteOutcome::Error(kDeviceError, 28,
                               std::string("The tracks last ") + about + need + " but the disc holds " +
                                   room + ". Remove tracks and try again.");
  };
  std::vector<std::int64_t> frames;
  for (const Track& t : job.tracks) frames.push_back(t.estimatedFrames);
  if (job.capacity > 0 && LayOut(frames, s.gapBlocks).programBlocks > job.capacity)
    return tooLong(LayOut(frames, s.gapBlocks).programBlocks, "about ");

  // MP3s are decoded into the cache first: a disc-at-once write cannot wait between tracks,
  // and the layout needs their exact lengths.
  ScratchFolder cache;
  for (std::size_t i = 0; i < job.tracks.size(); ++i) {
    Track& t = job.tracks[i];
    if (!t.mp3) continue;
    if (cache.path.empty() && !cache.make()) return WriteOutcome::File({kErrorBuffering, t.path});
    const std::int64_t blocks = TrackBlocks(t.estimatedFrames);
    session.StartCaching(static_cast<int>(i + 1), blocks);
    const std::string wav = (cache.path / ("track" + twoDigits(static_cast<int>(i + 1)) + ".wav")).string();
    const auto result = DecodeMp3ToWav(t.path, wav, [&](double position) {
      session.Caching(
          std::min<std::int64_t>(static_cast<std::int64_t>(position * static_cast<double>(blocks)), blocks),
          blocks);
      return !cancel_;
    });
    if (result == Mp3Result::Cancelled) return WriteOutcome::Cancelled();
    if (result == Mp3Result::ReadFailed) return WriteOutcome::File({kErrorReading, t.path});
    if (result == Mp3Result::WriteFailed) return WriteOutcome::File({kErrorBuffering, t.path});
    std::string why;
    const auto pcm = ReadWavRegion(wav, &why);
    const auto after = StampOf(t.path);
    if (!after || !(*after == t.stamp)) return WriteOutcome::File({kErrorReading, t.path});
    if (!pcm) {
      Log("Decoded " + t.path + " to " + why);
      return WriteOutcome::File({kErrorReading, t.path});
    }
    t.pcm = *pcm;
    t.estimatedFrames = pcm->frames();
  }
  if (cancel_) return WriteOutcome::Cancelled();

  // The exact layout.
  frames.clear();
  std::vector<std::optional<Id3v1>> tags;
  for (const Track& t : job.tracks) {
    frames.push_back(t.pcm.frames());
    tags.push_back(t.tag);
  }
  plan.layout = LayOut(frames, s.gapBlocks);
  if (job.capacity > 0 && plan.layout.programBlocks > job.capacity)
    return tooLong(plan.layout.programBlocks, "");
  plan.text = DiscText(tags);
  for (std::size_t i = 0; i < job.tracks.size(); ++i) {
    const Track& t = job.tracks[i];
    PlannedTrack p;
    p.number = static_cast<int>(i + 1);
    p.source = t.path;
    p.pcm = t.pcm;
    p.cached = t.mp3;
    p.stamp = t.mp3 ? StampOf(t.pcm.path) : std::optional<FileStamp>(t.stamp);
    p.place = plan.layout.tracks[i];
    if (t.tag) p.text = {t.tag->title, t.tag->artist};
    Log("Track " + twoDigits(p.number) + ": " + t.path + ", " + std::to_string(t.pcm.frames()) +
        " sample frames, " + std::to_string(p.place.blocks) + " blocks (" + Msf(p.place.blocks) + ") from " +
        Msf(p.place.start + plan.layout.tracks[0].pregap));
    plan.tracks.push_back(std::move(p));
  }
  Log("Disc: " + std::to_string(plan.layout.programBlocks) + " blocks (" + Msf(plan.layout.programBlocks) +
      ") after the 2-second pregap" +
      (plan.text.empty()
           ? std::string()
           : ", CD-Text \"" + Latin1ToUtf8(plan.text.performer + " - " + plan.text.title) + "\""));
  return job.recorder->Write(plan, s, session);
}

}  // namespace cdw
