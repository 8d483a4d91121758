// Times the music-to-WAV job (status window, bars, yields, decoder calls through the lazy
// loader) over one long MP3 and the decoder library's own loop over the same file, in turns,
// and checks that both write the same bytes.
//
//   convert_bench [seconds of audio, default 300] [rounds, default 3]
#include "PictureBox.h"
#include "frmAllToWaveStatus.h"
#include "grid/job_grid.h"
#include "shell/core/globals.h"
#include "svdecode.h"

#include <lame/lame.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool makeMp3(const QString& path, int seconds) {
  constexpr int kRate = 44100;
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, kRate);
  lame_set_num_channels(lame, 2);
  lame_set_brate(lame, 128);
  lame_set_quality(lame, 7);
  if (lame_init_params(lame) < 0)
    return false;
  QFile out(path);
  if (!out.open(QIODevice::WriteOnly))
    return false;
  constexpr int kBlock = 4410;
  std::vector<short> left(kBlock), right(kBlock);
  std::vector<unsigned char> mp3(kBlock * 5 / 4 + 7200);
  unsigned seed = 1;
  for (int block = 0; block < seconds * 10; ++block) {
    for (int i = 0; i < kBlock; ++i) {
      const double t = (block * kBlock + i) / double(kRate);
      seed = seed * 1103515245u + 12345u;
      const double noise = ((seed >> 16) & 0x7FFF) / 32768.0 - 0.5;
      left[i] = static_cast<short>(9000 * std::sin(2 * M_PI * 220 * t) + 3000 * std::sin(2 * M_PI * 1760 * t) + 1500 * noise);
      right[i] = static_cast<short>(8000 * std::sin(2 * M_PI * 330 * t + 1) + 2000 * noise);
    }
    const int n = lame_encode_buffer(lame, left.data(), right.data(), kBlock, mp3.data(), static_cast<int>(mp3.size()));
    out.write(reinterpret_cast<const char*>(mp3.data()), n);
  }
  const int n = lame_encode_flush(lame, mp3.data(), static_cast<int>(mp3.size()));
  out.write(reinterpret_cast<const char*>(mp3.data()), n);
  lame_close(lame);
  return true;
}

double decoderOwn(const QString& mp3, const QString& wav) {
  const auto start = Clock::now();
  CreateDecoder();
  RegisterInputModule();
  RegisterOutputModule();
  Mp3InputOpen(QFile::encodeName(mp3).constData());
  WaveOutputOpen(("wav:" + QFile::encodeName(wav)).constData());
  for (;;) {
    const int r = Mp3DecodePlay();
    GetCurrentPosition();
    if (r != 0 && r != SVD_E_STREAM)
      break;
  }
  Mp3InputClose();
  WaveOutputClose();
  DeleteDecoder();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double job(const QString& mp3, const QString& wav, int& fileDraws, int& totalDraws) {
  grid::JobGrid list;
  list.AddColumn("Source File", 100, grid::AlignLeft, true);
  list.AddColumn("Destination File", 100, grid::AlignLeft, true);
  list.AddColumn("Convert", 80, grid::AlignLeft, true);
  list.AddColumn("SourcePath", 100, grid::AlignLeft, true);
  list.AddColumn("DesPath", 100, grid::AlignLeft, true);
  const int r = list.AddRow(mp3);
  list.SetCellText(r, 3, "MP3->WAV");
  list.SetCellText(r, 4, mp3);
  list.SetCellText(r, 5, wav);
  QCheckBox overwrite;
  overwrite.setChecked(true);
  sv::frmAllToWaveStatus window(nullptr, &list, &overwrite);
  window.show();
  QApplication::processEvents();
  fileDraws = totalDraws = 0;
  QObject::connect(window.picFileStatus, &sv::PictureBox::ProgressDrawn, [&](float) { ++fileDraws; });
  QObject::connect(window.picTotalProcess, &sv::PictureBox::ProgressDrawn, [&](float) { ++totalDraws; });
  const auto start = Clock::now();
  window.cmdStart_Click();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 300;
  const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
  QTemporaryDir dir;
  const QString mp3 = dir.path() + "/long.mp3";
  std::printf("encoding %d s of stereo audio at 128 kbit/s...\n", seconds);
  if (!makeMp3(mp3, seconds))
    return 1;
  sv::AllToWaveOutputDir = dir.path();

  std::vector<double> own, viaJob;
  int fileDraws = 0, totalDraws = 0;
  // Warm the file cache and load the library once before timing.
  decoderOwn(mp3, dir.path() + "/warm.wav");
  for (int i = 0; i < rounds; ++i) {
    own.push_back(decoderOwn(mp3, dir.path() + "/own.wav"));
    viaJob.push_back(job(mp3, dir.path() + "/job.wav", fileDraws, totalDraws));
  }
  const bool same = readAll(dir.path() + "/own.wav") == readAll(dir.path() + "/job.wav");
  const double bestOwn = *std::min_element(own.begin(), own.end());
  const double bestJob = *std::min_element(viaJob.begin(), viaJob.end());
  std::printf("decoder's own loop : %.3f s (best of %d)\n", bestOwn, rounds);
  std::printf("music-to-WAV job   : %.3f s (best of %d)\n", bestJob, rounds);
  std::printf("job overhead       : %+.2f %% (goal: at most +5 %%)\n", (bestJob / bestOwn - 1) * 100);
  std::printf("bar drawings       : file %d, total %d (one per whole-percent change)\n", fileDraws, totalDraws);
  std::printf("outputs identical  : %s\n", same ? "yes" : "NO");
  return same ? 0 : 2;
}
