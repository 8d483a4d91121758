// cMP3Info on hand-made headers, on MP3 files made with LAME, and on tags written in place.
#include "cMP3Info.h"
#include "platform/runtime_error.h"
#include "test_media.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

class Mp3Info : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
  // A file holding the given bytes; a cMP3Info that has read its header.
  cMP3Info header(const QByteArray& bytes) {
    media::WriteAll(path("h.mp3"), bytes);
    cMP3Info info;
    info.setFileName(path("h.mp3"));
    info.ReadMP3Header();
    return info;
  }
  QTemporaryDir dir_;
};

QByteArray bytes(std::initializer_list<int> values) {
  QByteArray b;
  for (int v : values) b.append(static_cast<char>(v));
  return b;
}

TEST_F(Mp3Info, HeaderFieldsOfHandMadeHeaders) {
  // MPEG 1 Layer III, no checksum, 128 kbit/s, 44100 Hz, joint stereo, extension 2, original.
  cMP3Info a = header(bytes({0x00, 0xFF, 0xFB, 0x90, 0x64, 0x11, 0x22}));
  ASSERT_TRUE(a.ValidHeader());
  EXPECT_EQ(a.id(), "MPEG 1.0");
  EXPECT_EQ(a.Layer(), "Layer 3");
  EXPECT_TRUE(a.ProtectionBitSet());
  EXPECT_EQ(a.ProtectionChecksum(), "");
  EXPECT_EQ(a.Bitrate(), 128);
  EXPECT_EQ(a.Frequency(), 44100);
  EXPECT_FALSE(a.Padded());
  EXPECT_FALSE(a.PrivateBitSet());
  EXPECT_EQ(a.Mode(), "Joint stereo");
  EXPECT_EQ(a.ModeExt(), 2);
  EXPECT_FALSE(a.Copyrighted());
  EXPECT_TRUE(a.Original());
  EXPECT_EQ(a.Emphasis(), "None");

  // Checksum follows: its two bytes in hexadecimal without leading zeros.
  cMP3Info b = header(bytes({0xFF, 0xFA, 0x98, 0x84, 0x0A, 0x3F}));
  EXPECT_FALSE(b.ProtectionBitSet());
  EXPECT_EQ(b.ProtectionChecksum(), "A 3F");
  EXPECT_EQ(b.Frequency(), 32000);
  EXPECT_EQ(b.Mode(), "Dual channel");
  EXPECT_EQ(b.Emphasis(), "None");

  // MPEG 2.5 Layer III at 11025 Hz, 64 kbit/s; padded, private, mono, copyright, CCITT.
  cMP3Info c = header(bytes({0xFF, 0xE3, 0x83, 0xCF}));
  EXPECT_EQ(c.id(), "MPEG 2.5");
  EXPECT_EQ(c.Frequency(), 11025);
  EXPECT_EQ(c.Bitrate(), 64);
  EXPECT_TRUE(c.Padded());
  EXPECT_TRUE(c.PrivateBitSet());
  EXPECT_EQ(c.Mode(), "Mono");
  EXPECT_TRUE(c.Copyrighted());
  EXPECT_TRUE(c.Original());
  EXPECT_EQ(c.Emphasis(), "CCITT j. 17");

  // MPEG 2 Layer II and MPEG 1 Layer I; a bit-rate index of 0 (free format) reads 0.
  cMP3Info d = header(bytes({0xFF, 0xF5, 0x04, 0x01}));
  EXPECT_EQ(d.id(), "MPEG 2.0");
  EXPECT_EQ(d.Layer(), "Layer 2");
  EXPECT_EQ(d.Bitrate(), 0);
  EXPECT_EQ(d.Frequency(), 24000);
  EXPECT_EQ(d.Emphasis(), "50/15 ms");
  cMP3Info e = header(bytes({0xFF, 0xFF, 0xE0, 0x00}));
  EXPECT_EQ(e.Layer(), "Layer 1");
  EXPECT_EQ(e.Bitrate(), 448);
}

