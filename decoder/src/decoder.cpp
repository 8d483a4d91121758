// The decoder: registries, the input and output state machines, the one-frame decode step,
// position and time, seeking, and the thirteen exported calls.
#include "decoder.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace svd {

namespace {

constexpr const char* kInternalError = "internal error";

std::unique_ptr<Decoder> g_decoder;

bool VersionMatches(uint32_t version) { return ((version >> 8) & 0xffffu) == 0x0403u; }

int32_t Refuse(Decoder& d, const char* message) {
  ReportError(d, 0, kInternalError, message);
  return SVD_E_WRONG_STATE;
}

// --- services -------------------------------------------------------------------------

AttributeStore& StoreOf(Decoder* d, Store store) {
  return store == Store::kGlobal ? d->global_attributes : d->status_attributes;
}

int32_t ServiceRead(Decoder* d, void* buffer, int32_t count) {
  if (!d) return SVD_E_INVALID_PARAMETER;
  if (!d->input.open || !d->input.instance) return SVD_E_WRONG_STATE;
  const int32_t got = d->input.module->descriptor.read(d->input.instance.get(), buffer, count);
  if (got < 0) return got;
  if (got == 0) return SVD_E_END_OF_INPUT;
  d->input.offset += got;
  return 0;
}

int32_t ServiceSeek(Decoder* d, int64_t offset) {
  return d ? SeekInput(*d, offset) : SVD_E_INVALID_PARAMETER;
}

int32_t ServiceResetCodec(Decoder* d) {
  if (!d) return SVD_E_INVALID_PARAMETER;
  if (!d->codec.instance || !d->codec.module->descriptor.reset) return SVD_E_NOT_AVAILABLE;
  return d->codec.module->descriptor.reset(d->codec.instance.get());
}

int32_t ServiceSetText(Decoder* d, Store store, const char* name, const char* value) {
  if (!d) return SVD_E_INVALID_PARAMETER;
  const int32_t r = StoreOf(d, store).SetText(name, value);
  if (r == 0 && store == Store::kStatus) d->status.changes |= kChangedAttributes;
  return r;
}

int32_t ServiceSetInteger(Decoder* d, Store store, const char* name, int32_t value) {
  if (!d) return SVD_E_INVALID_PARAMETER;
  const int32_t r = StoreOf(d, store).SetInteger(name, value);
  if (r == 0 && store == Store::kStatus) d->status.changes |= kChangedAttributes;
  return r;
}

int32_t ServiceGet(Decoder* d, Store store, const char* name, AttributeValue* value) {
  return d ? StoreOf(d, store).Get(name, value) : SVD_E_INVALID_PARAMETER;
}

int32_t ServiceRemove(Decoder* d, Store store, const char* name) {
  return d ? StoreOf(d, store).Remove(name) : SVD_E_INVALID_PARAMETER;
}

int32_t ServiceAttach(Decoder* d, Store store, const char* name, AttributeWatcher watcher, void* user) {
  return d ? StoreOf(d, store).Attach(name, watcher, user) : SVD_E_INVALID_PARAMETER;
}

int32_t ServiceDetach(Decoder* d, Store store, const char* name, AttributeWatcher watcher, void* user) {
  return d ? StoreOf(d, store).Detach(name, watcher, user) : SVD_E_INVALID_PARAMETER;
}

int64_t ServiceOffset(Decoder* d) { return d ? d->input.offset : 0; }
int64_t ServiceSize(Decoder* d) { return d ? d->input.size : 0; }

void ServiceReport(Decoder* d, int32_t module_id, const char* source, const char* message) {
  if (d) ReportError(*d, module_id, source, message);
}

// --- position and time ----------------------------------------------------------------

float PositionAt(const Decoder& d, int64_t offset) {
  float p = 0.0f;
  if (d.codec.instance && d.codec.module->descriptor.offset_to_position)
    p = d.codec.module->descriptor.offset_to_position(d.codec.instance.get(), offset);
  else if (d.input.size > 0)
    p = static_cast<float>(static_cast<double>(offset) / static_cast<double>(d.input.size));
  if (!(p >= 0.0f)) p = 0.0f;
  if (p > 1.0f) p = 1.0f;
  return p;
}

void SetTime(DecoderStatus& s, double value) {
  float seconds = static_cast<float>(value);
  // Keep the integer conversions below defined for any input.
  if (!(seconds >= 0.0f)) seconds = 0.0f;
  if (seconds > 2.0e9f) seconds = 2.0e9f;
  s.hours = static_cast<int32_t>(seconds) / 3600;
  float rest = seconds - static_cast<float>(s.hours * 3600);
  s.minutes = static_cast<int32_t>(rest) / 60;
  rest -= static_cast<float>(s.minutes * 60);
  s.seconds = static_cast<int32_t>(rest);
  const float hundredths = rest * 100.0f - static_cast<float>(s.seconds * 100);
  s.hundredths = hundredths > 0.0f ? static_cast<int32_t>(hundredths) : 0;
}

void UpdatePositionAndTime(Decoder& d) {
  DecoderStatus& s = d.status;
  s.position = PositionAt(d, d.input.offset);
  double seconds = 0.0;
  if (s.duration_ms != 0)
    seconds = static_cast<double>(s.duration_ms) * s.position * 0.001;
  else if (s.bit_rate > 0)
    seconds = static_cast<double>(d.input.offset) / (static_cast<double>(s.bit_rate) * 125.0);
  SetTime(s, seconds);
}

void ResetStatus(Decoder& d) {
  DecoderStatus& s = d.status;
  s.position = 0.0f;
  s.changes = 0;
  s.duration_ms = 0;
  s.sample_rate = 0;
  s.bit_rate = 0;
  s.channels = 0;
  s.stream_type = nullptr;
  s.hours = s.minutes = s.seconds = s.hundredths = 0;
  d.status_attributes.Clear();
}

void ResetInputFacts(InputState& in) {
  in.flags = 0;
  in.size = 0;
  in.offset = 0;
  in.mime_type = kUnknownMimeType;
}

// Closes (if open) and destroys the input instance.
int32_t TearDownInput(Decoder& d) {
  InputState& in = d.input;
  if (!in.instance) return 0;
  if (!in.module) return Refuse(d, "null input module");
  if (in.open) {
    in.open = false;
    ResetInputFacts(in);
    in.module->descriptor.close(in.instance.get());
    if (d.codec.instance && d.codec.module->descriptor.input_closed)
      d.codec.module->descriptor.input_closed(d.codec.instance.get());
  }
  in.instance.reset();
  in.module = nullptr;
  in.name.clear();
  return 0;
}

int32_t TearDownOutput(Decoder& d) {
  OutputState& out = d.output;
  if (!out.instance) return 0;
  if (!out.module) return Refuse(d, "null output module");
  if (out.open) {
    out.open = false;
    out.capabilities = 0;
    out.module->descriptor.close(out.instance.get());
  }
  out.instance.reset();
  out.module = nullptr;
  out.name.clear();
  return 0;
}

// Chooses the codec for the newly opened input; 0 or an error code.
int32_t SelectCodec(Decoder& d) {
  const char* mime = d.input.mime_type ? d.input.mime_type : "audio/unknown";
  const char* name = d.input.name.c_str();
  const CodecRegistry::Entry* entry =
      d.codec_modules.FindFirst([&](const CodecModuleDescriptor& c) { return c.probe(mime, name) == 0; });
  if (!entry) return SVD_E_NO_CODEC;
  if (entry == d.codec.module && d.codec.instance) return 0;

  d.codec.instance.reset();
  d.codec.module = nullptr;
  Instance instance = nullptr;
  const CodecModuleDescriptor& c = entry->descriptor;
  const int32_t r = c.create(&instance, name, &entry->id, &d);
  if (r != 0) {
    if (instance) c.destroy(instance);
    return r;
  }
  if (!instance) return SVD_E_NO_MEMORY;
  d.codec.instance = ModuleInstance(instance, c.destroy);
  d.codec.module = entry;

  ModuleInfo info;
  c.query(&info, kQueryMaxStep | kQueryFormat);
  d.codec.max_step_bytes = info.max_step_bytes > 0 ? info.max_step_bytes : kMaxStepBytes;
  d.codec.sample_format = info.sample_format;
  // The decoder's own buffer must hold the codec's largest step.
  const std::size_t words =
      static_cast<std::size_t>(std::max(d.codec.max_step_bytes, kDecoderBufferBytes) + 1) / 2;
  if (d.pcm.size() < words) d.pcm.resize(words);
  if (c.set_parameters) c.set_parameters(instance, &d.parameters, kParamWord1 | kParamWord2 | kParamBlock);
  return 0;
}

void CloseInputAfterFailure(Decoder& d) {
  d.input.open = false;
  d.input.module->descriptor.close(d.input.instance.get());
  ResetInputFacts(d.input);
}

}  // namespace

