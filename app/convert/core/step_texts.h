// The status texts of the conversion steps: what the status line and the job list show for a
// row that was not converted.
#pragma once

namespace sv {

// MP3 to WAV through svdecode.
inline constexpr const char* kCreateDecoderError = "Create decoder error!";
inline constexpr const char* kMp3InputError = "mp3 input error";
inline constexpr const char* kWaveOutputOpenError = "wave output open error";
inline constexpr const char* kMp3DecodeError = "mp3 decode error";
inline constexpr const char* kNoAudioError = "no MPEG audio in the source file";
inline constexpr const char* kWaveOutputWriteError = "wave output write error";

// WAV to compressed.
inline constexpr const char* kNotPcm16Text = "source is not a 16-bit PCM wave file";
inline constexpr const char* kChannelsText = "source has more than two channels";
inline constexpr const char* kNoSamplesText = "source holds no samples";
inline constexpr const char* kSourceOpenText = "can not open source file";
inline constexpr const char* kDestinationCreateText = "can not create destination file";
inline constexpr const char* kDestinationWriteText = "can not write destination file";

}  // namespace sv
