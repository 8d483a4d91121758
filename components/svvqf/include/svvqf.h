/* svvqf: TwinVQ (VQF) files to and from 16-bit PCM WAV, one whole file per call.
 *
 * The calls, their arguments and result codes are those of svcodec.h (VQFDecodeProc,
 * VQFEncodeProc, SvCodecResult); this header adds what is particular to this library.
 *
 * VQFEncode(source, destination, rateKHz, bitRateKbps, progressCell, cancel)
 *   source       16-bit PCM WAV, mono or stereo, any sample rate (resampled to 44100 Hz when
 *                it differs; the audio never plays at another speed).
 *   rateKHz      44, the only rate code of the written files.
 *   bitRateKbps  80 or 96: the rate of a stereo file; a mono source is written as mono at
 *                half of it (40 or 48). 40 and 48 are accepted too, meaning the same modes.
 *   progressCell address of a cell holding a CodecProgressProc, or null; the callback gets
 *                the percentage of the file coded, 0 to 100.
 *   A stopped encode returns SVC_E_CANCELLED and leaves a closed VQF holding the audio coded
 *   so far, which plays. The file carries the source's name as its title (NAME) and the
 *   encoder's name as its comment (COMT).
 *
 * VQFDecode(source, destination, progressCell, cancel)
 *   Decodes with FFmpeg's vqf demuxer and twinvq decoder to a 16-bit PCM WAV at the file's
 *   own rate and channels. A damaged frame is passed over (the rest is still decoded) and the
 *   call returns SVC_E_DAMAGED at the end; so does a file shorter than its header says.
 *
 *   Progress arrives as (position, rate), both from 1 to 32767, chosen so that the caller's
 *   fixed estimate gives the true percentage:
 *       estimate = round(file size in bytes * 14.69 / rate)
 *       percent  = round(position / estimate * 100)
 *   `rate` is a per-file scale, the same on every call: ceil(size * 14.69 / 32000), at least
 *   1. `position` is the part of the file decoded, in units of 1/estimate of the whole:
 *   round(fraction done * estimate), so position reaches the estimate at the end. Files up to
 *   about 73 MB (2 hours at 80 kbit/s) fit; beyond that position stops at 32757 and the
 *   percentage shown stays behind. The callback is called at most once per change of that
 *   percentage.
 */
#ifndef SONVERA_SVVQF_H
#define SONVERA_SVVQF_H

#include "svcodec.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(SVVQF_BUILDING)
#define SVVQF_API __attribute__((visibility("default")))
#else
#define SVVQF_API
#endif

SVVQF_API int32_t VQFDecode(const char* source, const char* destination,
                            const VqfDecodeProgressProc* progressCell, int16_t* cancel);
SVVQF_API int32_t VQFEncode(const char* source, const char* destination, int32_t rateKHz, int32_t bitRateKbps,
                            const CodecProgressProc* progressCell, int16_t* cancel);

#ifdef __cplusplus
}
#endif

#endif
