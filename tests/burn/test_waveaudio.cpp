// The preview player class over the media-control interpreter, on the silent sink.
#include "platform/events.h"
#include "platform/mci.h"
#include "test_media.h"
#include "waveaudio.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

namespace {

class WaveAudio : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
  QTemporaryDir dir_;
};

TEST_F(WaveAudio, OpenCommandsQuoteWhatNeedsIt) {
  EXPECT_EQ(waveaudio::OpenCommand("/music/a.wav", "wav5512"),
            "Open /music/a.wav ALIAS wav5512 TYPE Waveaudio wait");
  EXPECT_EQ(waveaudio::OpenCommand("/My Music/a.mp3", "mp3"),
            "Open \"/My Music/a.mp3\" ALIAS mp3 TYPE MPegVideo wait");
  EXPECT_EQ(waveaudio::OpenCommand("/m/say \"hi\".WAV", "x"),
            "Open \"/m/say \"\"hi\"\".WAV\" ALIAS x TYPE Waveaudio wait");
  EXPECT_EQ(waveaudio::OpenCommand("/m/clip.avi", "x"), "Open /m/clip.avi ALIAS x TYPE AviVideo wait");
  EXPECT_EQ(waveaudio::OpenCommand("/m/song.mid", "x"), "Open /m/song.mid ALIAS x TYPE Sequencer wait");
  EXPECT_EQ(waveaudio::OpenCommand("/m/song.ogg", "x"), "");
}

TEST_F(WaveAudio, LengthOfA185Point4SecondWave) {
  media::WriteWav(path("long.wav"), 185.4, 4000, 1);
  waveaudio w;
  w.setFileName(path("long.wav"));
  EXPECT_TRUE(QRegularExpression("^wav\\d{1,2}\\d{1,2}\\d{1,4}$").match(w.Alias()).hasMatch())
      << w.Alias().toStdString();
  EXPECT_FLOAT_EQ(w.Length(), 185400.0f);
  EXPECT_FLOAT_EQ(w.LengthInSecond(), 185.4f);
  EXPECT_EQ(w.LengthInTimeCode(), "03:05");
  EXPECT_EQ(w.Status(), "stopped");
  const QString alias = w.Alias();
  w.mmClose();
  EXPECT_EQ(w.Alias(), "");
  EXPECT_EQ(w.FileName(), "");
  EXPECT_FALSE(sv::mci::IsOpen(alias));
  EXPECT_EQ(w.Length(), 0.0f);
  EXPECT_EQ(w.Status(), "");
}

TEST_F(WaveAudio, FilesThatCannotOpen) {
  waveaudio w;
  w.setFileName(path("notes.txt"));
  EXPECT_EQ(w.Alias(), "") << "other kinds of file open nothing";
  w.setFileName(path("gone.wav"));
  EXPECT_FALSE(w.Alias().isEmpty()) << "the alias is kept though no device stands behind it";
  EXPECT_EQ(w.Status(), "");
  EXPECT_EQ(w.Length(), 0.0f);
  EXPECT_EQ(w.LengthInTimeCode(), "00:00");
}

TEST_F(WaveAudio, PlaysStopsAndCountsOnTheSilentSink) {
  ASSERT_TRUE(QDir().mkpath(path("My Music")));
  for (const QString& name :
       {QStringLiteral("My Music/a take.wav"), QStringLiteral("My Music/say \"alias\" x.wav")}) {
    SCOPED_TRACE(name.toStdString());
    media::WriteWav(path(name), 3.0, 8000, 2);
    waveaudio w;
    w.setFileName(path(name));
    EXPECT_FLOAT_EQ(w.Length(), 3000.0f);
    w.mmPlay();
    media::RunEventsFor(250);
    EXPECT_EQ(w.Status(), "playing");
    EXPECT_GT(w.Position(), 100.0f);
    w.mmPause();
    EXPECT_EQ(w.Status(), "paused");
    w.mmStop();
    EXPECT_EQ(w.Status(), "stopped");
    w.mmSeek(2900);
    EXPECT_FLOAT_EQ(w.Position(), 2900.0f);
    w.setWait(-1);
    w.mmPlay();  // plays the last 100 ms and returns at the end
    EXPECT_EQ(w.Status(), "stopped");
    EXPECT_FLOAT_EQ(w.Position(), 3000.0f);
  }
}

TEST_F(WaveAudio, OneObjectHoldsOneDevice) {
  media::WriteWav(path("a.wav"), 0.5, 8000, 1);
  media::WriteAll(path("b.mp3"), media::EncodeMp3(0.5));
  waveaudio w;
  w.setFileName(path("a.wav"));
  const QString first = w.Alias();
  w.setFileName(path("b.mp3"));
  EXPECT_FALSE(sv::mci::IsOpen(first));
  EXPECT_TRUE(sv::mci::IsOpen(w.Alias()));
  EXPECT_TRUE(w.Alias().startsWith("mp3"));
  EXPECT_TRUE(media::NearTrueLength(w.LengthInSecond(), 0.5, 44100)) << w.LengthInSecond();
  const QString second = w.Alias();
  {
    waveaudio other;
    other.setFileName(path("a.wav"));
    EXPECT_NE(other.Alias(), second);
  }
  EXPECT_TRUE(sv::mci::IsOpen(second));
}

}  // namespace
