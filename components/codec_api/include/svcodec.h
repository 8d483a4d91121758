/* The whole-file codec libraries (svogg, svvqf, svwma) as the program calls them.
 *
 * Each call converts one whole file from a source path to a destination path. Paths are
 * zero-terminated byte strings as the file system takes them. Progress is reported through a
 * callback of the caller, synchronously and on the calling thread, never after the call has
 * returned, and at most once per change of the whole percentage. The cancel argument is the
 * address of the caller's 16-bit flag (0 go on, 1 stop); the library reads it at least every
 * tenth of a second of work. A stopped encode leaves a closed, playable partial file; a
 * stopped or failed decode leaves a WAV whose header tells the truth about what it holds.
 *
 * Every call returns SVC_OK or exactly one of the codes below.
 *
 * Encoders take 16-bit integer PCM WAV, mono or stereo. A WAV shorter than its header says is
 * encoded to its end and reported as SVC_E_DAMAGED. An encode that cannot write (a full
 * disk) removes its destination, since the part written would not play to its end.
 * Decoders write 16-bit PCM WAV at the stream's own rate and channels (more than two in the
 * extensible form, in WAV's speaker order); a damaged source is decoded as far as it goes. */
#ifndef SONVERA_SVCODEC_H
#define SONVERA_SVCODEC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum SvCodecResult {
  SVC_OK = 0,
  SVC_E_SOURCE_OPEN = 1,   /* the source cannot be opened or read */
  SVC_E_SOURCE_FORMAT = 2, /* not usable: not 16-bit PCM WAV (encoders), not this format (decoders) */
  SVC_E_DEST_CREATE = 3,   /* the destination cannot be created */
  SVC_E_WRITE = 4,         /* writing the destination failed (a full disk) */
  SVC_E_DAMAGED = 5,       /* the source is damaged part way through */
  SVC_E_CANCELLED = 6,     /* the caller's flag asked to stop */
  SVC_E_ARGUMENT = 7,      /* a null path or a setting outside its range */
  SVC_E_INTERNAL = 8       /* out of memory or a failure inside the codec */
};

/* One percentage, 0 to 100; the result is always 0. */
typedef int16_t (*CodecProgressProc)(int16_t percent);
/* The VQF decoder reports (position, rate) instead; svvqf.h documents the units. */
typedef int16_t (*VqfDecodeProgressProc)(int16_t position, int16_t rate);

/* svogg. OGGEncode: Vorbis quality `level` -1 to 10 (variable bit rate); the file keeps the
 * source's sample rate and channels, `sampleRate` is not used. OGGDecode: every stream of a
 * chained file; where a later stream changes rate or channels the WAV ends before it and the
 * call returns SVC_E_SOURCE_FORMAT. */
typedef int32_t (*OGGDecodeProc)(const char* source, const char* destination, CodecProgressProc progress,
                                 int16_t* cancel);
typedef int32_t (*OGGEncodeProc)(const char* source, const char* destination, int32_t sampleRate,
                                 int32_t level, CodecProgressProc progress, int16_t* cancel);
/* svvqf: the progress callback arrives as the address of a cell that holds it. */
typedef int32_t (*VQFDecodeProc)(const char* source, const char* destination,
                                 const VqfDecodeProgressProc* progressCell, int16_t* cancel);
typedef int32_t (*VQFEncodeProc)(const char* source, const char* destination, int32_t rateKHz,
                                 int32_t bitRateKbps, const CodecProgressProc* progressCell, int16_t* cancel);
/* svwma: profile 22, 23 or 24 (WMA version 2 at 64, 96 or 128 kbit/s in ASF, at 44.1 kHz:
 * other source rates are converted). WMADecode takes any WMA stream in ASF. */
typedef int32_t (*WMAEncodeProc)(const char* source, const char* destination, uint8_t profile,
                                 CodecProgressProc progress, int16_t* cancel);
typedef int32_t (*WMADecodeProc)(const char* source, const char* destination, CodecProgressProc progress,
                                 int16_t* cancel);

#ifdef __cplusplus
}
#endif

#endif
