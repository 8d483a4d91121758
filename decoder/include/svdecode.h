/* svdecode: MPEG audio (Layers I, II and III; MPEG-1, 2 and 2.5) to 16-bit PCM.
 *
 * The library holds one decoder. Call order:
 *   CreateDecoder(); RegisterInputModule(); RegisterOutputModule();
 *   Mp3InputOpen("song.mp3"); WaveOutputOpen("wav:song.wav");
 *   while (Mp3DecodePlay() == 0 or -700) { GetCurrentPosition(); ... }
 *   Mp3InputClose(); WaveOutputClose(); DeleteDecoder();
 *
 * Results are 0 on success or one of the negative codes below. */
#ifndef SVDECODE_H
#define SVDECODE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(SVDECODE_BUILDING)
#define SVDECODE_API __attribute__((visibility("default")))
#else
#define SVDECODE_API
#endif

SVDECODE_API int32_t CreateDecoder(void);
SVDECODE_API int32_t DeleteDecoder(void);
SVDECODE_API int32_t RegisterInputModule(void);
SVDECODE_API int32_t RegisterOutputModule(void);
SVDECODE_API int32_t Mp3InputOpen(const char* name);
SVDECODE_API int32_t WaveOutputOpen(const char* name);
SVDECODE_API int32_t Mp3DecodePlay(void);
SVDECODE_API int32_t Mp3InputClose(void);
SVDECODE_API int32_t WaveOutputClose(void);
SVDECODE_API int32_t SeekToPosition(float position);
SVDECODE_API int32_t SeekToTime(float seconds);
SVDECODE_API float GetCurrentPosition(void);
SVDECODE_API double GetCurrentTimeSecond(void);

/* Result codes. */
#define SVD_OK 0
#define SVD_E_NOT_AVAILABLE (-1) /* not seekable, unknown size, optional method missing */
#define SVD_E_NO_MEMORY (-100)
#define SVD_E_INVALID_PARAMETER (-102)
#define SVD_E_WRONG_STATE (-103)
#define SVD_E_VERSION_MISMATCH (-106)
#define SVD_E_OPEN_FAILED (-500)
#define SVD_E_PERMISSION_DENIED (-504)
#define SVD_E_NO_SUCH_MODULE (-507)
#define SVD_E_NO_INPUT_MODULE (-508)
#define SVD_E_NO_OUTPUT_MODULE (-509)
#define SVD_E_FILE_NOT_FOUND (-513)
#define SVD_E_END_OF_INPUT (-514)
#define SVD_E_WRITE_FAILED (-516) /* WaveOutputClose: some PCM or the header was not written */
#define SVD_E_NO_CODEC (-600)
#define SVD_E_STREAM (-700) /* damaged frame; decoding may go on */
#define SVD_E_ATTRIBUTE_NOT_FOUND (-900)
#define SVD_E_ATTRIBUTE_KIND (-901)

#ifdef __cplusplus
}
#endif

#endif
