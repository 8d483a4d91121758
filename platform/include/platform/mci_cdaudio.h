#pragma once
// The media-control "cdaudio" device: plays the drives and disc images that the CD-reading
// component lists ("open /dev/sr0 type cdaudio alias cd", "open <image.cue> type cdaudio").
// Status answers: "true"/"false", "playing"/"paused"/"stopped"/"not ready"/"open",
// tt:mm:ss:ff positions under TMSF, mm:ss:ff lengths.

namespace sv::mci {

// Plugs the device type into the interpreter; calling it again changes nothing.
void RegisterCdAudioDevice();

}  // namespace sv::mci
