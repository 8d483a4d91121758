// Red Book arithmetic, what a WAV or a tag holds, and the reader that makes CD blocks.
#include "cdwriter_support.h"
#include "red_book.h"
#include "sources.h"
#include "test_media.h"

#include <zlib.h>

#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace cdwtest;

TEST(RedBook, TracksAreWholeBlocksOfAtLeastFourSeconds) {
  EXPECT_EQ(cdw::TrackBlocks(0), 300);
  EXPECT_EQ(cdw::TrackBlocks(2 * 44100), 300) << "2 seconds";
  EXPECT_EQ(cdw::TrackBlocks(300 * 588), 300);
  EXPECT_EQ(cdw::TrackBlocks(300 * 588 + 1), 301) << "one sample more takes a whole block";
  EXPECT_EQ(cdw::TrackBlocks(44100 * 200), 15000);
  EXPECT_EQ(cdw::Msf(150), "00:02:00");
  EXPECT_EQ(cdw::Msf(4499 + 75 * 60 * 100), "100:59:74") << "minutes beyond 99 keep their digits";
  EXPECT_EQ(cdw::MinutesSeconds(360000), "80:00");
  EXPECT_EQ(cdw::MinutesSeconds(360001), "80:01") << "rounded up, never under the truth";

  const cdw::Layout plain = cdw::LayOut({100, 44100 * 10, 1}, 0);
  ASSERT_EQ(plain.tracks.size(), 3u);
  EXPECT_EQ(plain.tracks[0].pregap, 150);
  EXPECT_EQ(plain.tracks[1].start, 300);
  EXPECT_EQ(plain.tracks[2].start, 1050);
  EXPECT_EQ(plain.programBlocks, 1350);
  EXPECT_EQ(plain.imageBlocks(), 1500);
  const cdw::Layout gaps = cdw::LayOut({100, 100}, 75);
  EXPECT_EQ(gaps.tracks[0].pregap, 150) << "track 1 keeps the standard pregap";
  EXPECT_EQ(gaps.tracks[1].pregap, 75);
  EXPECT_EQ(gaps.tracks[1].start, 375);
}

// A WAV assembled chunk by chunk.
QByteArray chunk(const char* id, const QByteArray& body) {
  QByteArray c(id, 4);
  const quint32 n = static_cast<quint32>(body.size());
  c.append(char(n)).append(char(n >> 8)).append(char(n >> 16)).append(char(n >> 24));
  c += body;
  if (body.size() % 2) c += '\0';
  return c;
}

QByteArray format(int tag, int channels, int rate, int bits, bool extensible = false) {
  QByteArray f;
  auto le = [&](quint32 v, int n) {
    for (int i = 0; i < n; ++i) f.append(char(v >> (8 * i)));
  };
  le(extensible ? 0xFFFE : static_cast<quint32>(tag), 2);
  le(static_cast<quint32>(channels), 2);
  le(static_cast<quint32>(rate), 4);
  le(static_cast<quint32>(rate * channels * bits / 8), 4);
  le(static_cast<quint32>(channels * bits / 8), 2);
  le(static_cast<quint32>(bits), 2);
  if (extensible) {
    le(22, 2);
    le(static_cast<quint32>(bits), 2);
    le(3, 4);
    le(static_cast<quint32>(tag), 2);  // the sub-format GUID begins with the format
    f += QByteArray(14, '\x10');
  }
  return f;
}

QByteArray riff(const QByteArray& chunks) {
  const quint32 n = static_cast<quint32>(chunks.size() + 4);
  return QByteArray("RIFF") + QByteArray(1, char(n)) + QByteArray(1, char(n >> 8)) +
         QByteArray(1, char(n >> 16)) + QByteArray(1, char(n >> 24)) + "WAVE" + chunks;
}

