#pragma once
// The CD-reading component (svripper), loaded by name at its first use. Its calls can be
// made from any thread; a missing library or entry point throws a RuntimeError (53, 48, 453).
#include <cstdint>
#include <string>
#include <vector>

#include "svripper.h"

namespace sv::cdreader {

int32_t GetNumAdapters();
int32_t GetCDList(SVR_CDLIST* list);
SVR_HCDROM GetCDHandle(SVR_GETCDHAND* request);
int32_t ModifyCDParms(SVR_HCDROM handle, int32_t parameter, int32_t value);
int32_t ReadTOC(SVR_HCDROM handle, SVR_TOC* toc);
int32_t ReadCDAudioLBA(SVR_HCDROM handle, SVR_TRACKBUF* buffer);
int32_t GetAspiLibError();
int32_t CloseCDHandle(SVR_HCDROM handle);
int32_t ReadCDText(SVR_HCDROM handle, int32_t track, int32_t field, std::string& text);
int32_t EjectCD(SVR_HCDROM handle);

// A drive of the list: the name shown for it and the device or image path behind it.
struct Drive {
  std::string name;  // the identification text with every zero byte dropped
  std::string path;
  uint8_t ha = 0, tgt = 0, lun = 0;
};

// The request that opens the drive ha:tgt:lun.
SVR_GETCDHAND HandleRequest(uint8_t ha, uint8_t tgt, uint8_t lun);

// The display name of a drive entry: its identification text with every zero byte dropped.
std::string DriveName(const SVR_CDREC& record);
// The device or image path of a drive entry; empty when the component does not know it.
std::string DrivePath(const SVR_CDREC& record);
// Drive entries 0 .. GetNumAdapters() (never past the eighth) whose name is not empty.
std::vector<Drive> ListDrives();
// The folder whose disc images are listed as drives.
std::string ImageFolder();

// A disc's table of contents in LBAs.
struct Toc {
  struct Track {
    int number = 0;
    int32_t start = 0;
    bool audio = true;
    bool operator==(const Track&) const = default;
  };
  std::vector<Track> tracks;
  int32_t leadout = 0;

  bool operator==(const Toc&) const = default;
  // Frames of track index i (0-based): up to the next entry or the lead-out.
  int32_t end(std::size_t i) const { return i + 1 < tracks.size() ? tracks[i + 1].start : leadout; }
};

// Reads the TOC of an open handle after switching it to LBA addresses; false without a disc.
bool ReadToc(SVR_HCDROM handle, Toc& toc);

// An open handle, closed when it goes.
class Handle {
 public:
  Handle() = default;
  explicit Handle(const Drive& drive);
  ~Handle();
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : id_(other.id_) { other.id_ = 0; }
  Handle& operator=(Handle&& other) noexcept;

  SVR_HCDROM id() const { return id_; }
  explicit operator bool() const { return id_ != 0; }

 private:
  SVR_HCDROM id_ = 0;
};

}  // namespace sv::cdreader
