// svdecode core: MPEG audio (Layers I, II and III of MPEG-1, MPEG-2 and MPEG-2.5) from bytes
// to 16-bit PCM, one frame at a time. No files, no global state: each Decoder is one stream,
// and any number of them may work at once, each used by one thread at a time.
//
//   svdecode::Decoder d;                       // gapless output by default
//   int16_t pcm[svdecode::kMaxFramePcm];
//   svdecode::FrameInfo info;
//   for (;;) {
//     const svdecode::Status s = d.Decode(pcm, &info);
//     if (s == svdecode::Status::kFrame) { /* info.samples × info.channels values in pcm */ }
//     else if (s == svdecode::Status::kNeedInput) { /* d.Feed(bytes, n), or d.EndOfInput() */ }
//     else if (s == svdecode::Status::kEnd) break;
//     /* kDamaged: that frame gave nothing; go on */
//   }
//
// Gapless output: the frame that carries a "Xing", "Info" or "VBRI" header holds no audio and
// is left out; when the header carries an encoder tag with the encoder's delay and padding,
// those samples (and the decoder's own delay) are trimmed too, so the PCM has exactly the
// length of the encoder's source.
#ifndef SVDECODE_CORE_H
#define SVDECODE_CORE_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace svdecode {

// Most PCM one frame gives: 1152 samples per channel, two channels, interleaved.
inline constexpr int kMaxFrameSamples = 1152;
inline constexpr int kMaxFramePcm = 2 * kMaxFrameSamples;

// Delay of the decoder's filterbanks in samples, trimmed with the encoder's delay.
inline constexpr int kDecoderDelay = 529;

enum class Status {
  kFrame,      // a frame was decoded; FrameInfo tells what (samples may be 0 when trimmed away)
  kNeedInput,  // Feed() more bytes (BytesWanted() at least), or call EndOfInput()
  kEnd,        // the input has ended and holds no further complete frame
  kDamaged,    // the frame was damaged and gave no PCM; decoding goes on with the next
};

struct Options {
  int channel_selection = 0;  // two-channel streams: 0 both, 1 left only, 2 right only, 3 mixed
  int rate_reduction = 0;     // 0 full rate, 1 half (32 kHz and up), 2 quarter (half from 16 kHz)
  bool gapless = true;        // trim the encoder's delay and padding when the stream says them
  // Subband gains: 64 signed bytes (32 for the left channel, 32 for the right), each v the
  // gain 1 + v/32, or 1/(1 - v/32) below 0; or none. Copied.
  const int8_t* equaliser = nullptr;
};

struct FrameInfo {
  int sample_rate = 0;         // Hz of the PCM (after rate reduction)
  int channels = 0;            // of the PCM: 1 or 2
  int samples = 0;             // per channel in this frame's PCM
  int layer = 0;               // 1 to 3
  int level = 0;               // 1 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  int mode = 0;                // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int bit_rate = 0;            // kbit/s of this frame
  int stream_sample_rate = 0;  // Hz of the stream
  int64_t offset = 0;          // where the frame begins in the stream, in bytes
  int64_t index = 0;           // audio frame number from 0 (estimated after a Seek)
  int64_t first_sample = 0;    // the PCM's place in the output, in output samples from 0
};

// What the stream's first frame and a leading ID3 version 2 tag tell.
struct StreamInfo {
  int64_t data_start = 0;      // bytes of the leading ID3v2 tag, where the frames begin
  bool header_frame = false;   // a "Xing", "Info" or "VBRI" frame leads the audio
  bool vbr = false;            // the header says "Xing" or "VBRI" (not "Info", which is CBR)
  int header_frame_bytes = 0;  // its length
  int64_t frames = 0;          // audio frames the header counts, 0 when it does not say
  int64_t stream_bytes = 0;    // bytes the header counts (from the header frame), 0 if unsaid
  bool has_toc = false;        // seek table: toc[i] × size ÷ 256 is where i % of the time is
  uint8_t toc[100] = {};
  bool encoder_tag = false;   // the header carries the encoder's delay and padding
  int encoder_delay = 0;      // samples the encoder put before the source
  int encoder_padding = 0;    // samples it put after the source
  int sample_rate = 0;        // Hz of the first frame (0: no frame seen)
  int samples_per_frame = 0;  // of the first frame
  int channels = 0;           // of the first frame
  int bit_rate = 0;           // kbit/s of the first frame
  int level = 0, layer = 0, mode = 0;
  // Samples per channel of the whole output at full rate when the header says enough, else -1:
  // with gapless output and an encoder tag the source's length, else every frame's samples.
  int64_t total_samples = -1;
};

class Decoder {
 public:
  explicit Decoder(const Options& options = {});
  ~Decoder();
  Decoder(Decoder&&) noexcept;
  Decoder& operator=(Decoder&&) noexcept;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Takes the next bytes of the stream (copied). Clears an earlier EndOfInput().
  void Feed(const uint8_t* data, size_t size);
  // No more bytes follow: the last complete frame is decoded, a truncated one is not.
  void EndOfInput();
  // Bytes needed before Decode() can get further (after kNeedInput; never more than the
  // current frame needs, so a reader that delivers only whole blocks loses nothing).
  size_t BytesWanted() const;

  // Decodes the next frame into pcm (room for kMaxFramePcm values): 16-bit numbers in the
  // processor's byte order, channels interleaved, left first.
  Status Decode(int16_t* pcm, FrameInfo* info);

  // The caller moved its byte source: the next byte fed lies `offset` bytes into the stream.
  // Buffered bytes, the bit reservoir and the filter memories are dropped. Frame numbers are
  // estimated from the offset (exact at the start and for constant bit rate streams).
  void Seek(int64_t offset);
  // A new stream begins with the next byte fed, which lies `offset` bytes into it (a caller
  // that skipped a leading tag itself passes its length). Forgets everything but the options.
  void Restart(int64_t offset = 0);
  // Tells what InspectFrame() found at the stream's start, for a caller that may Seek()
  // before the first frame has been decoded (frame numbers then still count from the first
  // audio frame, and the trimming knows the encoder's padding).
  void SetStreamInfo(const StreamInfo& info);
  void SetOptions(const Options& options);
  const Options& options() const;

  // What the header frame said so far (complete once the first frame has been decoded).
  const StreamInfo& stream() const;
  // Where to Seek() for a fraction (0 to 1) of the play time of a stream of `stream_size` bytes.
  int64_t SeekOffset(double fraction, int64_t stream_size) const;

  // Length of the ID3 version 2 tag that `head` (the stream's first 10 bytes or more) begins
  // with, header and a version 4 footer included; 0 when there is none. Another tag may
  // follow: call again on the bytes behind it.
  static int64_t Id3v2Length(const uint8_t* head, size_t size);
  // Reads what the stream's first frame tells without decoding it: `frame` holds the bytes
  // at the data start (the whole frame, or what there is of it). Fills every field of `info`
  // but data_start; false when no valid frame header stands there.
  static bool InspectFrame(const uint8_t* frame, size_t size, StreamInfo* info);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace svdecode

#endif
