#include "burn_log.h"

#include <ctime>
#include <filesystem>

namespace cdw {

BurnLog::~BurnLog() { Close(); }

bool BurnLog::Open(const std::string& path) {
  Close();
  std::error_code ec;
  const auto folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  std::lock_guard guard(lock_);
  file_ = std::fopen(path.c_str(), "ae");
  return file_ != nullptr;
}

void BurnLog::Close() {
  std::lock_guard guard(lock_);
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool BurnLog::open() const {
  std::lock_guard guard(lock_);
  return file_ != nullptr;
}

void BurnLog::Line(const std::string& text) {
  std::lock_guard guard(lock_);
  if (!file_) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  char stamp[40];
  const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(stamp + n, sizeof stamp - n, ".%03ld", now.tv_nsec / 1000000);
  std::fprintf(file_, "%s  %s\n", stamp, text.c_str());
  std::fflush(file_);
}

}  // namespace cdw
