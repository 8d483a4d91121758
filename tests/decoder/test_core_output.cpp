// The file output module: prefixes, the WAV header, standard output and failed writes.
#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "core_support.h"

namespace svd_test {
namespace {

using CoreOutput = CoreTest;

// Drives the module directly: open `name`, hand it the writes, close; the close result.
struct Write {
  std::vector<int16_t> pcm;
  int32_t channels;
  int32_t rate;
};

int32_t WriteThrough(svd::Decoder* d, const std::string& name, const std::vector<Write>& writes) {
  const svd::OutputModuleDescriptor& m = svd::FileOutputModule();
  static const int32_t id = 0;
  svd::Instance out = nullptr;
  if (int32_t r = m.create(&out, name.c_str(), &id, d); r != 0) return r;
  int32_t r = m.open(out);
  if (r == 0) {
    for (const Write& w : writes) {
      const auto bytes = static_cast<int32_t>(w.pcm.size() * 2);
      EXPECT_EQ(m.write(out, w.pcm.data(), bytes, 2, w.channels, w.rate), bytes);
    }
    r = m.close(out);
  }
  m.destroy(out);
  return r;
}

void ExpectWavHeader(const std::vector<uint8_t>& f, uint32_t channels, uint32_t rate, uint32_t data_bytes) {
  ASSERT_GE(f.size(), 44u);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(f, 4), data_bytes + 36);
  EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(f, 16), 16u);
  EXPECT_EQ(Le16(f, 20), 1u);
  EXPECT_EQ(Le16(f, 22), channels);
  EXPECT_EQ(Le32(f, 24), rate);
  EXPECT_EQ(Le32(f, 28), channels * rate * 2);
  EXPECT_EQ(Le16(f, 32), channels * 2);
  EXPECT_EQ(Le16(f, 34), 16u);
  EXPECT_EQ(std::string(f.begin() + 36, f.begin() + 40), "data");
  EXPECT_EQ(Le32(f, 40), data_bytes);
}

std::vector<uint8_t> Bytes(const std::vector<int16_t>& pcm) {
  std::vector<uint8_t> b;
  for (int16_t s : pcm) {
    b.push_back(static_cast<uint8_t>(s & 0xff));
    b.push_back(static_cast<uint8_t>((s >> 8) & 0xff));
  }
  return b;
}

TEST_F(CoreOutput, EmptyWavOutputIsTheBare44ByteHeader) {
  const std::string name = "wav:" + Path("out.wav");
  ASSERT_EQ(WaveOutputOpen(name.c_str()), 0);
  EXPECT_EQ(d->output.capabilities, svd::kDefaultOutputCapabilities);
  ASSERT_EQ(WaveOutputClose(), 0);
  const auto f = ReadFile(dir / "out.wav");
  EXPECT_EQ(f.size(), 44u);
  ExpectWavHeader(f, 2, 44100, 0);

  EXPECT_EQ(WaveOutputClose(), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "output not open"));
}

TEST_F(CoreOutput, MonoHeaderTakesTheFirstWritesFormat) {
  const std::vector<int16_t> a = {1, -2, 3, -4, 32767, -32768};
  const std::vector<int16_t> b = {5, 6, 7, 8};
  // A later write in another format changes nothing in the header.
  ASSERT_EQ(WriteThrough(d, "wav:" + Path("x.wav"), {{a, 1, 22050}, {b, 2, 48000}}), 0);
  const auto f = ReadFile(dir / "x.wav");
  ExpectWavHeader(f, 1, 22050, 20);
  EXPECT_EQ(Le32(f, 28), 44100u);  // byte rate
  EXPECT_EQ(Le16(f, 32), 2u);      // block align
  auto pcm = Bytes(a);
  const auto tail = Bytes(b);
  pcm.insert(pcm.end(), tail.begin(), tail.end());
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 44, f.end()), pcm);
}

