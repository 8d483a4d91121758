#pragma once
// A media-control command-string interpreter: devices are opened by type and kept by
// alias; commands are text ("open x type cdaudio alias cd wait", "status cd mode"),
// answers are text ("playing", "true", "01:02:33:00", milliseconds).
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace sv::mci {

// Error numbers of the interface.
enum Error : int {
  kNoError = 0,
  kInvalidDeviceId = 257,
  kUnrecognizedKeyword = 259,
  kUnrecognizedCommand = 261,
  kHardware = 262,
  kInvalidDeviceName = 263,
  kOutOfMemory = 264,
  kDeviceOpen = 265,
  kCannotLoadDriver = 266,
  kMissingCommandString = 267,
  kParamOverflow = 268,
  kMissingStringArgument = 269,
  kBadInteger = 270,
  kDriverInternal = 272,
  kMissingParameter = 273,
  kUnsupportedFunction = 274,
  kFileNotFound = 275,
  kDeviceNotReady = 276,
  kInternal = 277,
  kCannotUseAll = 279,
  kExtensionNotFound = 281,
  kOutOfRange = 282,
  kFlagsNotCompatible = 284,
  kDeviceTypeRequired = 287,
  kDuplicateAlias = 289,
  kBadConstant = 290,
  kMustUseShareable = 291,
  kMissingDeviceName = 292,
  kBadTimeFormat = 293,
  kNoClosingQuote = 294,
  kDuplicateFlags = 295,
  kInvalidFile = 296,
  kNoElementAllowed = 301,
  kExtraCharacters = 305,
  kNonapplicableFunction = 302,
  kDeviceNotInstalled = 306,
  kNoInteger = 312,
  kFileRead = 348,
};

// One parsed command as a device receives it.
struct Command {
  QString text;      // the whole command string
  QString verb;      // lower case: "play", "status", "set", …
  QString device;    // the alias or device name as written
  QStringList args;  // the words after the device name, quotes removed, "wait"/"notify" taken out
  bool wait = false;
  bool notify = false;

  // Case-insensitive look-ups over args.
  bool has(const QString& word) const;
  // The word after `keyword` ("to" in "seek cd to 3"), or empty.
  QString valueAfter(const QString& keyword) const;
  // args joined with single blanks, lower case ("length track 3").
  QString joinedLower() const;
};

// An open device. Implementations answer every command but open and close; the reply
// is the text a status query gives.
class Device {
 public:
  virtual ~Device();
  virtual int execute(const Command& command, QString& reply) = 0;
};

// Everything a device type learns at open time.
struct OpenRequest {
  QString type;     // lower case device type ("cdaudio")
  QString element;  // file or drive named in the command, quotes removed; may be empty
  QString alias;
  bool shareable = false;
  QStringList args;  // the remaining words of the open command
};

// Creates a device of one type; on failure returns null and sets error to an MCI error.
using DeviceFactory = std::function<std::unique_ptr<Device>(const OpenRequest& request, int& error)>;

// Device types are plugged in by the parts of the program that provide them; a type
// nobody registered fails to open like a device with no driver installed.
void RegisterDeviceType(const QString& type, DeviceFactory factory);
void UnregisterDeviceType(const QString& type);
bool IsDeviceTypeRegistered(const QString& type);

// Device type for a file extension when an open names a file and no type: wav →
// waveaudio, mp3/mp2/mp1/mpa → mpegvideo; empty when unknown.
QString DeviceTypeForExtension(const QString& extension);

// A file name written so that the interpreter reads it back as one word, whatever it holds:
// unchanged without blanks or quotes, otherwise in double quotes with its own quotes doubled.
QString QuoteName(const QString& name);

// Reports whether an alias is open.
bool IsOpen(const QString& alias);

// Runs one command string; the reply goes to reply. Used by mciSendString.
int Send(const QString& command, QString& reply);

// Time texts that devices answer with.
QString FormatTmsf(int track, int minutes, int seconds, int frames);  // "01:02:03:04"
QString FormatMsf(int minutes, int seconds, int frames);              // "02:03:04"

// Time formats a device may be set to ("set x time format tmsf").
enum class TimeFormat { Milliseconds, Msf, Tmsf, Frames, Samples, Bytes };
// Accepts the words the interface uses: "milliseconds"/"ms", "msf", "tmsf", "frames",
// "samples", "bytes"; false for anything else (the device answers kBadTimeFormat).
bool ParseTimeFormat(const QString& word, TimeFormat& format);
// The "time format" words of a "set" command's arguments ("time format tmsf"): the format word.
QString TimeFormatWord(const QStringList& setArgs);

// CD time: 75 frames a second.
inline constexpr int kCdFramesPerSecond = 75;
// A position in milliseconds as mm:ss:ff (frames rounded down).
QString MillisecondsToMsf(qint64 milliseconds);
// A position within a track as tt:mm:ss:ff.
QString MillisecondsToTmsf(int track, qint64 millisecondsIntoTrack);
// "mm:ss:ff", "mm:ss", "mm" → milliseconds; -1 when the text is not such a time.
qint64 MsfToMilliseconds(const QString& text);

}  // namespace sv::mci

namespace sv {

// Sends one command string; the reply (if any) goes to returnText. Returns 0 or an MCI error.
int mciSendString(const QString& command, QString* returnText = nullptr);
// As above with a reply buffer of bufferLength characters including the terminating zero:
// a longer reply fails with 268 and leaves returnText empty.
int mciSendString(const QString& command, QString* returnText, int bufferLength);
// The readable text for an error number; false for numbers that are not MCI errors.
bool mciGetErrorString(int code, QString& text);
QString mciGetErrorString(int code);

}  // namespace sv