TEST_F(Mp3Info, OnlyRealFrameHeadersCount) {
  // Index 15, a reserved version, layer or sample rate, or a lone 0xFF: no header.
  for (const QByteArray& b :
       {bytes({0xFF, 0xFB, 0xF0, 0x64}), bytes({0xFF, 0xEB, 0x90, 0x64}), bytes({0xFF, 0xF9, 0x90, 0x64}),
        bytes({0xFF, 0xFB, 0x9C, 0x64}), bytes({0xFF, 0x01, 0x02, 0x03}), QByteArray()}) {
    EXPECT_FALSE(header(b).ValidHeader()) << b.toHex().constData();
  }
  EXPECT_EQ(cMP3Info::BitrateLookup(1, 1, 15), 1);
  EXPECT_EQ(cMP3Info::BitrateLookup(0, 3, 15), 1);
  EXPECT_EQ(cMP3Info::BitrateLookup(1, 1, 0), 0);
  EXPECT_EQ(cMP3Info::BitrateLookup(1, 0, 9), 0);
  EXPECT_EQ(cMP3Info::BitrateLookup(1, 3, 14), 448);
  EXPECT_EQ(cMP3Info::BitrateLookup(1, 2, 13), 320);
  EXPECT_EQ(cMP3Info::BitrateLookup(1, 1, 1), 32);
  EXPECT_EQ(cMP3Info::BitrateLookup(0, 3, 9), 144);
  EXPECT_EQ(cMP3Info::BitrateLookup(0, 2, 1), 8);
  EXPECT_EQ(cMP3Info::BitrateLookup(0, 1, 14), 160);

  // A sync pattern whose next frame is not where its length says is passed over.
  const QByteArray mp3 = media::EncodeMp3(0.5, {44100, 2, 128, false, false});
  cMP3Info real = header(bytes({0xFF, 0xFB, 0x50, 0x44, 0x00, 0x00}) + mp3);
  EXPECT_EQ(real.Bitrate(), 128);
  EXPECT_EQ(real.Mode(), "Joint stereo");

  cMP3Info missing;
  missing.setFileName(path("nothing-here.mp3"));
  missing.ReadMP3Header();
  missing.ReadTag();
  EXPECT_FALSE(missing.ValidHeader());
  EXPECT_FALSE(missing.TagPresent());
  EXPECT_EQ(missing.FileLength(), 0);
  EXPECT_EQ(missing.TotalTime(), 0.0);
}

TEST_F(Mp3Info, Id3v2TagsFullOfSyncBytesAreSkipped) {
  // MPEG 2 at 64 kbit/s: LAME's info frame fits, so the time is the source's.
  const QByteArray mp3 = media::EncodeMp3(1.0, {22050, 1, 64, false, true});
  ASSERT_EQ(media::DecodedSeconds(mp3, 1.0), 1.0);
  for (bool footer : {false, true}) {
    SCOPED_TRACE(footer ? "v2.4 with footer" : "v2.3");
    cMP3Info info = header(media::Id3v2Tag(20000, footer) + mp3);
    ASSERT_TRUE(info.ValidHeader());
    EXPECT_EQ(info.id(), "MPEG 2.0");
    EXPECT_EQ(info.Layer(), "Layer 3");
    EXPECT_EQ(info.Frequency(), 22050);
    EXPECT_EQ(info.Mode(), "Mono");
    EXPECT_TRUE(media::NearTrueLength(info.TotalTime(), 1.0, 22050)) << info.TotalTime();
  }
}

