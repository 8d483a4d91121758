// CD writers through libburn: audio disc-at-once (or track-at-once) with libburn's own audio
// track handling, simulation, buffer-underrun protection, the drive's speeds and CD-Text.
//
// No machine of the project has a writer, so this path is checked on libburn's stdio pseudo
// drives (which refuse audio) and otherwise by reading. Every libburn call here follows its
// header's contract: drives are scanned with nothing grabbed, forgotten at once so other
// programs may use them, and grabbed again by address when selected.
#include "recorder.h"

#include <libburn/libburn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace cdw {
namespace {

using namespace std::chrono_literals;
using namespace burn;  // the header's own namespace under C++

constexpr double kOneX = 176.4;  // kB/s of 1x audio
constexpr int kProfileCdR = 0x09, kProfileCdRw = 0x0a;

struct DriveFacts {
  std::string address, vendor, product, revision;
};

std::string trimmed(const char* text, std::size_t size) {
  std::string s(text, strnlen(text, size));
  const auto last = s.find_last_not_of(' ');
  return last == std::string::npos ? std::string() : s.substr(0, last + 1);
}

// libburn serves the whole process: started with the first user, ended with the last.
class Library {
 public:
  static std::shared_ptr<Library> Get() {
    static std::mutex lock;
    static std::weak_ptr<Library> current;
    std::lock_guard guard(lock);
    if (auto library = current.lock()) return library;
    auto library = std::shared_ptr<Library>(new Library);
    if (!library->ok_) return nullptr;
    current = library;
    return library;
  }
  ~Library() {
    if (ok_) burn_finish();
  }

  // The drives that write CDs. A scan needs every drive ungrabbed; while one is held, the
  // list of the last scan stands.
  std::vector<DriveFacts> Scan() {
    std::lock_guard guard(lock_);
    if (grabbed_ > 0) return drives_;
    burn_drive_info* infos = nullptr;
    unsigned int count = 0;
    int r;
    while ((r = burn_drive_scan(&infos, &count)) == 0) std::this_thread::sleep_for(10ms);
    drives_.clear();
    if (r > 0 && infos) {
      for (unsigned int i = 0; i < count; ++i) {
        char address[BURN_DRIVE_ADR_LEN] = {};
        if ((infos[i].write_cdr || infos[i].write_cdrw) && burn_drive_d_get_adr(infos[i].drive, address) > 0)
          drives_.push_back({address, trimmed(infos[i].vendor, sizeof infos[i].vendor),
                             trimmed(infos[i].product, sizeof infos[i].product),
                             trimmed(infos[i].revision, sizeof infos[i].revision)});
        // Leave the drive to other programs until it is selected.
        burn_drive_info_forget(&infos[i], 0);
      }
      burn_drive_info_free(infos);
    }
    return drives_;
  }

  void Grabbed(int change) {
    std::lock_guard guard(lock_);
    grabbed_ += change;
  }

  // The most severe message libburn queued since the last call, with its code.
  std::string TakeMessage(int* code) {
    std::string text;
    int worst = -1;
    for (;;) {
      int error = 0, osError = 0, rank = 0;
      char message[BURN_MSGS_MESSAGE_LEN] = {}, severity[80] = {};
      if (burn_msgs_obtain(const_cast<char*>("ALL"), &error, message, &osError, severity) != 1) break;
      burn_text_to_sev(severity, &rank, 0);
      if (rank >= worst) {
        worst = rank;
        *code = error;
        text = trimmed(message, sizeof message);
        if (osError) text += std::string(" (") + std::strerror(osError) + ")";
      }
    }
    return text;
  }

