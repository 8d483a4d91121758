/* svripper: CD drive listing, table of contents and raw audio reads by block address.
 * Real drives come through libcdio; disc images (CUE/BIN, cdrdao TOC) in the disc folder
 * are listed after them as drives of their own. Records are little-endian and byte-packed;
 * the library owns all of its memory. Calls are safe from several threads, one handle per
 * thread at a time. */
#ifndef SVRIPPER_H
#define SVRIPPER_H

#include <stdint.h>

#if defined(SVRIPPER_BUILDING)
#define SVRIPPER_API __attribute__((visibility("default")))
#else
#define SVRIPPER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define SVR_MAX_DRIVES 8
#define SVR_ID_LENGTH 64
#define SVR_FRAME_BYTES 2352
#define SVR_MAX_TOC_ENTRIES 100

#pragma pack(push, 1)

/* What a drive reports about itself, zero-padded texts. */
typedef struct {
  char vendor[9];
  char product[17];
  char revision[5];
  char vendorSpecific[21];
} SVR_CDINFO;

/* One drive of the list (121 bytes). ha:tgt:lun is our own numbering of the drive,
 * stable while the program runs. */
typedef struct {
  uint8_t ha;
  uint8_t tgt;
  uint8_t lun;
  uint8_t pad;
  char id[SVR_ID_LENGTH + 1]; /* "vendor product revision" or "Disc image: name.cue" */
  SVR_CDINFO info;
} SVR_CDREC;

/* The drive list (970 bytes): byte 0 the capacity (8), byte 1 the number of drives
 * filled in; unused entries are all zero. */
typedef struct {
  uint8_t max;
  uint8_t num;
  SVR_CDREC cd[SVR_MAX_DRIVES];
} SVR_CDLIST;

/* The request GetCDHandle takes (12 bytes). */
typedef struct {
  uint8_t size; /* 12 */
  uint8_t ver;  /* 1 */
  uint8_t ha;
  uint8_t tgt;
  uint8_t lun;
  uint8_t readType;
  uint8_t options[6];
} SVR_GETCDHAND;

/* One TOC entry (8 bytes), as READ TOC gives it: control in the low nibble of byte 1
 * (bit 2 set for a data track), track number (0xAA for the lead-out), big-endian address:
 * an LBA, or 0:M:S:F while MSF addresses are on. */
typedef struct {
  uint8_t reserved1;
  uint8_t adrControl;
  uint8_t track;
  uint8_t reserved2;
  uint8_t address[4];
} SVR_TOCTRACK;

/* The TOC (804 bytes): big-endian data length, first and last track, then one entry per
 * track from the first and the lead-out after the last. */
typedef struct {
  uint8_t length[2];
  uint8_t firstTrack;
  uint8_t lastTrack;
  SVR_TOCTRACK tracks[SVR_MAX_TOC_ENTRIES];
} SVR_TOC;

/* The header of a read request (24 bytes); the frames follow it. */
typedef struct {
  uint32_t startFrame; /* first LBA */
  uint32_t numFrames;
  uint32_t maxLen;     /* capacity of the data area in bytes */
  uint32_t len;        /* bytes read, set by the library */
  uint32_t status;     /* 1 success, set by the library */
  int32_t startOffset; /* where the frames start within the data area: always 0 */
  /* uint8_t buf[maxLen] follows */
} SVR_TRACKBUF;

#pragma pack(pop)

typedef uint8_t SVR_HCDROM;

/* ModifyCDParms parameters. */
#define SVR_CDP_MSF 36      /* 1: TOC addresses as MSF (the default), 0: as LBA */
#define SVR_CDP_READMODE 64 /* SVR_READ_SECURE (the default) or SVR_READ_FAST */
#define SVR_CDP_RETRIES 65  /* re-reads per frame in secure mode before a read fails (default 20) */
#define SVR_READ_SECURE 0   /* every frame verified, jitter corrected (paranoia) */
#define SVR_READ_FAST 1     /* plain reads, for playback */

/* Results of the last call of the calling thread (GetAspiLibError). */
#define SVR_OK 0
#define SVR_E_NOACCESS -1
#define SVR_E_MANAGER -4      /* a read or TOC request failed */
#define SVR_E_BUFFER_SMALL -6 /* frames x 2352 > maxLen */
#define SVR_E_BAD_HANDLE -7
#define SVR_E_NO_SLOTS -8     /* all handles in use */
#define SVR_E_BAD_BUFFER -9   /* a null record pointer */
#define SVR_E_NOT_CDROM -10   /* ha:tgt:lun names no drive */
#define SVR_E_BAD_REQUEST -13 /* a null handle request */
#define SVR_E_BAD_VERSION -14 /* handle request of another size or version */

/* CD-Text fields for ReadCDText. */
#define SVR_CDTEXT_TITLE 0
#define SVR_CDTEXT_PERFORMER 1
#define SVR_CDTEXT_SONGWRITER 2
#define SVR_CDTEXT_COMPOSER 3
#define SVR_CDTEXT_MESSAGE 4
#define SVR_CDTEXT_ARRANGER 5
#define SVR_CDTEXT_ISRC 6 /* per track */
#define SVR_CDTEXT_UPC 7  /* the disc's catalogue number, track 0 */
#define SVR_CDTEXT_GENRE 8

/* Number of drives in the list (drives and images, at most 8). */
SVRIPPER_API int32_t GetNumAdapters(void);
/* Fills the drive list; returns the number of drives filled in. */
SVRIPPER_API int32_t GetCDList(SVR_CDLIST* list);
/* Opens the drive named by ha:tgt:lun; 0 on failure (see GetAspiLibError). */
SVRIPPER_API SVR_HCDROM GetCDHandle(SVR_GETCDHAND* request);
/* Sets a parameter of a handle; 1 on success. */
SVRIPPER_API int32_t ModifyCDParms(SVR_HCDROM handle, int32_t parameter, int32_t value);
/* Reads the disc's TOC; 1 on success. */
SVRIPPER_API int32_t ReadTOC(SVR_HCDROM handle, SVR_TOC* toc);
/* Reads numFrames frames from startFrame into the data area; 1 on success. */
SVRIPPER_API int32_t ReadCDAudioLBA(SVR_HCDROM handle, SVR_TRACKBUF* buffer);
/* The last result of the calling thread: 0 or SVR_E_*. */
SVRIPPER_API int32_t GetAspiLibError(void);
SVRIPPER_API int32_t CloseCDHandle(SVR_HCDROM handle);

/* Beyond the drive list: the device or image path of a drive, zero-terminated into
 * path (size bytes). Returns the length of the path, 0 when ha:tgt:lun names no drive;
 * a path that does not fit is not written and its length + 1 is returned. */
SVRIPPER_API int32_t GetCDDrivePath(uint8_t ha, uint8_t tgt, uint8_t lun, char* path, int32_t size);
/* The folder whose disc images are listed as drives, made on first use; same return rule. */
SVRIPPER_API int32_t GetCDImageFolder(char* path, int32_t size);
/* A CD-Text field (UTF-8) of the disc (track 0) or of a track; same return rule, 0 when
 * the disc has no such text. */
SVRIPPER_API int32_t ReadCDText(SVR_HCDROM handle, int32_t track, int32_t field, char* text, int32_t size);
/* Opens the tray of a real drive; for an image, nothing to do. 1 on success. */
SVRIPPER_API int32_t EjectCD(SVR_HCDROM handle);

#ifdef __cplusplus
}
#endif

#endif
