#include "vqf_support.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace vqftest {

namespace {

int16_t Clip(double v) { return static_cast<int16_t>(std::lrint(std::clamp(v, -32768.0, 32767.0))); }

Pcm Make(double seconds, int channels, int rate) {
  Pcm p;
  p.channels = channels;
  p.rate = rate;
  p.samples.assign(static_cast<size_t>(seconds * rate) * channels, 0);
  return p;
}

double Amplitude(double dbfs) { return 32767.0 * std::pow(10.0, dbfs / 20.0); }

}  // namespace

Pcm Sine(double hz, double dbfs, double seconds, int channels, int rate) {
  Pcm p = Make(seconds, channels, rate);
  const double a = Amplitude(dbfs);
  for (size_t i = 0; i < p.Frames(); ++i)
    for (int c = 0; c < channels; ++c)
      p.samples[i * channels + c] = Clip(a * std::sin(2 * M_PI * hz * i / rate));
  return p;
}

Pcm TwoTone(double seconds) {
  Pcm p = Make(seconds, 2, kRate);
  for (size_t i = 0; i < p.Frames(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double common = Amplitude(-14) * std::sin(2 * M_PI * 1000 * t);
    p.samples[2 * i] = Clip(common + Amplitude(-10) * std::sin(2 * M_PI * 440 * t));
    p.samples[2 * i + 1] = Clip(common + Amplitude(-12) * std::sin(2 * M_PI * 3000 * t));
  }
  return p;
}

Pcm Sweep(double seconds) {
  Pcm p = Make(seconds, 2, kRate);
  const double f0 = 50, f1 = 16000, k = std::log(f1 / f0) / seconds;
  for (size_t i = 0; i < p.Frames(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double phase = 2 * M_PI * f0 * (std::exp(k * t) - 1) / k;
    p.samples[2 * i] = p.samples[2 * i + 1] = Clip(Amplitude(-9) * std::sin(phase));
  }
  return p;
}

Pcm Noise(double dbfs, double seconds, int channels, uint32_t seed) {
  Pcm p = Make(seconds, channels, kRate);
  std::mt19937 rng(seed);
  std::normal_distribution<double> n(0, Amplitude(dbfs) / std::sqrt(2.0));
  for (auto& s : p.samples) s = Clip(n(rng));
  return p;
}

Pcm ClickTrain(double seconds, double perSecond) {
  Pcm p = Make(seconds, 2, kRate);
  std::mt19937 rng(7);
  std::normal_distribution<double> n(0, 1);
  const size_t spacing = static_cast<size_t>(kRate / perSecond);
  for (size_t start = spacing / 2; start < p.Frames(); start += spacing) {
    // A sharp attack ringing at 2.5 kHz and dying within 15 ms, over a little noise.
    for (size_t i = 0; i < 660 && start + i < p.Frames(); ++i) {
      const double env = std::exp(-static_cast<double>(i) / 100.0);
      const double v = Amplitude(-4) * env * (0.7 * std::sin(2 * M_PI * 2500 * i / kRate) + 0.3 * n(rng));
      p.samples[2 * (start + i)] = Clip(v);
      p.samples[2 * (start + i) + 1] = Clip(0.8 * v);
    }
  }
  return p;
}

Pcm Music(double seconds) {
  Pcm p = Make(seconds, 2, kRate);
  std::mt19937 rng(3);
  std::normal_distribution<double> n(0, 1);
  const double notes[] = {220, 277.2, 329.6, 440, 392, 293.7};
  for (size_t i = 0; i < p.Frames(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const int bar = static_cast<int>(t * 2);  // a new chord every half second
    double v = 0;
    for (int h = 0; h < 3; ++h) {
      const double f = notes[(bar + 2 * h) % 6];
      for (int harmonic = 1; harmonic <= 4; ++harmonic)
        v += Amplitude(-18 - 6 * harmonic) * std::sin(2 * M_PI * f * harmonic * t);
    }
    const double beat = std::fmod(t, 0.5);
    const double drum = beat < 0.08 ? Amplitude(-12) * std::exp(-beat * 60) * n(rng) : 0;
    const double bed = Amplitude(-40) * n(rng);
    p.samples[2 * i] = Clip(v + drum + bed);
    p.samples[2 * i + 1] = Clip(0.8 * v + drum * 0.6 + Amplitude(-40) * n(rng));
  }
  return p;
}

Pcm Square(double hz, double seconds) {
  Pcm p = Make(seconds, 2, kRate);
  for (size_t i = 0; i < p.Frames(); ++i) {
    const int16_t v = std::fmod(i * hz / kRate, 1.0) < 0.5 ? 32767 : -32768;
    p.samples[2 * i] = p.samples[2 * i + 1] = v;
  }
  return p;
}

Pcm Constant(int16_t value, double seconds, int channels) {
  Pcm p = Make(seconds, channels, kRate);
  std::fill(p.samples.begin(), p.samples.end(), value);
  return p;
}

bool WriteWav(const std::string& path, const Pcm& pcm) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const uint32_t data = static_cast<uint32_t>(pcm.samples.size() * 2);
  auto le32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
  };
  auto le16 = [&](uint32_t v) {
    std::fputc(static_cast<int>(v & 0xFF), f);
    std::fputc(static_cast<int>((v >> 8) & 0xFF), f);
  };
  std::fputs("RIFF", f);
  le32(36 + data);
  std::fputs("WAVEfmt ", f);
  le32(16);
  le16(1);
  le16(static_cast<uint32_t>(pcm.channels));
  le32(static_cast<uint32_t>(pcm.rate));
  le32(static_cast<uint32_t>(pcm.rate * pcm.channels * 2));
  le16(static_cast<uint32_t>(pcm.channels * 2));
  le16(16);
  std::fputs("data", f);
  le32(data);
  for (int16_t s : pcm.samples) le16(static_cast<uint16_t>(s));
  return std::fclose(f) == 0;
}

Decoded DecodeWithFfmpeg(const std::string& path) {
  Decoded d;
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return d;
  if (avformat_find_stream_info(fmt, nullptr) < 0 || fmt->nb_streams < 1) {
    avformat_close_input(&fmt);
    return d;
  }
  const AVCodecParameters* par = fmt->streams[0]->codecpar;
  d.codec = avcodec_get_name(par->codec_id);
  d.rate = par->sample_rate;
  d.channels = par->ch_layout.nb_channels;
  d.bitRate = par->bit_rate;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
  if (!ctx || avcodec_parameters_to_context(ctx, par) < 0 || avcodec_open2(ctx, codec, nullptr) < 0) {
    avcodec_free_context(&ctx);
    avformat_close_input(&fmt);
    return d;
  }
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&] {
    while (avcodec_receive_frame(ctx, frame) == 0) {
      const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
      for (int i = 0; i < frame->nb_samples; ++i)
        for (int c = 0; c < d.channels; ++c) {
          const float* src = reinterpret_cast<const float*>(frame->extended_data[planar ? c : 0]);
          d.samples.push_back(32768.0f * (planar ? src[i] : src[i * d.channels + c]));
        }
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(fmt, pkt) >= 0) {
    if (avcodec_send_packet(ctx, pkt) < 0) ++d.errors;
    drain();
    av_packet_unref(pkt);
  }
  avcodec_send_packet(ctx, nullptr);
  drain();
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&ctx);
  avformat_close_input(&fmt);
  d.ok = true;
  return d;
}