TEST_F(Mp3Info, TotalTimeOfCbrVbrAndMpeg2Files) {
  // Without LAME's info frame (left out, or too big for a 16 kbit/s frame) the time is that
  // of all the audio the frames hold, the encoder's delay and padding included.
  struct Case {
    media::Mp3Options options;
    double seconds;
    bool sourceLength;
  } cases[] = {{{44100, 2, 128, false, true}, 9.4, true},
               {{44100, 2, 128, true, true}, 8.65, true},
               {{48000, 2, 192, false, false}, 5.5, false},
               {{24000, 2, 64, false, true}, 7.25, true},
               {{11025, 1, 16, false, true}, 3.7, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(QStringLiteral("%1 Hz vbr %2").arg(c.options.sampleRate).arg(c.options.vbr).toStdString());
    const QByteArray mp3 = media::EncodeMp3(c.seconds, c.options);
    media::WriteAll(path("t.mp3"), mp3);
    const double truth = media::DecodedSeconds(mp3, c.seconds);
    EXPECT_EQ(truth == c.seconds, c.sourceLength) << truth;
    cMP3Info info;
    info.setFileName(path("t.mp3"));
    EXPECT_TRUE(media::NearTrueLength(info.TotalTime(), truth, c.options.sampleRate))
        << info.TotalTime() << " s for " << truth << " s";
    EXPECT_EQ(info.FileLength(), QFile(path("t.mp3")).size());
  }
  cMP3Info text;
  media::WriteAll(path("text.mp3"), QByteArray(3000, 'x'));
  text.setFileName(path("text.mp3"));
  EXPECT_EQ(text.TotalTime(), 0.0);
}

TEST_F(Mp3Info, TimeCodes) {
  EXPECT_EQ(cMP3Info::FormatTimeCode(75), "01:15");
  EXPECT_EQ(cMP3Info::FormatTimeCode(3725), "01:02:05");
  EXPECT_EQ(cMP3Info::FormatTimeCode(36000), "10:00:00");
  EXPECT_EQ(cMP3Info::FormatTimeCode(59.5), "01:00");
  EXPECT_EQ(cMP3Info::FormatTimeCode(58.5), "00:58");
  EXPECT_EQ(cMP3Info::FormatTimeCode(0), "00:00");
}

TEST_F(Mp3Info, GenresAndTextFields) {
  EXPECT_EQ(cMP3Info::GenreName(0), "Blues");
  EXPECT_EQ(cMP3Info::GenreName(8), "Jazz");
  EXPECT_EQ(cMP3Info::GenreName(77), "Musical");
  EXPECT_EQ(cMP3Info::GenreName(67), "Phychedelic");
  EXPECT_EQ(cMP3Info::GenreName(117), "power Ballad");
  EXPECT_EQ(cMP3Info::GenreName(131), "indie");
  EXPECT_EQ(cMP3Info::GenreName(140), "Comteporary Christian");
  EXPECT_EQ(cMP3Info::GenreName(147), "Synth Pop");
  EXPECT_EQ(cMP3Info::GenreName(148), "");

  cMP3Info info;
  info.setGenre("Jazz");
  info.setTitle("  A title that is much longer than thirty characters");
  info.setYear("20245");
  info.setArtist("Ünder");
  EXPECT_EQ(info.Title(), "") << "without a tag every field reads empty";
  EXPECT_EQ(info.Genre(), "");
  info.setTagPresent(true);
  EXPECT_EQ(info.Genre(), "Jazz");
  EXPECT_EQ(info.Title(), "A title that is much longer");
  EXPECT_EQ(info.Year(), "2024");
  EXPECT_EQ(info.Artist(), "Ünder");
  info.setGenre("jazz");
  EXPECT_EQ(info.Genre(), "") << "an unknown name stores 255, which has no name";
  try {
    info.setGenre("12");
    FAIL() << "a number is not a genre name";
  } catch (const sv::RuntimeError& e) {
    EXPECT_EQ(e.number(), sv::errTypeMismatch);
  }
}

TEST_F(Mp3Info, WriteTagAppendsOnceThenOverwritesAndNeverTouchesAudio) {
  const QByteArray audio = media::EncodeMp3(0.5);
  ASSERT_GT(audio.size(), 0);
  const QString file = path("song.mp3");
  media::WriteAll(file, audio);

  cMP3Info info;
  info.setFileName(file);
  info.ReadTag();
  EXPECT_FALSE(info.TagPresent());
  info.setTitle("First");
  info.setGenre("Rock");
  EXPECT_TRUE(info.WriteTag(file));
  EXPECT_EQ(QFile(file).size(), audio.size() + 128);
  info.setTitle("Second");
  EXPECT_TRUE(info.WriteTag(file));
  QByteArray now = media::ReadAll(file);
  ASSERT_EQ(now.size(), audio.size() + 128);
  EXPECT_EQ(now.left(audio.size()), audio);
  EXPECT_EQ(now.mid(audio.size(), 3), "TAG");

  cMP3Info reread;
  reread.setFileName(file);
  reread.ReadTag();
  ASSERT_TRUE(reread.TagPresent());
  EXPECT_EQ(reread.Title(), "Second");
  EXPECT_EQ(reread.Genre(), "Rock");

  // The same record written to another file without a tag is appended, not laid over audio.
  const QString other = path("other.mp3");
  media::WriteAll(other, audio);
  EXPECT_TRUE(reread.WriteTag(other));
  now = media::ReadAll(other);
  EXPECT_EQ(now.left(audio.size()), audio);
  EXPECT_EQ(now.size(), audio.size() + 128);

  // Failures raise and change nothing.
  try {
    info.WriteTag(path("missing.mp3"));
    FAIL();
  } catch (const sv::RuntimeError& e) {
    EXPECT_EQ(e.number(), sv::errFileNotFound);
  }
  EXPECT_FALSE(QFile::exists(path("missing.mp3")));
  if (QFile::exists("/dev/full")) {
    try {
      info.WriteTag("/dev/full");
      FAIL();
    } catch (const sv::RuntimeError& e) {
      EXPECT_EQ(e.number(), sv::errDiskFull);
    }
  }
}

TEST_F(Mp3Info, ReadTagOfAShortFileKeepsThePresentFlag) {
  media::WriteAll(path("tiny.mp3"), "TAG but short");
  cMP3Info info;
  info.setFileName(path("tiny.mp3"));
  info.setTagPresent(true);
  info.setTitle("kept?");
  info.ReadTag();
  EXPECT_TRUE(info.TagPresent());
  EXPECT_EQ(info.Title(), "") << "the record is cleared";

  // Fields padded with zeros by other taggers read up to the first zero.
  QByteArray tag("TAG");
  tag += QByteArray("Zero padded").leftJustified(30, '\0');
  tag += QByteArray(30, ' ') + QByteArray(30, ' ') + "1999" + QByteArray(30, '\0');
  tag.append(static_cast<char>(147));
  ASSERT_EQ(tag.size(), 128);
  media::WriteAll(path("z.mp3"), media::EncodeMp3(0.2) + tag);
  info.setFileName(path("z.mp3"));
  info.ReadTag();
  ASSERT_TRUE(info.TagPresent());
  EXPECT_EQ(info.Title(), "Zero padded");
  EXPECT_EQ(info.Year(), "1999");
  EXPECT_EQ(info.Genre(), "Synth Pop");
}

}  // namespace
