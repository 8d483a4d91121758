// An image the image writer made, read back as a drive by the CD-reading component, the way
// the Grab CD page reads discs: listed at once, every track where the TOC says, sample for
// sample, with its CD-Text.
#include "cdwriter_support.h"
#include "red_book.h"
#include "svripper.h"

#include <QFileInfo>

#include <cstring>

#include <gtest/gtest.h>

namespace {

using namespace cdwtest;

std::uint32_t bigEndian(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

QByteArray readFrames(SVR_HCDROM h, std::uint32_t first, std::uint32_t count) {
  QByteArray out;
  constexpr std::uint32_t kBlock = 26;
  std::vector<std::uint8_t> buffer(sizeof(SVR_TRACKBUF) + kBlock * SVR_FRAME_BYTES);
  for (std::uint32_t at = first; at < first + count; at += kBlock) {
    auto* request = reinterpret_cast<SVR_TRACKBUF*>(buffer.data());
    *request = {};
    request->startFrame = at;
    request->numFrames = std::min(kBlock, first + count - at);
    request->maxLen = kBlock * SVR_FRAME_BYTES;
    if (ReadCDAudioLBA(h, request) != 1) return {};
    out.append(reinterpret_cast<const char*>(buffer.data() + sizeof(SVR_TRACKBUF)), request->len);
  }
  return out;
}

QString cdText(SVR_HCDROM h, int track, int field) {
  char text[256] = {};
  return ReadCDText(h, track, field, text, sizeof text) > 0 ? QString::fromUtf8(text) : QString();
}

TEST(RoundTrip, TheImageIsADiscTheCdPageReadsBackSampleForSample) {
  Sandbox box;
  struct Track {
    QString path;
    QByteArray stereo;
  };
  std::vector<Track> tracks;
  const QString a = WriteWav(box.file("a.wav"), 130001, 2, 4);
  tracks.push_back({a, WavPcm(a)});
  const QString b = WriteWav(box.file("b.wav"), 44100 * 2, 1, 5);
  tracks.push_back({b, Stereo(WavPcm(b))});
  const Tag tag{"Slow River", "The Ferrymen", "Crossings"};
  const QString c = WriteMp3(box.file("c.mp3"), 5.3, 2, &tag);
  tracks.push_back({c, DecodedPcm(c)});
  const QString d = WriteMp3(box.file("d.mp3"), 3.1, 1, &tag);
  tracks.push_back({d, Stereo(DecodedPcm(d))});

  Harness h;
  QStringList files;
  for (const Track& t : tracks) files << t.path;
  ASSERT_TRUE(h.Burn(0, files));
  ASSERT_TRUE(h.WaitForEnd());
  ASSERT_EQ(h.Last(), "WritingComplete");
  const QString cue = QFileInfo(h.control().Get(101).toString()).fileName();

  SVR_CDLIST list{};
  list.max = SVR_MAX_DRIVES;
  GetCDList(&list);
  int found = -1;
  for (int i = 0; i < list.num; ++i)
    if (QString::fromLatin1(list.cd[i].id) == "Disc image: " + cue) found = i;
  ASSERT_GE(found, 0) << "the new image is listed as a drive";
  SVR_GETCDHAND request{12, 1, list.cd[found].ha, list.cd[found].tgt, list.cd[found].lun, 0, {}};
  const SVR_HCDROM handle = GetCDHandle(&request);
  ASSERT_NE(handle, 0);
  ASSERT_EQ(ModifyCDParms(handle, SVR_CDP_MSF, 0), 1);
  SVR_TOC toc{};
  ASSERT_EQ(ReadTOC(handle, &toc), 1);
  ASSERT_EQ(toc.firstTrack, 1);
  ASSERT_EQ(toc.lastTrack, 4);
  for (int t = 0; t < 4; ++t) {
    const std::uint32_t start = bigEndian(toc.tracks[t].address);
    const std::uint32_t end = bigEndian(toc.tracks[t + 1].address);
    const QByteArray& audio = tracks[static_cast<std::size_t>(t)].stereo;
    EXPECT_EQ(end - start, cdw::TrackBlocks(audio.size() / 4)) << "track " << t + 1;
    const QByteArray read = readFrames(handle, start, end - start);
    ASSERT_EQ(read.size(), qsizetype(end - start) * SVR_FRAME_BYTES) << "track " << t + 1;
    EXPECT_TRUE(read.left(audio.size()) == audio) << "track " << t + 1 << " sample for sample";
    EXPECT_EQ(read.mid(audio.size()), QByteArray(read.size() - audio.size(), '\0')) << "then silence";
  }
  EXPECT_EQ(toc.tracks[4].track, 0xAA);
  EXPECT_EQ(readFrames(handle, bigEndian(toc.tracks[0].address) - 150, 150), QByteArray(150 * 2352, '\0'))
      << "the 2-second pregap before track 1";
  EXPECT_EQ(cdText(handle, 0, SVR_CDTEXT_TITLE), "Crossings");
  EXPECT_EQ(cdText(handle, 0, SVR_CDTEXT_PERFORMER), "The Ferrymen");
  EXPECT_EQ(cdText(handle, 3, SVR_CDTEXT_TITLE), "Slow River");
  EXPECT_EQ(cdText(handle, 1, SVR_CDTEXT_TITLE), "");
  CloseCDHandle(handle);
}

}  // namespace