// --- decoder --------------------------------------------------------------------------

Decoder::Decoder() : pcm(kDecoderBufferBytes / 2) {
  services.read_input = ServiceRead;
  services.seek_input = ServiceSeek;
  services.reset_codec = ServiceResetCodec;
  services.set_text = ServiceSetText;
  services.set_integer = ServiceSetInteger;
  services.get = ServiceGet;
  services.remove = ServiceRemove;
  services.attach_watcher = ServiceAttach;
  services.detach_watcher = ServiceDetach;
  services.input_offset = ServiceOffset;
  services.input_size = ServiceSize;
  services.report_error = ServiceReport;
}

Decoder::~Decoder() {
  // Instances go before the registries whose methods they need.
  TearDownInput(*this);
  TearDownOutput(*this);
  codec.instance.reset();
}

const DecoderServices& ServicesOf(Decoder* decoder) { return decoder->services; }

Decoder* CurrentDecoder() { return g_decoder.get(); }

void SetErrorCallback(Decoder& d, ErrorCallback callback, void* user) {
  d.error_callback = callback;
  d.user_data = user;
}

void ReportError(Decoder& d, int32_t module_id, const char* source, const char* message) {
  if (d.error_callback) d.error_callback(d.user_data, module_id, 0, source, message);
}

// --- registration ---------------------------------------------------------------------

