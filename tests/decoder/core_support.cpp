#include "core_support.h"

#include <algorithm>

namespace svd_test {

namespace {

ScriptedCodec& S() { return *ScriptedCodec::Current(); }

int32_t Probe(const char*, const char*) { return S().accept ? 0 : 1; }

int32_t Query(svd::ModuleInfo* info, int32_t flags) {
  if (flags & svd::kQueryMaxStep) info->max_step_bytes = svd::kMaxStepBytes;
  if (flags & svd::kQueryFormat) info->sample_format = 3;
  return 0;
}

int32_t Create(svd::Instance* out, const char*, const int32_t*, svd::Decoder* decoder) {
  ++S().creates;
  S().decoder = decoder;
  *out = &S();
  return 0;
}

int32_t Destroy(svd::Instance) { return 0; }

int32_t Decode(svd::Instance, svd::OutputBuffer* out, svd::DecoderStatus* status) {
  ScriptedCodec& s = S();
  const int call = s.decode_calls++;
  std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max(s.read_bytes, 1)));
  const int32_t r = svd::ServicesOf(s.decoder).read_input(s.decoder, bytes.data(), s.read_bytes);
  if (r != 0) return r;
  if (call == s.raise_at_call) svd::RaiseStreamError();
  status->duration_ms = s.duration_ms;
  status->bit_rate = s.bit_rate;
  status->sample_rate = s.sample_rate;
  status->channels = s.channels;
  out->channels = s.channels;
  out->sample_rate = s.sample_rate;
  out->sample_count = s.samples;
  // Fill no more than a step may hold, whatever count the script claims.
  const int32_t fill = std::min(s.samples * s.channels, svd::kMaxStepBytes / 2);
  for (int32_t i = 0; i < fill; ++i) out->samples[i] = static_cast<int16_t>(call * 1000 + i);
  return 0;
}

float OffsetToPosition(svd::Instance, int64_t offset) {
  const int64_t size = svd::ServicesOf(S().decoder).input_size(S().decoder);
  return size ? static_cast<float>(offset) / static_cast<float>(size) * S().offset_scale : 0.0f;
}

float PositionToPosition(svd::Instance, float p) {
  const int64_t size = svd::ServicesOf(S().decoder).input_size(S().decoder);
  const int64_t start = S().data_start;
  if (!start || !size) return p;
  return (p * static_cast<float>(size - start) + static_cast<float>(start)) / static_cast<float>(size);
}

int32_t SeekNotify(svd::Instance, int64_t offset) {
  S().seek_notes.push_back(offset);
  return 0;
}

int32_t SetParameters(svd::Instance, const svd::CodecParameters*, int32_t mask) {
  S().parameter_mask = mask;
  return 0;
}

}  // namespace

const svd::CodecModuleDescriptor& ScriptedCodec::Descriptor() {
  static svd::CodecModuleDescriptor d{};
  d.version = svd::kInterfaceVersion;
  d.probe = Probe;
  d.query = Query;
  d.create = Create;
  d.destroy = Destroy;
  d.decode = Decode;
  d.offset_to_position = S().has_offset_to_position ? OffsetToPosition : nullptr;
  d.position_to_position = S().data_start ? PositionToPosition : nullptr;
  d.seek_notify = SeekNotify;
  d.set_parameters = SetParameters;
  return d;
}

}  // namespace svd_test