TEST_F(CoreOutput, RawNamesWithAndWithoutPrefixAreHeaderless) {
  const std::vector<int16_t> pcm = {0x1234, -1, 7, 0};
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  ASSERT_EQ(WriteThrough(d, "x.pcm", {{pcm, 2, 44100}}), 0);
  EXPECT_EQ(ReadFile(dir / "x.pcm"), Bytes(pcm));
  fs::remove(dir / "x.pcm");
  ASSERT_EQ(WriteThrough(d, "raw:x.pcm", {{pcm, 1, 8000}}), 0);
  EXPECT_EQ(ReadFile(dir / "x.pcm"), Bytes(pcm));
  EXPECT_FALSE(fs::exists(dir / "raw:x.pcm"));

  // The other two types carry no header either; the prefix is case-sensitive.
  ASSERT_EQ(WriteThrough(d, "aiff:x.aif", {{pcm, 2, 44100}}), 0);
  EXPECT_EQ(ReadFile(dir / "x.aif"), Bytes(pcm));
  ASSERT_EQ(WriteThrough(d, "sun:x.au", {{pcm, 2, 44100}}), 0);
  EXPECT_EQ(ReadFile(dir / "x.au"), Bytes(pcm));
  ASSERT_EQ(WriteThrough(d, "WAV:y.wav", {{pcm, 2, 44100}}), 0);
  EXPECT_EQ(ReadFile(dir / "WAV:y.wav"), Bytes(pcm));
  fs::current_path(old);
}

TEST_F(CoreOutput, WavToStandardOutputKeepsTheFirstHeader) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const std::vector<int16_t> pcm = {1, 2, 3, 4};
  {
    Redirect to(1, pipe_fds[1]);
    EXPECT_EQ(WriteThrough(d, "wav:-", {{pcm, 2, 32000}, {pcm, 2, 32000}}), 0);
    // Standard output is still usable after the close.
    std::fputs("after", stdout);
  }
  close(pipe_fds[1]);
  std::vector<uint8_t> got;
  uint8_t buf[256];
  for (ssize_t n; (n = read(pipe_fds[0], buf, sizeof buf)) > 0;) got.insert(got.end(), buf, buf + n);
  close(pipe_fds[0]);
  ASSERT_EQ(got.size(), 44u + 16u + 5u);
  ExpectWavHeader(got, 2, 32000, 0);
  EXPECT_EQ(std::string(got.end() - 5, got.end()), "after");
}

TEST_F(CoreOutput, OpenFailuresCarryTheirCodesAndMessages) {
  EXPECT_EQ(WaveOutputOpen(nullptr), SVD_E_INVALID_PARAMETER);
  EXPECT_TRUE(log.Has("internal error", "null params or null/empty output name"));
  EXPECT_EQ(WaveOutputOpen(""), SVD_E_INVALID_PARAMETER);
  EXPECT_FALSE(d->output.instance);

  // A prefix alone names no file.
  EXPECT_EQ(WaveOutputOpen("aiff:"), SVD_E_OPEN_FAILED);
  EXPECT_TRUE(log.Has("cannot open output file", std::strerror(ENOENT)));
  EXPECT_FALSE(d->output.open);
  const std::string in_missing_dir = "wav:" + Path("none/x.wav");
  EXPECT_EQ(WaveOutputOpen(in_missing_dir.c_str()), SVD_E_OPEN_FAILED);
  const std::string folder = "wav:" + dir.string();
  EXPECT_EQ(WaveOutputOpen(folder.c_str()), SVD_E_OPEN_FAILED);
  EXPECT_TRUE(log.Has("cannot open output file", std::strerror(EISDIR)));
  EXPECT_EQ(log.records.back().module_id, 0);
}

TEST_F(CoreOutput, PermissionDenied) {
  fs::create_directories(dir / "ro");
  fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                  fs::perms::others_exec);
  const std::string name = "wav:" + Path("ro/x.wav");
  EXPECT_TRUE(WithoutRootRights([&] {
    return WaveOutputOpen(name.c_str()) == SVD_E_PERMISSION_DENIED &&
           log.Has("cannot open output file", "permission denied");
  }));
}

