// The CD-writer control, typed: writers, the track list, the write settings, and the write
// that runs on a thread of its own and reports through events on the creating thread.
#pragma once

#include "burn_log.h"
#include "recorder.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QObject;

namespace cdw {

enum class EventId {
  CachingTrack,        // Track, BlocksToCache
  CachingTrackStatus,  // BlocksCached
  ClosingDisc,
  ClosingTrack,  // Track
  PreparingToWrite,
  TrackFileError,    // FileError, FileName (text)
  TrackWriteStart,   // Track, BlocksToWrite
  TrackWriteStatus,  // Track, BlocksWritten, DeviceBufferUsed
  WriteError,        // WriteError, DeviceError
  WritingCancelled,
  WritingComplete,
};

struct Event {
  EventId id;
  std::int32_t a = 0, b = 0, c = 0;  // the numeric parameters in order
  std::string text = {};             // FileName
};

const char* EventName(EventId id);
// The event's name and parameters as the log shows them.
std::string Describe(const Event& event);
// The event that ends a write.
bool IsFinal(EventId id);

class CDWriter {
 public:
  // The writers of this machine: scripted stand-ins named by SONVERA_CDWRITER_SCRIPT (for
  // tests), the CD writers libburn finds, and the image writer, always last.
  static std::vector<std::unique_ptr<Recorder>> AllWriters();

  explicit CDWriter(std::vector<std::unique_ptr<Recorder>> writers);
  ~CDWriter();
  CDWriter(const CDWriter&) = delete;
  CDWriter& operator=(const CDWriter&) = delete;

  // Called on the creating thread, by its event loop.
  void SetEventHandler(std::function<void(const Event&)> handler) { handler_ = std::move(handler); }

  // Write settings; they apply to the next write.
  bool TestMode() const { return settings_.test; }
  void SetTestMode(bool on) { settings_.test = on; }
  bool CloseDisc() const { return settings_.closeDisc; }
  void SetCloseDisc(bool on) { settings_.closeDisc = on; }
  bool DiscAtOnce() const { return settings_.discAtOnce; }
  void SetDiscAtOnce(bool on) { settings_.discAtOnce = on; }
  bool WriteCdText() const { return settings_.cdText; }
  void SetWriteCdText(bool on) { settings_.cdText = on; }
  int TrackGap() const { return settings_.gapBlocks; }
  bool SetTrackGap(int blocks);  // false outside 0 .. 750
  void SetBurnProof(bool on) { settings_.burnProof = on; }
  void SetWriteSpeed(int speed);
  const std::string& ImageName() const { return settings_.imageName; }
  void SetImageName(std::string name) { settings_.imageName = std::move(name); }

  void EnableLog(const std::string& path, bool on);
  const std::string& LastErrorText() const { return lastError_; }

  int WriterCount() const { return static_cast<int>(writers_.size()); }
  // Index from 0; nullopt outside the list.
  std::optional<WriterInfo> Writer(int index) const;
  bool SelectWriter(int index);
  int SelectedWriter() const { return selected_; }
  void FinishDisc();
  bool DiscLoaded();
  std::int32_t DiscUsedBlocks();
  int MaxWriteSpeed();
  bool BurnProofSupported();

  void ClearTracks();
  int TrackCount() const { return static_cast<int>(tracks_.size()); }
  // Adds the file as the next track; `number` gets its track number. False when refused.
  bool AddTrack(const std::string& path, std::int16_t& number);
  void LayOutDisc();

  bool StartWrite();
  void CancelWrite();
  bool Writing() const { return writing_; }
  const std::string& LastImage() const { return lastImage_; }

 private:
  struct Track {
    std::string path;
    bool mp3 = false;
    PcmRegion pcm;  // a WAV's audio; an MP3's is known once it is cached
    FileStamp stamp;
    std::int64_t estimatedFrames = 0;
    std::optional<Id3v1> tag;
  };
  struct Job;
  class Session;

  void Run(std::shared_ptr<Job> job);
  WriteOutcome Burn(Job& job, DiscPlan& plan, Session& session);
  void Post(Event event);
  void Deliver(const Event& event);
  void Log(const std::string& line) { log_.Line(line); }
  Recorder* selected() {
    return selected_ >= 0 ? writers_[static_cast<std::size_t>(selected_)].get() : nullptr;
  }

  std::vector<std::unique_ptr<Recorder>> writers_;
  int selected_ = -1;
  std::vector<Track> tracks_;
  WriteSettings settings_;
  std::string lastError_, lastImage_;
  BurnLog log_;
  std::function<void(const Event&)> handler_;

  // What the selected writer answered last, for questions asked during a write.
  bool discLoaded_ = false, burnProof_ = false;
  std::int32_t discUsed_ = 0;
  int maxSpeed_ = 0;

  std::unique_ptr<QObject> mailbox_;  // lives on the creating thread; events are queued to it
  std::thread worker_;
  bool writing_ = false;
  std::atomic<bool> cancel_{false};
  WriteOutcome outcome_;  // the write thread's, until it is joined
};

}  // namespace cdw
