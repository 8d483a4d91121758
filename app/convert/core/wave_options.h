// The encoder options of the WAV-to-compressed page: the items of its option lists, their
// defaults, and what each list position means to the encoders.
#pragma once

#include "svencode.h"

#include <QStringList>

#include <cstdint>

namespace sv {

// Items of the page's lists, in order; the job reads the lists by position.
QStringList Mp3SampleRateItems();  // MP3ComboSampleRate
QStringList Mp3BitrateItems();     // MP3ComboBitrate
QStringList Mp3ChannelItems();     // MP3ComboChannel
QStringList Mp3QualityItems();     // MP3ComboQuality
QStringList WmaBitrateItems();     // WMAComboBitRate
QStringList VqfBitrateItems();     // VQFComboBitRate
QStringList OggBitrateItems();     // OGGComboBitRate
// The single-item sample-rate and channel lists of the WMA, VQF and OGG panels.
QStringList OtherSampleRateItems();  // "44100 hz"
QStringList OtherChannelItems();     // "Stereo"

// List positions as the page holds them (first item = 0; -1 when nothing is chosen).
// The defaults are the page's initial choices.
struct WaveToAllOptions {
  int Mp3SampleRate = 1;  // "44100 Hz"
  int Mp3Bitrate = 8;     // "128 Kbps"
  int Mp3Channel = 1;     // "Join Stereo"
  int Mp3Quality = 1;     // "Normal"
  int WmaBitrate = 1;     // "96 Kbps"
  int VqfBitrate = 1;     // "96 Kbps"
  int OggBitrate = 2;     // "96 Kbps"
};

// Position -> value; any position outside a list gives that list's fallback.
int32_t Mp3SampleRateAt(int position);   // 48000, 44100, 32000; else 44100
int32_t Mp3BitrateAt(int position);      // 32 .. 320 kbit/s; else 128
int32_t Mp3ChannelModeAt(int position);  // BE_MP3_MODE_*; else joint stereo
int32_t Mp3PresetAt(int position);       // LQP_* ("Low" is 1, "Normal" 0); else 0
int32_t OggLevelAt(int position);        // 0,1,2,4,5,6,8; else 2
int32_t VqfBitrateAt(int position);      // 80; else 96
uint8_t WmaProfileAt(int position);      // 22, 23, 24; else 23

// The configuration record for one source: every field the options do not set is fixed;
// `headerSampleRate` is the source's rate as its header gives it (0 or less reads 44100).
EncoderConfig MakeEncoderConfig(const WaveToAllOptions& options, int32_t headerSampleRate);

}  // namespace sv
