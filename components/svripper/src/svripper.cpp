// CD drives and disc images behind the drive-list, handle, TOC and read calls.
#include "svripper.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "image_layout.h"

static_assert(sizeof(SVR_CDREC) == 121, "drive entry");
static_assert(sizeof(SVR_CDLIST) == 970, "drive list");
static_assert(sizeof(SVR_GETCDHAND) == 12, "handle request");
static_assert(sizeof(SVR_TOC) == 804, "TOC");
static_assert(sizeof(SVR_TRACKBUF) == 24, "read header");

namespace fs = std::filesystem;

namespace {

thread_local int32_t lastError = SVR_OK;

int32_t fail(int32_t code) {
  lastError = code;
  return 0;
}

int32_t succeed(int32_t result = 1) {
  lastError = SVR_OK;
  return result;
}

// libcdio reports odd image layouts on stderr; a library keeps quiet.
void quietLog(cdio_log_level_t, const char*) {}

void initLibcdio() {
  static std::once_flag once;
  std::call_once(once, [] {
    cdio_init();
    cdio_log_set_handler(quietLog);
  });
}

// Copies text into a zero-padded field, cut at a UTF-8 character boundary.
template <std::size_t N>
void putText(char (&field)[N], const std::string& text) {
  std::size_t n = std::min(text.size(), N - 1);
  while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), n);
}

std::string trimmed(const char* s) {
  std::string t = s ? s : "";
  const auto b = t.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return t.substr(b, t.find_last_not_of(' ') - b + 1);
}

int32_t copyOut(const std::string& text, char* out, int32_t size) {
  const auto needed = static_cast<int32_t>(text.size());
  if (!out || size < needed + 1) return needed + 1;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return needed;
}

// Whether bytes form valid UTF-8.
bool validUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || s.size() - i <= static_cast<std::size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return false;
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

// libcdio takes a sheet's texts for Latin-1; today's sheets are mostly UTF-8, which it then
// encodes a second time. Undo that where the bytes were UTF-8 to begin with.
std::string sheetText(const std::string& utf8) {
  std::string bytes;
  bool high = false;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      bytes += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
      high = true;
    } else {
      return utf8;  // beyond Latin-1: it was not encoded twice
    }
  }
  return high && validUtf8(bytes) ? bytes : utf8;
}

struct DriveFacts {
  uint16_t number = 0;  // our ha:tgt numbering
  bool image = false;
  std::string vendor, product, revision;
};

fs::path imageFolder() {
  if (const char* dir = std::getenv("SONVERA_DISC_DIR"); dir && *dir) return fs::path(dir);
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
    return fs::path(data) / "sonvera" / "discs";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "sonvera" / "discs";
}

// Drives keep their number for the life of the process, however the list changes.
class DriveRegistry {
 public:
  struct Entry {
    std::string path;
    DriveFacts facts;
  };

  std::vector<Entry> list() {
    std::vector<std::pair<std::string, bool>> found;
    if (char** devices = cdio_get_devices(DRIVER_DEVICE)) {
      std::vector<fs::path> seen;
      for (char** d = devices; *d; ++d) {
        std::error_code ec;
        fs::path real = fs::canonical(fs::path(*d), ec);
        if (ec) real = fs::path(*d);
        if (std::find(seen.begin(), seen.end(), real) != seen.end()) continue;
        seen.push_back(real);
        found.emplace_back(*d, false);
      }
      cdio_free_device_list(devices);
    }
    std::vector<std::string> images;
    std::error_code ec;
    const fs::path folder = imageFolder();
    fs::create_directories(folder, ec);
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      std::error_code fileEc;
      if (!entry.is_regular_file(fileEc)) continue;
      if (svripper::IsImageFileName(entry.path().filename().string()))
        images.push_back(entry.path().string());
    }
    std::sort(images.begin(), images.end());
    for (const auto& i : images) found.emplace_back(i, true);
    if (found.size() > SVR_MAX_DRIVES) found.resize(SVR_MAX_DRIVES);

