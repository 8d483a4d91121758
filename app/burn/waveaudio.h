// waveaudio: plays one media file through the media-control interpreter under an alias of
// its own, and tells the file's length, the playing position and the device mode.
#pragma once

#include <QString>

#include <cstdint>

class waveaudio {
 public:
  waveaudio();
  ~waveaudio();  // closes the file
  waveaudio(const waveaudio&) = delete;
  waveaudio& operator=(const waveaudio&) = delete;

  // Closes what is open, then opens the file under a new alias. Files other than WAV, AVI,
  // MID and MP3 open nothing.
  void mmOpen(const QString& sTheFile);
  void mmClose();
  void mmPlay();
  void mmPause();
  void mmStop();
  // Position in the device's time unit (milliseconds).
  void mmSeek(float nPosition);

  const QString& FileName() const { return fileName_; }
  void setFileName(const QString& sTheFile) { mmOpen(sTheFile); }
  std::int16_t Wait() const { return wait_; }
  void setWait(std::int16_t bWaitValue) { wait_ = bWaitValue; }

  // Milliseconds; 0 with nothing open.
  float Length() const;
  float LengthInSecond() const { return Length() / 1000.0f; }
  QString LengthInTimeCode() const;
  float Position() const;
  void setPosition(float nPosition) { mmSeek(nPosition); }
  // The device mode ("playing" while it plays); empty with nothing open.
  QString Status() const;

  const QString& Alias() const { return alias_; }
  // The command that opens a file, as mmOpen sends it (empty for types it does not open).
  static QString OpenCommand(const QString& path, const QString& alias);

 private:
  QString query(const QString& item) const;

  QString alias_;
  QString fileName_;
  std::int16_t wait_ = 0;
};
