// The decoder core driven by arbitrary bytes: fed in pieces of varying size, with seeks,
// restarts and option changes between frames, as the fuzz target and the replay of its stored
// inputs do it. The last bytes of the input steer; the front is the stream.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "svdecode_core.h"

namespace svd_fuzz {

// Reads steering numbers from the back of the input, so the front stays a stream.
struct Steer {
  const uint8_t* data;
  size_t size;
  size_t used = 0;
  unsigned Next() { return used < size ? data[size - 1 - used++] : 0u; }
};

// Frames decoded. Aborts when a frame claims more PCM than its buffer holds.
inline int DriveCore(const uint8_t* data, size_t size) {
  Steer steer{data, size};
  svdecode::Options options;
  const unsigned first = steer.Next();
  options.channel_selection = static_cast<int>(first & 3);
  options.rate_reduction = static_cast<int>((first >> 2) % 3);
  options.gapless = (first & 16) == 0;
  static const int8_t kEqualiser[64] = {-32, -16, 0, 16, 32, 64, 127, -128, 5, -5};
  if (first & 32) options.equaliser = kEqualiser;
  svdecode::Decoder decoder(options);

  svdecode::StreamInfo head;
  head.data_start = svdecode::Decoder::Id3v2Length(data, size);
  if (static_cast<size_t>(head.data_start) < size)
    svdecode::Decoder::InspectFrame(data + head.data_start, size - static_cast<size_t>(head.data_start),
                                    &head);
  // Sometimes as a caller that read the stream head first.
  if (first & 64) decoder.SetStreamInfo(head);

  int16_t pcm[svdecode::kMaxFramePcm];
  size_t fed = 0;
  int seeks = 0, frames = 0;
  for (int step = 0; step < 20000; ++step) {
    svdecode::FrameInfo info;
    const svdecode::Status s = decoder.Decode(pcm, &info);
    if (s == svdecode::Status::kFrame) {
      if (info.samples < 0 || info.samples * info.channels > svdecode::kMaxFramePcm) std::abort();
      ++frames;
      const unsigned k = steer.Next();
      if (seeks < 4 && (k & 15) == 7) {
        ++seeks;
        // Somewhere else in the stream, as a player's seek would go.
        const int64_t to = decoder.SeekOffset((k >> 4) / 15.0, static_cast<int64_t>(size));
        fed = static_cast<size_t>(std::clamp<int64_t>(to, 0, static_cast<int64_t>(size)));
        if (k & 128)
          decoder.Restart(static_cast<int64_t>(fed));
        else
          decoder.Seek(static_cast<int64_t>(fed));
      } else if ((k & 31) == 9) {
        options.channel_selection = static_cast<int>(k >> 5) & 3;
        decoder.SetOptions(options);
      }
      continue;
    }
    if (s == svdecode::Status::kEnd) break;
    if (s == svdecode::Status::kDamaged) continue;
    // More input: sometimes what the decoder asks for, sometimes a piece of another size.
    if (fed >= size) {
      decoder.EndOfInput();
      continue;
    }
    const unsigned k = steer.Next();
    size_t n = (k & 1) ? decoder.BytesWanted() : 1 + k * 13;
    n = std::min(n, size - fed);
    decoder.Feed(data + fed, n);
    fed += n;
  }
  return frames;
}

}  // namespace svd_fuzz
