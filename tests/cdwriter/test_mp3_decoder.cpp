// The control's MP3 decoding: the cache WAV holds the samples svdecode's exports give, with
// any number of decodes at once; the probe's format and length; stops and failures.
#include "cdwriter_support.h"
#include "mp3_decoder.h"
#include "test_media.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

using namespace cdwtest;

TEST(Mp3Decoding, TheCacheHoldsTheExportsSamplesWhileOthersDecodeAtOnce) {
  QTemporaryDir dir;
  const Tag tag{"Night Train", "The Sleepers", "Late"};
  QStringList mp3s;
  mp3s << WriteMp3(dir.path() + "/tagged.mp3", 3.3, 2, &tag);
  // Behind a v2.3 tag and a v2.4 tag with its footer.
  mp3s << dir.path() + "/two tags.mp3";
  media::WriteAll(mp3s.back(), media::Id3v2Tag(3000) + media::Id3v2Tag(7000, true) + media::EncodeMp3(2.1));
  mp3s << dir.path() + "/mono vbr.mp3";
  media::WriteAll(mp3s.back(), media::EncodeMp3(2.9, {44100, 1, 128, true, true}));
  mp3s << dir.path() + "/no info frame.mp3";
  media::WriteAll(mp3s.back(), media::EncodeMp3(1.7, {44100, 2, 192, false, false}));

  std::vector<cdw::Mp3Result> results(static_cast<std::size_t>(mp3s.size()));
  std::vector<std::thread> decodes;
  for (qsizetype i = 0; i < mp3s.size(); ++i)
    decodes.emplace_back([&, i] {
      results[static_cast<std::size_t>(i)] = cdw::DecodeMp3ToWav(
          mp3s[i].toStdString(), (mp3s[i] + ".wav").toStdString(), [](double) { return true; });
    });
  for (std::thread& t : decodes) t.join();
  for (qsizetype i = 0; i < mp3s.size(); ++i) {
    SCOPED_TRACE(mp3s[i].toStdString());
    EXPECT_EQ(results[static_cast<std::size_t>(i)], cdw::Mp3Result::Done);
    int channels = 0;
    const QByteArray expected = DecodedPcm(mp3s[i], &channels);
    const QByteArray wav = media::ReadAll(mp3s[i] + ".wav");
    ASSERT_GE(wav.size(), 44);
    EXPECT_EQ(wav[22], channels);
    EXPECT_GT(expected.size(), 44100);
    EXPECT_TRUE(wav.mid(44) == expected) << wav.size() - 44 << " bytes for " << expected.size();
  }
}

TEST(Mp3Decoding, FilesJoinedEndToEndKeepTheFirstOnesLayout) {
  // A stereo stream with a mono one behind it: the mono frames cannot go into the stereo WAV.
  QTemporaryDir dir;
  const QByteArray stereo = media::EncodeMp3(1.2, {44100, 2, 128, false, false});
  const QString first = dir.path() + "/first.mp3", joined = dir.path() + "/joined.mp3";
  media::WriteAll(first, stereo);
  media::WriteAll(joined, stereo + media::EncodeMp3(1.0, {44100, 1, 128, false, false}));
  const std::string wav = (dir.path() + "/joined.wav").toStdString();
  ASSERT_EQ(cdw::DecodeMp3ToWav(joined.toStdString(), wav, [](double) { return true; }),
            cdw::Mp3Result::Done);
  const QByteArray out = media::ReadAll(QString::fromStdString(wav));
  ASSERT_GE(out.size(), 44);
  EXPECT_EQ(out[22], 2);
  EXPECT_TRUE(out.mid(44) == DecodedPcm(first));
}

TEST(Mp3Decoding, TheProbeTellsTheFormatAndTheLength) {
  QTemporaryDir dir;
  // LAME's info frame counts the frames and gives the delay and padding: the exact length.
  const QString counted = WriteMp3(dir.path() + "/counted.mp3", 3.7, 1);
  const auto a = cdw::ProbeMp3(counted.toStdString());
  ASSERT_TRUE(a);
  EXPECT_EQ(a->sampleRate, 44100);
  EXPECT_EQ(a->channels, 1);
  EXPECT_EQ(a->frames, DecodedPcm(counted).size() / 2);
  // Without it, the size and the bit rate tell every frame's audio, to a frame.
  const QString plain = dir.path() + "/plain.mp3";
  media::WriteAll(plain, media::EncodeMp3(2.2, {44100, 2, 160, false, false}));
  const auto b = cdw::ProbeMp3(plain.toStdString());
  ASSERT_TRUE(b);
  EXPECT_EQ(b->channels, 2);
  EXPECT_NEAR(static_cast<double>(b->frames), static_cast<double>(DecodedPcm(plain).size() / 4), 1152);
  const auto c = cdw::ProbeMp3(WriteMp3(dir.path() + "/low.mp3", 1, 2, nullptr, 22050).toStdString());
  ASSERT_TRUE(c);
  EXPECT_EQ(c->sampleRate, 22050);

  media::WriteAll(dir.path() + "/noise.mp3", QByteArray(6000, 'x'));
  EXPECT_FALSE(cdw::ProbeMp3((dir.path() + "/noise.mp3").toStdString()));
  EXPECT_FALSE(cdw::ProbeMp3((dir.path() + "/gone.mp3").toStdString()));
  media::WriteAll(dir.path() + "/tag only.mp3", media::Id3v2Tag(4000, true));
  EXPECT_FALSE(cdw::ProbeMp3((dir.path() + "/tag only.mp3").toStdString()));
}

TEST(Mp3Decoding, StoppedOrFailedDecodesLeaveNoWav) {
  QTemporaryDir dir;
  const std::string mp3 = WriteMp3(dir.path() + "/song.mp3", 2.5, 2).toStdString();
  const std::string wav = (dir.path() + "/song.wav").toStdString();
  std::vector<double> seen;
  EXPECT_EQ(cdw::DecodeMp3ToWav(mp3, wav,
                                [&](double p) {
                                  seen.push_back(p);
                                  return true;
                                }),
            cdw::Mp3Result::Done);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_GT(seen.front(), 0.0);
  EXPECT_EQ(seen.back(), 1.0);

  int calls = 0;
  EXPECT_EQ(cdw::DecodeMp3ToWav(mp3, wav, [&](double) { return ++calls < 3; }), cdw::Mp3Result::Cancelled);
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(wav)));

  EXPECT_EQ(cdw::DecodeMp3ToWav(mp3, (dir.path() + "/no such folder/x.wav").toStdString(),
                                [](double) { return true; }),
            cdw::Mp3Result::WriteFailed);
  EXPECT_EQ(cdw::DecodeMp3ToWav((dir.path() + "/gone.mp3").toStdString(), wav, [](double) { return true; }),
            cdw::Mp3Result::ReadFailed);
  media::WriteAll(dir.path() + "/noise.mp3", QByteArray(6000, 'x'));
  EXPECT_EQ(cdw::DecodeMp3ToWav((dir.path() + "/noise.mp3").toStdString(), wav, [](double) { return true; }),
            cdw::Mp3Result::ReadFailed);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(wav)));
}

}  // namespace
