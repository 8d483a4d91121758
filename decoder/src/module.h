// The decoder's module framework: the descriptor tables that input, output and codec
// modules fill, the records they exchange with the decoder, and the services a module may
// call back into the decoder. Everything here is internal to svdecode.
#pragma once

#include <cstdint>

#include "stream_error.h"
#include "svdecode.h"

namespace svd {

// Every built-in module carries this interface version; bits 8..23 must read 0x0403.
inline constexpr uint32_t kInterfaceVersion = 0x00040300;

// Capability flags of an output before one is opened.
inline constexpr uint32_t kDefaultOutputCapabilities = 0x7fbfffff;
inline constexpr uint32_t kOutputCanReportDelay = 1u << 22;

// Largest PCM one decode step may produce, and the decoder's own buffer for it.
inline constexpr int32_t kMaxStepBytes = 4608;
inline constexpr int32_t kDecoderBufferBytes = 8192;

struct Decoder;  // opaque to modules

using Instance = void*;

// Filled by a module's query method.
struct ModuleInfo {
  int32_t count_or_index = 0;         // device count (flag 2) or the device asked for (flag 4)
  int32_t device_flags = 0;           // 1: the device takes any name
  const char* name = nullptr;         // module or device name (static text)
  const char* description = nullptr;  // version text or device description
  int32_t max_step_bytes = 0;         // codec, flag 8
  int32_t sample_format = 0;          // codec, flag 16
};

enum QueryFlags : int32_t {
  kQueryName = 1,
  kQueryCount = 2,
  kQueryDevice = 4,
  kQueryMaxStep = 8,
  kQueryFormat = 16,
};

// Status of the decoder, read by the position and time exports and filled by the codec.
enum StatusChange : uint32_t {
  kChangedAttributes = 1u << 0,  // level, layer, mode or an ID3 text
  kChangedFacts = 1u << 1,       // sample rate, bit rate, duration or channels
  kChangedType = 1u << 2,        // stream type text
};

struct DecoderStatus {
  float position = 0.0f;              // 0.0 .. 1.0
  uint32_t changes = 0;               // StatusChange bits, cleared before each step
  uint32_t duration_ms = 0;           // 0 when unknown
  int32_t sample_rate = 0;            // Hz of the current frame
  int32_t bit_rate = 0;               // kbit/s, running average
  int32_t channels = 0;               // 1 or 2
  const char* stream_type = nullptr;  // the codec's static type text
  int32_t hours = 0, minutes = 0, seconds = 0, hundredths = 0;
};

// The PCM of the last decode step.
enum BufferChange : uint32_t {
  kChangedBytesPerSample = 1u << 0,
  kChangedChannels = 1u << 1,
  kChangedRateOrChannels = 1u << 2,
};

struct OutputBuffer {
  uint32_t changed = 0;
  int16_t* samples = nullptr;    // interleaved, left first; room for kMaxStepBytes at least
  int32_t sample_count = 0;      // per channel, 0 when the step gave no PCM
  int32_t bytes_per_sample = 0;  // 2
  int32_t channels = 0;
  int32_t sample_rate = 0;
  int32_t delay = 0;
};

// Parameter words the decoder hands to the codec (set-parameters mask bits 1, 2, 4).
struct CodecParameters {
  int32_t word1 = 0;                  // MPEG codec: channel selection 0..3
  int32_t word2 = 0;                  // MPEG codec: rate reduction 0..2
  const int8_t* equaliser = nullptr;  // 64 signed bytes (32 left, 32 right) or none
};

enum ParameterMask : int32_t { kParamWord1 = 1, kParamWord2 = 2, kParamBlock = 4 };

struct InputModuleDescriptor {
  uint32_t version;
  int32_t (*handles_name)(const char* name);  // 0: takes it
  int32_t (*query)(ModuleInfo* info, int32_t flags);
  int32_t (*create)(Instance* out, const char* name, const int32_t* module_id, Decoder* decoder);
  int32_t (*destroy)(Instance instance);
  int32_t (*open)(Instance instance);
  int32_t (*close)(Instance instance);
  int32_t (*read)(Instance instance, void* buffer, int32_t count);  // bytes read
  int32_t (*seek)(Instance instance, int64_t offset);               // absolute
  int32_t (*is_seekable)(Instance instance);
  int64_t (*get_size)(Instance instance);
  void* reserved;
};

struct OutputModuleDescriptor {
  uint32_t version;
  int32_t (*handles_name)(const char* name);
  int32_t (*query)(ModuleInfo* info, int32_t flags);
  int32_t (*create)(Instance* out, const char* name, const int32_t* module_id, Decoder* decoder);
  int32_t (*destroy)(Instance instance);
  int32_t (*open)(Instance instance);
  int32_t (*close)(Instance instance);
  int32_t (*write)(Instance instance, const void* samples, int32_t byte_count, int32_t bytes_per_sample,
                   int32_t channels, int32_t sample_rate);
  // Optional slots (null in the file output module).
  void* (*get_buffer)(Instance instance, int32_t byte_count);
  int32_t (*set_format)(Instance instance, int32_t bytes_per_sample, int32_t sample_rate, int32_t channels,
                        uint32_t changed);
  int32_t (*get_controls)(Instance instance, int32_t controls[5]);
  int32_t (*get_delay)(Instance instance, int32_t* delay);
  uint32_t (*get_capabilities)(Instance instance);
  int32_t (*further)(Instance instance);
};

struct CodecModuleDescriptor {
  uint32_t version;
  int32_t (*probe)(const char* mime_type, const char* name);  // 0: will decode
  int32_t (*query)(ModuleInfo* info, int32_t flags);
  int32_t (*create)(Instance* out, const char* name, const int32_t* module_id, Decoder* decoder);
  int32_t (*destroy)(Instance instance);
  // One frame: fills out (samples, sample_count, channels, sample_rate) and the status facts.
  int32_t (*decode)(Instance instance, OutputBuffer* out, DecoderStatus* status);
  int32_t (*stream_info)(Instance instance, DecoderStatus* status);
  float (*offset_to_position)(Instance instance, int64_t offset);
  float (*position_to_position)(Instance instance, float position);
  int32_t (*input_changed)(Instance instance, const char* mime_type, const char* name);
  int32_t (*input_closed)(Instance instance);
  int32_t (*seek_notify)(Instance instance, int64_t offset);
  int32_t (*reset)(Instance instance);
  int32_t (*set_parameters)(Instance instance, const CodecParameters* block, int32_t mask);
  int32_t (*get_parameters)(Instance instance, CodecParameters* block);
  void* reserved;
};

// Attributes: named texts or integers in the status store (emptied at every input open)
// or the global store.
enum class AttributeKind : int32_t { kText = 0, kInteger = 1 };

struct AttributeValue {
  AttributeKind kind = AttributeKind::kText;
  const char* text = nullptr;  // owned by the store; valid until the attribute changes
  int32_t integer = 0;
};

// Called when the watched attribute is set (value) or removed (value null).
using AttributeWatcher = void (*)(void* user, const char* name, const AttributeValue* value);

enum class Store : int32_t { kStatus = 0, kGlobal = 1 };

// What a module may ask of the decoder that created it.
struct DecoderServices {
  // 0 when the input delivered the bytes (the offset advances), -514 when it delivered
  // none, -103 when no input is open, or the module's negative result.
  int32_t (*read_input)(Decoder* decoder, void* buffer, int32_t count);
  int32_t (*seek_input)(Decoder* decoder, int64_t offset);
  int32_t (*reset_codec)(Decoder* decoder);
  int32_t (*set_text)(Decoder* decoder, Store store, const char* name, const char* value);
  int32_t (*set_integer)(Decoder* decoder, Store store, const char* name, int32_t value);
  int32_t (*get)(Decoder* decoder, Store store, const char* name, AttributeValue* value);
  int32_t (*remove)(Decoder* decoder, Store store, const char* name);
  int32_t (*attach_watcher)(Decoder* decoder, Store store, const char* name, AttributeWatcher watcher,
                            void* user);
  int32_t (*detach_watcher)(Decoder* decoder, Store store, const char* name, AttributeWatcher watcher,
                            void* user);
  // Facts of the open input.
  int64_t (*input_offset)(Decoder* decoder);
  int64_t (*input_size)(Decoder* decoder);
  // The optional error callback: (user data, module id, 0, source, message).
  void (*report_error)(Decoder* decoder, int32_t module_id, const char* source, const char* message);
};

const DecoderServices& ServicesOf(Decoder* decoder);

// Built-in modules.
const InputModuleDescriptor& FileInputModule();
const OutputModuleDescriptor& FileOutputModule();
const CodecModuleDescriptor& MpegCodecModule();

}  // namespace svd
