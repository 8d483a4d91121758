// Every conversion and setting of sonvera-convert gives the file the program's own job gives
// for the same input and settings.
#include "cli/cli_options.h"
#include "cli_run.h"
#include "convert/core/conversion_steps.h"
#include "recording_job.h"
#include "test_media.h"

#include <gtest/gtest.h>

#include <QFile>

#include <string>
#include <vector>

namespace {

using namespace clitest;

// The settings as the command line gives them to the job.
sv::WaveToAllOptions settingsOf(const QString& format, const QStringList& args) {
  std::vector<std::string> words{"sonvera-convert", "-f", format.toStdString()};
  for (const QString& a : args) words.push_back(a.toStdString());
  words.push_back("x");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  const auto parsed = sv::cli::ParseCommandLine(static_cast<int>(words.size()), argv.data());
  EXPECT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
  return parsed.settings.wave;
}

// The program's job on one row, without a window.
sv::jobs::RowResult jobConverts(const QString& type, const QString& source, const QString& destination,
                                const sv::WaveToAllOptions& options) {
  sv::jobs::StepTable steps;
  sv::AddMusicToWaveSteps(steps);
  sv::AddWaveToCompressedSteps(steps, [options] { return options; });
  jobtest::ListRows rows;
  rows.rows = {{type, source, destination}};
  jobtest::RecordingSink sink;
  jobtest::ScriptedQuestions questions;
  sv::CancelConvert = 0;
  sv::jobs::JobRunner job(rows, steps, sink, questions);
  job.Load();
  job.Run();
  return job.Results().empty() ? sv::jobs::RowResult::Failed("no row") : job.Results()[0];
}

QByteArray comparable(const QString& format, const QByteArray& bytes) {
  return format == QLatin1String("ogg") ? OggWithoutSerials(bytes) : bytes;
}

class CliConversion : public ::testing::Test {
 protected:
  // Converts with the command line and with the job; both files must be there and the same.
  void expectSameAsJob(const QString& source, const QString& format, const QStringList& settings) {
    const QString name = QFileInfo(source).completeBaseName();
    const QString type = format == QLatin1String("wav") ? QFileInfo(source).suffix().toUpper() + "->WAV"
                                                        : "WAV->" + format.toUpper();
    const QString byJob = scratch_.path("job-" + name + "." + format);
    QFile::remove(byJob);
    const auto result = jobConverts(type, source, byJob, settingsOf(format, settings));
    ASSERT_EQ(result.outcome, sv::jobs::RowOutcome::Done) << result.reason.toStdString();

    const QString out = scratch_.path("cli");
    const CliResult run = RunCli(QStringList{"-f", format, "-y", "-o", out} + settings + QStringList{source});
    ASSERT_EQ(run.status, 0) << run.err.toStdString() << run.out.toStdString();
    const QByteArray cli = media::ReadAll(out + "/" + name + "." + format);
    const QByteArray job = media::ReadAll(byJob);
    ASSERT_GT(job.size(), 1000);
    EXPECT_EQ(comparable(format, cli), comparable(format, job))
        << format.toStdString() << " " << settings.join(' ').toStdString();
    EXPECT_FALSE(comparable(format, cli).isEmpty());
  }

  Scratch scratch_;
};

TEST_F(CliConversion, WavToMp3WithThePagesSettingsIsTheJobsFile) {
  const QString wav = scratch_.Wav("take.wav", 2.5);
  for (const QStringList& settings :
       {QStringList{}, QStringList{"--rate", "48000", "-b", "320", "-m", "stereo", "-Q", "high"},
        QStringList{"--rate=32000", "-b", "64", "-m", "Mono", "-Q", "Phone"},
        QStringList{"-b", "40", "-m", "dual", "-Q", "10000"}})
    expectSameAsJob(wav, "mp3", settings);
}

TEST_F(CliConversion, WavToOggWmaAndVqfAtEachSettingIsTheJobsFile) {
  const QString wav = scratch_.Wav("take.wav", 2.0);
  expectSameAsJob(wav, "ogg", {});
  expectSameAsJob(wav, "ogg", {"-b", "256"});
  expectSameAsJob(wav, "ogg", {"--level", "0"});
  expectSameAsJob(wav, "wma", {"-b", "64"});
  expectSameAsJob(wav, "wma", {"-b", "128"});
  expectSameAsJob(wav, "vqf", {"-b", "80"});
  expectSameAsJob(wav, "vqf", {});
}

TEST_F(CliConversion, Mp3OggWmaAndVqfToWavIsTheJobsFile) {
  const QString wav = scratch_.Wav("take.wav", 2.0);
  scratch_.File("take.mp3", media::EncodeMp3(2.0));
  for (const char* format : {"ogg", "wma", "vqf"}) {
    const CliResult made = RunCli({"-f", format, "-o", scratch_.root(), wav});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
  }
  for (const char* format : {"mp3", "ogg", "wma", "vqf"})
    expectSameAsJob(scratch_.path(QStringLiteral("take.") + format), "wav", {});
}

}  // namespace
