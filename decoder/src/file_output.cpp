// The file output module: PCM to a raw, WAV, AIFF or Sun file, or to standard output,
// chosen by a prefix of the name. The WAV header is written with the first PCM and
// completed at the close.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <bit>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file_io.h"
#include "module.h"

namespace svd {

namespace {

constexpr const char* kOpenError = "cannot open output file";

enum FileType : int32_t { kRaw = 0, kWav = 1, kAiff = 2, kSun = 3 };

struct FileOutput {
  std::string name;
  const int32_t* module_id = nullptr;
  Decoder* decoder = nullptr;
  FilePtr file;
  bool is_stdout = false;
  uint64_t data_bytes = 0;  // 64-bit: the header saturates, the count does not wrap
  int32_t sample_rate = 44100;
  int32_t channels = 2;
  int32_t type = kRaw;
  bool header_written = false;
  bool failed = false;  // some PCM or a header did not reach the file

  std::FILE* stream() const { return is_stdout ? stdout : file.get(); }
};

FileOutput* Self(Instance instance) { return static_cast<FileOutput*>(instance); }

int32_t HandlesName(const char*) { return 0; }

int32_t Query(ModuleInfo* info, int32_t flags) {
  static constexpr DeviceEntry kDevices[] = {{"*, or raw:*", "file name (raw PCM format)", 1},
                                             {"wav:*", "file name (WAV format)", 1},
                                             {"-", "standard output", 0}};
  return QueryModule(info, flags, "Output To File", "Version 1.2", kDevices);
}

int32_t Create(Instance* out, const char* name, const int32_t* module_id, Decoder* decoder) {
  if (!out || !name || !*name) {
    ReportModuleError(decoder, module_id, "internal error", "null params or null/empty output name");
    return SVD_E_INVALID_PARAMETER;
  }
  try {
    auto output = std::make_unique<FileOutput>();
    output->name = name;
    output->module_id = module_id;
    output->decoder = decoder;
    *out = output.release();
    return 0;
  } catch (const std::bad_alloc&) {
    return SVD_E_NO_MEMORY;
  }
}

int32_t Destroy(Instance instance) {
  std::unique_ptr<FileOutput> owned(Self(instance));
  return 0;
}

void PutLe(unsigned char* at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Writes the header of the file type at the current position (only WAV has one).
void WriteHeader(FileOutput& out) {
  if (out.type != kWav) return;
  // A RIFF file cannot describe more than 4 GiB: the sizes stop at the largest value.
  constexpr uint64_t kMaxData = 0xffffffffu - 36u;
  const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(out.data_bytes, kMaxData));
  const uint32_t channels = static_cast<uint32_t>(out.channels);
  const uint32_t rate = static_cast<uint32_t>(out.sample_rate);
  std::array<unsigned char, 44> h{};
  std::memcpy(&h[0], "RIFF", 4);
  PutLe(&h[4], data + 36, 4);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  PutLe(&h[16], 16, 4);
  PutLe(&h[20], 1, 2);
  PutLe(&h[22], channels, 2);
  PutLe(&h[24], rate, 4);
  PutLe(&h[28], channels * rate * 2, 4);
  PutLe(&h[32], channels * 2, 2);
  PutLe(&h[34], 16, 2);
  std::memcpy(&h[36], "data", 4);
  PutLe(&h[40], data, 4);
  if (std::fwrite(h.data(), h.size(), 1, out.stream()) != 1) out.failed = true;
}

int32_t Open(Instance instance) {
  FileOutput* out = Self(instance);
  if (!out) return SVD_E_INVALID_PARAMETER;
  out->file.reset();
  out->is_stdout = false;
  out->data_bytes = 0;
  out->header_written = false;
  out->failed = false;
  out->sample_rate = 44100;
  out->channels = 2;

  std::string_view name = out->name;
  out->type = kRaw;
  if (name.starts_with("raw:")) {
    name.remove_prefix(4);
  } else if (name.starts_with("wav:")) {
    out->type = kWav;
    name.remove_prefix(4);
  } else if (name.starts_with("aiff:")) {
    out->type = kAiff;
    name.remove_prefix(5);
  } else if (name.starts_with("sun:")) {
    out->type = kSun;
    name.remove_prefix(4);
  }
  if (name == "-") {
    out->is_stdout = true;
    return 0;
  }
  const std::string path(name);
  out->file.reset(std::fopen(path.c_str(), "wb"));
  if (out->file) return 0;
  const int error = errno;
  if (error == EACCES || error == EPERM) {
    ReportModuleError(out->decoder, out->module_id, kOpenError, "permission denied");
    return SVD_E_PERMISSION_DENIED;
  }
  ReportModuleError(out->decoder, out->module_id, kOpenError, std::strerror(error));
  return SVD_E_OPEN_FAILED;
}

int32_t Write(Instance instance, const void* samples, int32_t byte_count, int32_t, int32_t channels,
              int32_t sample_rate) {
  FileOutput* out = Self(instance);
  // After a failure nothing more is appended: the rest would not line up with the count.
  if (!out || !out->stream() || out->failed) return 0;
  if (!out->header_written) {
    if (channels > 0) out->channels = channels;
    if (sample_rate > 0) out->sample_rate = sample_rate;
    WriteHeader(*out);
    out->header_written = true;
  }
  if (byte_count <= 0 || !samples || out->failed) return 0;
  // Files hold little-endian samples whatever the processor's order.
  std::vector<unsigned char> swapped;
  if constexpr (std::endian::native == std::endian::big) {
    const auto* bytes = static_cast<const unsigned char*>(samples);
    swapped.assign(bytes, bytes + byte_count);
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    samples = swapped.data();
  }
  if (std::fwrite(samples, static_cast<std::size_t>(byte_count), 1, out->stream()) != 1) {
    out->failed = true;
    return 0;
  }
  out->data_bytes += static_cast<uint64_t>(byte_count);
  return byte_count;
}

// 0, or -516 when some PCM or a header did not reach the file.
int32_t Close(Instance instance) {
  FileOutput* out = Self(instance);
  if (!out || !out->stream()) return 0;
  if (out->is_stdout) {
    // Standard output stays the process's: flushed, never closed or rewound.
    if (std::fflush(stdout) != 0) out->failed = true;
    out->is_stdout = false;
  } else {
    std::FILE* f = out->file.get();
    if (out->type != kRaw && fseeko(f, 0, SEEK_SET) == 0) WriteHeader(*out);
    if (std::fflush(f) != 0) out->failed = true;
    // A file unlinked while we wrote is lost however the writes went.
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && st.st_nlink == 0) out->failed = true;
    if (std::fclose(out->file.release()) != 0) out->failed = true;
  }
  return out->failed ? SVD_E_WRITE_FAILED : 0;
}

}  // namespace

const OutputModuleDescriptor& FileOutputModule() {
  static const OutputModuleDescriptor descriptor = {
      kInterfaceVersion, HandlesName, Query,   Create,  Destroy, Open,   Close, Write,
      nullptr,           nullptr,     nullptr, nullptr, nullptr, nullptr};
  return descriptor;
}

}  // namespace svd
