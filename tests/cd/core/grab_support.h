// Grabbing without a window on disc images the tests write: the drive opened through the
// CD-reading component, a runner with scripted questions and a recording display, and
// checksums and disc IDs computed here on their own to check what the job logs.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "cd/core/grab_job.h"
#include "disc_images.h"
#include "platform/cd_reader.h"
#include "recording_job.h"

namespace grabtest {

// CRC-32 (IEEE, reflected), bit by bit.
std::uint32_t ReferenceCrc32(const std::vector<std::uint8_t>& bytes);
// AccurateRip v1 and v2 of a whole track's audio.
struct ArSums {
  std::uint32_t v1 = 0, v2 = 0;
};
ArSums ReferenceAccurateRip(const std::vector<std::uint8_t>& audio, bool firstTrack, bool lastTrack);
// MusicBrainz disc ID by its published recipe (SHA-1 over the hex TOC, base64 with ._-).
QString ReferenceMusicBrainzId(int first, int last, const std::vector<int>& lbaStarts, int leadoutLba);

// The log's figures for one track ("CRC32", "AccurateRip v1", ...), as text.
std::map<QString, QString> LogTrack(const QString& log, int track);

struct WavFile {
  bool ok = false;
  std::uint32_t riffSize = 0, dataSize = 0;
  std::uint16_t channels = 0, bits = 0;
  std::uint32_t rate = 0;
  std::vector<std::uint8_t> data;  // everything after the 44-byte header
};
WavFile ReadWav(const QString& path);
std::vector<std::uint8_t> ReadBytes(const QString& path);

// The display, also passing each track's end and the job's end to the grab job, as a window does.
class GrabSink : public jobtest::RecordingSink {
 public:
  sv::grab::GrabJob* job = nullptr;
  void RowFinished(int row, const sv::jobs::JobRow& r, const sv::jobs::RowResult& result) override {
    RecordingSink::RowFinished(row, r, result);
    if (job) job->RowFinished(r, result);
  }
  void JobFinished(int failed) override {
    RecordingSink::JobFinished(failed);
    if (job) job->Finished();
  }
};

// A disc read through svripper, optionally failing chosen read calls.
class ImageDisc : public sv::grab::GrabDisc {
 public:
  explicit ImageDisc(const sv::discs::DiscImage& image);
  std::int32_t ReadBlock(SVR_TRACKBUF* buffer) override;
  QString ErrorText() override { return failNext_ ? QStringLiteral("scripted failure") : real_->ErrorText(); }
  QString CdText(int track, int field) override { return real_->CdText(track, field); }

  const SVR_TOC& Toc() const { return toc_; }
  bool Open() const { return static_cast<bool>(handle_); }
  // Read calls made so far, and read calls (counted from 1) to fail.
  int calls = 0;
  std::vector<int> failCalls;

 private:
  sv::cdreader::Handle handle_;
  SVR_TOC toc_{};
  std::unique_ptr<sv::grab::SvripperDisc> real_;
  bool failNext_ = false;
};

class GrabTest : public ::testing::Test {
 protected:
  void SetUp() override;

  sv::discs::DiscImage Image(const sv::discs::DiscSpec& spec);
  sv::grab::GrabSettings Settings(sv::grab::OutputKind kind, std::vector<int> tracks) const;
  // Runs the whole job (Prepare, then every row) and keeps runner, job and sink for the checks.
  void Run(const sv::grab::GrabSettings& settings, const sv::discs::DiscImage& image);
  QString Out(const QString& name) const { return out.filePath(name); }
  QString LogText() const;

  QTemporaryDir discs, out;
  jobtest::ScriptedQuestions questions;
  GrabSink sink;
  std::int16_t stopFlag = 0;
  std::unique_ptr<ImageDisc> disc;
  std::unique_ptr<sv::grab::GrabJob> job;
  std::unique_ptr<sv::jobs::JobRunner> runner;
  QString prepareError;
  // Called with the disc before the job runs (to script failures).
  std::function<void(ImageDisc&)> beforeRun;
  // The encoder the MP3 steps call.
  sv::Mp3EncoderCalls encoder = sv::SvencodeCalls();
};

}  // namespace grabtest
