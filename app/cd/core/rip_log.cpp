#include "cd/core/rip_log.h"

#include <QDir>

namespace sv::grab {
namespace {

QString Hex(std::uint32_t value) {
  return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

QString Column(const QString& text, int width) { return text.rightJustified(width); }

}  // namespace

QString SafeFileName(const QString& text) {
  QString name;
  for (const QChar c : text.trimmed())
    name += (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') ||
             c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('"') ||
             c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('|') || c.unicode() < 32)
                ? QLatin1Char('_')
                : c;
  while (name.startsWith(QLatin1Char('.'))) name.remove(0, 1);
  return name.left(120);
}

bool RipLog::Open(const QString& folder, const QString& baseName) {
  const QDir dir(folder);
  for (int n = 1; n < 1000; ++n) {
    const QString name =
        n == 1 ? baseName + QStringLiteral(".log") : QStringLiteral("%1 (%2).log").arg(baseName).arg(n);
    file_.setFileName(dir.filePath(name));
    // NewOnly: an earlier log of that name is never opened, even if it appears meanwhile.
    if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text)) return true;
    if (!file_.exists()) return false;
  }
  return false;
}

void RipLog::write(const QString& text) {
  if (!file_.isOpen()) return;
  file_.write(text.toUtf8());
  file_.flush();
}

void RipLog::WriteHeader(const LogHeader& h) {
  QString t;
  t += h.program + QStringLiteral(" - rip log\n\n");
  t += QStringLiteral("Date:            %1\n").arg(h.date);
  t += QStringLiteral("Drive:           %1\n").arg(h.drive);
  t += QStringLiteral("Drive path:      %1\n").arg(h.drivePath);
  t += QStringLiteral("Read mode:       %1\n").arg(h.readMode);
  t += QStringLiteral("Read offset:     0 samples (no correction applied)\n");
  t += QStringLiteral("Output:          %1\n").arg(h.output);
  t += QStringLiteral("Output folder:   %1\n\n").arg(h.folder);

  t += QStringLiteral("TOC (LBA, frames of 1/75 s)\n");
  t += QStringLiteral("  Track |    Start |   Length | Start    | Length   | Type\n");
  for (const auto& tr : h.disc.tracks)
    t += QStringLiteral("  %1 | %2 | %3 | %4 | %5 | %6\n")
             .arg(Column(QString::number(tr.number), 5))
             .arg(Column(QString::number(tr.start), 8))
             .arg(Column(QString::number(tr.frames()), 8))
             .arg(FramesText(tr.start))
             .arg(FramesText(tr.frames()))
             .arg(tr.audio ? QStringLiteral("audio") : QStringLiteral("data"));
  t += QStringLiteral("  Lead-out  %1 | %2\n\n")
           .arg(Column(QString::number(h.disc.leadout), 8))
           .arg(FramesText(h.disc.leadout));

  t += QStringLiteral("Disc IDs (computed from the TOC)\n");
  t += QStringLiteral("  MusicBrainz:   %1\n")
           .arg(h.musicBrainzId.isEmpty() ? QStringLiteral("-") : h.musicBrainzId);
  t += QStringLiteral("  freedb:        %1\n").arg(h.freedbId, 8, 16, QLatin1Char('0'));
  t += QStringLiteral("  AccurateRip:   %1\n\n")
           .arg(h.accurateRipKey.isEmpty() ? QStringLiteral("-") : h.accurateRipKey);

  bool any = !h.discTitle.isEmpty() || !h.discPerformer.isEmpty();
  for (const auto& s : h.trackTitles) any = any || !s.isEmpty();
  for (const auto& s : h.trackPerformers) any = any || !s.isEmpty();
  if (any) {
    t += QStringLiteral("CD-Text\n");
    if (!h.discTitle.isEmpty()) t += QStringLiteral("  Album:         %1\n").arg(h.discTitle);
    if (!h.discPerformer.isEmpty()) t += QStringLiteral("  Performer:     %1\n").arg(h.discPerformer);
    const std::size_t n = std::max(h.trackTitles.size(), h.trackPerformers.size());
    for (std::size_t i = 0; i < n; ++i) {
      const QString title = i < h.trackTitles.size() ? h.trackTitles[i] : QString();
      const QString performer = i < h.trackPerformers.size() ? h.trackPerformers[i] : QString();
      if (title.isEmpty() && performer.isEmpty()) continue;
      t += QStringLiteral("  Track %1:      %2%3\n")
               .arg(i + 1, 2, 10, QLatin1Char('0'))
               .arg(title)
               .arg(performer.isEmpty() ? QString() : QStringLiteral(" / ") + performer);
    }
    t += QLatin1Char('\n');
  } else {
    t += QStringLiteral("CD-Text: none\n\n");
  }
  write(t);
}

void RipLog::WriteTrack(const TrackEntry& e) {
  QString t = QStringLiteral("Track %1\n").arg(e.track, 2, 10, QLatin1Char('0'));
  t += QStringLiteral("  File:            %1\n").arg(e.file);
  t += QStringLiteral("  Range:           LBA %1 to %2 (%3 frames, %4)\n")
           .arg(e.first)
           .arg(e.end)
           .arg(e.end - e.first)
           .arg(FramesText(e.end - e.first));
  if (e.checked) {
    t += QStringLiteral("  Frames read:     %1\n").arg(e.framesRead);
    t += QStringLiteral("  Reads:           %1 blocks, %2 read attempts, %3 retries\n")
             .arg(e.blocks)
             .arg(e.attempts)
             .arg(e.retries);
    t += QStringLiteral("  Peak level:      %1 %\n").arg(QString::number(e.peak * 100.0 / 32768.0, 'f', 1));
    t += QStringLiteral("  CRC32:           %1\n").arg(Hex(e.crc32));
    t += QStringLiteral("  AccurateRip v1:  %1\n").arg(Hex(e.accurateRipV1));
    t += QStringLiteral("  AccurateRip v2:  %1\n").arg(Hex(e.accurateRipV2));
  }
  t += QStringLiteral("  Result:          %1\n\n").arg(e.result);
  write(t);
}

void RipLog::WriteSummary(int grabbed, int notGrabbed, int skipped, bool stopped) {
  QString t = QStringLiteral("Summary\n");
  t += QStringLiteral("  Tracks grabbed:      %1\n").arg(grabbed);
  t += QStringLiteral("  Tracks not grabbed:  %1\n").arg(notGrabbed);
  t += QStringLiteral("  Tracks skipped:      %1\n").arg(skipped);
  t += stopped ? QStringLiteral("  The job was stopped by the user.\n")
               : QStringLiteral("  The job went through every track.\n");
  t += QStringLiteral("\nEnd of log\n");
  write(t);
}

}  // namespace sv::grab