namespace {

// The first missing method's message, or null when all required ones are there.
const char* MissingMethod(const InputModuleDescriptor& m) {
  if (!m.create || !m.destroy) return "null 'new' method in module";
  if (!m.open) return "null 'open' method in module";
  if (!m.close) return "null 'close' method in module";
  if (!m.read) return "null 'read' method in module";
  return nullptr;
}

const char* MissingMethod(const OutputModuleDescriptor& m) {
  if (!m.create || !m.destroy) return "null 'new' method in module";
  if (!m.open) return "null 'open' method in module";
  if (!m.close) return "null 'close' method in module";
  if (!m.write) return "null 'write' method in module";
  return nullptr;
}

const char* MissingMethod(const CodecModuleDescriptor& m) {
  if (!m.query) return "null 'query' method";
  if (!m.probe) return "null 'probe' method in module";
  if (!m.create || !m.destroy) return "null 'new' method in module";
  if (!m.decode) return "null 'decode' method in module";
  return nullptr;
}

template <typename Descriptor>
int32_t Register(Decoder& d, Registry<Descriptor>& registry, int32_t& count, const Descriptor& descriptor) {
  if (!VersionMatches(descriptor.version)) return SVD_E_VERSION_MISMATCH;
  if (const char* missing = MissingMethod(descriptor)) return Refuse(d, missing);
  const int32_t id = registry.Add(descriptor).id;
  ++count;
  return id;
}

}  // namespace

int32_t RegisterInput(Decoder& d, const InputModuleDescriptor& descriptor) {
  return Register(d, d.input_modules, d.input_module_count, descriptor);
}

int32_t RegisterOutput(Decoder& d, const OutputModuleDescriptor& descriptor) {
  return Register(d, d.output_modules, d.output_module_count, descriptor);
}

int32_t RegisterCodec(Decoder& d, const CodecModuleDescriptor& descriptor) {
  return Register(d, d.codec_modules, d.codec_module_count, descriptor);
}

// --- input and output -----------------------------------------------------------------

namespace {

template <typename Descriptor>
const typename Registry<Descriptor>::Entry* Lookup(const Registry<Descriptor>& registry, const char* name,
                                                   int32_t id) {
  if (id != -1) return registry.FindId(id);
  return registry.FindFirst(
      [name](const Descriptor& m) { return !m.handles_name || m.handles_name(name) == 0; });
}

}  // namespace