TEST_F(CoreOutput, ReopeningTheSameNameNeedsAClose) {
  const std::string name = "wav:" + Path("again.wav");
  ASSERT_EQ(WaveOutputOpen(name.c_str()), 0);
  const svd::Instance first = d->output.instance.get();
  EXPECT_EQ(WaveOutputOpen(name.c_str()), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "output not closed"));
  EXPECT_TRUE(d->output.open);
  ASSERT_EQ(WaveOutputClose(), 0);
  EXPECT_EQ(d->output.capabilities, 0u);
  ASSERT_EQ(WaveOutputOpen(name.c_str()), 0);
  EXPECT_EQ(d->output.instance.get(), first);
  // Another name closes (and completes) the first file.
  const std::string other = "wav:" + Path("other.wav");
  ASSERT_EQ(WaveOutputOpen(other.c_str()), 0);
  EXPECT_EQ(ReadFile(dir / "again.wav").size(), 44u);
  ASSERT_EQ(WaveOutputClose(), 0);
}

TEST_F(CoreOutput, FullDiskIsReportedAtTheClose) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // Even the header alone does not fit.
  ASSERT_EQ(WaveOutputOpen("wav:/dev/full"), 0);
  EXPECT_EQ(WaveOutputClose(), SVD_E_WRITE_FAILED);
  // Raw PCM, more than the stream buffer holds, so a write itself fails.
  std::vector<int16_t> pcm(40000, 3);
  const svd::OutputModuleDescriptor& m = svd::FileOutputModule();
  const int32_t id = 0;
  svd::Instance out = nullptr;
  ASSERT_EQ(m.create(&out, "raw:/dev/full", &id, d), 0);
  ASSERT_EQ(m.open(out), 0);
  EXPECT_EQ(m.write(out, pcm.data(), 80000, 2, 2, 44100), 0);  // nothing was counted
  EXPECT_EQ(m.write(out, pcm.data(), 80000, 2, 2, 44100), 0);
  EXPECT_EQ(m.close(out), SVD_E_WRITE_FAILED);
  // A fresh open starts clean: raw output with nothing written has nothing to lose.
  ASSERT_EQ(m.open(out), 0);
  EXPECT_EQ(m.close(out), 0);
  m.destroy(out);
}

TEST_F(CoreOutput, FileRemovedUnderTheWriterIsReported) {
  const std::string name = "wav:" + Path("gone.wav");
  ASSERT_EQ(WaveOutputOpen(name.c_str()), 0);
  fs::remove(dir / "gone.wav");
  EXPECT_EQ(WaveOutputClose(), SVD_E_WRITE_FAILED);
  // A successful output afterwards reports success again.
  ASSERT_EQ(WaveOutputOpen(name.c_str()), 0);
  EXPECT_EQ(WaveOutputClose(), 0);
}

TEST(CoreOutputModule, QueryDescribesThreeDevices) {
  const svd::OutputModuleDescriptor& m = svd::FileOutputModule();
  EXPECT_EQ(m.version, svd::kInterfaceVersion);
  EXPECT_EQ(m.get_buffer, nullptr);
  EXPECT_EQ(m.set_format, nullptr);
  EXPECT_EQ(m.get_controls, nullptr);
  EXPECT_EQ(m.get_delay, nullptr);
  EXPECT_EQ(m.get_capabilities, nullptr);
  EXPECT_EQ(m.further, nullptr);
  svd::ModuleInfo info;
  ASSERT_EQ(m.query(&info, svd::kQueryName | svd::kQueryCount), 0);
  EXPECT_STREQ(info.name, "Output To File");
  EXPECT_STREQ(info.description, "Version 1.2");
  EXPECT_EQ(info.count_or_index, 3);
  const char* names[] = {"*, or raw:*", "wav:*", "-"};
  const char* texts[] = {"file name (raw PCM format)", "file name (WAV format)", "standard output"};
  const int32_t flags[] = {1, 1, 0};
  for (int32_t i = 0; i < 3; ++i) {
    info.count_or_index = i;
    ASSERT_EQ(m.query(&info, svd::kQueryDevice), 0);
    EXPECT_STREQ(info.name, names[i]);
    EXPECT_STREQ(info.description, texts[i]);
    EXPECT_EQ(info.device_flags, flags[i]);
  }
  for (int32_t bad : {3, -1}) {
    info.count_or_index = bad;
    EXPECT_EQ(m.query(&info, svd::kQueryDevice), SVD_E_INVALID_PARAMETER);
  }
}

}  // namespace
}  // namespace svd_test