TEST(Sources, WavFilesACdCanCarryAreFoundInAnyLayout) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/x.wav";
  const QByteArray pcm(4000, '\x11');

  // Extensible format, a LIST chunk of odd size before the data.
  media::WriteAll(path, riff(chunk("fmt ", format(1, 1, 44100, 16, true)) +
                             chunk("LIST", QByteArray(7, 'x')) + chunk("data", pcm)));
  std::string why;
  auto region = cdw::ReadWavRegion(path.toStdString(), &why);
  ASSERT_TRUE(region) << why;
  EXPECT_EQ(region->channels, 1);
  EXPECT_EQ(region->offset, 12 + 8 + 40 + 8 + 8 + 8);
  EXPECT_EQ(region->bytes, 4000);
  EXPECT_EQ(region->frames(), 2000);

  // A streaming writer's open length, and a length the file does not hold: the file decides;
  // a half sample frame at the end is left out.
  QByteArray open = riff(chunk("fmt ", format(1, 2, 44100, 16)) + chunk("data", pcm + "ab"));
  open[40] = open[41] = open[42] = open[43] = '\xFF';
  media::WriteAll(path, open);
  region = cdw::ReadWavRegion(path.toStdString(), &why);
  ASSERT_TRUE(region) << why;
  EXPECT_EQ(region->bytes, 4000) << "whole stereo frames of what the file holds";
  QByteArray longer = riff(chunk("fmt ", format(1, 2, 44100, 16)) + chunk("data", pcm));
  longer.chop(1000);
  media::WriteAll(path, longer);
  EXPECT_EQ(cdw::ReadWavRegion(path.toStdString(), &why)->bytes, 3000);
}

TEST(Sources, WavFilesACdCannotCarryAreRefusedWithTheReason) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/x.wav";
  struct Case {
    QByteArray file;
    const char* why;
  } cases[] = {
      {riff(chunk("fmt ", format(1, 2, 48000, 16)) + chunk("data", "abcd")),
       "a sample rate of 48000 Hz; a CD takes 44100 Hz"},
      {riff(chunk("fmt ", format(1, 2, 44100, 8)) + chunk("data", "abcd")),
       "8-bit samples; a CD takes 16-bit"},
      {riff(chunk("fmt ", format(1, 2, 44100, 24)) + chunk("data", "abcdef")),
       "24-bit samples; a CD takes 16-bit"},
      {riff(chunk("fmt ", format(1, 3, 44100, 16)) + chunk("data", "abcdef")), "3 channels"},
      {riff(chunk("fmt ", format(0x55, 2, 44100, 16)) + chunk("data", "abcd")),
       "compressed audio (format 85)"},
      {riff(chunk("data", "abcd") + chunk("fmt ", format(1, 2, 44100, 16))), "no format before its data"},
      {riff(chunk("fmt ", format(1, 2, 44100, 16))), "no audio data"},
      {QByteArray("ID3\x03") + QByteArray(200, 'x'), "not a WAV file"},
  };
  for (const Case& c : cases) {
    media::WriteAll(path, c.file);
    std::string why;
    EXPECT_FALSE(cdw::ReadWavRegion(path.toStdString(), &why));
    EXPECT_EQ(why, c.why);
  }
  std::string why;
  EXPECT_FALSE(cdw::ReadWavRegion((dir.path() + "/none.wav").toStdString(), &why));
  EXPECT_EQ(why, "cannot be opened");
}