    std::lock_guard lock(mutex_);
    std::vector<Entry> out;
    for (const auto& [path, image] : found) out.push_back({path, factsLocked(path, image)});
    return out;
  }

  bool find(uint16_t number, Entry& entry) {
    std::lock_guard lock(mutex_);
    for (const auto& [path, facts] : known_) {
      if (facts.number == number) {
        entry = {path, facts};
        return true;
      }
    }
    return false;
  }

 private:
  DriveFacts factsLocked(const std::string& path, bool image) {
    auto it = known_.find(path);
    if (it != known_.end()) return it->second;
    DriveFacts f;
    f.number = next_++;
    f.image = image;
    if (image) {
      f.vendor = "SONVERA";
      f.product = "DISC IMAGE";
      f.revision = "1.0";
    } else if (CdIo_t* cdio = cdio_open(path.c_str(), DRIVER_DEVICE)) {
      cdio_hwinfo_t hw{};
      if (cdio_get_hwinfo(cdio, &hw)) {
        f.vendor = trimmed(hw.psz_vendor);
        f.product = trimmed(hw.psz_model);
        f.revision = trimmed(hw.psz_revision);
      }
      cdio_destroy(cdio);
    }
    known_.emplace(path, f);
    return f;
  }

  std::mutex mutex_;
  std::map<std::string, DriveFacts> known_;
  uint16_t next_ = 0;
};

DriveRegistry& drives() {
  static DriveRegistry registry;
  return registry;
}

std::string idText(const std::string& path, const DriveFacts& f) {
  if (f.image) return "Disc image: " + fs::path(path).filename().string();
  std::string id;
  for (const std::string* part : {&f.vendor, &f.product, &f.revision}) {
    if (part->empty()) continue;
    if (!id.empty()) id += ' ';
    id += *part;
  }
  // Two drives of one model stay apart by their device.
  const std::string where = "(" + path + ")";
  if (id.empty()) return "CD drive " + where;
  if (id.size() + 1 + where.size() <= SVR_ID_LENGTH) id += " " + where;
  return id;
}

// The paranoia layer reports through a plain function: the read in progress on this
// thread notes what went wrong.
thread_local bool readSkipped = false;
void paranoiaCallback(long, paranoia_cb_mode_t mode) {
  if (mode == PARANOIA_CB_SKIP) readSkipped = true;
}

struct CdioCloser {
  void operator()(CdIo_t* p) const { cdio_destroy(p); }
};

struct Handle {
  std::mutex mutex;
  std::string path;
  bool image = false;
  std::unique_ptr<CdIo_t, CdioCloser> cdio;
  cdrom_drive_t* cdda = nullptr;
  cdrom_paranoia_t* paranoia = nullptr;
  bool msf = true;
  int readMode = SVR_READ_SECURE;
  int retries = 20;
  lsn_t cursor = -1;  // the next frame the paranoia stream gives without a seek
  std::vector<bool> bigEndian;

  // The disc's layout, read once per handle: reads check their range against it.
  struct Track {
    lsn_t start = 0;
    bool audio = true;
    bool bigEndian = false;
  };
  std::vector<Track> tracks;
  lsn_t leadout = 0;
  bool laidOut = false;
  bool layOut();

  ~Handle() { closeParanoia(); }

  void closeParanoia() {
    if (paranoia) cdio_paranoia_free(paranoia);
    if (cdda) cdio_cddap_close_no_free_cdio(cdda);
    paranoia = nullptr;
    cdda = nullptr;
    cursor = -1;
  }

  bool openParanoia() {
    if (paranoia) return true;
    cdda = cdio_cddap_identify_cdio(cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr);
    if (!cdda) return false;
    cdio_cddap_verbose_set(cdda, CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
    if (cdio_cddap_open(cdda) != 0) {
      closeParanoia();
      return false;
    }
    // An image's byte order is known from its sheet: never guess it from the audio.
    if (image) cdda->bigendianp = 0;
    paranoia = cdio_paranoia_init(cdda);
    if (!paranoia) {
      closeParanoia();
      return false;
    }
    cdio_paranoia_modeset(paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    return true;
  }

  bool trackIsBigEndian(track_t t) const { return t < bigEndian.size() && bigEndian[t]; }
};

class HandleTable {
 public:
  static constexpr int kSlots = 8;

  SVR_HCDROM add(std::shared_ptr<Handle> h) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < kSlots; ++i) {
      if (!slots_[static_cast<std::size_t>(i)]) {
        slots_[static_cast<std::size_t>(i)] = std::move(h);
        return static_cast<SVR_HCDROM>(i + 1);
      }
    }
    return 0;
  }
  std::shared_ptr<Handle> get(SVR_HCDROM id) {
    std::lock_guard lock(mutex_);
    if (id < 1 || id > kSlots) return nullptr;
    return slots_[static_cast<std::size_t>(id - 1)];
  }
  std::shared_ptr<Handle> take(SVR_HCDROM id) {
    std::lock_guard lock(mutex_);
    if (id < 1 || id > kSlots) return nullptr;
    return std::move(slots_[static_cast<std::size_t>(id - 1)]);
  }

