#include "cMP3Info.h"

#include "convert/core/decoder_library.h"
#include "platform/rounding.h"
#include "platform/runtime_error.h"
#include "platform/stream_length.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

// The names exactly as the program has always shown them.
const QStringList& genres() {
  static const QStringList names =
      QStringLiteral(
          "Blues|Classic Rock|Country|Dance|Disco|Funk|Grunge|"
          "Hip-Hop|Jazz|Metal|New Age|Oldies|Other|Pop|R&B|Rap|Reggae|Rock|Techno|"
          "Industrial|Alternative|Ska|Death Metal|Pranks|Soundtrack|Euro-Techno|"
          "Ambient|Trip Hop|Vocal|Jazz+Funk|Fusion|Trance|Classical|Instrumental|Acid|"
          "House|Game|Sound Clip|Gospel|Noise|Alt. Rock|Bass|Soul|Punk|Space|Meditative|"
          "Instrumental Pop|Instrumental Rock|Ethnic|Gothic|Darkwave|Techno-Industrial|Electronic|"
          "Pop-Folk|Eurodance|Dream|Southern Rock|Comedy|Cult|Gangsta Rap|Top 40|Christian Rap|"
          "Pop/Punk|Jungle|Native American|Cabaret|New Wave|Phychedelic|Rave|Showtunes|Trailer|"
          "Lo-Fi|Tribal|Acid Punk|Acid Jazz|Polka|Retro|Musical|Rock & Roll|Hard Rock|Folk|"
          "Folk/Rock|National Folk|Swing|Fast-Fusion|Bebob|Latin|Revival|Celtic|Blue Grass|"
          "Avantegarde|Gothic Rock|Progressive Rock|Psychedelic Rock|Symphonic Rock|Slow Rock|"
          "Big Band|Chorus|Easy Listening|Acoustic|Humour|Speech|Chanson|Opera|Chamber Music|"
          "Sonata|Symphony|Booty Bass|Primus|Porn Groove|Satire|Slow Jam|Club|Tango|Samba|Folklore|"
          "Ballad|power Ballad|Rhythmic Soul|Freestyle|Duet|Punk Rock|Drum Solo|A Capella|Euro-House|"
          "Dance Hall|Goa|Drum & Bass|Club-House|Hardcore|Terror|indie|Brit Pop|Negerpunk|Polsk Punk|"
          "Beat|Christian Gangsta Rap|Heavy Metal|Black Metal|Crossover|Comteporary Christian|"
          "Christian Rock|Merengue|Salsa|Trash Metal|Anime|JPop|Synth Pop")
          .split(QLatin1Char('|'));
  return names;
}

constexpr int kGenreOffset = 127;
constexpr std::int32_t kLayerI = 3;

// The fields of a four-byte frame header that matter for finding frames.
struct FrameFields {
  int version = 0;  // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
  int layer = 0;    // 3 Layer I, 2 Layer II, 1 Layer III, 0 reserved
  int bitrateIndex = 0;
  int rateIndex = 0;
  int padding = 0;

  explicit FrameFields(const unsigned char* h)
      : version((h[1] >> 3) & 3),
        layer((h[1] >> 1) & 3),
        bitrateIndex(h[2] >> 4),
        rateIndex((h[2] >> 2) & 3),
        padding((h[2] >> 1) & 1) {}

  // An 11-bit sync and no reserved or forbidden value.
  static bool Valid(const unsigned char* h) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    const FrameFields f(h);
    return f.version != 1 && f.layer != 0 && f.bitrateIndex != 15 && f.rateIndex != 3;
  }
  bool SameStream(const FrameFields& o) const {
    return version == o.version && layer == o.layer && rateIndex == o.rateIndex;
  }
  int SampleRate() const {
    static constexpr int base[3] = {44100, 48000, 32000};
    return base[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
  }
  // Bytes from this header to the next; 0 for free-format frames, whose length is unknown.
  int Length() const {
    const int kbps = cMP3Info::BitrateLookup(version == 3 ? 1 : 0, layer, bitrateIndex);
    if (kbps == 0) return 0;
    const int rate = SampleRate();
    if (layer == kLayerI) return (12 * kbps * 1000 / rate + padding) * 4;
    const int perSlot = (layer == 1 && version != 3) ? 72 : 144;
    return perSlot * kbps * 1000 / rate + padding;
  }
};

// Reads a file through a window that moves forward as the search goes on.
class Window {
 public:
  explicit Window(QFile& file) : file_(file), size_(file.size()) {}
  qint64 size() const { return size_; }
  // The bytes [pos, pos + n), or null when the file ends before.
  const unsigned char* at(qint64 pos, qint64 n) {
    if (pos < 0 || pos + n > size_) return nullptr;
    if (pos < base_ || pos + n > base_ + buffer_.size()) {
      if (!file_.seek(pos)) return nullptr;
      buffer_ = file_.read(std::max<qint64>(n, 1 << 16));
      base_ = pos;
      if (buffer_.size() < n) return nullptr;
    }
    return reinterpret_cast<const unsigned char*>(buffer_.constData()) + (pos - base_);
  }