double Snr(const Pcm& ref, const Decoded& dec, int channel, size_t from, size_t to) {
  to = std::min({to, ref.Frames(), dec.Frames()});
  double s = 0, e = 0;
  for (size_t i = from; i < to; ++i)
    for (int c = 0; c < ref.channels; ++c) {
      if (channel >= 0 && c != channel) continue;
      const double r = ref.samples[i * ref.channels + c];
      const double d = dec.samples[i * dec.channels + c];
      s += r * r;
      e += (r - d) * (r - d);
    }
  return 10 * std::log10((s + 1e-9) / (e + 1e-9));
}

double SegmentalSnr(const Pcm& ref, const Decoded& dec) {
  const size_t n = std::min(ref.Frames(), dec.Frames());
  double sum = 0;
  int blocks = 0;
  for (size_t from = 0; from + 2048 <= n; from += 2048) {
    double s = 0;
    for (size_t i = from * ref.channels; i < (from + 2048) * ref.channels; ++i)
      s += static_cast<double>(ref.samples[i]) * ref.samples[i];
    if (s / (2048.0 * ref.channels) < 10.0 * 10.0) continue;  // below -70 dBFS
    sum += std::clamp(Snr(ref, dec, -1, from, from + 2048), -10.0, 60.0);
    ++blocks;
  }
  return blocks ? sum / blocks : 0;
}

double LevelDb(const std::vector<float>& x, int channels, int channel, size_t from, size_t to) {
  to = std::min(to, x.size() / channels);
  double s = 0;
  for (size_t i = from; i < to; ++i)
    s += static_cast<double>(x[i * channels + channel]) * x[i * channels + channel];
  const double rms = std::sqrt(s / std::max<size_t>(1, to - from));
  return 20 * std::log10((rms + 1e-9) * std::sqrt(2.0) / 32767.0);
}

double LevelDb(const Pcm& pcm, int channel, size_t from, size_t to) {
  std::vector<float> x(pcm.samples.begin(), pcm.samples.end());
  return LevelDb(x, pcm.channels, channel, from, to);
}

int BestLag(const Pcm& ref, const Decoded& dec, int maxLag) {
  const size_t n = std::min(ref.Frames(), dec.Frames());
  double best = -1e300;
  int bestLag = 0;
  for (int lag = -maxLag; lag <= maxLag; ++lag) {
    double c = 0;
    for (size_t i = static_cast<size_t>(maxLag); i + maxLag < n; ++i)
      c += ref.samples[i * ref.channels] * static_cast<double>(dec.samples[(i + lag) * dec.channels]);
    if (c > best) {
      best = c;
      bestLag = lag;
    }
  }
  return bestLag;
}

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "svvqf-test-XXXXXX").string();
  dir_ = mkdtemp(tmpl.data()) ? tmpl : std::string();
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

}  // namespace vqftest
