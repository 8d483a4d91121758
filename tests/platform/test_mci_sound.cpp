// The media devices through a real sound server: what is heard is what the file holds.
#include "disc_images.h"
#include "platform/mci.h"
#include "platform/mci_cdaudio.h"
#include "platform/mci_file_devices.h"
#include "sound_check.h"
#include "test_media.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace sv;
using namespace sv::test;

QString ask(const QString& command) {
  QString reply;
  const int e = sv::mciSendString(command, &reply);
  return e == 0 ? reply : QStringLiteral("error %1").arg(e);
}

class MediaDeviceSoundTest : public SoundServerTest {
 protected:
  void SetUp() override {
    SoundServerTest::SetUp();
    mci::RegisterFileDevices();
  }
  void TearDown() override { sv::mciSendString(QStringLiteral("close all")); }

  QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  // Opens the file, plays it to its end and gives what the server played meanwhile.
  Recording PlayToTheEnd(const QString& file, const char* type) {
    EXPECT_EQ(ask("open " + mci::QuoteName(file) + " alias tune type " + type + " wait"), "1");
    return RecordPlayback(
        Server(), [] { EXPECT_EQ(ask("play tune"), ""); },
        [] { return ask("status tune mode") == "stopped"; });
  }

  QTemporaryDir dir_;
};

TEST_F(MediaDeviceSoundTest, WaveaudioPlaysTheWavFile) {
  media::WriteWav(path("tone.wav"), 1.5, 44100, 2);
  const Recording r = PlayToTheEnd(path("tone.wav"), "waveaudio");
  ASSERT_FALSE(r.timedOut);
  ExpectSoundsLike(r, media::Tone(1.5, 44100, 2), 44100, 2);
}

TEST_F(MediaDeviceSoundTest, WaveaudioPlaysAMonoFileAtItsOwnRate) {
  media::WriteWav(path("mono.wav"), 1.0, 22050, 1);
  const Recording r = PlayToTheEnd(path("mono.wav"), "waveaudio");
  ASSERT_FALSE(r.timedOut);
  ExpectSoundsLike(r, media::Tone(1.0, 22050, 1), 22050, 1);
}

TEST_F(MediaDeviceSoundTest, MpegvideoPlaysTheMp3File) {
  media::WriteAll(path("tone.mp3"), media::EncodeMp3(2.0));
  const Recording r = PlayToTheEnd(path("tone.mp3"), "mpegvideo");
  ASSERT_FALSE(r.timedOut);
  ExpectSoundsLike(r, media::Tone(2.0, 44100, 2), 44100, 2);
}

TEST_F(MediaDeviceSoundTest, CdaudioPlaysTheDiscImage) {
  qputenv("SONVERA_DISC_DIR", dir_.path().toUtf8());
  mci::RegisterCdAudioDevice();
  discs::DiscSpec spec = discs::AudioDisc("tone", {150});  // two seconds
  spec.content = discs::Content::Tone;
  const discs::DiscImage image = discs::WriteCueBin(dir_.path().toStdString(), spec);
  ASSERT_EQ(ask("open " + mci::QuoteName(QString::fromStdString(image.sheet.string())) +
                " type cdaudio alias cd wait shareable"),
            "1");
  const Recording r = RecordPlayback(
      Server(), [] { EXPECT_EQ(ask("play cd"), ""); }, [] { return ask("status cd mode") == "stopped"; });
  ASSERT_FALSE(r.timedOut);
  const std::vector<std::uint8_t> bytes = image.Audio(image.start(1), 150);
  std::vector<std::int16_t> disc(bytes.size() / 2);
  std::memcpy(disc.data(), bytes.data(), bytes.size());
  ExpectSoundsLike(r, disc, 44100, 2);
  EXPECT_LT(r.channel(0).onsetMs, 200) << "the disc is heard late after play";
}

TEST_F(MediaDeviceSoundTest, ClosingAPlayingDeviceSilencesItAtOnce) {
  media::WriteAll(path("long.mp3"), media::EncodeMp3(5.0));
  ASSERT_EQ(ask("open " + mci::QuoteName(path("long.mp3")) + " alias tune type mpegvideo wait"), "1");
  MonitorRecorder recorder(Server());
  ASSERT_TRUE(recorder.ok()) << recorder.error();
  ASSERT_EQ(ask("play tune"), "");
  PumpEvents(std::chrono::milliseconds(600));
  const std::int64_t atClose = recorder.frames();
  ASSERT_EQ(ask("close tune"), "");  // the decoder goes while its output was reading from it
  PumpEvents(std::chrono::milliseconds(400));
  const int rate = recorder.rate();
  const std::vector<std::int16_t> heard = recorder.stop();
  const std::vector<Span> spans = SoundSpans(heard, 2, 0, rate, 50);
  ASSERT_EQ(spans.size(), 1u);
  EXPECT_LT(spans[0].end, atClose + rate / 10) << "still sounding after the close";
}

}  // namespace