 private:
  std::mutex mutex_;
  std::array<std::shared_ptr<Handle>, kSlots> slots_{};
};

HandleTable& handles() {
  static HandleTable table;
  return table;
}

struct DiscLayout {
  track_t first = 0, count = 0;
  lsn_t leadout = 0;
};

bool layout(CdIo_t* cdio, DiscLayout& d) {
  d.first = cdio_get_first_track_num(cdio);
  d.count = cdio_get_num_tracks(cdio);
  if (d.first == CDIO_INVALID_TRACK || d.count == CDIO_INVALID_TRACK || d.count == 0) return false;
  d.leadout = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
  return d.leadout != CDIO_INVALID_LSN;
}

}  // namespace

bool Handle::layOut() {
  if (laidOut) return true;
  DiscLayout d;
  if (!layout(cdio.get(), d)) return false;
  tracks.clear();
  for (track_t t = d.first; t < d.first + d.count; ++t)
    tracks.push_back({cdio_get_track_lsn(cdio.get(), t), cdio_get_track_format(cdio.get(), t) == TRACK_FORMAT_AUDIO,
                      image && trackIsBigEndian(t)});
  // Frames before the first track are its pregap.
  if (!tracks.empty()) tracks.front().start = 0;
  leadout = d.leadout;
  laidOut = true;
  return true;
}

namespace {

void putAddress(uint8_t (&a)[4], lsn_t lsn, bool msf) {
  uint32_t v = static_cast<uint32_t>(lsn);
  if (msf) {
    const uint32_t f = static_cast<uint32_t>(lsn + CDIO_PREGAP_SECTORS);
    v = ((f / (60 * 75)) << 16) | (((f / 75) % 60) << 8) | (f % 75);
  }
  a[0] = static_cast<uint8_t>(v >> 24);
  a[1] = static_cast<uint8_t>(v >> 16);
  a[2] = static_cast<uint8_t>(v >> 8);
  a[3] = static_cast<uint8_t>(v);
}

void swapBytes(uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i + 1 < n; i += 2) std::swap(p[i], p[i + 1]);
}

}  // namespace

