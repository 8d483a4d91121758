// Processor time to read a 74-minute CUE/BIN image in secure mode: svripper's
// ReadCDAudioLBA in 26-frame blocks, as the grabbing job reads, against Debian's cd-paranoia
// reading the same image in its default (the same) paranoia mode. Makes the image on first
// use. Usage: cdread_bench [minutes] [folder]
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_disc.h"
#include "child_cpu.h"
#include "disc_images.h"
#include "svripper.h"

namespace fs = std::filesystem;
using namespace sv::discs;

namespace {

uint32_t be32(const uint8_t* a) {
  return uint32_t(a[0]) << 24 | uint32_t(a[1]) << 16 | uint32_t(a[2]) << 8 | a[3];
}

// Reads every audio track block by block; returns the frames read or -1.
long readAll(int mode) {
  SVR_CDLIST list{};
  GetCDList(&list);
  if (list.num == 0) return -1;
  const SVR_CDREC& rec = list.cd[list.num - 1];
  SVR_GETCDHAND req{12, 1, rec.ha, rec.tgt, rec.lun, 0, {}};
  const SVR_HCDROM h = GetCDHandle(&req);
  if (!h) return -1;
  ModifyCDParms(h, SVR_CDP_MSF, 0);
  ModifyCDParms(h, SVR_CDP_READMODE, mode);
  SVR_TOC toc;
  if (ReadTOC(h, &toc) != 1) return -1;
  std::vector<uint8_t> buffer(24 + 26 * SVR_FRAME_BYTES);
  auto* header = reinterpret_cast<SVR_TRACKBUF*>(buffer.data());
  long frames = 0;
  const int tracks = toc.lastTrack - toc.firstTrack + 1;
  for (int t = 0; t < tracks; ++t) {
    const uint32_t first = be32(toc.tracks[t].address), end = be32(toc.tracks[t + 1].address);
    for (uint32_t at = first; at < end;) {
      const uint32_t n = std::min<uint32_t>(26, end - at);
      *header = SVR_TRACKBUF{at, n, 26 * SVR_FRAME_BYTES, 0, 0, 0};
      if (ReadCDAudioLBA(h, header) != 1) {
        std::fprintf(stderr, "read failed at %u: %d\n", at, GetAspiLibError());
        return -1;
      }
      at += n;
      frames += n;
    }
  }
  CloseCDHandle(h);
  return frames;
}

}  // namespace

int main(int argc, char** argv) {
  const int minutes = argc > 1 ? std::atoi(argv[1]) : 74;
  const fs::path folder =
      argc > 2 ? fs::path(argv[2])
               : fs::temp_directory_path() / ("sonvera-cdread-bench-" + std::to_string(minutes));
  // Only this image in the folder: it is the last drive of the list.
  const fs::path cue = bench::BenchDisc(minutes, folder, "bench");
  if (cue.empty()) return 1;
  const int total = minutes * 60 * 75;

  const double c0 = bench::SelfCpuSeconds();
  const auto w0 = std::chrono::steady_clock::now();
  const long frames = readAll(SVR_READ_SECURE);
  const double ours = bench::SelfCpuSeconds() - c0;
  const double oursWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
  if (frames != total) {
    std::fprintf(stderr, "svripper read %ld of %d frames\n", frames, total);
    return 1;
  }
  const auto w1 = std::chrono::steady_clock::now();
  const double reference =
      bench::ChildCpuSeconds({"cd-paranoia", "-q", "-d", cue.string(), "-r", "--", "1-", "/dev/null"});
  const double refWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w1).count();
  if (reference < 0) {
    std::fprintf(stderr, "cd-paranoia did not run (package cd-paranoia)\n");
    return 1;
  }
  const double c2 = bench::SelfCpuSeconds();
  readAll(SVR_READ_FAST);
  const double fast = bench::SelfCpuSeconds() - c2;

  std::printf("image: %d minutes, %d frames, %.0f MB\n", minutes, total, total * 2352.0 / 1e6);
  std::printf("svripper secure, 26-frame blocks: %.2f s CPU (%.2f s wall)\n", ours, oursWall);
  std::printf("cd-paranoia (same mode):          %.2f s CPU (%.2f s wall)\n", reference, refWall);
  std::printf("ratio svripper / cd-paranoia:     %.3f\n", ours / reference);
  std::printf("svripper fast mode (playback):    %.2f s CPU\n", fast);
  return 0;
}
