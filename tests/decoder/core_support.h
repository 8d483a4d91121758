// Helpers for the decoder core tests: scratch files, the error-callback log, a scripted
// codec module, and redirection of the standard streams.
#pragma once

#include <gtest/gtest.h>
#include <stdio_ext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "decoder.h"
#include "svdecode.h"

namespace svd_test {

namespace fs = std::filesystem;

// A folder of its own for the running test (ctest runs tests in parallel processes).
inline fs::path ScratchDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path dir = fs::path(SVD_SCRATCH_DIR) / (std::string(info->test_suite_name()) + "." + info->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

inline void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Bytes 0, 1, 2, ... (mod 251) so any offset can be recognised.
inline std::vector<uint8_t> Pattern(std::size_t n) {
  std::vector<uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i % 251);
  return v;
}

inline uint32_t Le32(const std::vector<uint8_t>& b, std::size_t at) {
  return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | static_cast<uint32_t>(b.at(at + 3)) << 24;
}
inline uint16_t Le16(const std::vector<uint8_t>& b, std::size_t at) {
  return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

struct ErrorRecord {
  int32_t module_id;
  std::string source;
  std::string message;
};

// Collects what the decoder reports through its error callback.
struct ErrorLog {
  std::vector<ErrorRecord> records;
  static void Callback(void* user, int32_t module_id, int32_t, const char* source, const char* message) {
    static_cast<ErrorLog*>(user)->records.push_back({module_id, source, message});
  }
  void Attach(svd::Decoder& d) { svd::SetErrorCallback(d, Callback, this); }
  bool Has(const std::string& source, const std::string& message) const {
    for (const auto& r : records)
      if (r.source == source && r.message == message) return true;
    return false;
  }
};

// A codec whose behaviour each test scripts: every decode reads `read_bytes` through the
// decoder's read service and gives `samples` samples per channel of a ramp.
struct ScriptedCodec {
  int32_t read_bytes = 100;
  int32_t samples = 4;
  int32_t channels = 2;
  int32_t sample_rate = 44100;
  uint32_t duration_ms = 0;
  int32_t bit_rate = 0;
  int32_t raise_at_call = -1;  // decode call (0-based) that raises a stream error
  bool accept = true;
  bool has_offset_to_position = false;
  float offset_scale = 1.0f;  // offset_to_position = offset / size * scale
  int64_t data_start = 0;     // used by position_to_position when set
  // Observations.
  int decode_calls = 0;
  int creates = 0;
  std::vector<int64_t> seek_notes;
  int32_t parameter_mask = -1;
  svd::Decoder* decoder = nullptr;

  static ScriptedCodec*& Current() {
    static ScriptedCodec* current = nullptr;
    return current;
  }
  static const svd::CodecModuleDescriptor& Descriptor();
};

// Points fd (0 or 1) at another file for the lifetime of the object.
class Redirect {
 public:
  Redirect(int fd, int target) : fd_(fd), saved_(dup(fd)) {
    std::fflush(stdout);
    dup2(target, fd);
  }
  ~Redirect() {
    std::fflush(stdout);
    dup2(saved_, fd_);
    close(saved_);
    if (fd_ == 0) __fpurge(stdin);  // drop what was buffered from the stand-in
    std::clearerr(stdin);
  }

 private:
  int fd_;
  int saved_;
};

// Runs check in a child process without root's rights (root is never denied a file);
// true when it returned true.
template <typename Check>
bool WithoutRootRights(Check check) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A decoder with both file modules and, newest, the scripted codec; errors are logged.
class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScriptedCodec::Current() = &codec;
    ASSERT_EQ(CreateDecoder(), 0);
    d = svd::CurrentDecoder();
    log.Attach(*d);
    ASSERT_EQ(RegisterInputModule(), 0);
    ASSERT_EQ(RegisterOutputModule(), 0);
    ASSERT_GE(svd::RegisterCodec(*d, ScriptedCodec::Descriptor()), 0);
    dir = ScratchDir();
  }
  void TearDown() override {
    EXPECT_EQ(DeleteDecoder(), 0);
    ScriptedCodec::Current() = nullptr;
  }
  // Re-registers the scripted codec after its script changed which methods it has.
  void RescriptCodec() { ASSERT_GE(svd::RegisterCodec(*d, ScriptedCodec::Descriptor()), 0); }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  int32_t Read(void* buffer, int32_t count) { return svd::ServicesOf(d).read_input(d, buffer, count); }

  ScriptedCodec codec;
  svd::Decoder* d = nullptr;
  ErrorLog log;
  fs::path dir;
};

}  // namespace svd_test
