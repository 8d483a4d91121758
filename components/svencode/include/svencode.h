/* svencode: MP3 encoding over libmp3lame behind BladeEnc-style stream calls.
 *
 * Call order:
 *   beInitStream(&config, &samplesPerChunk, &outputBufferSize, &stream);
 *   while (samples left) beEncodeChunk(stream, n, pcm, out, &produced);   n <= samplesPerChunk
 *   beDeinitStream(stream, out, &produced);                               final frames
 *   beCloseStream(stream);
 *
 * Sample counts are counts of 16-bit values. In mono mode a chunk holds one channel; in
 * every other mode it holds interleaved stereo (left first), so samplesPerChunk is twice
 * the frame length there. An odd count in stereo keeps its last value for the next chunk.
 * The output buffer must hold outputBufferSize bytes.
 *
 * Each stream owns its own encoder; streams are independent of one another. Handles are
 * 32-bit numbers that are never reused while the library is loaded. */
#ifndef SVENCODE_H
#define SVENCODE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(SVENCODE_BUILDING)
#define SVENCODE_API __attribute__((visibility("default")))
#else
#define SVENCODE_API
#endif

/* Result codes. */
#define BE_ERR_SUCCESSFUL 0
#define BE_ERR_INVALID_FORMAT 1            /* unknown configuration kind, version or size */
#define BE_ERR_INVALID_FORMAT_PARAMETERS 2 /* a setting the encoder cannot use */
#define BE_ERR_NO_MORE_HANDLES 3           /* SVENCODE_MAX_STREAMS open, or no memory */
#define BE_ERR_INVALID_HANDLE 4            /* unknown, closed or finished stream */
#define BE_ERR_BUFFER_TOO_SMALL 5          /* more samples than one chunk */

/* Streams open at one time. */
#define SVENCODE_MAX_STREAMS 64

/* Configuration kind of the record below. */
#define BE_CONFIG_LAME 256
#define BE_CONFIG_VERSION 1
#define BE_CONFIG_SIZE 331

/* Channel modes. */
#define BE_MP3_MODE_STEREO 0
#define BE_MP3_MODE_JSTEREO 1
#define BE_MP3_MODE_DUALCHANNEL 2
#define BE_MP3_MODE_MONO 3

/* MPEG versions. */
#define BE_MPEG2 0
#define BE_MPEG1 1

/* Quality presets (the encoder's own numbers). Each chooses LAME's algorithm quality
 * (0 best .. 9 fastest) and a lowpass; bit rate and channel mode stay the caller's.
 *   preset          quality  lowpass Hz
 *   NOPRESET, NORMAL   5     LAME's choice
 *   LOW                7     LAME's choice
 *   HIGH               2     LAME's choice
 *   VOICE_QUALITY      5     12000
 *   PHONE              5      3400
 *   SW                 5      5000
 *   AM                 5      7500
 *   FM                 5     15000
 *   VOICE              5     12000
 *   RADIO              5     15000
 *   TAPE               5     16000
 *   HIFI               3     LAME's choice
 *   CD                 2     LAME's choice
 *   STUDIO             0     no lowpass
 * A non-zero quality field whose high byte is the complement of its low byte overrides
 * the quality with the low byte (0..9). */
#define LQP_NOPRESET (-1)
#define LQP_NORMAL_QUALITY 0
#define LQP_LOW_QUALITY 1
#define LQP_HIGH_QUALITY 2
#define LQP_VOICE_QUALITY 3
#define LQP_PHONE 1000
#define LQP_SW 2000
#define LQP_AM 3000
#define LQP_FM 4000
#define LQP_VOICE 5000
#define LQP_RADIO 6000
#define LQP_TAPE 7000
#define LQP_HIFI 8000
#define LQP_CD 9000
#define LQP_STUDIO 10000

/* VBR methods (used only when enableVbr is true). */
#define VBR_METHOD_NONE (-1)
#define VBR_METHOD_DEFAULT 0
#define VBR_METHOD_OLD 1
#define VBR_METHOD_NEW 2
#define VBR_METHOD_MTRH 3
#define VBR_METHOD_ABR 4

#pragma pack(push, 1)
/* The 331-byte configuration record, little-endian, fields back to back. Booleans are
 * 32-bit, any non-zero value being true (callers pass -1). */
typedef struct EncoderConfig {
  uint32_t configKind;    /*  0: BE_CONFIG_LAME */
  uint32_t structVersion; /*  4: BE_CONFIG_VERSION */
  uint32_t structSize;    /*  8: BE_CONFIG_SIZE */
  uint32_t sampleRate;    /* 12: input sample rate, Hz */
  uint32_t outSampleRate; /* 16: output sample rate, Hz; 0 lets the encoder choose */
  int32_t mode;           /* 20: BE_MP3_MODE_... */
  uint32_t bitrate;       /* 24: kbit/s (minimum bit rate with VBR) */
  uint32_t maxBitrate;    /* 28: kbit/s, VBR only; 0 for the encoder's choice */
  int32_t preset;         /* 32: LQP_... */
  uint32_t mpegVersion;   /* 36: BE_MPEG1 or BE_MPEG2 */
  uint32_t psyModel;      /* 40: unused */
  uint32_t emphasis;      /* 44: 0 none, 1 50/15 us, 3 CCITT J.17 */
  int32_t privateBit;     /* 48 */
  int32_t crc;            /* 52 */
  int32_t copyright;      /* 56 */
  int32_t original;       /* 60 */
  int32_t writeVbrHeader; /* 64: ignored, no call writes the header afterwards */
  int32_t enableVbr;      /* 68 */
  int32_t vbrQuality;     /* 72: 0 best .. 9 */
  uint32_t vbrAbrBps;     /* 76: ABR mean bit rate, bit/s */
  int32_t vbrMethod;      /* 80: VBR_METHOD_... */
  int32_t noBitReservoir; /* 84 */
  int32_t strictIso;      /* 88: false keeps the encoder's default */
  uint16_t quality;       /* 92: see the presets above */
  uint8_t reserved[237];  /* 94: zero */
} EncoderConfig;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(EncoderConfig) == BE_CONFIG_SIZE, "EncoderConfig must be 331 bytes");
#else
_Static_assert(sizeof(EncoderConfig) == BE_CONFIG_SIZE, "EncoderConfig must be 331 bytes");
#endif

SVENCODE_API int32_t beInitStream(const EncoderConfig* config, uint32_t* samplesPerChunk,
                                  uint32_t* outputBufferSize, uint32_t* stream);
SVENCODE_API int32_t beEncodeChunk(uint32_t stream, uint32_t samples, const int16_t* input, uint8_t* output,
                                   uint32_t* produced);
SVENCODE_API int32_t beDeinitStream(uint32_t stream, uint8_t* output, uint32_t* produced);
SVENCODE_API int32_t beCloseStream(uint32_t stream);

/* Entry point types for loading the library by name. */
typedef int32_t (*beInitStream_t)(const EncoderConfig*, uint32_t*, uint32_t*, uint32_t*);
typedef int32_t (*beEncodeChunk_t)(uint32_t, uint32_t, const int16_t*, uint8_t*, uint32_t*);
typedef int32_t (*beDeinitStream_t)(uint32_t, uint8_t*, uint32_t*);
typedef int32_t (*beCloseStream_t)(uint32_t);

#ifdef __cplusplus
}
#endif

#endif /* SVENCODE_H */
