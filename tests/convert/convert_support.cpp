#include "convert_support.h"

#include "grid/job_grid.h"
#include "shell/core/globals.h"
#include "shell/core/helpers.h"
#include "svdecode.h"

#include <lame/lame.h>

#include <QFile>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace convtest {

void MakeMp3(const QString& path, double seconds, double frequency, int channels) {
  constexpr int kRate = 44100;
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, kRate);
  lame_set_num_channels(lame, channels);
  lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
  lame_set_brate(lame, 128);
  lame_set_quality(lame, 7);
  if (lame_init_params(lame) < 0) throw std::runtime_error("lame_init_params");
  const int frames = static_cast<int>(seconds * kRate);
  std::vector<short> left(frames), right(frames);
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    left[i] = static_cast<short>(12000 * std::sin(2 * M_PI * frequency * t));
    right[i] = static_cast<short>(9000 * std::sin(2 * M_PI * frequency * 1.5 * t + 0.3));
  }
  std::vector<unsigned char> out(static_cast<std::size_t>(1.25 * frames + 7200 + 16384));
  int bytes =
      lame_encode_buffer(lame, left.data(), right.data(), frames, out.data(), static_cast<int>(out.size()));
  if (bytes < 0) throw std::runtime_error("lame_encode_buffer");
  int tail = lame_encode_flush(lame, out.data() + bytes, static_cast<int>(out.size()) - bytes);
  lame_close(lame);
  WriteAll(path, QByteArray(reinterpret_cast<const char*>(out.data()), bytes + std::max(tail, 0)));
}

int ReferenceDecode(const QString& mp3, const QString& wav) {
  if (CreateDecoder() != 0) return -1;
  RegisterInputModule();
  RegisterOutputModule();
  const QByteArray in = QFile::encodeName(mp3);
  const QByteArray out = "wav:" + QFile::encodeName(wav);
  if (Mp3InputOpen(in.constData()) != 0 || WaveOutputOpen(out.constData()) != 0) {
    DeleteDecoder();
    return -1;
  }
  for (;;) {
    const int r = Mp3DecodePlay();
    if (r != 0 && r != SVD_E_STREAM) break;
  }
  Mp3InputClose();
  const int closed = WaveOutputClose();
  DeleteDecoder();
  return closed;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
    throw std::runtime_error("cannot write " + path.toStdString());
}

std::unique_ptr<grid::JobGrid> MakeJobList() {
  auto g = std::make_unique<grid::JobGrid>();
  g->AddColumn("Source File", 120, grid::AlignLeft, true);
  g->AddColumn("Destination File", 120, grid::AlignLeft, true);
  g->AddColumn("Convert", 80, grid::AlignCenter, true);
  g->AddColumn("SourcePath", 200, grid::AlignLeft, false);
  g->AddColumn("DesPath", 200, grid::AlignLeft, false);
  return g;
}

void AddJobRow(grid::JobGrid& g, const QString& source, const QString& destination, const QString& type) {
  const int r = g.AddRow(source);
  g.SetCellText(r, 1, sv::GetFileName(source));
  g.SetCellText(r, 2, sv::GetFileName(destination));
  g.SetCellText(r, 3, type);
  g.SetCellText(r, 4, source);
  g.SetCellText(r, 5, destination);
}

void JobListTest::SetUp() {
  ASSERT_TRUE(dir_.isValid());
  sv::AllToWaveOutputDir = dir_.path();
  sv::WaveToAllOutputDir = dir_.path();
  list_ = MakeJobList();
  overwrite_.setChecked(true);
}

}  // namespace convtest
