#include "cd/core/disc_ids.h"

#include <discid/discid.h>

#include <memory>
#include <vector>

namespace sv::grab {
namespace {

// Frames of the pregap before LBA 0: TOC addresses as players give them.
constexpr std::int32_t kLeadIn = 150;
// The gap between an enhanced CD's audio and data sessions.
constexpr std::int32_t kSessionGap = 11400;

// The audio session: its tracks and where it ends.
struct AudioSession {
  std::vector<const DiscLayout::Track*> tracks;
  std::int32_t leadout = 0;
};

AudioSession AudioSessionOf(const DiscLayout& disc) {
  AudioSession session;
  for (const auto& t : disc.tracks)
    if (t.audio) session.tracks.push_back(&t);
  session.leadout = disc.leadout;
  if (!disc.tracks.empty() && !disc.tracks.back().audio && disc.tracks.back().start > kSessionGap)
    session.leadout = disc.tracks.back().start - kSessionGap;
  return session;
}

int DigitSum(std::int32_t n) {
  int sum = 0;
  for (; n > 0; n /= 10) sum += n % 10;
  return sum;
}

}  // namespace

QString MusicBrainzDiscId(const DiscLayout& disc) {
  const AudioSession session = AudioSessionOf(disc);
  if (session.tracks.empty()) return {};
  const int first = session.tracks.front()->number;
  const int last = session.tracks.back()->number;
  if (first < 1 || last > 99 || last < first) return {};
  int offsets[100] = {};
  offsets[0] = session.leadout + kLeadIn;
  for (const auto* t : session.tracks) offsets[t->number] = t->start + kLeadIn;
  const std::unique_ptr<DiscId, decltype(&discid_free)> id(discid_new(), &discid_free);
  if (!id || !discid_put(id.get(), first, last, offsets)) return {};
  return QString::fromLatin1(discid_get_id(id.get()));
}

std::uint32_t FreedbDiscId(const DiscLayout& disc) {
  if (disc.tracks.empty()) return 0;
  int n = 0;
  for (const auto& t : disc.tracks) n += DigitSum((t.start + kLeadIn) / 75);
  const std::int32_t seconds = (disc.leadout + kLeadIn) / 75 - (disc.tracks.front().start + kLeadIn) / 75;
  return std::uint32_t(n % 0xFF) << 24 | std::uint32_t(seconds) << 8 | std::uint32_t(disc.tracks.size());
}

QString AccurateRipDiscKey(const DiscLayout& disc) {
  const AudioSession session = AudioSessionOf(disc);
  if (session.tracks.empty()) return {};
  std::uint32_t id1 = 0, id2 = 0;
  std::uint32_t index = 1;
  for (const auto* t : session.tracks) {
    const auto offset = static_cast<std::uint32_t>(t->start);
    id1 += offset;
    id2 += (offset > 0 ? offset : 1) * index++;
  }
  id1 += static_cast<std::uint32_t>(session.leadout);
  id2 += static_cast<std::uint32_t>(session.leadout) * index;
  return QStringLiteral("dBAR-%1-%2-%3-%4")
      .arg(session.tracks.size(), 3, 10, QLatin1Char('0'))
      .arg(id1, 8, 16, QLatin1Char('0'))
      .arg(id2, 8, 16, QLatin1Char('0'))
      .arg(FreedbDiscId(disc), 8, 16, QLatin1Char('0'));
}

}  // namespace sv::grab
