// The mpegvideo device's reader against svdecode's exports: the same PCM from the start,
// from any place in milliseconds, behind tags, in reads of any size.
#include "mpeg_reader.h"
#include "platform/mci.h"
#include "svdecode.h"
#include "test_media.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cmath>

namespace {

using sv::mci::MpegReader;

// The PCM svdecode's exported calls decode from a file.
QByteArray ExportsPcm(const QString& mp3) {
  QTemporaryDir dir;
  const QByteArray wav = QFile::encodeName(dir.path() + "/out.wav");
  CreateDecoder();
  RegisterInputModule();
  RegisterOutputModule();
  EXPECT_EQ(Mp3InputOpen(QFile::encodeName(mp3).constData()), 0);
  EXPECT_EQ(WaveOutputOpen("wav:" + wav), 0);
  for (int r = 0; r == 0 || r == SVD_E_STREAM;) r = Mp3DecodePlay();
  Mp3InputClose();
  WaveOutputClose();
  DeleteDecoder();
  return media::ReadAll(QString::fromLocal8Bit(wav)).mid(44);
}

// Everything the reader gives from where it stands, in reads of `chunk` bytes.
QByteArray ReadRest(MpegReader& r, qint64 chunk) {
  QByteArray all, piece(chunk, Qt::Uninitialized);
  for (qint64 n; (n = r.Read(piece.data(), chunk)) > 0;) {
    EXPECT_EQ(n % r.format().bytesPerFrame(), 0);
    all.append(piece.constData(), n);
  }
  return all;
}

class Reader : public ::testing::Test {
 protected:
  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.path() + "/" + name;
    media::WriteAll(path, bytes);
    return path;
  }
  QTemporaryDir dir_;
};

TEST_F(Reader, GivesThePcmOfTheExportsWithTheirFormatAndLength) {
  const struct {
    const char* name;
    media::Mp3Options options;
    double seconds;
    QByteArray tag;
  } cases[] = {
      {"cbr behind a v2.4 tag with its footer",
       {44100, 2, 128, false, true},
       3.3,
       media::Id3v2Tag(6000, true)},
      {"vbr", {44100, 2, 128, true, true}, 2.7, {}},
      {"mpeg 2 mono", {22050, 1, 64, false, true}, 2.2, media::Id3v2Tag(3000)},
      {"no info frame", {48000, 2, 160, false, false}, 1.9, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray mp3 = media::EncodeMp3(c.seconds, c.options);
    const QString path = write("a.mp3", c.tag + mp3);
    const QByteArray pcm = ExportsPcm(path);
    MpegReader r;
    ASSERT_EQ(r.Open(path), sv::mci::kNoError);
    EXPECT_EQ(r.format().sampleRate, c.options.sampleRate);
    EXPECT_EQ(r.format().channels, c.options.channels);
    const double truth = media::DecodedSeconds(mp3, c.seconds);
    EXPECT_TRUE(media::NearTrueLength(r.lengthMs() / 1000.0, truth, c.options.sampleRate)) << r.lengthMs();
    EXPECT_EQ(ReadRest(r, 4410), pcm);
    // Reads smaller than a frame of PCM, and of odd sizes, lose nothing.
    ASSERT_TRUE(r.Seek(0));
    EXPECT_EQ(ReadRest(r, 7), pcm);
  }
}

TEST_F(Reader, SeeksLandOnTheSampleOfTheirMillisecond) {
  // Constant bit rates number their frames exactly: the audio from a place is the exports'
  // audio from its sample, the reservoir and the filters filled by the frames before it.
  const struct {
    const char* name;
    media::Mp3Options options;
  } cases[] = {{"44.1 kHz stereo with info frame", {44100, 2, 128, false, true}},
               {"22.05 kHz mono without info frame", {22050, 1, 32, false, true}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = write("s.mp3", media::Id3v2Tag(2500) + media::EncodeMp3(4.0, c.options));
    const QByteArray pcm = ExportsPcm(path);
    MpegReader r;
    ASSERT_EQ(r.Open(path), sv::mci::kNoError);
    const qint64 frameBytes = r.format().bytesPerFrame();
    for (const qint64 ms :
         {qint64{1}, qint64{37}, qint64{999}, qint64{2500}, r.lengthMs() - 5, r.lengthMs()}) {
      SCOPED_TRACE(ms);
      ASSERT_TRUE(r.Seek(ms));
      const QByteArray rest = ReadRest(r, 65536);
      const qint64 from = ms * r.format().sampleRate / 1000 * frameBytes;
      EXPECT_EQ(rest.size(), std::max<qint64>(pcm.size() - from, 0));
      EXPECT_TRUE(rest == pcm.mid(from)) << "the audio from " << ms << " ms differs";
    }
    ASSERT_TRUE(r.Seek(0));
    EXPECT_EQ(ReadRest(r, 65536), pcm) << "back at the start";
  }
}

TEST_F(Reader, VariableRatesSeekNearTheirPlace) {
  // The seek table places a time to about a hundredth of the stream.
  const QString path = write("v.mp3", media::EncodeMp3(6.0, {44100, 2, 128, true, true}));
  const QByteArray pcm = ExportsPcm(path);
  MpegReader r;
  ASSERT_EQ(r.Open(path), sv::mci::kNoError);
  ASSERT_TRUE(r.Seek(4000));
  const qint64 rest = ReadRest(r, 65536).size() / r.format().bytesPerFrame();
  EXPECT_NEAR(static_cast<double>(rest), 2.0 * 44100, 0.01 * 6.0 * 44100 + 1152);
  EXPECT_EQ(pcm.size() / 4, 6 * 44100);
}

TEST_F(Reader, FilesJoinedEndToEndPlayInTheFirstOnesLayout) {
  // A mono stream with a stereo one behind it: the stereo frames cannot play as mono.
  const QByteArray mono = media::EncodeMp3(1.1, {44100, 1, 96, false, false});
  const QString first = write("first.mp3", mono);
  const QString joined = write("joined.mp3", mono + media::EncodeMp3(0.9, {44100, 2, 128, false, false}));
  MpegReader r;
  ASSERT_EQ(r.Open(joined), sv::mci::kNoError);
  EXPECT_EQ(r.format().channels, 1);
  EXPECT_TRUE(ReadRest(r, 4096) == ExportsPcm(first));
}

TEST_F(Reader, FilesWithoutAudioAreRefused) {
  MpegReader missing, empty, text;
  EXPECT_EQ(missing.Open(dir_.path() + "/gone.mp3"), sv::mci::kFileNotFound);
  EXPECT_EQ(empty.Open(write("empty.mp3", {})), sv::mci::kInvalidFile);
  EXPECT_EQ(text.Open(write("text.mp3", QByteArray(5000, 't'))), sv::mci::kInvalidFile);
  MpegReader tagOnly;
  EXPECT_EQ(tagOnly.Open(write("tag.mp3", media::Id3v2Tag(9000, true))), sv::mci::kInvalidFile);
}

}  // namespace
