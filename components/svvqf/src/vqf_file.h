// The VQF container: "TWIN" preamble, COMM/text/DSIZ sub-chunks, "DATA" and the frame bits.
// The header is written first with the data size still open; Finish() writes it. A file that
// is never finished still plays (DSIZ is metadata only), which makes a stopped encode usable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace svvqf {

struct VqfInfo {
  int channels = 2;
  int totalKbps = 80;                                      // bit rate of all channels together
  int rateCode = 44;                                       // sample rate in kHz as the format codes it
  std::vector<std::pair<std::string, std::string>> texts;  // tag (4 chars), text
};

class VqfFileWriter {
 public:
  // False when the file cannot be created.
  bool Open(const std::string& path, const VqfInfo& info);
  // False when writing failed.
  bool Write(const uint8_t* data, size_t size);
  // Writes the data size into the header and closes; false when that failed.
  bool Finish();
  ~VqfFileWriter();

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  long sizeFieldOffset_ = 0;
  uint64_t dataBytes_ = 0;
  bool ok_ = true;
};

}  // namespace svvqf
