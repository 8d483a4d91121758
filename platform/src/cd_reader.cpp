#include "platform/cd_reader.h"

#include <cstring>
#include <mutex>

#include "platform/library_loader.h"

namespace sv::cdreader {
namespace {

// Every entry point resolved at once, so threads never race on a lazy look-up.
struct Entries {
  decltype(&::GetNumAdapters) getNumAdapters = nullptr;
  decltype(&::GetCDList) getCDList = nullptr;
  decltype(&::GetCDHandle) getCDHandle = nullptr;
  decltype(&::ModifyCDParms) modifyCDParms = nullptr;
  decltype(&::ReadTOC) readTOC = nullptr;
  decltype(&::ReadCDAudioLBA) readCDAudioLBA = nullptr;
  decltype(&::GetAspiLibError) getAspiLibError = nullptr;
  decltype(&::CloseCDHandle) closeCDHandle = nullptr;
  decltype(&::GetCDDrivePath) getCDDrivePath = nullptr;
  decltype(&::GetCDImageFolder) getCDImageFolder = nullptr;
  decltype(&::ReadCDText) readCDText = nullptr;
  decltype(&::EjectCD) ejectCD = nullptr;
};

const Entries& entries() {
  static std::mutex mutex;
  static SharedLibrary library("svripper");
  static Entries e;
  static bool resolved = false;
  std::lock_guard lock(mutex);
  if (!resolved) {
    Entries n;
    n.getNumAdapters = library.function<decltype(n.getNumAdapters)>("GetNumAdapters");
    n.getCDList = library.function<decltype(n.getCDList)>("GetCDList");
    n.getCDHandle = library.function<decltype(n.getCDHandle)>("GetCDHandle");
    n.modifyCDParms = library.function<decltype(n.modifyCDParms)>("ModifyCDParms");
    n.readTOC = library.function<decltype(n.readTOC)>("ReadTOC");
    n.readCDAudioLBA = library.function<decltype(n.readCDAudioLBA)>("ReadCDAudioLBA");
    n.getAspiLibError = library.function<decltype(n.getAspiLibError)>("GetAspiLibError");
    n.closeCDHandle = library.function<decltype(n.closeCDHandle)>("CloseCDHandle");
    n.getCDDrivePath = library.function<decltype(n.getCDDrivePath)>("GetCDDrivePath");
    n.getCDImageFolder = library.function<decltype(n.getCDImageFolder)>("GetCDImageFolder");
    n.readCDText = library.function<decltype(n.readCDText)>("ReadCDText");
    n.ejectCD = library.function<decltype(n.ejectCD)>("EjectCD");
    e = n;
    resolved = true;
  }
  return e;
}

// Asks for a text with the component's return rule: length, or the size needed + 1.
template <typename Call>
std::string text(Call call) {
  std::string buffer(256, '\0');
  int32_t n = call(buffer.data(), static_cast<int32_t>(buffer.size()));
  if (n > static_cast<int32_t>(buffer.size()) - 1) {
    buffer.assign(static_cast<std::size_t>(n) + 1, '\0');
    n = call(buffer.data(), static_cast<int32_t>(buffer.size()));
  }
  if (n <= 0 || n >= static_cast<int32_t>(buffer.size())) return {};
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

}  // namespace

int32_t GetNumAdapters() { return entries().getNumAdapters(); }
int32_t GetCDList(SVR_CDLIST* list) { return entries().getCDList(list); }
SVR_HCDROM GetCDHandle(SVR_GETCDHAND* request) { return entries().getCDHandle(request); }
int32_t ModifyCDParms(SVR_HCDROM h, int32_t p, int32_t v) { return entries().modifyCDParms(h, p, v); }
int32_t ReadTOC(SVR_HCDROM h, SVR_TOC* toc) { return entries().readTOC(h, toc); }
int32_t ReadCDAudioLBA(SVR_HCDROM h, SVR_TRACKBUF* b) { return entries().readCDAudioLBA(h, b); }
int32_t GetAspiLibError() { return entries().getAspiLibError(); }
int32_t CloseCDHandle(SVR_HCDROM h) { return entries().closeCDHandle(h); }
int32_t EjectCD(SVR_HCDROM h) { return entries().ejectCD(h); }

int32_t ReadCDText(SVR_HCDROM handle, int32_t track, int32_t field, std::string& value) {
  value =
      text([&](char* out, int32_t size) { return entries().readCDText(handle, track, field, out, size); });
  return static_cast<int32_t>(value.size());
}

std::string DriveName(const SVR_CDREC& record) {
  std::string name;
  for (char c : record.id)
    if (c != '\0') name += c;
  return name;
}

std::string DrivePath(const SVR_CDREC& record) {
  return text([&](char* out, int32_t size) {
    return entries().getCDDrivePath(record.ha, record.tgt, record.lun, out, size);
  });
}

std::vector<Drive> ListDrives() {
  const int32_t count = cdreader::GetNumAdapters();
  SVR_CDLIST list;
  std::memset(&list, 0, sizeof list);
  cdreader::GetCDList(&list);
  std::vector<Drive> drives;
  for (int32_t i = 0; i <= count && i < SVR_MAX_DRIVES; ++i) {
    const SVR_CDREC& rec = list.cd[i];
    Drive d{DriveName(rec), {}, rec.ha, rec.tgt, rec.lun};
    if (d.name.empty()) continue;
    d.path = DrivePath(rec);
    drives.push_back(std::move(d));
  }
  return drives;
}

std::string ImageFolder() {
  return text([](char* out, int32_t size) { return entries().getCDImageFolder(out, size); });
}

bool ReadToc(SVR_HCDROM handle, Toc& toc) {
  toc = Toc{};
  cdreader::ModifyCDParms(handle, SVR_CDP_MSF, 0);
  SVR_TOC raw;
  if (cdreader::ReadTOC(handle, &raw) != 1) return false;
  auto address = [](const SVR_TOCTRACK& e) {
    return static_cast<int32_t>(uint32_t(e.address[0]) << 24 | uint32_t(e.address[1]) << 16 |
                                uint32_t(e.address[2]) << 8 | e.address[3]);
  };
  const int count = raw.lastTrack >= raw.firstTrack ? raw.lastTrack - raw.firstTrack + 1 : 0;
  for (int i = 0; i < count && i < SVR_MAX_TOC_ENTRIES - 1; ++i) {
    const SVR_TOCTRACK& e = raw.tracks[i];
    toc.tracks.push_back({e.track, address(e), (e.adrControl & 0x04) == 0});
  }
  toc.leadout = address(raw.tracks[toc.tracks.size()]);
  return !toc.tracks.empty();
}

SVR_GETCDHAND HandleRequest(uint8_t ha, uint8_t tgt, uint8_t lun) {
  SVR_GETCDHAND request{};
  request.size = sizeof request;
  request.ver = 1;
  request.ha = ha;
  request.tgt = tgt;
  request.lun = lun;
  return request;
}

Handle::Handle(const Drive& drive) {
  SVR_GETCDHAND request = HandleRequest(drive.ha, drive.tgt, drive.lun);
  id_ = cdreader::GetCDHandle(&request);
}

Handle::~Handle() {
  if (id_) cdreader::CloseCDHandle(id_);
}

Handle& Handle::operator=(Handle&& other) noexcept {
  if (this != &other) {
    if (id_) cdreader::CloseCDHandle(id_);
    id_ = other.id_;
    other.id_ = 0;
  }
  return *this;
}

}  // namespace sv::cdreader
