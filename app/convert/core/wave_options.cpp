#include "convert/core/wave_options.h"

#include <array>
#include <cstring>

namespace sv {

namespace {

template <typename T, std::size_t N>
T at(const std::array<T, N>& table, int position, T fallback) {
  if (position < 0 || static_cast<std::size_t>(position) >= N) return fallback;
  return table[static_cast<std::size_t>(position)];
}

QStringList list(std::initializer_list<const char*> items) {
  QStringList out;
  for (const char* item : items) out << QString::fromLatin1(item);
  return out;
}

}  // namespace

QStringList Mp3SampleRateItems() { return list({"48000 Hz", "44100 Hz", "32000 Hz"}); }
QStringList Mp3BitrateItems() {
  return list({"32 Kbps", "40 Kbps", "48 Kbps", "56 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps",
               "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"});
}
QStringList Mp3ChannelItems() { return list({"Stereo", "Join Stereo", "Dual Channel", "Mono"}); }
QStringList Mp3QualityItems() {
  return list({"Low", "Normal", "High", "Voice", "Phone", "Radio", "Tape", "HiFi", "CD", "Studio"});
}
QStringList WmaBitrateItems() { return list({"64 Kbps", "96 Kbps", "128 Kbps"}); }
QStringList VqfBitrateItems() { return list({"80 Kbps", "96 Kbps"}); }
QStringList OggBitrateItems() {
  return list({"64 Kbps", "80 Kbps", "96 Kbps", "128 Kbps", "160 Kbps", "192 Kbps", "256 Kbps"});
}
QStringList OtherSampleRateItems() { return list({"44100 hz"}); }
QStringList OtherChannelItems() { return list({"Stereo"}); }

int32_t Mp3SampleRateAt(int position) {
  static constexpr std::array<int32_t, 3> kRates{48000, 44100, 32000};
  return at(kRates, position, 44100);
}

int32_t Mp3BitrateAt(int position) {
  static constexpr std::array<int32_t, 14> kRates{32,  40,  48,  56,  64,  80,  96,
                                                  112, 128, 160, 192, 224, 256, 320};
  return at(kRates, position, 128);
}

int32_t Mp3ChannelModeAt(int position) {
  static constexpr std::array<int32_t, 4> kModes{BE_MP3_MODE_STEREO, BE_MP3_MODE_JSTEREO,
                                                 BE_MP3_MODE_DUALCHANNEL, BE_MP3_MODE_MONO};
  return at(kModes, position, int32_t{BE_MP3_MODE_JSTEREO});
}

int32_t Mp3PresetAt(int position) {
  // The encoder's own preset numbers: "Low" is 1 and "Normal" 0.
  static constexpr std::array<int32_t, 10> kPresets{
      LQP_LOW_QUALITY, LQP_NORMAL_QUALITY, LQP_HIGH_QUALITY, LQP_VOICE_QUALITY, LQP_PHONE, LQP_RADIO,
      LQP_TAPE,        LQP_HIFI,           LQP_CD,           LQP_STUDIO};
  return at(kPresets, position, int32_t{LQP_NORMAL_QUALITY});
}

int32_t OggLevelAt(int position) {
  static constexpr std::array<int32_t, 7> kLevels{0, 1, 2, 4, 5, 6, 8};
  return at(kLevels, position, 2);
}

int32_t VqfBitrateAt(int position) { return position == 0 ? 80 : 96; }

uint8_t WmaProfileAt(int position) {
  static constexpr std::array<uint8_t, 3> kProfiles{22, 23, 24};
  return at(kProfiles, position, uint8_t{23});
}

EncoderConfig MakeEncoderConfig(const WaveToAllOptions& options, int32_t headerSampleRate) {
  EncoderConfig config;
  std::memset(&config, 0, sizeof config);
  config.configKind = BE_CONFIG_LAME;
  config.structVersion = BE_CONFIG_VERSION;
  config.structSize = BE_CONFIG_SIZE;
  config.sampleRate = static_cast<uint32_t>(headerSampleRate > 0 ? headerSampleRate : 44100);
  config.outSampleRate = static_cast<uint32_t>(Mp3SampleRateAt(options.Mp3SampleRate));
  config.mode = Mp3ChannelModeAt(options.Mp3Channel);
  config.bitrate = static_cast<uint32_t>(Mp3BitrateAt(options.Mp3Bitrate));
  config.maxBitrate = 0;
  config.preset = Mp3PresetAt(options.Mp3Quality);
  config.mpegVersion = BE_MPEG1;
  config.original = -1;
  config.vbrMethod = VBR_METHOD_NONE;
  return config;
}

}  // namespace sv
