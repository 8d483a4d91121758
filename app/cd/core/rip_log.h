// The rip log: one text file per grabbing job in its output folder, written as the job goes
// (each part is flushed when written), so that a stopped or crashed job leaves a readable log.
// It tells how the copy was made and carries what a later lookup and check need: the TOC,
// the disc IDs and, per track, the CRC32 and the AccurateRip checksums.
#pragma once

#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

#include "cd/core/disc_toc.h"

namespace sv::grab {

struct LogHeader {
  QString program;    // "Sonvera Disc Suite 1.0.0"
  QString date;       // when the job started
  QString drive;      // the drive's identification text
  QString drivePath;  // its device or image path
  QString readMode;
  QString output;  // "WAV, 44100 Hz, 16 bit, stereo" or the MP3 settings
  QString folder;
  DiscLayout disc;
  QString musicBrainzId;
  std::uint32_t freedbId = 0;
  QString accurateRipKey;
  // CD-Text; empty texts are left out. trackTitles[i] / trackPerformers[i] belong to track i + 1.
  QString discTitle, discPerformer;
  std::vector<QString> trackTitles, trackPerformers;
};

struct TrackEntry {
  int track = 0;
  QString file;
  std::int32_t first = 0, end = 0;  // the range read, [first, end)
  std::int64_t framesRead = 0;
  int blocks = 0;        // blocks read
  int attempts = 0;      // read calls made
  int retries = 0;       // read calls beyond the first of a block
  bool checked = false;  // audio was read, so the figures below mean something
  int peak = 0;          // 0..32768
  std::uint32_t crc32 = 0, accurateRipV1 = 0, accurateRipV2 = 0;
  QString result;
};

class RipLog {
 public:
  // Creates the log in `folder` as `baseName` + ".log", or with " (2)", " (3)" ... added when
  // a log of that name is there already (an earlier job's log is never replaced). False when
  // the file cannot be made.
  bool Open(const QString& folder, const QString& baseName);
  bool IsOpen() const { return file_.isOpen(); }
  QString Path() const { return file_.fileName(); }

  void WriteHeader(const LogHeader& header);
  void WriteTrack(const TrackEntry& track);
  void WriteSummary(int grabbed, int notGrabbed, int skipped, bool stopped);

 private:
  void write(const QString& text);

  QFile file_;
};

// A file name made of a CD-Text for the log: characters no file system takes are replaced.
QString SafeFileName(const QString& text);

}  // namespace sv::grab
