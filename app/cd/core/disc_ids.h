// The identifiers under which the disc is looked up later, computed offline from its TOC:
// MusicBrainz (through libdiscid), freedb, and AccurateRip's database key.
#pragma once

#include <QString>

#include <cstdint>

#include "cd/core/disc_toc.h"

namespace sv::grab {

// MusicBrainz counts the audio session only: on an enhanced CD (data track last) the disc
// ends 11400 frames before the data track.
QString MusicBrainzDiscId(const DiscLayout& disc);
// freedb over every track of the TOC: digit sums of the start seconds, the playing length in
// seconds, the track count.
std::uint32_t FreedbDiscId(const DiscLayout& disc);
// AccurateRip's key: audio track count, the two offset sums and the freedb ID, as in
// "dBAR-ttt-xxxxxxxx-xxxxxxxx-xxxxxxxx".
QString AccurateRipDiscKey(const DiscLayout& disc);

}  // namespace sv::grab
