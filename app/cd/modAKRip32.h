// The program's side of the CD-reading component: drive entries, the one open drive
// handle with its TOC, TOC addresses and the component's error texts.
#pragma once

#include <QString>

#include <cstdint>

#include "cd/core/disc_toc.h"
#include "svripper.h"

namespace sv {

// The open drive handle (0: none) and the TOC read when it was opened.
extern std::int32_t CDHandle;
extern SVR_TOC DiscToc;

// A copy of drive entry n (0..7) of a freshly read drive list; other n raise error 9.
SVR_CDREC GetCDRecord(std::int32_t n);
// Opens drive entry index and reads its TOC; true (-1) on success. Failures are shown
// ("GetCDHandle error", "ReadTOC error").
std::int16_t OpenCDDrive(std::int16_t index);
// The same for the drive entry whose device or image path is given (the CD page pairs its
// drive list with paths, so its entries and the component's list need not line up).
std::int16_t OpenCDDrive(const QString& drivePath);
void CloseCDDrive();
// The text for the component's last error; empty for codes it does not know.
// (TocTrackAddress and AspiErrorText: cd/core/disc_toc.h.)
QString GetAspiErrorText();

// Beyond the TOC addresses: whether TOC entry t (1-based) of the open disc is audio, and a
// CD-Text field of the open disc (track 0) or of a track; empty when the disc has none.
bool TocTrackIsAudio(int track);
QString DiscCdText(int track, int field);

}  // namespace sv
