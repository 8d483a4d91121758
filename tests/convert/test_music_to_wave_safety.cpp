// Music-to-WAV job: cases that must never cost the user a file.
#include "convert/core/outside_codecs.h"
#include "convert_support.h"
#include "frmAllToWaveStatus.h"
#include "grid/job_grid.h"
#include "jobs/widgets/path_label.h"
#include "jobs/widgets/picture_box.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

namespace {

class MusicToWaveSafety : public convtest::JobListTest {
 protected:
  void run() {
    sv::ScopedMsgBoxResponder anyBox(sv::vbYes);
    sv::frmAllToWaveStatus w(nullptr, list_.get(), &overwrite_);
    w.show();
    // The job draws the file bar at 100 right after it shows a row's status text, so the
    // last text seen at 100 for a destination is that row's status.
    QObject::connect(w.picFileStatus, &sv::PictureBox::ProgressDrawn, &w, [&](float p) {
      if (p == 100) rowStatus_[w.labeloutput->Path()] = w.labelStatus->text();
    });
    QTest::mouseClick(w.cmdStart, Qt::LeftButton);
  }

  QMap<QString, QString> rowStatus_;
};

// A music file whose destination name is its own (an MP3 named .WAV placed in the output
// folder): the job must neither delete it nor decode it onto itself.
TEST_F(MusicToWaveSafety, DestinationThatIsTheSourceLeavesTheSourceAlone) {
  const QString source = dir_.path() + "/take one.WAV";
  convtest::MakeMp3(source, 0.5, 440);
  const QByteArray before = convtest::ReadAll(source);
  ASSERT_FALSE(before.isEmpty());
  convtest::AddJobRow(*list_, source, source, QStringLiteral("MP3->WAV"));
  // The same file reached through another spelling of its folder.
  convtest::AddJobRow(*list_, source, dir_.path() + "/./take one.WAV", QStringLiteral("MP3->WAV"));
  run();
  ASSERT_TRUE(QFile::exists(source));
  EXPECT_EQ(convtest::ReadAll(source), before);
  EXPECT_EQ(rowStatus_.value(source), "destination is the source file");
  EXPECT_EQ(rowStatus_.value(dir_.path() + "/./take one.WAV"), "destination is the source file");
}

// The same for a row whose type has no step; and a row no step converts never deletes an
// existing destination.
TEST_F(MusicToWaveSafety, UnknownTypeOnTheSourceKeepsIt) {
  const QString source = dir_.path() + "/mix.WAV";
  convtest::WriteAll(source, QByteArray(1000, 'x'));
  convtest::AddJobRow(*list_, source, source, QStringLiteral("WAV->WAV"));
  const QString other = dir_.path() + "/other.WAV";
  convtest::WriteAll(other, "keep me");
  convtest::AddJobRow(*list_, dir_.path() + "/x.aac", other, QStringLiteral("AAC->WAV"));
  run();
  EXPECT_EQ(convtest::ReadAll(source), QByteArray(1000, 'x'));
  EXPECT_EQ(convtest::ReadAll(other), "keep me");
  EXPECT_EQ(rowStatus_.value(other), "no converter for AAC->WAV");
}

// Files that hold no MPEG audio at all would give a header-only WAV file: that is no success,
// and no such file is left behind.
TEST_F(MusicToWaveSafety, InputWithoutAnyFrameIsReportedAndLeavesNoFile) {
  QByteArray noise(6000, 0);
  quint32 x = 12345;
  for (char& c : noise) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  convtest::WriteAll(dir_.path() + "/noise.mp3", noise);
  convtest::WriteAll(dir_.path() + "/empty.mp3", QByteArray());
  convtest::MakeMp3(dir_.path() + "/good.mp3", 0.5, 440);
  for (const char* n : {"noise", "empty", "good"})
    convtest::AddJobRow(*list_, dir_.path() + "/" + n + ".mp3", dir_.path() + "/" + n + ".WAV");
  run();
  EXPECT_EQ(rowStatus_.value(dir_.path() + "/noise.WAV"), "no MPEG audio in the source file");
  EXPECT_EQ(rowStatus_.value(dir_.path() + "/empty.WAV"), "no MPEG audio in the source file");
  EXPECT_FALSE(QFile::exists(dir_.path() + "/noise.WAV"));
  EXPECT_FALSE(QFile::exists(dir_.path() + "/empty.WAV"));
  EXPECT_EQ(rowStatus_.value(dir_.path() + "/good.WAV", "none"), "");
  EXPECT_GT(convtest::ReadAll(dir_.path() + "/good.WAV").size(), 44);
}

// Names with blanks and UTF-8 characters reach the decoder library and the codec libraries
// as the file system's bytes.
TEST_F(MusicToWaveSafety, Utf8NamesWithBlanksReachTheDecoderAndTheCodecs) {
  const QString folder = dir_.path() + QString::fromUtf8("/M\u00fcsik Ordner \u65e5\u672c");
  const QString out = dir_.path() + QString::fromUtf8("/Ausgabe \u00df");
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(QDir().mkpath(out));
  const QString mp3 = folder + QString::fromUtf8("/Caf\u00e9 del Mar \u266b.mp3");
  const QString ogg = folder + QString::fromUtf8("/\u00c4rger.ogg");
  convtest::MakeMp3(mp3, 0.5, 440);
  convtest::WriteAll(ogg, "not read by the stand-in");
  const QString mp3Wav = out + QString::fromUtf8("/Caf\u00e9 del Mar \u266b.WAV");
  const QString oggWav = out + QString::fromUtf8("/\u00c4rger.WAV");
  convtest::AddJobRow(*list_, mp3, mp3Wav, QStringLiteral("MP3->WAV"));
  convtest::AddJobRow(*list_, ogg, oggWav, QStringLiteral("OGG->WAV"));
  sv::codecs::SetLibraryName("svogg", CONVERT_FAKE_CODECS);
  run();
  EXPECT_EQ(rowStatus_.value(mp3Wav, "none"), "");
  const QByteArray wav = convtest::ReadAll(mp3Wav);
  ASSERT_GT(wav.size(), 44);
  EXPECT_TRUE(wav.startsWith("RIFF"));
  EXPECT_EQ(convtest::ReadAll(oggWav), "OGG:" + ogg.toUtf8());
}

}  // namespace
