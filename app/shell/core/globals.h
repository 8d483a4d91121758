#pragma once
// Program-wide state shared by the pages and jobs.
#include "jobs/core/cancel_flag.h"  // CancelConvert

#include <QString>
#include <QStringList>

#include <cstdint>

namespace sv {

// Folder in which pickers and the folder chooser open (home directory at start-up).
extern QString LastBrowseDir;
extern QString DefaultMusicDir;
extern QString WaveToAllOutputDir;
extern QString AllToWaveOutputDir;
extern QString RipperOutputDir;
// CD drive names found at start-up; element 0 is the drive the CD page opens.
extern QStringList CDDrives;

// The user's music directory (~/Music), standing in for "c:\music".
QString MusicDirectory();

}  // namespace sv