int32_t OpenInput(Decoder& d, const char* name, int32_t module_id) {
  if (!name) name = "";
  const InputRegistry::Entry* entry = Lookup(d.input_modules, name, module_id);
  if (!entry) return module_id == -1 ? SVD_E_NO_INPUT_MODULE : SVD_E_NO_SUCH_MODULE;

  InputState& in = d.input;
  if (!(in.instance && in.module == entry && in.name == name)) {
    if (const int32_t r = TearDownInput(d); r != 0) return r;
    in.name = name;
    in.module = entry;
    Instance instance = nullptr;
    const InputModuleDescriptor& m = entry->descriptor;
    const int32_t r = m.create(&instance, in.name.c_str(), &entry->id, &d);
    if (r != 0 || !instance) {
      if (instance) m.destroy(instance);
      in.module = nullptr;
      in.name.clear();
      return r != 0 ? r : SVD_E_NO_MEMORY;
    }
    in.instance = ModuleInstance(instance, m.destroy);
  }

  if (in.open) return Refuse(d, "input not closed");
  if (!in.instance) return Refuse(d, "null input instance");

  ResetStatus(d);
  ResetInputFacts(in);
  const InputModuleDescriptor& m = in.module->descriptor;
  if (const int32_t r = m.open(in.instance.get()); r != 0) return r;

  in.open = true;
  if (in.size == 0 && m.get_size) in.size = std::max<int64_t>(0, m.get_size(in.instance.get()));
  if (m.is_seekable && m.is_seekable(in.instance.get())) in.flags |= kInputCanSeek;

  if (const int32_t r = SelectCodec(d); r != 0) {
    CloseInputAfterFailure(d);
    return r;
  }
  const CodecModuleDescriptor& c = d.codec.module->descriptor;
  if (c.input_changed) {
    if (const int32_t r = c.input_changed(d.codec.instance.get(), in.mime_type, in.name.c_str()); r != 0) {
      CloseInputAfterFailure(d);
      return r;
    }
  }
  // Reading the head needs the seek back to the start, which only works with a known size
  // (a named pipe opens as a file but has none): without it the first frames would be lost.
  if ((in.flags & kInputCanSeek) && in.size > 0 && c.stream_info) {
    // The stream head only informs: the frames themselves are checked while decoding.
    try {
      c.stream_info(d.codec.instance.get(), &d.status);
    } catch (const StreamError&) {
    }
  }
  return 0;
}

int32_t OpenOutput(Decoder& d, const char* name, int32_t module_id) {
  if (!name) name = "";
  const OutputRegistry::Entry* entry = Lookup(d.output_modules, name, module_id);
  if (!entry) return module_id == -1 ? SVD_E_NO_OUTPUT_MODULE : SVD_E_NO_SUCH_MODULE;

  OutputState& out = d.output;
  if (!(out.instance && out.module == entry && out.name == name)) {
    if (const int32_t r = TearDownOutput(d); r != 0) return r;
    out.name = name;
    out.module = entry;
    Instance instance = nullptr;
    const OutputModuleDescriptor& m = entry->descriptor;
    const int32_t r = m.create(&instance, out.name.c_str(), &entry->id, &d);
    if (r != 0 || !instance) {
      if (instance) m.destroy(instance);
      out.module = nullptr;
      out.name.clear();
      return r != 0 ? r : SVD_E_NO_MEMORY;
    }
    out.instance = ModuleInstance(instance, m.destroy);
  }

  if (out.open) return Refuse(d, "output not closed");
  if (!out.instance) return Refuse(d, "null output instance");

  const OutputModuleDescriptor& m = out.module->descriptor;
  if (const int32_t r = m.open(out.instance.get()); r != 0) return r;
  d.output_buffer.bytes_per_sample = 0;
  d.output_buffer.channels = 0;
  d.output_buffer.sample_rate = 0;
  out.capabilities = m.get_capabilities ? m.get_capabilities(out.instance.get()) : kDefaultOutputCapabilities;
  out.open = true;
  return 0;
}

int32_t CloseInput(Decoder& d) {
  InputState& in = d.input;
  if (!in.open) return Refuse(d, "input not open");
  if (!in.module) return Refuse(d, "null input module");
  if (!in.instance) return Refuse(d, "null input instance");
  ResetInputFacts(in);
  const int32_t r = in.module->descriptor.close(in.instance.get());
  in.open = false;
  if (d.codec.instance && d.codec.module->descriptor.input_closed)
    d.codec.module->descriptor.input_closed(d.codec.instance.get());
  return r;
}