 private:
  Library() {
    ok_ = burn_initialize() != 0;
    if (ok_)
      burn_msgs_set_severities(const_cast<char*>("ALL"), const_cast<char*>("NEVER"),
                               const_cast<char*>("cdwriter: "));
  }
  bool ok_ = false;
  std::mutex lock_;
  int grabbed_ = 0;
  std::vector<DriveFacts> drives_;
};

// A track's audio as libburn reads it: blocks from our reader, on libburn's thread.
struct SourceData {
  TrackReader* reader;
  off_t size;
  std::uint8_t block[kBlockBytes];
  int blockFill = 0, blockUsed = 0;
};

int readSource(burn_source* source, unsigned char* buffer, int size) {
  auto* data = static_cast<SourceData*>(source->data);
  int given = 0;
  while (given < size) {
    if (data->blockUsed == data->blockFill) {
      if (data->reader->blocksRead() >= data->reader->blocks()) break;
      if (!data->reader->Read(data->block, 1)) return -1;
      data->blockFill = kBlockBytes;
      data->blockUsed = 0;
    }
    const int n = std::min(size - given, data->blockFill - data->blockUsed);
    std::memcpy(buffer + given, data->block + data->blockUsed, static_cast<std::size_t>(n));
    data->blockUsed += n;
    given += n;
  }
  return given;
}
off_t sourceSize(burn_source* source) { return static_cast<SourceData*>(source->data)->size; }
int setSourceSize(burn_source* source, off_t size) {
  static_cast<SourceData*>(source->data)->size = size;
  return 1;
}
void freeSource(burn_source* source) { delete static_cast<SourceData*>(source->data); }

burn_source* newSource(TrackReader& reader) {
  auto* source = static_cast<burn_source*>(std::calloc(1, sizeof(burn_source)));
  if (!source) return nullptr;
  source->refcount = 1;
  source->version = 1;
  source->read = nullptr;  // version 1: read_xt instead
  source->read_xt = readSource;
  source->get_size = sourceSize;
  source->set_size = setSourceSize;
  source->free_data = freeSource;
  source->data = new SourceData{&reader, static_cast<off_t>(reader.blocks()) * kBlockBytes, {}, 0, 0};
  return source;
}

struct DiscFree {
  void operator()(burn_disc* d) const { burn_disc_free(d); }
};
struct OptsFree {
  void operator()(burn_write_opts* o) const { burn_write_opts_free(o); }
};

class DriveRecorder : public Recorder {
 public:
  DriveRecorder(std::shared_ptr<Library> library, DriveFacts facts)
      : library_(std::move(library)), facts_(std::move(facts)) {}
  ~DriveRecorder() override { Release(); }

  WriterInfo Info() const override { return {facts_.address, facts_.vendor, facts_.product}; }

  bool Select() override {
    if (drive_) return true;
    return grab(1);
  }

  void Release() override { drop(0); }

  bool DiscLoaded() override {
    const auto status = discStatus();
    return status != BURN_DISC_EMPTY && status != BURN_DISC_UNREADY && status != BURN_DISC_UNGRABBED;
  }

  std::int32_t DiscUsedBlocks() override {
    const auto status = discStatus();
    int profile = 0;
    char name[80] = {};
    burn_disc_get_profile(drive_, &profile, name);
    if (status == BURN_DISC_BLANK && (profile == kProfileCdR || profile == kProfileCdRw)) return 0;
    if (burn_disc* disc = burn_drive_get_disc(drive_)) {
      const int sectors = burn_disc_get_sectors(disc);
      burn_disc_free(disc);
      if (sectors > 0) return sectors;
    }
    return 1;  // not blank, or not a disc for audio
  }

  std::int64_t CapacityBlocks() override {
    if (!drive_) return 0;
    int start = 0, end = 0;
    burn_disc_read_atip(drive_);
    if (burn_drive_get_start_end_lba(drive_, &start, &end, 0) == 1 && end > 0) return end;
    return burn_disc_available_space(drive_, nullptr) / 2048;
  }

  int MaxSpeed() override {
    if (!drive_) return 0;
    return static_cast<int>(std::floor(burn_drive_get_write_speed(drive_) / kOneX + 0.01));
  }

  bool BurnProofSupported() override {
    if (!drive_) return false;
    std::unique_ptr<burn_write_opts, OptsFree> opts(burn_write_opts_new(drive_));
    return opts && burn_write_opts_set_underrun_proof(opts.get(), 1) == 1;
  }

  void Finish() override {
    // Out with the written disc; the drive stays selected.
    if (drop(1)) grab(0);
  }

  void Cancel() override { cancel_ = true; }

  WriteOutcome Write(const DiscPlan& plan, const WriteSettings& settings, WriteContext& context) override;

 private:
  bool grab(int load) {
    burn_drive_info* info = nullptr;
    if (burn_drive_scan_and_grab(&info, const_cast<char*>(facts_.address.c_str()), load) != 1 || !info)
      return false;
    info_ = info;
    drive_ = info[0].drive;
    library_->Grabbed(1);
    return true;
  }

  bool drop(int eject) {
    if (!drive_) return false;
    burn_drive_release(drive_, eject);
    burn_drive_info_free(info_);
    drive_ = nullptr;
    info_ = nullptr;
    library_->Grabbed(-1);
    return true;
  }

  burn_disc_status discStatus() {
    if (!drive_) return BURN_DISC_UNGRABBED;
    // A drive that is still spinning up reports "unready" for a while.
    burn_disc_status status = BURN_DISC_UNREADY;
    for (int i = 0; i < 100 && (status = burn_disc_get_status(drive_)) == BURN_DISC_UNREADY; ++i)
      std::this_thread::sleep_for(50ms);
    return status;
  }

