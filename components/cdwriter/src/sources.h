// The files that become tracks: what a WAV holds, the MP3's ID3v1 tag, a file's identity,
// and the reader that turns a track's PCM into CD blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cdw {

// Enough of a file's identity to notice that it was replaced or changed.
struct FileStamp {
  std::uint64_t device = 0, inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;
  bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(const std::string& path);

// 16-bit PCM at 44.1 kHz: where it lies in its file.
struct PcmRegion {
  std::string path;
  std::int64_t offset = 0;
  std::int64_t bytes = 0;  // whole sample frames
  int channels = 2;
  std::int64_t frames() const { return bytes / (2 * channels); }
};

// The PCM of a WAV file a CD can carry without change; nullopt with the reason otherwise.
std::optional<PcmRegion> ReadWavRegion(const std::string& path, std::string* why);

// Title and performer, as CD-Text carries them (ISO-8859-1 bytes).
struct CdText {
  std::string title, performer;
  bool empty() const { return title.empty() && performer.empty(); }
};

struct Id3v1 {
  std::string title, artist, album;  // cleaned: no quotes, no control characters, trimmed
};
std::optional<Id3v1> ReadId3v1(const std::string& path);

// A field of a tag as a CUE sheet can quote it.
std::string CleanText(const std::string& raw);

// CD-Text bytes as UTF-8, for the log.
std::string Latin1ToUtf8(const std::string& latin1);

// Disc CD-Text: the album and the artist every tagged track shares.
CdText DiscText(const std::vector<std::optional<Id3v1>>& tags);

// FileError codes of the TrackFileError event.
enum FileErrorCode : std::int16_t {
  kErrorOpening = 0,
  kErrorReading = 1,
  kErrorWriting = 2,
  kErrorBuffering = 4
};

struct FileError {
  std::int16_t code = kErrorOpening;
  std::string name;
};

// Reads one track as CD blocks: 16-bit little-endian stereo (mono is doubled), silence
// after the audio up to the track's length in blocks, a running CRC32 of what it gave.
class TrackReader {
 public:
  // `expected` is the file's identity when the track was added; `name` the file reported in
  // a FileError; `readError` the code of a failure after opening (a cache's is buffering).
  TrackReader(PcmRegion region, std::int64_t blocks, std::optional<FileStamp> expected, std::string name,
              std::int16_t readError = kErrorReading);
  ~TrackReader();
  TrackReader(const TrackReader&) = delete;
  TrackReader& operator=(const TrackReader&) = delete;

  // False with error() set when the file is gone or not the one that was added.
  bool Open();
  // The next `count` blocks (no more than remain); false with error() set on a failure.
  bool Read(std::uint8_t* out, int count);

  std::int64_t blocks() const { return blocks_; }
  std::int64_t blocksRead() const { return done_; }
  std::uint32_t crc() const { return crc_; }
  const FileError& error() const { return error_; }
  bool failed() const { return failed_; }

 private:
  bool fail(std::int16_t code);

  PcmRegion region_;
  std::int64_t blocks_;
  std::optional<FileStamp> expected_;
  FileError error_;
  std::int16_t readError_;
  bool failed_ = false;
  int fd_ = -1;
  std::int64_t done_ = 0;       // blocks given
  std::int64_t bytesLeft_ = 0;  // of the region
  std::int64_t position_ = 0;   // in the file
  std::uint32_t crc_ = 0;
  std::vector<std::uint8_t> mono_;
};

}  // namespace cdw
