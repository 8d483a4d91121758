// The burn job without widgets: the CD-writer control driven by member number, its events
// turned into status texts, bar values and messages. The burn window shows them; a
// command-line tool can show them as lines of text.
//
//   BurnJob job(sink);                // makes the control (the cdwriter library, by name)
//   job.StartLog(BurnLogPath());
//   job.SelectWriter(0);              // the first of job.Writers()
//   job.BurnNow(files, {});           // tracks, layout, checks, start
//   ... run the event loop; the sink hears every step and the end
//
// Everything runs on the thread that runs the Qt event loop; the write itself runs on the
// control's own thread and reports through events.
#pragma once

#include "CDWriterControl.h"
#include "jobs/core/job_types.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace sv::burn {

// The texts of the write settings frame and the two bars.
inline constexpr const char* kTotalCaption = "Total Process:";
inline constexpr const char* kTotalWaiting = "Total Process:(not complete,please wait...)";
inline constexpr const char* kTotalComplete = "Total Process:(Burn complete)";
inline constexpr const char* kTotalError = "Total Process:(Error,burn stop.)";
inline constexpr const char* kDefaultSpeed = "Default";

enum class Icon { Information, Critical };

// What the job shows. Percentages are whole numbers from 0 to 100.
class BurnSink {
 public:
  virtual ~BurnSink() = default;
  virtual void StatusText(const QString& text) = 0;
  virtual void StatusColour(jobs::Rgb colour) = 0;
  virtual void TrackBar(int percent) = 0;
  virtual void TotalBar(int percent) = 0;
  virtual void TotalCaption(const QString& text) = 0;
  // Burn Now, the writer list and the speed list together.
  virtual void EnableControls(bool enabled) = 0;
  virtual void Message(const QString& text, Icon icon) = 0;
};

// One entry of the speed list: its text and the speed it sets (0 for "Default", which sets
// none).
struct Speed {
  QString text;
  int speed = 0;
};

// The speeds offered for a writer whose highest speed is `maxSpeed`: the highest, then 4
// less each time down to 4, then halved (halves to even) down to 1; "Default" alone when
// the writer does not say.
std::vector<Speed> BurnSpeeds(int maxSpeed);
// The message for a WriteError event; `errorData` is the control's text of the last error.
QString WriteErrorText(int code, std::int32_t deviceError, const QString& errorData);
// The status text for a TrackFileError event.
QString FileErrorText(int code, const QString& fileName);
// "Only high quality ..." for a file the control refused, with the control's reason.
QString RefusedFileText(const QString& path, const QString& reason);

// The track bar and the total bar during a write, from TrackWriteStatus: the total stays
// below 100 until the write is complete.
struct WriteProgress {
  int track = 0;
  int total = 0;
};
WriteProgress WriteStatusPercent(std::int64_t blocksWritten, std::int64_t blocksToWrite, int track,
                                 int trackCount);
// The caching percentage from CachingTrackStatus.
int CachingPercent(std::int64_t blocksCached, std::int64_t blocksToCache);

// The burn log: $XDG_STATE_HOME/sonvera/svburn.log (~/.local/state/sonvera/svburn.log).
QString BurnLogPath();

// How to write, from the window's two check boxes.
struct BurnOptions {
  bool testMode = false;
  bool burnProof = false;
};

class BurnJob {
 public:
  // Makes the control; run-time errors when the cdwriter library cannot be loaded.
  explicit BurnJob(BurnSink& sink);
  ~BurnJob();
  BurnJob(const BurnJob&) = delete;
  BurnJob& operator=(const BurnJob&) = delete;

  CDWriterControl& Control() { return *control_; }

  // Removes an earlier log at `path` and has the control log this window's burns into it.
  void StartLog(const QString& path);

  // The writer list as the window shows it: address + ": " + vendor + " " + product.
  QStringList Writers();
  // Selects writer `index`; false (and no writer selected) when the control refuses it.
  bool SelectWriter(int index);
  int SelectedWriter() const { return selectedWriter_; }
  bool BurnProofSupported();
  std::vector<Speed> Speeds();
  // Sets the write speed of an entry of Speeds(); "Default" sets nothing.
  void ChooseSpeed(const Speed& speed);

  // Burn Now: the tracks in order, the disc layout, the checks and the start. Each step's
  // run-time error is passed over so that the next step still runs. False when the write did
  // not start (the sink was told why).
  bool BurnNow(const QStringList& files, const BurnOptions& options);
  // The tracks of the list; false at the first file refused (the sink was told which).
  bool AddBurnTracks(const QStringList& files);
  void PrepareDiscLayout();
  bool StartBurn(const BurnOptions& options);
  int BurnTrackCount() const { return burnTrackCount_; }

  // Cancel: true when a write was running and was asked to stop; false when nothing runs
  // (the window then closes).
  bool Cancel();
  bool Burning() const { return burning_; }
  bool CancelAsked() const { return cancelFlag_; }

  // The event of the last write's end, empty while it runs or before any.
  const QString& Outcome() const { return outcome_; }
  // Called with the final event's name once a write has ended.
  std::function<void(const QString& outcome)> Ended;

  void OnEvent(const QString& name, const QVariantList& args);

 private:
  BurnSink& sink_;
  std::unique_ptr<CDWriterControl> control_;
  int selectedWriter_ = -1;
  int burnTrackCount_ = 0;
  bool burning_ = false;
  bool started_ = false;  // from a successful start to the write's last event
  bool cancelFlag_ = false;
  int cachingTrack_ = 0;
  std::int64_t cachingSize_ = 0;
  std::int64_t trackWriteSize_ = 0;
  QString outcome_;
};

}  // namespace sv::burn
