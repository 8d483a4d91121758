// The burn log: one line per step, flushed as it is written, so that a log survives a crash.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace cdw {

class BurnLog {
 public:
  ~BurnLog();
  // Starts logging into `path` (appending; its folder is made); false when it cannot be opened.
  bool Open(const std::string& path);
  void Close();
  bool open() const;
  // A time-stamped line; any thread.
  void Line(const std::string& text);

 private:
  mutable std::mutex lock_;
  std::FILE* file_ = nullptr;
};

}  // namespace cdw
