// cMP3Info: the facts of one MP3 file for the user interface: the first frame header, the
// 128-byte ID3v1 tag at the end, the size and the playing time.
#pragma once

#include <QString>
#include <QVariant>

#include <array>
#include <cstdint>

class cMP3Info {
 public:
  // The tag record as it lies at the end of the file.
  static constexpr int kTagBytes = 128;
  static constexpr int kGenreCount = 148;

  const QString& FileName() const { return fileName_; }
  // Setting the name reads nothing.
  void setFileName(const QString& name) { fileName_ = name; }

  // Text fields: trimmed when read (empty without a tag), cut or blank-padded when written.
  QString Title() const { return field(3, 30); }
  QString Artist() const { return field(33, 30); }
  QString Album() const { return field(63, 30); }
  QString Year() const { return field(93, 4); }
  QString Comment() const { return field(97, 30); }
  void setTitle(const QString& value) { setField(3, 30, value); }
  void setArtist(const QString& value) { setField(33, 30, value); }
  void setAlbum(const QString& value) { setField(63, 30, value); }
  void setYear(const QString& value) { setField(93, 4, value); }
  void setComment(const QString& value) { setField(97, 30, value); }
  // The stored genre's name (empty above 147 or without a tag). Writing stores the number of
  // an exactly matching name, or 255; a numeric text raises run-time error 13.
  QString Genre() const;
  void setGenre(const QString& name);

  bool TagPresent() const { return tagPresent_; }
  void setTagPresent(bool present) { tagPresent_ = present; }

  // Size in bytes; 0 when the file does not exist.
  std::int32_t FileLength();
  // Playing time in seconds through svdecode; 0 when the file is missing or unreadable.
  double TotalTime();
  // The playing time rounded to whole seconds as mm:ss, or hh:mm:ss from an hour on.
  QString TotalTimeInCode();

  bool ValidHeader() const { return validHeader_; }
  const QString& id() const { return version_; }
  const QString& Layer() const { return layer_; }
  bool ProtectionBitSet() const { return protectionBitSet_; }
  const QString& ProtectionChecksum() const { return protectionChecksum_; }
  std::int16_t Bitrate() const { return bitrate_; }
  std::int32_t Frequency() const { return frequency_; }
  bool Padded() const { return padded_; }
  bool PrivateBitSet() const { return privateBitSet_; }
  bool Copyrighted() const { return copyrighted_; }
  bool Original() const { return original_; }
  const QString& Mode() const { return mode_; }
  std::int16_t ModeExt() const { return modeExt_; }
  const QString& Emphasis() const { return emphasis_; }

  // Reads the tag record from the file's last 128 bytes; always gives an empty value.
  QVariant ReadTag();
  // Writes the tag record to the file: over its tag when it ends in one, else appended.
  // Raises run-time errors; on failure the file keeps its bytes and its length.
  bool WriteTag(const QString& strMP3FileName);
  // Finds the first frame header (after a leading ID3v2 tag) and decodes its fields.
  void ReadMP3Header();

  // kbit/s for the version bit, the layer code and the bit-rate index of a header: 0 for
  // index 0 and reserved layers, 1 for index 15.
  static std::int16_t BitrateLookup(int versionBit, int layerCode, int bitrateIndex);
  // Seconds rounded to whole ones (halves to even) as mm:ss, or hh:mm:ss from an hour on.
  static QString FormatTimeCode(double seconds);
  // Genre 0 to 147 by number; empty for other numbers.
  static QString GenreName(int number);

 private:
  QString field(int offset, int width) const;
  void setField(int offset, int width, const QString& value);
  void clearTag();
  void decodeHeader(const unsigned char* b);

  QString fileName_;
  std::array<char, kTagBytes> tag_{};
  bool tagPresent_ = false;
  bool validHeader_ = false;
  QString version_, layer_, protectionChecksum_, mode_, emphasis_;
  bool protectionBitSet_ = false;
  std::int16_t bitrate_ = 0;
  std::int32_t frequency_ = 0;
  bool padded_ = false, privateBitSet_ = false, copyrighted_ = false, original_ = false;
  std::int16_t modeExt_ = 0;
  std::int32_t fileLength_ = 0;
  double totalTime_ = 0.0;
};
