// Shared pieces of the conversion tests: MP3 files made with LAME, the decoder library's own
// decode of them, file reading, a job list like the page's.
#pragma once

#include <QByteArray>
#include <QCheckBox>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include "grid/job_grid.h"

namespace convtest {

// A stereo (or mono) tone of `seconds` at 44100 Hz, encoded at 128 kbit/s.
void MakeMp3(const QString& path, double seconds, double frequency, int channels = 2);
// Decodes through svdecode's own calls into a WAV file; the result of WaveOutputClose.
int ReferenceDecode(const QString& mp3, const QString& wav);
QByteArray ReadAll(const QString& path);
void WriteAll(const QString& path, const QByteArray& bytes);

// A job list with the five columns of a conversion page.
std::unique_ptr<grid::JobGrid> MakeJobList();
// Appends a music-to-WAV row: source, destination, conversion type.
void AddJobRow(grid::JobGrid& g, const QString& source, const QString& destination,
               const QString& type = QStringLiteral("MP3->WAV"));

// A temporary folder that is both jobs' output folder, a job list like the page's and its
// ticked "Overwrite existing file" box.
class JobListTest : public ::testing::Test {
 protected:
  void SetUp() override;
  QString path(const QString& name) const { return dir_.path() + "/" + name; }

  QTemporaryDir dir_;
  std::unique_ptr<grid::JobGrid> list_;
  QCheckBox overwrite_;
};

}  // namespace convtest
