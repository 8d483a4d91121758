#include "test_media.h"

#include <lame/lame.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace media {

QByteArray Tone(double seconds, int sampleRate, int channels) {
  const auto frames = static_cast<qsizetype>(std::llround(seconds * sampleRate));
  QByteArray pcm(frames * channels * 2, Qt::Uninitialized);
  auto* s = reinterpret_cast<qint16*>(pcm.data());
  for (qsizetype i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    for (int c = 0; c < channels; ++c)
      s[i * channels + c] = static_cast<qint16>(9000 * std::sin(2 * M_PI * (330.0 + 110.0 * c) * t) +
                                                3000 * std::sin(2 * M_PI * 2200.0 * t));
  }
  return pcm;
}

namespace {
void putLe(QByteArray& b, quint32 v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
}  // namespace

void WriteWav(const QString& path, double seconds, int sampleRate, int channels) {
  const QByteArray pcm = Tone(seconds, sampleRate, channels);
  QByteArray h("RIFF");
  putLe(h, static_cast<quint32>(pcm.size() + 36), 4);
  h += "WAVEfmt ";
  putLe(h, 16, 4);
  putLe(h, 1, 2);
  putLe(h, static_cast<quint32>(channels), 2);
  putLe(h, static_cast<quint32>(sampleRate), 4);
  putLe(h, static_cast<quint32>(sampleRate * channels * 2), 4);
  putLe(h, static_cast<quint32>(channels * 2), 2);
  putLe(h, 16, 2);
  h += "data";
  putLe(h, static_cast<quint32>(pcm.size()), 4);
  WriteAll(path, h + pcm);
}

QByteArray EncodeMp3(double seconds, const Mp3Options& o) {
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, o.sampleRate);
  lame_set_out_samplerate(lame, o.sampleRate);
  lame_set_num_channels(lame, o.channels);
  lame_set_mode(lame, o.channels == 1 ? MONO : JOINT_STEREO);
  if (o.vbr) {
    lame_set_VBR(lame, vbr_default);
    lame_set_VBR_quality(lame, 4);
  } else {
    lame_set_brate(lame, o.kbps);
  }
  lame_set_bWriteVbrTag(lame, o.infoFrame ? 1 : 0);
  lame_set_quality(lame, 7);
  if (lame_init_params(lame) < 0) throw std::runtime_error("lame_init_params");
  QByteArray pcm = Tone(seconds, o.sampleRate, o.channels);
  const int frames = static_cast<int>(pcm.size() / (2 * o.channels));
  std::vector<unsigned char> out(static_cast<std::size_t>(1.25 * frames + 7200 + 16384));
  const auto* s = reinterpret_cast<short*>(pcm.data());
  int bytes = o.channels == 1
                  ? lame_encode_buffer(lame, s, s, frames, out.data(), static_cast<int>(out.size()))
                  : lame_encode_buffer_interleaved(lame, const_cast<short*>(s), frames, out.data(),
                                                   static_cast<int>(out.size()));
  if (bytes < 0) throw std::runtime_error("lame_encode_buffer");
  const int tail = lame_encode_flush(lame, out.data() + bytes, static_cast<int>(out.size()) - bytes);
  QByteArray mp3(reinterpret_cast<const char*>(out.data()), bytes + std::max(tail, 0));
  if (o.infoFrame) {
    // The finished Xing/Info frame replaces the placeholder LAME wrote first.
    unsigned char tag[8192];
    const std::size_t n = lame_get_lametag_frame(lame, tag, sizeof tag);
    if (n > 0 && static_cast<qsizetype>(n) <= mp3.size())
      mp3.replace(0, static_cast<qsizetype>(n),
                  QByteArray(reinterpret_cast<char*>(tag), static_cast<qsizetype>(n)));
  }
  lame_close(lame);
  return mp3;
}

QByteArray Id3v2Tag(int bytes, bool footer) {
  // A picture frame whose data is 0xFF followed by non-zero bytes, again and again.
  QByteArray picture("\0image/jpeg\0\x03\0", 14);
  while (picture.size() < bytes - 30) picture += QByteArray("\xFF\xFB\x90\x64\xFF\xE3\x18\xC4", 8);
  QByteArray frame("APIC");
  const quint32 n = static_cast<quint32>(picture.size());
  frame.append(static_cast<char>(n >> 24)).append(static_cast<char>(n >> 16));
  frame.append(static_cast<char>(n >> 8)).append(static_cast<char>(n));
  frame.append('\0').append('\0');
  frame += picture;
  const quint32 size = static_cast<quint32>(frame.size());
  auto syncsafe = [](quint32 v) {
    QByteArray b;
    for (int shift = 21; shift >= 0; shift -= 7) b.append(static_cast<char>((v >> shift) & 0x7F));
    return b;
  };
  QByteArray tag = footer ? QByteArray("ID3\x04\0\x10", 6) : QByteArray("ID3\x03\0\0", 6);
  tag += syncsafe(size);
  tag += frame;
  if (footer) tag += QByteArray("3DI\x04\0\x10", 6) + syncsafe(size);
  return tag;
}

double DecodedSeconds(const QByteArray& mp3, double seconds) {
  static constexpr int kMpeg1Rates[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static constexpr int kMpeg2Rates[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  static constexpr int kSampleRates[] = {44100, 48000, 32000};
  const auto* b = reinterpret_cast<const unsigned char*>(mp3.constData());
  qint64 samples = 0;
  int rate = 0;
  // Layer III frames only, as EncodeMp3 makes them.
  for (qsizetype at = 0; at + 4 <= mp3.size();) {
    const int version = (b[at + 1] >> 3) & 3;  // 3 MPEG 1, 2 MPEG 2, 0 MPEG 2.5
    const int bitIndex = b[at + 2] >> 4, rateIndex = (b[at + 2] >> 2) & 3;
    if (b[at] != 0xFF || (b[at + 1] & 0xE6) != 0xE2 || version == 1 || bitIndex == 0 || bitIndex == 15 ||
        rateIndex == 3)
      break;
    const bool mpeg1 = version == 3;
    rate = kSampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int kbps = mpeg1 ? kMpeg1Rates[bitIndex] : kMpeg2Rates[bitIndex];
    const int length = (mpeg1 ? 144000 : 72000) * kbps / rate + ((b[at + 2] >> 1) & 1);
    const bool mono = (b[at + 3] >> 6) == 3;
    const qsizetype tag = at + 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (at == 0 && (mp3.mid(tag, 4) == "Xing" || mp3.mid(tag, 4) == "Info")) return seconds;
    samples += mpeg1 ? 1152 : 576;
    at += length;
  }
  return rate ? static_cast<double>(samples) / rate : 0.0;
}

bool NearTrueLength(double measured, double truth, int sampleRate) {
  const double frame = (sampleRate >= 32000 ? 1152.0 : 576.0) / sampleRate;
  return std::abs(measured - truth) <= frame;
}

void RunEventsFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents();
    QThread::msleep(2);
  }
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
    throw std::runtime_error("cannot write " + path.toStdString());
}

}  // namespace media
