#pragma once
// The media-control devices that play one file each: "waveaudio" (WAV files) and
// "mpegvideo" (MPEG audio, decoded by svdecode's core). Registering is idempotent.
namespace sv::mci {

void RegisterWaveAudioDevice();
void RegisterMpegVideoDevice();

inline void RegisterFileDevices() {
  RegisterWaveAudioDevice();
  RegisterMpegVideoDevice();
}

}  // namespace sv::mci