int32_t CloseOutput(Decoder& d) {
  OutputState& out = d.output;
  if (!out.open) return Refuse(d, "output not open");
  if (!out.module) return Refuse(d, "null output module");
  if (!out.instance) return Refuse(d, "null output instance");
  out.capabilities = 0;
  out.open = false;
  return out.module->descriptor.close(out.instance.get());
}

// --- decoding -------------------------------------------------------------------------

int32_t DecodeStep(Decoder& d) {
  if (!d.output.open || !d.output.instance) return Refuse(d, "output not open");
  const OutputModuleDescriptor& om = d.output.module->descriptor;
  Instance output = d.output.instance.get();

  const int32_t step_bytes = d.codec.max_step_bytes > 0 ? d.codec.max_step_bytes : kMaxStepBytes;
  void* buffer = om.get_buffer ? om.get_buffer(output, step_bytes) : nullptr;
  int64_t capacity = step_bytes;
  if (!buffer) {
    buffer = d.pcm.data();
    capacity = static_cast<int64_t>(d.pcm.size() * sizeof(int16_t));
  }

  if (!d.input.open || !d.input.instance) return Refuse(d, "input not open");
  if (!d.codec.instance) return SVD_E_NO_CODEC;

  OutputBuffer& ob = d.output_buffer;
  const int32_t old_bytes = ob.bytes_per_sample;
  const int32_t old_channels = ob.channels;
  const int32_t old_rate = ob.sample_rate;
  ob.samples = static_cast<int16_t*>(buffer);
  ob.sample_count = 0;
  ob.bytes_per_sample = 2;
  d.status.changes = 0;

  // The error trap: a fatal inconsistency inside the codec ends this step only.
  int32_t r;
  try {
    r = d.codec.module->descriptor.decode(d.codec.instance.get(), &ob, &d.status);
  } catch (const StreamError&) {
    r = SVD_E_STREAM;
  }
  if (r != 0) return r;

  UpdatePositionAndTime(d);

  ob.changed = 0;
  if (ob.bytes_per_sample != old_bytes) ob.changed |= kChangedBytesPerSample;
  if (ob.channels != old_channels) ob.changed |= kChangedChannels | kChangedRateOrChannels;
  if (ob.sample_rate != old_rate) ob.changed |= kChangedRateOrChannels;
  if (ob.changed != 0 && om.set_format) {
    const int32_t f = om.set_format(output, ob.bytes_per_sample, ob.sample_rate, ob.channels, ob.changed);
    if (f == SVD_E_NO_OUTPUT_MODULE) return f;
  }

  if (d.output.capabilities & kOutputCanReportDelay) {
    int32_t delay = 0;
    ob.delay = om.get_delay && om.get_delay(output, &delay) == 0 ? delay : 0;
  }

  const int64_t bytes = static_cast<int64_t>(ob.sample_count) * ob.bytes_per_sample * ob.channels;
  // A codec that claims more PCM than the buffer holds must not make us read past it.
  if (bytes < 0 || bytes > capacity) return SVD_E_STREAM;
  om.write(output, ob.samples, static_cast<int32_t>(bytes), ob.bytes_per_sample, ob.channels, ob.sample_rate);
  return 0;
}

// --- seeking --------------------------------------------------------------------------

int32_t SeekInput(Decoder& d, int64_t offset) {
  InputState& in = d.input;
  if (!in.open || !in.instance) return Refuse(d, "input not open");
  if (!(in.flags & kInputCanSeek) || in.size <= 0 || !in.module->descriptor.seek) return SVD_E_NOT_AVAILABLE;
  offset = std::clamp<int64_t>(offset, 0, in.size);
  in.offset = offset;
  d.status.position = PositionAt(d, offset);
  SetTime(d.status, static_cast<double>(d.status.duration_ms) * d.status.position * 0.001);
  if (d.codec.instance && d.codec.module->descriptor.seek_notify)
    d.codec.module->descriptor.seek_notify(d.codec.instance.get(), offset);
  return in.module->descriptor.seek(in.instance.get(), offset);
}

