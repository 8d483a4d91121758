// A disc image read back the way the Grab CD page reads a disc: found among the drives by
// the CD-reading component, its TOC, every track's frames and its CD-Text.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace cdwtest {

struct ReadTrack {
  QByteArray frames;  // from INDEX 01 to the next track (or the lead-out)
  QString title, performer;
};

struct ReadDisc {
  int firstTrack = 0, lastTrack = 0, leadOutTrack = 0;
  std::vector<ReadTrack> tracks;
  QByteArray pregap;  // the 150 frames before track 1
  QString title, performer;
};

// The image `cueName` (a file name in the disc folder) as a drive; nullopt when it is not
// listed or cannot be read.
std::optional<ReadDisc> ReadImageAsDrive(const QString& cueName);

}  // namespace cdwtest
