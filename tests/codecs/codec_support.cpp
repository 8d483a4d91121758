#include "codec_support.h"

#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <stdexcept>

namespace codectest {
namespace {

template <class F>
F symbol(void* lib, const char* name) {
  void* p = lib ? dlsym(lib, name) : nullptr;
  if (!p) throw std::runtime_error(std::string("missing ") + name);
  return reinterpret_cast<F>(p);
}

void put16(std::ofstream& o, uint32_t v) {
  const char b[2] = {char(v & 0xFF), char((v >> 8) & 0xFF)};
  o.write(b, 2);
}
void put32(std::ofstream& o, uint32_t v) {
  put16(o, v & 0xFFFF);
  put16(o, v >> 16);
}
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

ProgressLog* gActive = nullptr;
std::thread::id gCaller;

int16_t record(int16_t percent) {
  if (!gActive) return 0;
  if (std::this_thread::get_id() != gCaller) gActive->otherThread = true;
  gActive->percents.push_back(percent);
  if (gActive->hook) gActive->hook(percent);
  return 0;
}

}  // namespace

const Calls& Lib() {
  static const Calls calls = [] {
    void* ogg = dlopen(SVOGG_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    void* wma = dlopen(SVWMA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    return Calls{symbol<OGGEncodeProc>(ogg, "OGGEncode"), symbol<OGGDecodeProc>(ogg, "OGGDecode"),
                 symbol<WMAEncodeProc>(wma, "WMAEncode"), symbol<WMADecodeProc>(wma, "WMADecode")};
  }();
  return calls;
}

std::vector<int16_t> MakeSignal(const Signal& s) {
  static const double tones[][2] = {{440, 97},   {1250, 3100}, {660, 150},
                                    {2000, 330}, {880, 60},    {1500, 5000}};
  const size_t frames = static_cast<size_t>(s.seconds * s.rate);
  std::vector<int16_t> pcm(frames * static_cast<size_t>(s.channels));
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> noise(-200, 200);
  for (size_t i = 0; i < frames; ++i)
    for (int ch = 0; ch < s.channels; ++ch) {
      const double t = static_cast<double>(i) / s.rate;
      const auto& f = tones[ch % 6];
      const double v = 9000 * std::sin(2 * M_PI * f[0] * t) + 4000 * std::sin(2 * M_PI * f[1] * t);
      pcm[i * static_cast<size_t>(s.channels) + static_cast<size_t>(ch)] =
          static_cast<int16_t>(v + noise(rng));
    }
  return pcm;
}

void WriteWav(const fs::path& path, const std::vector<int16_t>& samples, const WavSpec& spec) {
  std::ofstream o(path, std::ios::binary | std::ios::trunc);
  const uint32_t bytesPerSample = static_cast<uint32_t>(spec.bits / 8);
  // Samples are written as 16-bit values whatever the header says: a lying header is the point.
  const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
  const uint32_t claimed = spec.claimedDataBytes < 0 ? data : static_cast<uint32_t>(spec.claimedDataBytes);
  o.write("RIFF", 4);
  put32(o, 36 + claimed);
  o.write("WAVEfmt ", 8);
  put32(o, 16);
  put16(o, static_cast<uint32_t>(spec.formatTag));
  put16(o, static_cast<uint32_t>(spec.channels));
  put32(o, static_cast<uint32_t>(spec.rate));
  put32(o, static_cast<uint32_t>(spec.rate) * static_cast<uint32_t>(spec.channels) * bytesPerSample);
  put16(o, static_cast<uint32_t>(spec.channels) * bytesPerSample);
  put16(o, static_cast<uint32_t>(spec.bits));
  o.write("data", 4);
  put32(o, claimed);
  o.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(data));
}

void WriteWav(const fs::path& path, const std::vector<int16_t>& samples, const Signal& s) {
  WavSpec spec;
  spec.rate = s.rate;
  spec.channels = s.channels;
  WriteWav(path, samples, spec);
}

Wav ReadWav(const fs::path& path) {
  Wav w;
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), {});
  w.fileSize = b.size();
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
    return w;
  w.riffSize = le32(b.data() + 4);
  for (size_t pos = 12; pos + 8 <= b.size();) {
    const uint32_t size = le32(b.data() + pos + 4);
    const uint8_t* body = b.data() + pos + 8;
    if (std::memcmp(b.data() + pos, "fmt ", 4) == 0 && pos + 8 + 16 <= b.size()) {
      w.formatTag = le16(body);
      w.channels = le16(body + 2);
      w.rate = static_cast<int>(le32(body + 4));
      w.bits = le16(body + 14);
      if (w.formatTag == 0xFFFE && size >= 40) w.channelMask = le32(body + 20);
    } else if (std::memcmp(b.data() + pos, "data", 4) == 0) {
      w.dataSize = size;
      w.dataOffset = pos + 8;
      const size_t have = std::min<size_t>(size, b.size() - (pos + 8)) / 2;
      w.samples.resize(have);
      if (have) std::memcpy(w.samples.data(), body, have * 2);
      w.valid = w.channels > 0;
      break;
    }
    pos += 8 + size + (size & 1);
  }
  return w;
}

