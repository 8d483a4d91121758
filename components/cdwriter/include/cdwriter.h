/* cdwriter: the CD-writer control. It records an audio disc from a list of WAV and MP3
 * files on a CD writer (through libburn) or as a CUE/BIN disc image in the disc folder.
 *
 * The control is late-bound: members are called by number, events arrive by name.
 *
 *   CDWriter* w = CDWriterCreate();
 *   CDWriterConnect(w, OnEvent, window);          // events, on this thread
 *   CDWriterValue n;
 *   CDWriterInvoke(w, 24, CDW_GET, NULL, 0, &n);  // number of writers
 *   ...
 *   CDWriterDestroy(w);                           // cancels a running write first
 *
 * Threads: create, invoke, connect and destroy from one thread, the one that runs the
 * program's Qt event loop. The write itself runs on a thread of the control's own; its events
 * are queued to the creating thread and delivered by that thread's event loop, in the order
 * they happened, so a handler may call back into the control.
 *
 * Values: texts are UTF-8 (file names as the file system takes them). Texts handed out in a
 * result stay valid until the next call on the same control; texts handed to an event handler
 * stay valid until it returns. Booleans are 16-bit style: true is -1, false 0.
 *
 * Members (kind, arguments in call order, result):
 *    2  get/put  Boolean             test mode: go through every step without recording
 *    4  get/put  Boolean             close the disc (no later session); true by default
 *    5  get/put  Boolean             disc-at-once (false: track-at-once on drives)
 *    6  get/put  Boolean             write CD-Text from the tracks' tags
 *    7  get/put  32-bit              blocks of silence between tracks (0 to 750), 0 default
 *   21  method   path, Boolean       log the burn into that file (false: stop logging)
 *   23  get      text                details of the last error (device error data)
 *   24  get      16-bit              number of writers
 *   25  get      index -> text       writer's address ("/dev/sr0", "Image")
 *   26  get      index -> text       writer's product name
 *   27  get      index -> text       writer's vendor
 *   28  method   index -> Boolean    select writer; false when it cannot be used
 *   29  method                       finish after a real write (ejects the disc of a drive)
 *   33  get      Boolean             a disc is loaded
 *   34  method   -> Boolean          start writing; false when it could not start
 *   37  method   16-bit speed        write speed in multiples of 1x (0: the writer's best)
 *   38  get      16-bit              highest write speed of the selected writer, 0 unknown
 *   39  method                       cancel the running write
 *   41  get      32-bit              blocks already used on the loaded disc, 0 when empty
 *   63  method                       clear the track list
 *   64  get      16-bit              number of tracks
 *   67  method   path, track& -> Boolean   add a WAV or MP3 file (44.1 kHz, 16-bit, mono or
 *                                    stereo) as the next track; the track number it got is
 *                                    written back into the second argument
 *   68  method                       lay out the disc from the tracks
 *   70  method   Boolean             buffer-underrun protection on or off
 *   71  get      Boolean             the selected writer supports buffer-underrun protection
 *  100  get/put  text                name of the next image ("" names it after date and time)
 *  101  get      text                the CUE sheet of the last image written
 *
 * Events (name: parameters): CachingTrack: Track (16), BlocksToCache (32);
 * CachingTrackStatus: BlocksCached (32); ClosingDisc; ClosingTrack: Track (16);
 * PreparingToWrite; TrackFileError: FileError (16), FileName (text);
 * TrackWriteStart: Track (16), BlocksToWrite (32); TrackWriteStatus: Track (16),
 * BlocksWritten (32), DeviceBufferUsed (16, percent); WriteError: WriteError (16),
 * DeviceError (32); WritingCancelled; WritingComplete.
 * A write ends with exactly one of WritingComplete, WritingCancelled, WriteError and
 * TrackFileError. FileError: 0 open (the file is gone), 1 read (the file changed since it was
 * added, or cannot be read to its end), 4 buffering (decoding into the cache failed).
 * WriteError: 0 and 1 buffers, 3 device error with DeviceError and member 23 telling which,
 * 4 no tracks laid out, 5 a layout the writer refuses (member 23 says why). DeviceError is
 * the system's error number for the image writer (28: no room left, also when the tracks are
 * longer than the disc holds) and libburn's message code for drives. */
#ifndef CDWRITER_H
#define CDWRITER_H

#include <stdint.h>

#if defined(CDWRITER_BUILDING)
#define CDWRITER_API __attribute__((visibility("default")))
#else
#define CDWRITER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct CDWriter CDWriter;

/* Value types, numbered as the component system numbers them. */
enum CDWriterType {
  CDW_EMPTY = 0,
  CDW_I2 = 2,   /* 16-bit integer in number */
  CDW_I4 = 3,   /* 32-bit integer in number */
  CDW_TEXT = 8, /* text */
  CDW_BOOL = 11 /* number: -1 true, 0 false */
};

typedef struct CDWriterValue {
  int32_t type;
  int32_t number;
  const char* text;
} CDWriterValue;

enum CDWriterKind { CDW_METHOD = 1, CDW_GET = 2, CDW_PUT = 4 };

/* Invoke results. */
enum CDWriterResult {
  CDW_OK = 0,
  CDW_E_MEMBER = -1,  /* no member of that number, or not of that kind */
  CDW_E_COUNT = -2,   /* wrong number of arguments */
  CDW_E_TYPE = -3,    /* an argument of the wrong type */
  CDW_E_RANGE = -4,   /* an argument out of range (a writer index, a gap) */
  CDW_E_ARGUMENT = -5 /* a null control, argument list or result */
};

typedef void (*CDWriterEventProc)(void* context, const char* name, const CDWriterValue* args, int32_t count);

/* A new control with the writers found now; NULL when out of memory. */
CDWRITER_API CDWriter* CDWriterCreate(void);
/* Cancels a running write, waits for it to stop and frees the control. Events still queued
 * are dropped. Safe to call from inside an event handler of the same control. */
CDWRITER_API void CDWriterDestroy(CDWriter* writer);
/* For CDW_PUT the new value is the last argument. result may be NULL when not wanted; it is
 * CDW_EMPTY for members without a value. By-reference arguments may be updated in place. */
CDWRITER_API int32_t CDWriterInvoke(CDWriter* writer, int32_t member, int32_t kind, CDWriterValue* args,
                                    int32_t count, CDWriterValue* result);
/* One handler per control; NULL disconnects. */
CDWRITER_API void CDWriterConnect(CDWriter* writer, CDWriterEventProc handler, void* context);

#ifdef __cplusplus
}
#endif

#endif
