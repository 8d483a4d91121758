// An image the image writer made, read back as a drive by the CD-reading component, the way
// the Grab CD page reads discs: listed at once, every track where the TOC says, sample for
// sample, with its CD-Text.
#include "cdwriter_support.h"
#include "image_readback.h"
#include "red_book.h"
#include "svripper.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using namespace cdwtest;

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

  const auto disc = ReadImageAsDrive(cue);
  ASSERT_TRUE(disc) << "the new image is listed as a drive";
  ASSERT_EQ(disc->firstTrack, 1);
  ASSERT_EQ(disc->lastTrack, 4);
  for (int t = 0; t < 4; ++t) {
    const QByteArray& audio = tracks[static_cast<std::size_t>(t)].stereo;
    const QByteArray& read = disc->tracks[static_cast<std::size_t>(t)].frames;
    EXPECT_EQ(read.size(), cdw::TrackBlocks(audio.size() / 4) * SVR_FRAME_BYTES) << "track " << t + 1;
    EXPECT_TRUE(read.left(audio.size()) == audio) << "track " << t + 1 << " sample for sample";
    EXPECT_EQ(read.mid(audio.size()), QByteArray(read.size() - audio.size(), '\0')) << "then silence";
  }
  EXPECT_EQ(disc->leadOutTrack, 0xAA);
  EXPECT_EQ(disc->pregap, QByteArray(150 * 2352, '\0')) << "the 2-second pregap before track 1";
  EXPECT_EQ(disc->title, "Crossings");
  EXPECT_EQ(disc->performer, "The Ferrymen");
  EXPECT_EQ(disc->tracks[2].title, "Slow River");
  EXPECT_EQ(disc->tracks[0].title, "");
}

}  // namespace