  bool cdTextSupported() {
    // CD Mastering feature: the drive writes R-W sub-channels, where CD-Text lives.
    unsigned char flags = 0, length = 0;
    unsigned char* data = nullptr;
    const int r = burn_drive_get_feature(drive_, 0x2E, &flags, &length, &data, nullptr);
    const bool rw = r > 0 && data && length > 0 && (data[0] & 0x01);
    std::free(data);
    return rw;
  }

  std::shared_ptr<Library> library_;
  DriveFacts facts_;
  burn_drive_info* info_ = nullptr;
  burn_drive* drive_ = nullptr;
  std::atomic<bool> cancel_{false};
};

void setText(burn_session* session, burn_track* track, const char* type, const std::string& text) {
  std::string payload = text;  // zero-terminated ISO-8859-1
  auto* bytes = reinterpret_cast<unsigned char*>(payload.data());
  const int length = static_cast<int>(payload.size()) + 1;
  if (track)
    burn_track_set_cdtext(track, 0, 0, const_cast<char*>(type), bytes, length, 0);
  else
    burn_session_set_cdtext(session, 0, 0, const_cast<char*>(type), bytes, length, 0);
}

WriteOutcome DriveRecorder::Write(const DiscPlan& plan, const WriteSettings& settings,
                                  WriteContext& context) {
  cancel_ = false;
  if (!drive_) return WriteOutcome::Error(kDeviceError, 0, "The writer is not ready.");
  if (discStatus() != BURN_DISC_BLANK || DiscUsedBlocks() != 0)
    return WriteOutcome::Error(kInvalidLayout, 0, "The disc in the writer is not a blank CD-R or CD-RW.");
  int code = 0;
  library_->TakeMessage(&code);  // what earlier calls left behind

  std::unique_ptr<burn_disc, DiscFree> disc(burn_disc_create());
  burn_session* session = burn_session_create();
  burn_disc_add_session(disc.get(), session, BURN_POS_END);
  burn_session_free(session);  // the disc holds it

  // CD-Text goes into the lead-in of a disc-at-once write, when the drive writes it.
  bool anyText = !plan.text.empty();
  for (const auto& t : plan.tracks) anyText = anyText || !t.text.empty();
  const bool text = anyText && settings.cdText && settings.discAtOnce && cdTextSupported();
  if (text) {
    int charCodes[8] = {0x00, -1, -1, -1, -1, -1, -1, -1};  // ISO-8859-1
    int copyrights[8] = {0x00, -1, -1, -1, -1, -1, -1, -1};
    int languages[8] = {0x09, -1, -1, -1, -1, -1, -1, -1};  // English, as players expect in block 0
    burn_session_set_cdtext_par(session, charCodes, copyrights, languages, 0);
    setText(session, nullptr, "TITLE", plan.text.title);
    setText(session, nullptr, "PERFORMER", plan.text.performer);
    context.Note("CD-Text: written to the disc");
  } else if (anyText && settings.cdText) {
    context.Note("CD-Text: not written (the writer or the mode does not take it)");
  }

  std::vector<std::unique_ptr<TrackReader>> readers;
  for (std::size_t i = 0; i < plan.tracks.size(); ++i) {
    const PlannedTrack& planned = plan.tracks[i];
    auto reader = context.OpenTrack(i);
    if (!reader) return WriteOutcome::File(context.FailedFile());
    burn_track* track = burn_track_create();
    burn_track_define_data(track, 0, 0, 1, BURN_AUDIO);  // little-endian 16-bit stereo, as we give it
    if (i > 0 && planned.place.pregap > 0) burn_track_set_pregap_size(track, planned.place.pregap, 0);
    if (text) {
      setText(session, track, "TITLE", planned.text.title);
      setText(session, track, "PERFORMER", planned.text.performer);
    }
    burn_source* source = newSource(*reader);
    if (!source || burn_track_set_source(track, source) != BURN_SOURCE_OK) {
      if (source) burn_source_free(source);
      burn_track_free(track);
      return WriteOutcome::Error(kReadBuffer, 0, "The track's data source could not be set up.");
    }
    burn_source_free(source);  // the track holds it
    burn_session_add_track(session, track, BURN_POS_END);
    burn_track_free(track);
    readers.push_back(std::move(reader));
  }

  std::unique_ptr<burn_write_opts, OptsFree> opts(burn_write_opts_new(drive_));
  if (!opts) return WriteOutcome::Error(kWriteBuffer, 0, "The write options could not be made.");
  // Track-at-once: the block type is not decisive, libburn picks each track's own.
  if (!burn_write_opts_set_write_type(opts.get(), settings.discAtOnce ? BURN_WRITE_SAO : BURN_WRITE_TAO,
                                      settings.discAtOnce ? BURN_BLOCK_SAO : BURN_BLOCK_MODE1))
    return WriteOutcome::Error(kInvalidLayout, 0,
                               settings.discAtOnce ? "The writer cannot write disc-at-once."
                                                   : "The writer cannot write track-at-once.");
  burn_write_opts_set_simulate(opts.get(), settings.test ? 1 : 0);
  burn_write_opts_set_underrun_proof(opts.get(), settings.burnProof ? 1 : 0);
  burn_write_opts_set_perform_opc(opts.get(), 1);
  burn_write_opts_set_multi(opts.get(), settings.closeDisc ? 0 : 1);
  burn_drive_set_speed(drive_, 0,
                       settings.speed > 0 ? static_cast<int>(std::ceil(settings.speed * kOneX)) : 0);

  char reasons[BURN_REASONS_LEN] = {};
  if (burn_precheck_write(opts.get(), disc.get(), reasons, 1) <= 0)
    return WriteOutcome::Error(kInvalidLayout, 0, std::string("The writer refuses the layout: ") + reasons);

  burn_disc_write(opts.get(), disc.get());
  burn_progress progress{};
  while (burn_drive_get_status(drive_, nullptr) == BURN_DRIVE_SPAWNING) std::this_thread::sleep_for(10ms);

  // Tracks as the drive reaches them; a short track may pass between two looks.
  const int lastTrack = static_cast<int>(plan.tracks.size()) - 1;
  int current = -1;
  std::int64_t currentBlocks = 0;
  bool cancelSent = false, closing = false;
  auto number = [&](int index) { return plan.tracks[static_cast<std::size_t>(index)].number; };
  auto startNext = [&](std::int64_t blocks) {
    ++current;
    currentBlocks = std::max<std::int64_t>(blocks, 1);
    context.TrackStarted(number(current), currentBlocks);
  };
  auto closeCurrent = [&] {
    context.TrackProgress(number(current), currentBlocks, 0);
    context.TrackClosing(number(current), readers[static_cast<std::size_t>(current)]->crc());
  };
  burn_drive_status status;
  while ((status = burn_drive_get_status(drive_, &progress)) != BURN_DRIVE_IDLE) {
    if ((context.Cancelled() || cancel_) && !cancelSent) {
      burn_drive_cancel(drive_);
      cancelSent = true;
    }
    const bool writing = status == BURN_DRIVE_WRITING || status == BURN_DRIVE_WRITING_PREGAP ||
                         status == BURN_DRIVE_WRITING_SYNC;
    if (writing && progress.track >= 0 && progress.track <= lastTrack) {
      while (current < progress.track) {
        if (current >= 0) closeCurrent();
        startNext(current + 1 == progress.track
                      ? progress.sectors
                      : plan.tracks[static_cast<std::size_t>(current + 1)].place.blocks);
      }
      const int used = progress.buffer_capacity > 0
                           ? static_cast<int>(100.0 * (progress.buffer_capacity - progress.buffer_available) /
                                              progress.buffer_capacity)
                           : 0;
      context.TrackProgress(number(current), std::clamp<std::int64_t>(progress.sector, 0, currentBlocks),
                            used);
    }
    if (!closing && current == lastTrack &&
        (status == BURN_DRIVE_WRITING_LEADOUT || status == BURN_DRIVE_CLOSING_SESSION ||
         status == BURN_DRIVE_CLOSING_TRACK)) {
      closeCurrent();
      context.DiscClosing();
      closing = true;
    }
    std::this_thread::sleep_for(100ms);
  }

  // A source that failed ends the write as a file error, whatever libburn made of it.
  for (const auto& reader : readers)
    if (reader->failed()) return WriteOutcome::File(reader->error());
  if (cancelSent) return WriteOutcome::Cancelled();
  if (!burn_drive_wrote_well(drive_)) {
    code = 0;
    std::string message = library_->TakeMessage(&code);
    if (message.empty()) message = "The drive did not finish the write.";
    return WriteOutcome::Error(kDeviceError, code, message);
  }
  if (!closing) {
    while (current < lastTrack) {
      if (current >= 0) closeCurrent();
      startNext(plan.tracks[static_cast<std::size_t>(current + 1)].place.blocks);
    }
    closeCurrent();
    context.DiscClosing();
  }
  // The drive's view of the new disc.
  burn_drive_re_assess(drive_, 0);
  return WriteOutcome::Complete();
}

}  // namespace

std::vector<std::unique_ptr<Recorder>> FindDrives() {
  std::vector<std::unique_ptr<Recorder>> found;
  auto library = Library::Get();
  if (!library) return found;
  for (auto& facts : library->Scan()) found.push_back(std::make_unique<DriveRecorder>(library, facts));
  return found;
}

std::unique_ptr<Recorder> MakeDriveRecorder(const std::string& address) {
  auto library = Library::Get();
  if (!library) return nullptr;
  return std::make_unique<DriveRecorder>(library, DriveFacts{address, "", address, ""});
}

}  // namespace cdw