int32_t SeekPosition(Decoder& d, float position) {
  if (!(position >= 0.0f)) position = 0.0f;
  if (position > 1.0f) position = 1.0f;
  if (d.codec.instance && d.codec.module->descriptor.position_to_position) {
    position = d.codec.module->descriptor.position_to_position(d.codec.instance.get(), position);
    if (!(position >= 0.0f)) position = 0.0f;
    if (position > 1.0f) position = 1.0f;
  }
  const int64_t offset =
      static_cast<int64_t>(static_cast<double>(d.input.size) * static_cast<double>(position));
  return SeekInput(d, offset);
}

int32_t SeekTime(Decoder& d, float seconds) {
  if (!(seconds >= 0.0f)) seconds = 0.0f;
  if (d.status.duration_ms == 0) return SeekPosition(d, 0.0f);
  return SeekPosition(d, static_cast<float>(static_cast<double>(seconds) * 1000.0 / d.status.duration_ms));
}

double CurrentTimeSeconds(const Decoder& d) {
  const DecoderStatus& s = d.status;
  const uint32_t whole = static_cast<uint32_t>((s.hours * 60 + s.minutes) * 60 + s.seconds);
  return static_cast<double>(whole + static_cast<uint32_t>(s.hundredths) / 100u);
}

}  // namespace svd

// --- the exported calls ---------------------------------------------------------------

namespace {

// No exception may cross into the caller, which may be C.
template <typename F>
int32_t Guarded(F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return SVD_E_NO_MEMORY;
  } catch (const svd::StreamError&) {
    return SVD_E_STREAM;
  } catch (...) {
    return SVD_E_WRONG_STATE;
  }
}

// Runs body on the decoder; without one the call is out of order.
template <typename F>
int32_t WithDecoder(F&& body) {
  return Guarded([&]() -> int32_t {
    svd::Decoder* d = svd::CurrentDecoder();
    return d ? body(*d) : SVD_E_WRONG_STATE;
  });
}

}  // namespace

extern "C" {

SVDECODE_API int32_t CreateDecoder(void) {
  try {
    auto decoder = std::make_unique<svd::Decoder>();
    svd::RegisterCodec(*decoder, svd::MpegCodecModule());
    // A decoder left from an earlier CreateDecoder is closed and freed here.
    svd::g_decoder = std::move(decoder);
    return 0;
  } catch (...) {
    return 1;
  }
}

SVDECODE_API int32_t DeleteDecoder(void) {
  return Guarded([] {
    svd::g_decoder.reset();
    return 0;
  });
}

SVDECODE_API int32_t RegisterInputModule(void) {
  return WithDecoder([](svd::Decoder& d) { return svd::RegisterInput(d, svd::FileInputModule()); });
}

SVDECODE_API int32_t RegisterOutputModule(void) {
  return WithDecoder([](svd::Decoder& d) { return svd::RegisterOutput(d, svd::FileOutputModule()); });
}

SVDECODE_API int32_t Mp3InputOpen(const char* name) {
  return WithDecoder([name](svd::Decoder& d) { return svd::OpenInput(d, name); });
}

SVDECODE_API int32_t WaveOutputOpen(const char* name) {
  return WithDecoder([name](svd::Decoder& d) { return svd::OpenOutput(d, name); });
}

SVDECODE_API int32_t Mp3DecodePlay(void) { return WithDecoder(svd::DecodeStep); }

SVDECODE_API int32_t Mp3InputClose(void) { return WithDecoder(svd::CloseInput); }

SVDECODE_API int32_t WaveOutputClose(void) { return WithDecoder(svd::CloseOutput); }

SVDECODE_API int32_t SeekToPosition(float position) {
  return WithDecoder([position](svd::Decoder& d) { return svd::SeekPosition(d, position); });
}

SVDECODE_API int32_t SeekToTime(float seconds) {
  return WithDecoder([seconds](svd::Decoder& d) { return svd::SeekTime(d, seconds); });
}

SVDECODE_API float GetCurrentPosition(void) {
  const svd::Decoder* d = svd::CurrentDecoder();
  return d ? d->status.position : 0.0f;
}

SVDECODE_API double GetCurrentTimeSecond(void) {
  const svd::Decoder* d = svd::CurrentDecoder();
  return d ? svd::CurrentTimeSeconds(*d) : 0.0;
}

}  // extern "C"