TEST(Sources, TagsBecomeCdTextACueSheetCanQuote) {
  EXPECT_EQ(cdw::CleanText(std::string("  Say \"Hi\"\tnow   \0junk", 24)), "Say 'Hi' now");
  EXPECT_EQ(cdw::CleanText(std::string(30, '\0')), "");
  EXPECT_EQ(cdw::Latin1ToUtf8("Caf\xE9"), "Caf\xC3\xA9");

  QTemporaryDir dir;
  const Tag tag{"Title Thirty Characters Long!!", "Artist", "Album"};
  const QString mp3 = WriteMp3(dir.path() + "/t.mp3", 1, 1, &tag);
  const auto read = cdw::ReadId3v1(mp3.toStdString());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->title, "Title Thirty Characters Long!!");
  EXPECT_EQ(read->artist, "Artist");
  EXPECT_EQ(read->album, "Album");
  EXPECT_FALSE(cdw::ReadId3v1(WriteMp3(dir.path() + "/u.mp3", 1, 1).toStdString()));

  const cdw::Id3v1 a{"One", "Band", "Record"}, b{"Two", "Band", "Record"}, c{"Three", "Guest", "Record"};
  const cdw::CdText same = cdw::DiscText({a, std::nullopt, b});
  EXPECT_EQ(same.title, "Record");
  EXPECT_EQ(same.performer, "Band") << "untagged tracks do not count";
  const cdw::CdText mixed = cdw::DiscText({a, c});
  EXPECT_EQ(mixed.title, "Record");
  EXPECT_EQ(mixed.performer, "") << "no performer for the disc when the tracks differ";
  EXPECT_TRUE(cdw::DiscText({std::nullopt}).empty());
}

TEST(Sources, TheReaderDoublesMonoPadsWithSilenceAndSumsWhatItGives) {
  QTemporaryDir dir;
  const QString wav = WriteWav(dir.path() + "/m.wav", 1000, 1, 5);
  const std::string path = wav.toStdString();
  auto region = cdw::ReadWavRegion(path, nullptr);
  cdw::TrackReader reader(*region, 3, cdw::StampOf(path), path);
  ASSERT_TRUE(reader.Open());
  QByteArray out(3 * cdw::kBlockBytes, '\x55');
  ASSERT_TRUE(reader.Read(reinterpret_cast<std::uint8_t*>(out.data()), 2));
  ASSERT_TRUE(reader.Read(reinterpret_cast<std::uint8_t*>(out.data()) + 2 * cdw::kBlockBytes, 5))
      << "no more than the track holds";
  EXPECT_EQ(reader.blocksRead(), 3);
  const QByteArray stereo = Stereo(WavPcm(wav));
  EXPECT_EQ(out.left(stereo.size()), stereo);
  EXPECT_EQ(out.mid(stereo.size()), QByteArray(out.size() - stereo.size(), '\0'));
  EXPECT_EQ(reader.crc(),
            crc32(0, reinterpret_cast<const Bytef*>(out.constData()), static_cast<uInt>(out.size())));
}

TEST(Sources, TheReaderTellsAGoneChangedOrShortenedFile) {
  QTemporaryDir dir;
  const std::string path = WriteWav(dir.path() + "/s.wav", 44100, 2, 5).toStdString();
  const auto region = *cdw::ReadWavRegion(path, nullptr);
  const auto stamp = cdw::StampOf(path);

  {
    cdw::TrackReader reader(region, 75, stamp, "shown.wav");
    ASSERT_TRUE(reader.Open());
    QFile::resize(QString::fromStdString(path), 44 + 1000);  // cut while it is read
    std::vector<std::uint8_t> block(cdw::kBlockBytes * 75);
    EXPECT_FALSE(reader.Read(block.data(), 75));
    EXPECT_TRUE(reader.failed());
    EXPECT_EQ(reader.error().code, cdw::kErrorReading);
    EXPECT_EQ(reader.error().name, "shown.wav");
  }
  {
    cdw::TrackReader reader(region, 75, stamp, "shown.wav");
    EXPECT_FALSE(reader.Open()) << "not the file that was added";
    EXPECT_EQ(reader.error().code, cdw::kErrorReading);
  }
  {
    cdw::TrackReader cache(region, 75, stamp, "song.mp3", cdw::kErrorBuffering);
    EXPECT_FALSE(cache.Open());
    EXPECT_EQ(cache.error().code, cdw::kErrorBuffering) << "a cache that changed is a buffering error";
  }
  QFile::remove(QString::fromStdString(path));
  cdw::TrackReader reader(region, 75, stamp, "shown.wav");
  EXPECT_FALSE(reader.Open());
  EXPECT_EQ(reader.error().code, cdw::kErrorOpening);
}

}  // namespace
