// The benchmarks' music signal encoded to a constant-rate stereo MP3 with LAME, block by
// block, so long files cost no memory. Programs that include this link libmp3lame.
#pragma once

#include "music_signal.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace bench {

inline bool EncodeMusicMp3(const std::filesystem::path& path, int seconds, int kbps, int rate = 44100) {
  MusicSignal signal(rate);
  lame_global_flags* gf = lame_init();
  lame_set_num_channels(gf, 2);
  lame_set_in_samplerate(gf, rate);
  lame_set_brate(gf, kbps);
  lame_set_quality(gf, 5);
  if (lame_init_params(gf) != 0) {
    lame_close(gf);
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const int chunk = 1152 * 50;
  std::vector<int16_t> pcm(2 * chunk);
  std::vector<unsigned char> buffer(1 << 20);
  bool ok = true;
  for (long left = long(rate) * seconds; left > 0 && ok; left -= chunk) {
    const int count = static_cast<int>(std::min<long>(chunk, left));
    signal.Fill(pcm.data(), static_cast<uint32_t>(count));
    const int bytes =
        lame_encode_buffer_interleaved(gf, pcm.data(), count, buffer.data(), static_cast<int>(buffer.size()));
    ok = bytes >= 0;
    if (ok) out.write(reinterpret_cast<const char*>(buffer.data()), bytes);
  }
  const int bytes = ok ? lame_encode_flush(gf, buffer.data(), static_cast<int>(buffer.size())) : 0;
  if (bytes > 0) out.write(reinterpret_cast<const char*>(buffer.data()), bytes);
  lame_close(gf);
  return ok && static_cast<bool>(out);
}

}  // namespace bench