std::vector<char> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), {});
}

void WriteBytes(const fs::path& path, const std::vector<char>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

double Snr(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded, int channels,
           int maxLag, int* lagFound) {
  const auto refFrames = static_cast<int64_t>(reference.size()) / channels;
  const auto decFrames = static_cast<int64_t>(decoded.size()) / channels;
  // decoded[i + lag] is compared with reference[i]; where both exist.
  auto at = [&](const std::vector<int16_t>& v, int64_t frame, int ch) {
    return double(v[frame * channels + ch]);
  };
  int best = 0;
  if (maxLag > 0) {  // the lag where a stretch of the middle matches best
    const int64_t start = refFrames / 3, span = std::min<int64_t>(8192, refFrames / 3);
    double bestScore = -1e300;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
      if (start + lag < 0 || start + span + lag > decFrames) continue;
      double score = 0;
      for (int64_t i = start; i < start + span; ++i)
        for (int ch = 0; ch < channels; ++ch) score += at(reference, i, ch) * at(decoded, i + lag, ch);
      if (score > bestScore) {
        bestScore = score;
        best = lag;
      }
    }
  }
  if (lagFound) *lagFound = best;
  double signal = 0, noise = 0;
  for (int64_t i = std::max<int64_t>(0, -best); i < refFrames && i + best < decFrames; ++i)
    for (int ch = 0; ch < channels; ++ch) {
      const double r = at(reference, i, ch), d = at(decoded, i + best, ch);
      signal += r * r;
      noise += (r - d) * (r - d);
    }
  return 10 * std::log10(signal / std::max(noise, 1e-9));
}

std::vector<int16_t> SwapChannels(std::vector<int16_t> stereo) {
  for (size_t i = 0; i + 1 < stereo.size(); i += 2) std::swap(stereo[i], stereo[i + 1]);
  return stereo;
}

double ToneShare(const std::vector<int16_t>& samples, int channels, int channel, int rate, double hz) {
  const double w = 2 * M_PI * hz / rate, coeff = 2 * std::cos(w);
  double s1 = 0, s2 = 0, total = 0;
  size_t n = 0;
  for (size_t i = static_cast<size_t>(channel); i < samples.size(); i += static_cast<size_t>(channels), ++n) {
    const double x = samples[i];
    const double s0 = x + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
    total += x * x;
  }
  const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;  // |X(f)|^2
  return n && total > 0 ? 2 * power / (static_cast<double>(n) * total) : 0;
}

std::string Shell(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) {
    if (status) *status = -1;
    return out;
  }
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

bool HaveTool(const std::string& name) {
  int status = 0;
  Shell("command -v " + name + " >/dev/null 2>&1", &status);
  return status == 0;
}

std::string Quote(const fs::path& p) {
  std::string quoted(1, '\'');
  quoted += p.string();
  quoted += '\'';
  return quoted;
}

CodecProgressProc ProgressLog::Start(ProgressLog& log) {
  gActive = &log;
  gCaller = std::this_thread::get_id();
  return &record;
}
void ProgressLog::Stop() { gActive = nullptr; }

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

TempDir::TempDir() {
  static int counter = 0;
  path_ = fs::temp_directory_path() /
          ("svcodec-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  fs::remove_all(path_);
  fs::create_directories(path_);
}
TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
  ::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of ending the process
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  oldSoft_ = old.rlim_cur;
  oldHard_ = old.rlim_max;
  rlimit now{static_cast<rlim_t>(bytes), old.rlim_max};
  setrlimit(RLIMIT_FSIZE, &now);
}
FileSizeLimit::~FileSizeLimit() {
  rlimit old{static_cast<rlim_t>(oldSoft_), static_cast<rlim_t>(oldHard_)};
  setrlimit(RLIMIT_FSIZE, &old);
}

}  // namespace codectest