 private:
  QFile& file_;
  qint64 size_;
  qint64 base_ = 0;
  QByteArray buffer_;
};

// Where the audio begins: after any ID3v2 tags at the start (header, body, optional footer).
qint64 SkipId3v2(Window& w) {
  qint64 pos = 0;
  while (const unsigned char* h = w.at(pos, 10)) {
    if (std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF ||
        ((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0)
      break;
    const qint64 body = (qint64{h[6]} << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
    pos += 10 + body + ((h[5] & 0x10) ? 10 : 0);
  }
  return pos;
}

}  // namespace

std::int16_t cMP3Info::BitrateLookup(int versionBit, int layerCode, int bitrateIndex) {
  static constexpr std::int16_t table[5][14] = {
      {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
      {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
      {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
      {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
      {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
  };
  if (bitrateIndex == 0) return 0;
  if (bitrateIndex == 15) return 1;
  if (bitrateIndex < 0 || bitrateIndex > 15 || layerCode < 1 || layerCode > 3) return 0;
  const int row = versionBit ? 3 - layerCode : (layerCode == kLayerI ? 3 : 4);
  return table[row][bitrateIndex - 1];
}

QString cMP3Info::GenreName(int number) {
  return number >= 0 && number < kGenreCount ? genres()[number] : QString();
}

QString cMP3Info::Genre() const {
  return tagPresent_ ? GenreName(static_cast<unsigned char>(tag_[kGenreOffset])) : QString();
}

void cMP3Info::setGenre(const QString& name) {
  bool numeric = false;
  name.trimmed().toDouble(&numeric);
  // A number looks up a name, which is no genre number.
  if (numeric) sv::Raise(sv::errTypeMismatch);
  const qsizetype index = genres().indexOf(name);
  tag_[kGenreOffset] = static_cast<char>(index < 0 ? 255 : index);
}

QString cMP3Info::field(int offset, int width) const {
  if (!tagPresent_) return {};
  const char* begin = tag_.data() + offset;
  // Other taggers pad with zeros; the text ends at the first one.
  const char* end = std::find(begin, begin + width, '\0');
  return QString::fromLatin1(begin, end - begin).trimmed();
}

void cMP3Info::setField(int offset, int width, const QString& value) {
  const QByteArray bytes = value.toLatin1().left(width);
  std::memset(tag_.data() + offset, ' ', static_cast<std::size_t>(width));
  std::memcpy(tag_.data() + offset, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void cMP3Info::clearTag() {
  tag_.fill(' ');
  tag_[kGenreOffset] = 0;
}

std::int32_t cMP3Info::FileLength() {
  const QFileInfo info(fileName_);
  const qint64 size = info.exists() ? info.size() : 0;
  fileLength_ = static_cast<std::int32_t>(std::min<qint64>(size, std::numeric_limits<std::int32_t>::max()));
  return fileLength_;
}

double cMP3Info::TotalTime() {
  namespace dec = sv::svdecode;
  totalTime_ = 0.0;
  if (fileName_.isEmpty() || !QFileInfo(fileName_).isFile()) return totalTime_;
  try {
    if (dec::CreateDecoder() != 0) return totalTime_;
    dec::RegisterInputModule();
    if (dec::Mp3InputOpen(QFile::encodeName(fileName_).constData()) == 0) {
      totalTime_ = sv::StreamSeconds(sv::DecoderClock{dec::SeekToPosition, dec::SeekToTime,
                                                      dec::GetCurrentTimeSecond, dec::GetCurrentPosition});
      dec::Mp3InputClose();
    }
    dec::DeleteDecoder();
  } catch (const sv::RuntimeError&) {
    // Without the decoder library the time is unknown.
    totalTime_ = 0.0;
  }
  return totalTime_;
}

QString cMP3Info::TotalTimeInCode() { return FormatTimeCode(TotalTime()); }

QString cMP3Info::FormatTimeCode(double seconds) {
  const std::int64_t s = static_cast<std::int64_t>(sv::Round(seconds));
  const std::int64_t h = s / 3600, m = (s % 3600) / 60, sec = s % 60;
  auto two = [](std::int64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
  return (h >= 1 ? two(h) + QLatin1Char(':') : QString()) + two(m) + QLatin1Char(':') + two(sec);
}

QVariant cMP3Info::ReadTag() {
  clearTag();
  QFile file(fileName_);
  if (fileName_.isEmpty() || !file.exists()) {
    tagPresent_ = false;
    return {};
  }
  if (!file.open(QIODevice::ReadOnly) || file.size() < kTagBytes || !file.seek(file.size() - kTagBytes))
    return {};
  std::array<char, kTagBytes> record{};
  if (file.read(record.data(), kTagBytes) != kTagBytes) return {};
  tag_ = record;
  tagPresent_ = std::memcmp(tag_.data(), "TAG", 3) == 0;
  return {};
}

bool cMP3Info::WriteTag(const QString& strMP3FileName) {
  std::memcpy(tag_.data(), "TAG", 3);
  const QByteArray name = QFile::encodeName(strMP3FileName);
  auto fail = [](int error) {
    sv::Raise(error == ENOENT || error == ENOTDIR                   ? sv::errFileNotFound
              : error == EACCES || error == EPERM || error == EROFS ? sv::errPermissionDenied
              : error == ENOSPC || error == EDQUOT                  ? sv::errDiskFull
                                                                    : sv::errDeviceIO);
  };
  const int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
  if (fd < 0) fail(errno);
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    fail(e);
  }
  // Only a tag already on the file is overwritten; anything else is audio and stays.
  std::array<char, kTagBytes> previous{};
  const off_t size = st.st_size;
  const bool overwrite = size >= kTagBytes &&
                         pread(fd, previous.data(), kTagBytes, size - kTagBytes) == kTagBytes &&
                         std::memcmp(previous.data(), "TAG", 3) == 0;
  const off_t at = overwrite ? size - kTagBytes : size;
  const bool written = pwrite(fd, tag_.data(), kTagBytes, at) == kTagBytes && fsync(fd) == 0;
  const int error = errno;
  if (!written) {
    // Back to the bytes and the length the file had.
    if (overwrite)
      (void)!pwrite(fd, previous.data(), kTagBytes, at);
    else
      (void)!ftruncate(fd, size);
  }
  const bool closed = ::close(fd) == 0;
  if (!written) fail(error);
  if (!closed) fail(errno);
  tagPresent_ = true;
  return true;
}

void cMP3Info::decodeHeader(const unsigned char* b) {
  const int b1 = b[1], b2 = b[2], b3 = b[3];
  const int version = (b1 >> 3) & 3;
  static const char* const versions[] = {"MPEG 2.5", "Not defined", "MPEG 2.0", "MPEG 1.0"};
  version_ = QString::fromLatin1(versions[version]);
  static const char* const layers[] = {"Not defined", "Layer 3", "Layer 2", "Layer 1"};
  layer_ = QString::fromLatin1(layers[(b1 >> 1) & 3]);
  protectionBitSet_ = (b1 & 1) != 0;
  if (!protectionBitSet_)
    protectionChecksum_ =
        QString::number(b[4], 16).toUpper() + QLatin1Char(' ') + QString::number(b[5], 16).toUpper();
  bitrate_ = BitrateLookup((b1 >> 3) & 1, (b1 >> 1) & 3, b2 >> 4);
  static constexpr int multiplier[] = {1, 0, 2, 4};
  static constexpr int base[] = {11025, 12000, 8000};
  const int rateIndex = (b2 >> 2) & 3;
  if (rateIndex < 3) frequency_ = multiplier[version] * base[rateIndex];
  if (b2 & 2) padded_ = true;
  if (b2 & 1) privateBitSet_ = true;
  static const char* const modes[] = {"Stereo", "Joint stereo", "Dual channel", "Mono"};
  mode_ = QString::fromLatin1(modes[b3 >> 6]);
  modeExt_ = static_cast<std::int16_t>((b3 >> 4) & 3);
  if (b3 & 8) copyrighted_ = true;
  if (b3 & 4) original_ = true;
  static const char* const emphases[] = {"None", "50/15 ms", "Not defined", "CCITT j. 17"};
  emphasis_ = QString::fromLatin1(emphases[b3 & 3]);
}

void cMP3Info::ReadMP3Header() {
  QFile file(fileName_);
  if (fileName_.isEmpty() || !file.exists() || !file.open(QIODevice::ReadOnly)) {
    validHeader_ = false;
    return;
  }
  Window w(file);
  for (qint64 p = SkipId3v2(w); const unsigned char* h = w.at(p, 4); ++p) {
    if (!FrameFields::Valid(h)) continue;
    const FrameFields fields(h);
    // Where the next frame lies within the file it must be there, or the tag.
    if (const int length = fields.Length(); length > 0) {
      if (const unsigned char* next = w.at(p + length, 4)) {
        const bool tag = std::memcmp(next, "TAG", 3) == 0;
        if (!tag && !(FrameFields::Valid(next) && FrameFields(next).SameStream(fields))) continue;
      }
    }
    // The header and the two bytes after it (zeros past the end of the file).
    unsigned char bytes[6] = {};
    for (int i = 0; i < 6; ++i)
      if (const unsigned char* b = w.at(p + i, 1)) bytes[i] = *b;
    validHeader_ = true;
    decodeHeader(bytes);
    return;
  }
  validHeader_ = false;
}
