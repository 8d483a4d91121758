// Times the music-to-WAV job (status window, bars, yields, decoder calls through the lazy
// loader) over one long MP3 and the decoder library's own loop over the same file, in turns,
// and checks that both write the same bytes.
//
//   convert_bench [seconds of audio, default 300] [rounds, default 7]
#include "frmAllToWaveStatus.h"
#include "grid/job_grid.h"
#include "job_driver.h"
#include "jobs/widgets/draw_progress.h"
#include "jobs/widgets/picture_box.h"
#include "platform/events.h"
#include "shell/core/globals.h"
#include "svdecode.h"

#include <lame/lame.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using bench::Timing;

bool makeMp3(const QString& path, int seconds) {
  constexpr int kRate = 44100;
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, kRate);
  lame_set_num_channels(lame, 2);
  lame_set_brate(lame, 128);
  lame_set_quality(lame, 7);
  if (lame_init_params(lame) < 0) return false;
  QFile out(path);
  if (!out.open(QIODevice::WriteOnly)) return false;
  constexpr int kBlock = 4410;
  std::vector<short> left(kBlock), right(kBlock);
  std::vector<unsigned char> mp3(kBlock * 5 / 4 + 7200);
  unsigned seed = 1;
  for (int block = 0; block < seconds * 10; ++block) {
    for (int i = 0; i < kBlock; ++i) {
      const double t = (block * kBlock + i) / double(kRate);
      seed = seed * 1103515245u + 12345u;
      const double noise = ((seed >> 16) & 0x7FFF) / 32768.0 - 0.5;
      left[i] = static_cast<short>(9000 * std::sin(2 * M_PI * 220 * t) +
                                   3000 * std::sin(2 * M_PI * 1760 * t) + 1500 * noise);
      right[i] = static_cast<short>(8000 * std::sin(2 * M_PI * 330 * t + 1) + 2000 * noise);
    }
    const int n =
        lame_encode_buffer(lame, left.data(), right.data(), kBlock, mp3.data(), static_cast<int>(mp3.size()));
    out.write(reinterpret_cast<const char*>(mp3.data()), n);
  }
  const int n = lame_encode_flush(lame, mp3.data(), static_cast<int>(mp3.size()));
  out.write(reinterpret_cast<const char*>(mp3.data()), n);
  lame_close(lame);
  return true;
}

Timing decoderOwn(const QString& mp3, const QString& wav) {
  return bench::Time([&] {
    CreateDecoder();
    RegisterInputModule();
    RegisterOutputModule();
    Mp3InputOpen(QFile::encodeName(mp3).constData());
    WaveOutputOpen(("wav:" + QFile::encodeName(wav)).constData());
    for (;;) {
      const int r = Mp3DecodePlay();
      GetCurrentPosition();
      if (r != 0 && r != SVD_E_STREAM) break;
    }
    Mp3InputClose();
    WaveOutputClose();
    DeleteDecoder();
  });
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 300;
  const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 7;
  QTemporaryDir dir;
  const QString mp3 = dir.path() + "/long.mp3";
  std::printf("encoding %d s of stereo audio at 128 kbit/s...\n", seconds);
  if (!makeMp3(mp3, seconds)) return 1;
  sv::AllToWaveOutputDir = dir.path();

  bench::BarDraws draws;
  // Warm the file cache and load the library once before timing.
  decoderOwn(mp3, dir.path() + "/warm.wav");
  // Both start without an output file, so neither pays for freeing the last round's.
  const bench::Paired runs = bench::RunPaired(
      rounds,
      [&] {
        QFile::remove(dir.path() + "/own.wav");
        return decoderOwn(mp3, dir.path() + "/own.wav");
      },
      [&] {
        QFile::remove(dir.path() + "/job.wav");
        return bench::RunJobWindow(QStringLiteral("MP3->WAV"), mp3, dir.path() + "/job.wav", &draws);
      });
  const bool same = bench::ReadAll(dir.path() + "/own.wav") == bench::ReadAll(dir.path() + "/job.wav");
  const double ownWall = runs.BestBare(&Timing::wall), jobWall = runs.BestJob(&Timing::wall);
  const double ownCpu = runs.BestBare(&Timing::cpu), jobCpu = runs.BestJob(&Timing::cpu);
  std::printf("best of %d rounds     wall        cpu\n", rounds);
  std::printf("decoder's own loop : %.3f s    %.3f s\n", ownWall, ownCpu);
  std::printf("music-to-WAV job   : %.3f s    %.3f s\n", jobWall, jobCpu);
  std::printf("job overhead       : %+.2f %%    %+.2f %%   (of the best times)\n",
              (jobWall / ownWall - 1) * 100, (jobCpu / ownCpu - 1) * 100);
  // On a shared machine the load drifts: the job's processor time over the decoder's in the
  // same round, and their median, is steadier than either best time alone.
  std::printf("paired overhead    :             %+.2f %%   (median of %d rounds; goal: at most +5 %%)\n",
              (runs.MedianCpuRatio() - 1) * 100, rounds);
  std::printf("bar drawings       : file %d, total %d (one per whole-percent change)\n", draws.file,
              draws.total);
  const double drawCost = bench::CostInShownWindow(1000, [](sv::jobs::RowJobWindow& w, int i) {
    sv::DrawProgress(w.picFileStatus, static_cast<float>(i % 101), sv::jobs::kBarColor);
  });
  const double yieldCost =
      bench::CostInShownWindow(10000, [](sv::jobs::RowJobWindow&, int) { sv::DoEvents(); });
  std::printf("one bar drawing     : %.1f us\n", drawCost * 1e6);
  std::printf("one event-loop pass : %.1f us\n", yieldCost * 1e6);
  std::printf("outputs identical  : %s\n", same ? "yes" : "NO");
  return same ? 0 : 2;
}
