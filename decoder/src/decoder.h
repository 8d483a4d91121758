// The decoder object behind the exported calls: input, output and codec state, the three
// module registries, the status with its attributes, and the services modules call back.
// Internal to svdecode; the tests reach it through svdecode_internal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "attributes.h"
#include "module.h"
#include "registry.h"

namespace svd {

using InputRegistry = Registry<InputModuleDescriptor>;
using OutputRegistry = Registry<OutputModuleDescriptor>;
using CodecRegistry = Registry<CodecModuleDescriptor>;

// (user data, 0 or the module identifier, 0, source text, message text)
using ErrorCallback = void (*)(void* user, int32_t module_id, int32_t reserved, const char* source,
                               const char* message);

// A module instance, destroyed through its module's destroy method.
class ModuleInstance {
 public:
  ModuleInstance() = default;
  ModuleInstance(Instance instance, int32_t (*destroy)(Instance)) : instance_(instance), destroy_(destroy) {}
  ModuleInstance(const ModuleInstance&) = delete;
  ModuleInstance& operator=(const ModuleInstance&) = delete;
  ModuleInstance(ModuleInstance&& other) noexcept { *this = std::move(other); }
  ModuleInstance& operator=(ModuleInstance&& other) noexcept {
    if (this != &other) {
      reset();
      instance_ = other.instance_;
      destroy_ = other.destroy_;
      other.instance_ = nullptr;
    }
    return *this;
  }
  ~ModuleInstance() { reset(); }

  void reset() {
    if (instance_ && destroy_) destroy_(instance_);
    instance_ = nullptr;
  }
  Instance get() const { return instance_; }
  explicit operator bool() const { return instance_ != nullptr; }

 private:
  Instance instance_ = nullptr;
  int32_t (*destroy_)(Instance) = nullptr;
};

inline constexpr uint32_t kInputCanSeek = 1u << 0;
inline constexpr const char* kUnknownMimeType = "unknown";

struct InputState {
  bool open = false;
  uint32_t flags = 0;  // kInputCanSeek
  int64_t offset = 0;  // bytes delivered (or sought to) so far
  int64_t size = 0;    // 0 when unknown
  const InputRegistry::Entry* module = nullptr;
  std::string name;
  const char* mime_type = kUnknownMimeType;
  ModuleInstance instance;  // last: destroyed before the name it may refer to
};

struct OutputState {
  bool open = false;
  uint32_t capabilities = kDefaultOutputCapabilities;
  const OutputRegistry::Entry* module = nullptr;
  std::string name;
  ModuleInstance instance;
};

struct CodecState {
  const CodecRegistry::Entry* module = nullptr;
  int32_t max_step_bytes = 0;
  int32_t sample_format = 0;
  ModuleInstance instance;
};

struct Decoder {
  Decoder();
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  InputState input;
  OutputState output;
  CodecState codec;
  int32_t input_module_count = 0;
  int32_t output_module_count = 0;
  int32_t codec_module_count = 0;
  DecoderStatus status;
  AttributeStore status_attributes;
  OutputBuffer output_buffer;
  void* user_data = nullptr;
  ErrorCallback error_callback = nullptr;
  DecoderServices services{};

  // Private part.
  InputRegistry input_modules;
  OutputRegistry output_modules;
  CodecRegistry codec_modules;
  std::vector<int16_t> pcm;  // the decoder's own PCM buffer
  CodecParameters parameters;
  AttributeStore global_attributes;
};

// The library's one decoder, or null before CreateDecoder and after DeleteDecoder.
Decoder* CurrentDecoder();

void SetErrorCallback(Decoder& decoder, ErrorCallback callback, void* user);
void ReportError(Decoder& decoder, int32_t module_id, const char* source, const char* message);

// Registration: the identifier (>= 0), -106 for a foreign interface version, or -103 when a
// required method is missing.
int32_t RegisterInput(Decoder& decoder, const InputModuleDescriptor& descriptor);
int32_t RegisterOutput(Decoder& decoder, const OutputModuleDescriptor& descriptor);
int32_t RegisterCodec(Decoder& decoder, const CodecModuleDescriptor& descriptor);

// Open with the module of the given identifier, or (-1) the newest module taking the name.
int32_t OpenInput(Decoder& decoder, const char* name, int32_t module_id = -1);
int32_t OpenOutput(Decoder& decoder, const char* name, int32_t module_id = -1);
int32_t CloseInput(Decoder& decoder);
int32_t CloseOutput(Decoder& decoder);
int32_t DecodeStep(Decoder& decoder);
int32_t SeekInput(Decoder& decoder, int64_t offset);
int32_t SeekPosition(Decoder& decoder, float position);
int32_t SeekTime(Decoder& decoder, float seconds);
double CurrentTimeSeconds(const Decoder& decoder);

}  // namespace svd
