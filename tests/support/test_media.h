// Media files the tests make for themselves: tones written as WAV, encoded as MP3 with LAME.
#pragma once

#include <QByteArray>
#include <QString>

namespace media {

struct Mp3Options {
  int sampleRate = 44100;  // 22050 or 24000 give MPEG 2, 11025 MPEG 2.5
  int channels = 2;
  int kbps = 128;  // constant rate; ignored with vbr
  bool vbr = false;
  bool infoFrame = true;  // the Xing/Info frame with the frame count, as LAME writes it
};

// Samples of a two-tone signal, interleaved 16-bit.
QByteArray Tone(double seconds, int sampleRate, int channels);
// A canonical 44-byte-header WAV of 16-bit PCM.
void WriteWav(const QString& path, double seconds, int sampleRate = 44100, int channels = 2);
// Encodes `seconds` of tone; gives the MP3 bytes.
QByteArray EncodeMp3(double seconds, const Mp3Options& options = {});
// An ID3v2.3 tag of about `bytes` bytes whose picture frame is full of 0xFF pairs
// (0xFF followed by bytes that look like frame headers). With footer the v2.4 footer is added.
QByteArray Id3v2Tag(int bytes, bool footer = false);

// The length a gapless decoder gives an MP3 made by EncodeMp3 from `seconds` of audio: those
// seconds when LAME wrote its info frame, which gives its delay and padding; else all the
// audio the frames hold. (LAME leaves the info frame out where a frame at the stream's
// constant bit rate cannot hold it, as at 32 kbit/s and below.)
double DecodedSeconds(const QByteArray& mp3, double seconds);

// A playing time measured by svdecode against the true length of what was encoded: within
// one frame either way (1152 samples, 576 for MPEG 2 Layer III), as the decoder trims LAME's
// delay and padding that the info frame gives.
bool NearTrueLength(double measured, double truth, int sampleRate);

// Serves the event loop for about `ms`, so timers and the silent sink run.
void RunEventsFor(int ms);

QByteArray ReadAll(const QString& path);
void WriteAll(const QString& path, const QByteArray& bytes);

}  // namespace media
