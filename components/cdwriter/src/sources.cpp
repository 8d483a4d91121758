#include "sources.h"

#include "red_book.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace cdw {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

FileStamp stampOf(const struct stat& st) {
  FileStamp s;
  s.device = st.st_dev;
  s.inode = st.st_ino;
  s.size = st.st_size;
  s.modifiedNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

bool readAt(int fd, std::int64_t offset, void* out, std::size_t n) {
  auto* p = static_cast<std::uint8_t*>(out);
  while (n > 0) {
    const ssize_t got = pread(fd, p, n, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= static_cast<std::size_t>(got);
    offset += got;
  }
  return true;
}

struct Fd {
  int fd;
  explicit Fd(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return stampOf(st);
}

std::optional<PcmRegion> ReadWavRegion(const std::string& path, std::string* why) {
  auto refuse = [&](const std::string& reason) -> std::optional<PcmRegion> {
    if (why) *why = reason;
    return std::nullopt;
  };
  Fd file(path);
  struct stat st {};
  if (file.fd < 0 || fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return refuse("cannot be opened");
  const std::int64_t size = st.st_size;
  std::uint8_t riff[12];
  if (!readAt(file.fd, 0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0)
    return refuse("not a WAV file");

  bool haveFormat = false;
  int format = 0, channels = 0, bits = 0;
  std::uint32_t rate = 0;
  std::int64_t at = 12;
  while (at + 8 <= size) {
    std::uint8_t head[8];
    if (!readAt(file.fd, at, head, sizeof head)) break;
    const std::int64_t length = le32(head + 4);
    const std::int64_t body = at + 8;
    if (std::memcmp(head, "fmt ", 4) == 0) {
      std::uint8_t fmt[40] = {};
      const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length, sizeof fmt));
      if (length < 16 || !readAt(file.fd, body, fmt, want)) return refuse("a damaged format chunk");
      format = le16(fmt);
      channels = le16(fmt + 2);
      rate = le32(fmt + 4);
      bits = le16(fmt + 14);
      // WAVE_FORMAT_EXTENSIBLE: the sub-format's first two bytes give the real format.
      if (format == 0xFFFE && length >= 26) format = le16(fmt + 24);
      haveFormat = true;
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (!haveFormat) return refuse("no format before its data");
      if (format != 1) return refuse("compressed audio (format " + std::to_string(format) + ")");
      if (rate != kSampleRate)
        return refuse("a sample rate of " + std::to_string(rate) + " Hz; a CD takes 44100 Hz");
      if (bits != 16) return refuse(std::to_string(bits) + "-bit samples; a CD takes 16-bit");
      if (channels != 1 && channels != 2) return refuse(std::to_string(channels) + " channels");
      // Writers that stream leave the length open; the file's end tells it then.
      std::int64_t bytes = length;
      if (length == 0xFFFFFFFF || body + length > size) bytes = size - body;
      PcmRegion region;
      region.path = path;
      region.offset = body;
      region.channels = channels;
      region.bytes = bytes - bytes % (2 * channels);
      return region;
    }
    at = body + length + (length & 1);
  }
  return refuse(haveFormat ? "no audio data" : "not a WAV file");
}

std::string CleanText(const std::string& raw) {
  std::string out;
  for (char c : raw) {
    if (c == '\0') break;
    const auto u = static_cast<unsigned char>(c);
    if (c == '"')
      out += '\'';
    else if (u < 0x20 || u == 0x7F)
      out += ' ';
    else
      out += c;
  }
  const auto first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::optional<Id3v1> ReadId3v1(const std::string& path) {
  Fd file(path);
  struct stat st {};
  if (file.fd < 0 || fstat(file.fd, &st) != 0 || st.st_size < 128) return std::nullopt;
  char tag[128];
  if (!readAt(file.fd, st.st_size - 128, tag, sizeof tag) || std::memcmp(tag, "TAG", 3) != 0)
    return std::nullopt;
  Id3v1 out;
  out.title = CleanText(std::string(tag + 3, 30));
  out.artist = CleanText(std::string(tag + 33, 30));
  out.album = CleanText(std::string(tag + 63, 30));
  return out;
}

std::string Latin1ToUtf8(const std::string& latin1) {
  std::string out;
  for (char c : latin1) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | u >> 6);
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

CdText DiscText(const std::vector<std::optional<Id3v1>>& tags) {
  std::optional<std::string> album, artist;
  bool sameAlbum = true, sameArtist = true;
  for (const auto& tag : tags) {
    if (!tag) continue;
    if (!album) album = tag->album;
    if (!artist) artist = tag->artist;
    sameAlbum = sameAlbum && *album == tag->album;
    sameArtist = sameArtist && *artist == tag->artist;
  }
  CdText disc;
  if (album && sameAlbum) disc.title = *album;
  if (artist && sameArtist) disc.performer = *artist;
  return disc;
}

TrackReader::TrackReader(PcmRegion region, std::int64_t blocks, std::optional<FileStamp> expected,
                         std::string name, std::int16_t readError)
    : region_(std::move(region)), blocks_(blocks), expected_(expected), readError_(readError) {
  error_.name = std::move(name);
  crc_ = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
}

TrackReader::~TrackReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool TrackReader::fail(std::int16_t code) {
  error_.code = code;
  failed_ = true;
  return false;
}

bool TrackReader::Open() {
  fd_ = ::open(region_.path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd_ < 0 || fstat(fd_, &st) != 0)
    return fail(readError_ == kErrorBuffering ? kErrorBuffering : kErrorOpening);
  if (expected_ && !(stampOf(st) == *expected_)) return fail(readError_);
  posix_fadvise(fd_, region_.offset, region_.bytes, POSIX_FADV_SEQUENTIAL);
  bytesLeft_ = region_.bytes;
  position_ = region_.offset;
  return true;
}

bool TrackReader::Read(std::uint8_t* out, int count) {
  count = static_cast<int>(std::min<std::int64_t>(count, blocks_ - done_));
  if (count <= 0) return true;
  const std::size_t want = static_cast<std::size_t>(count) * kBlockBytes;
  // Bytes of the file that go into these blocks; the rest is silence.
  const std::int64_t fileBytes =
      std::min<std::int64_t>(bytesLeft_, std::int64_t(want) / 2 * region_.channels);
  std::uint8_t* target = out;
  if (region_.channels == 1) {
    mono_.resize(static_cast<std::size_t>(fileBytes));
    target = mono_.data();
  }
  if (fileBytes > 0 && !readAt(fd_, position_, target, static_cast<std::size_t>(fileBytes)))
    return fail(readError_);
  position_ += fileBytes;
  bytesLeft_ -= fileBytes;
  std::size_t produced = static_cast<std::size_t>(fileBytes);
  if (region_.channels == 1) {
    const std::size_t samples = static_cast<std::size_t>(fileBytes) / 2;
    for (std::size_t i = 0; i < samples; ++i) {
      out[4 * i] = out[4 * i + 2] = mono_[2 * i];
      out[4 * i + 1] = out[4 * i + 3] = mono_[2 * i + 1];
    }
    produced = samples * 4;
  }
  std::memset(out + produced, 0, want - produced);
  crc_ = static_cast<std::uint32_t>(crc32(crc_, out, static_cast<uInt>(want)));
  done_ += count;
  return true;
}

}  // namespace cdw