extern "C" {

int32_t GetNumAdapters(void) {
  initLibcdio();
  return succeed(static_cast<int32_t>(drives().list().size()));
}

int32_t GetCDList(SVR_CDLIST* list) {
  initLibcdio();
  if (!list) return fail(SVR_E_BAD_BUFFER);
  std::memset(list, 0, sizeof *list);
  const auto entries = drives().list();
  list->max = SVR_MAX_DRIVES;
  list->num = static_cast<uint8_t>(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    SVR_CDREC& rec = list->cd[i];
    rec.ha = static_cast<uint8_t>(e.facts.number & 0xFF);
    rec.tgt = static_cast<uint8_t>(e.facts.number >> 8);
    rec.lun = 0;
    putText(rec.id, idText(e.path, e.facts));
    putText(rec.info.vendor, e.facts.vendor);
    putText(rec.info.product, e.facts.product);
    putText(rec.info.revision, e.facts.revision);
    putText(rec.info.vendorSpecific, e.path);
  }
  return succeed(static_cast<int32_t>(entries.size()));
}

SVR_HCDROM GetCDHandle(SVR_GETCDHAND* request) {
  initLibcdio();
  if (!request) return static_cast<SVR_HCDROM>(fail(SVR_E_BAD_REQUEST));
  if (request->size != sizeof(SVR_GETCDHAND) || request->ver != 1)
    return static_cast<SVR_HCDROM>(fail(SVR_E_BAD_VERSION));
  DriveRegistry::Entry entry;
  const auto number = static_cast<uint16_t>(request->ha | (request->tgt << 8));
  if (request->lun != 0 || !drives().find(number, entry))
    return static_cast<SVR_HCDROM>(fail(SVR_E_NOT_CDROM));

  auto h = std::make_shared<Handle>();
  h->path = entry.path;
  h->image = entry.facts.image;
  if (!h->image)
    h->cdio.reset(cdio_open(entry.path.c_str(), DRIVER_DEVICE));
  else if (svripper::IsCdrdaoFileName(entry.path))
    h->cdio.reset(svripper::OpenCdrdao(entry.path));
  else
    h->cdio.reset(cdio_open(entry.path.c_str(), DRIVER_BINCUE));
  // An image that is gone or unreadable is a drive without a disc.
  if (!h->cdio) return static_cast<SVR_HCDROM>(fail(SVR_E_MANAGER));
  if (h->image) h->bigEndian = svripper::BigEndianTracks(entry.path);
  const SVR_HCDROM id = handles().add(std::move(h));
  if (id == 0) return static_cast<SVR_HCDROM>(fail(SVR_E_NO_SLOTS));
  return static_cast<SVR_HCDROM>(succeed(id));
}

int32_t ModifyCDParms(SVR_HCDROM handle, int32_t parameter, int32_t value) {
  const auto h = handles().get(handle);
  if (!h) return fail(SVR_E_BAD_HANDLE);
  std::lock_guard lock(h->mutex);
  switch (parameter) {
    case SVR_CDP_MSF:
      h->msf = value != 0;
      return succeed();
    case SVR_CDP_READMODE:
      if (value != SVR_READ_SECURE && value != SVR_READ_FAST) return fail(SVR_E_MANAGER);
      h->readMode = value;
      return succeed();
    case SVR_CDP_RETRIES:
      if (value < 1) return fail(SVR_E_MANAGER);
      h->retries = value;
      return succeed();
    default:
      return fail(SVR_E_MANAGER);
  }
}

int32_t ReadTOC(SVR_HCDROM handle, SVR_TOC* toc) {
  const auto h = handles().get(handle);
  if (!h) return fail(SVR_E_BAD_HANDLE);
  if (!toc) return fail(SVR_E_BAD_BUFFER);
  std::lock_guard lock(h->mutex);
  std::memset(toc, 0, sizeof *toc);
  DiscLayout d;
  if (!layout(h->cdio.get(), d)) return fail(SVR_E_MANAGER);
  const int entries = std::min<int>(d.count, SVR_MAX_TOC_ENTRIES - 1);
  for (int i = 0; i <= entries; ++i) {
    SVR_TOCTRACK& e = toc->tracks[i];
    const bool leadout = i == entries;
    const track_t t = static_cast<track_t>(d.first + i);
    uint8_t control = 0;
    if (!leadout) {
      if (cdio_get_track_format(h->cdio.get(), t) != TRACK_FORMAT_AUDIO) control |= 0x04;
      if (cdio_get_track_copy_permit(h->cdio.get(), t) == CDIO_TRACK_FLAG_TRUE) control |= 0x02;
      if (cdio_get_track_preemphasis(h->cdio.get(), t) == CDIO_TRACK_FLAG_TRUE) control |= 0x01;
    }
    e.adrControl = static_cast<uint8_t>(0x10 | control);
    e.track = leadout ? 0xAA : t;
    putAddress(e.address, leadout ? d.leadout : cdio_get_track_lsn(h->cdio.get(), t), h->msf);
  }
  const int length = 2 + 8 * (entries + 1);
  toc->length[0] = static_cast<uint8_t>(length >> 8);
  toc->length[1] = static_cast<uint8_t>(length);
  toc->firstTrack = d.first;
  toc->lastTrack = static_cast<uint8_t>(d.first + entries - 1);
  return succeed();
}

int32_t ReadCDAudioLBA(SVR_HCDROM handle, SVR_TRACKBUF* buffer) {
  const auto h = handles().get(handle);
  if (!h) return fail(SVR_E_BAD_HANDLE);
  if (!buffer) return fail(SVR_E_BAD_BUFFER);
  buffer->len = 0;
  buffer->status = 0;
  const uint64_t frames = buffer->numFrames;
  if (frames * SVR_FRAME_BYTES > buffer->maxLen) return fail(SVR_E_BUFFER_SMALL);
  if (frames == 0) {
    buffer->status = 1;
    return succeed();
  }
  std::lock_guard lock(h->mutex);
  CdIo_t* cdio = h->cdio.get();
  const auto start = static_cast<int64_t>(buffer->startFrame);
  const int64_t end = start + static_cast<int64_t>(frames);
  if (!h->layOut() || buffer->startFrame > 0x7FFFFFFFu || end > h->leadout) return fail(SVR_E_MANAGER);
  // Audio only: a frame of a data track is no audio to give.
  for (std::size_t i = 0; i < h->tracks.size(); ++i) {
    const int64_t trackEnd = i + 1 < h->tracks.size() ? h->tracks[i + 1].start : h->leadout;
    if (!h->tracks[i].audio && h->tracks[i].start < end && start < trackEnd) return fail(SVR_E_MANAGER);
  }

  auto* out = reinterpret_cast<uint8_t*>(buffer + 1);
  if (h->readMode == SVR_READ_FAST) {
    if (cdio_read_audio_sectors(cdio, out, static_cast<lsn_t>(start), static_cast<uint32_t>(frames)) !=
        DRIVER_OP_SUCCESS)
      return fail(SVR_E_MANAGER);
  } else {
    if (!h->openParanoia()) return fail(SVR_E_MANAGER);
    if (h->cursor != start) {
      cdio_paranoia_seek(h->paranoia, static_cast<int32_t>(start), SEEK_SET);
      h->cursor = static_cast<lsn_t>(start);
    }
    readSkipped = false;
    for (uint64_t i = 0; i < frames; ++i) {
      const int16_t* samples = cdio_paranoia_read_limited(h->paranoia, paranoiaCallback, h->retries);
      if (!samples || readSkipped) {
        // The stream is lost: the next read seeks afresh.
        h->cursor = -1;
        return fail(SVR_E_MANAGER);
      }
      std::memcpy(out + i * SVR_FRAME_BYTES, samples, SVR_FRAME_BYTES);
      ++h->cursor;
    }
  }
  // Big-endian audio of an image, track by track.
  for (std::size_t i = 0; i < h->tracks.size(); ++i) {
    if (!h->tracks[i].bigEndian) continue;
    const int64_t trackEnd = i + 1 < h->tracks.size() ? h->tracks[i + 1].start : h->leadout;
    const int64_t from = std::max<int64_t>(start, h->tracks[i].start), to = std::min(end, trackEnd);
    if (from < to)
      swapBytes(out + (from - start) * SVR_FRAME_BYTES, static_cast<std::size_t>(to - from) * SVR_FRAME_BYTES);
  }
  buffer->len = static_cast<uint32_t>(frames * SVR_FRAME_BYTES);
  buffer->status = 1;
  return succeed();
}

int32_t GetAspiLibError(void) { return lastError; }

int32_t CloseCDHandle(SVR_HCDROM handle) {
  auto h = handles().take(handle);
  if (!h) return fail(SVR_E_BAD_HANDLE);
  // Waits for a read of another thread on the same handle to finish.
  std::lock_guard lock(h->mutex);
  return succeed();
}

int32_t GetCDDrivePath(uint8_t ha, uint8_t tgt, uint8_t lun, char* path, int32_t size) {
  DriveRegistry::Entry entry;
  if (lun != 0 || !drives().find(static_cast<uint16_t>(ha | (tgt << 8)), entry)) return fail(SVR_E_NOT_CDROM);
  lastError = SVR_OK;
  return copyOut(entry.path, path, size);
}

int32_t GetCDImageFolder(char* path, int32_t size) {
  const fs::path folder = imageFolder();
  std::error_code ec;
  fs::create_directories(folder, ec);
  lastError = SVR_OK;
  return copyOut(folder.string(), path, size);
}

int32_t ReadCDText(SVR_HCDROM handle, int32_t track, int32_t field, char* text, int32_t size) {
  const auto h = handles().get(handle);
  if (!h) return fail(SVR_E_BAD_HANDLE);
  if (field < 0 || field >= MAX_CDTEXT_FIELDS || track < 0 || track > 99) return fail(SVR_E_MANAGER);
  std::lock_guard lock(h->mutex);
  lastError = SVR_OK;
  cdtext_t* cdtext = cdio_get_cdtext(h->cdio.get());
  const char* value =
      cdtext ? cdtext_get_const(cdtext, static_cast<cdtext_field_t>(field), static_cast<track_t>(track))
             : nullptr;
  if (!value || !*value) return 0;
  return copyOut(h->image ? sheetText(value) : std::string(value), text, size);
}

int32_t EjectCD(SVR_HCDROM handle) {
  const auto h = handles().get(handle);
  if (!h) return fail(SVR_E_BAD_HANDLE);
  std::lock_guard lock(h->mutex);
  if (h->image) return succeed();
  h->closeParanoia();
  if (cdio_eject_media_drive(h->path.c_str()) != DRIVER_OP_SUCCESS) return fail(SVR_E_MANAGER);
  return succeed();
}

}  // extern "C"
