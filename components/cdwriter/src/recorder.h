// A writer as the control sees it: a CD writer, the image writer, or a scripted stand-in.
// Queries come from the control's thread; Write runs on the write thread while the control
// answers queries from what it learnt before.
#pragma once

#include "red_book.h"
#include "sources.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cdw {

struct WriterInfo {
  std::string address;  // "/dev/sr0", "Image"
  std::string vendor;
  std::string product;
};

// What the write settings ask for.
struct WriteSettings {
  bool test = false;       // go through every step, record nothing
  bool closeDisc = true;   // no later session
  bool discAtOnce = true;  // else track-at-once
  bool cdText = true;
  bool burnProof = false;
  int speed = 0;  // multiples of 1x; 0 the writer's best
  int gapBlocks = 0;
  std::string imageName;  // the image writer's file name, "" for date and time
};

struct PlannedTrack {
  int number = 0;
  std::string source;  // the file the user added
  PcmRegion pcm;       // where its PCM lies (the cache for an MP3)
  std::optional<FileStamp> stamp;
  bool cached = false;
  TrackPlace place;
  CdText text;
};

struct DiscPlan {
  std::vector<PlannedTrack> tracks;
  CdText text;
  Layout layout;
};

struct WriteOutcome {
  enum class Kind { Complete, Cancelled, WriteError, FileError };
  Kind kind = Kind::Complete;
  std::int16_t code = 0;  // WriteError or FileError code
  std::int32_t deviceError = 0;
  std::string detail;    // the error data text, or the image written
  std::string fileName;  // of a FileError

  static WriteOutcome Complete(std::string image = {}) {
    return {Kind::Complete, 0, 0, std::move(image), {}};
  }
  static WriteOutcome Cancelled() { return {Kind::Cancelled, 0, 0, {}, {}}; }
  static WriteOutcome Error(std::int16_t code, std::int32_t device, std::string detail) {
    return {Kind::WriteError, code, device, std::move(detail), {}};
  }
  static WriteOutcome File(const FileError& e) { return {Kind::FileError, e.code, 0, {}, e.name}; }
};

// WriteError codes.
enum WriteErrorCode : std::int16_t {
  kReadBuffer = 0,
  kWriteBuffer = 1,
  kFileWhileWriting = 2,
  kDeviceError = 3,
  kNoTracks = 4,
  kInvalidLayout = 5,
};

// The write's side of the bargain: track data, cancel requests, progress.
class WriteContext {
 public:
  virtual ~WriteContext() = default;
  // A reader of the index-th planned track, opened; null with the file error recorded
  // (FailedFile) when its file is gone or changed.
  virtual std::unique_ptr<TrackReader> OpenTrack(std::size_t index) = 0;
  virtual FileError FailedFile() const = 0;
  virtual bool Cancelled() const = 0;
  // `blocks` counts what TrackProgress counts up to (track 1's pregap included when the
  // writer writes it itself).
  virtual void TrackStarted(int track, std::int64_t blocks) = 0;
  virtual void TrackProgress(int track, std::int64_t written, int bufferPercent) = 0;
  // After the track's last block, with the CRC32 of its audio as written.
  virtual void TrackClosing(int track, std::uint32_t crc) = 0;
  virtual void DiscClosing() = 0;
  virtual void Note(const std::string& line) = 0;  // into the burn log
};

class Recorder {
 public:
  virtual ~Recorder() = default;
  virtual WriterInfo Info() const = 0;
  // Takes the writer for use; false when it cannot be used now.
  virtual bool Select() = 0;
  virtual void Release() = 0;
  virtual bool DiscLoaded() = 0;
  // Blocks already recorded on the loaded disc; not 0 also for a disc that cannot take audio.
  virtual std::int32_t DiscUsedBlocks() = 0;
  // Blocks from track 1's start to the last lead-out the disc allows; 0 unknown.
  virtual std::int64_t CapacityBlocks() = 0;
  virtual int MaxSpeed() = 0;
  virtual bool BurnProofSupported() = 0;
  // The whole write, on the write thread. Ends at the first failure; leaves nothing that looks
  // like a finished disc image behind when it does not complete.
  virtual WriteOutcome Write(const DiscPlan& plan, const WriteSettings& settings, WriteContext& context) = 0;
  // After a completed real write (ejects a drive's disc).
  virtual void Finish() = 0;
  // Asks a running Write to stop soon; any thread.
  virtual void Cancel() {}
};

std::unique_ptr<Recorder> MakeImageRecorder();
// The CD writers libburn finds; none on a machine without them.
std::vector<std::unique_ptr<Recorder>> FindDrives();
std::unique_ptr<Recorder> MakeDriveRecorder(const std::string& address);
// Scripted stand-ins read from a JSON file (for tests of the window); empty on errors.
std::vector<std::unique_ptr<Recorder>> ScriptedRecorders(const std::string& scriptPath, std::string* error);

}  // namespace cdw
