// WAV file I/O: the header bytes, the open modes and the header reader.
#include "mod_wav.h"
#include "platform/runtime_error.h"
#include "wav_file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using modWAV::ReadWavHeader;
using modWAV::WavHeader;
using modWAV::WavLayout;

namespace {

using Bytes = std::vector<uint8_t>;

class WavIo : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("sonvera-wavio-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  static void put(const std::string& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }
  static Bytes get(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
};

void add32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void add16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void addText(Bytes& b, const char* s) { b.insert(b.end(), s, s + std::strlen(s)); }

Bytes fmtChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  Bytes b;
  addText(b, "fmt ");
  add32(b, 16);
  add16(b, tag);
  add16(b, channels);
  add32(b, rate);
  add32(b, rate * channels * bits / 8);
  add16(b, static_cast<uint16_t>(channels * bits / 8));
  add16(b, bits);
  return b;
}

// RIFF file from chunks; the RIFF size counts what follows it.
Bytes riff(const std::vector<Bytes>& chunks) {
  Bytes body;
  addText(body, "WAVE");
  for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b;
  addText(b, "RIFF");
  add32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

Bytes dataChunk(const Bytes& samples, uint32_t declared) {
  Bytes b;
  addText(b, "data");
  add32(b, declared);
  b.insert(b.end(), samples.begin(), samples.end());
  if (samples.size() % 2) b.push_back(0);
  return b;
}

TEST_F(WavIo, HeaderForZeroLengthIsTheCanonicalBytes) {
  const Bytes expected = {0x52, 0x49, 0x46, 0x46, 0x24, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56,
                          0x45, 0x66, 0x6D, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                          0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1, 0x02, 0x00, 0x04,
                          0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00};
  clsFileIo io;
  ASSERT_EQ(io.OpenFile(path("a.wav")), -1);
  EXPECT_EQ(io.writeWavHeader(0), -1);
  EXPECT_EQ(io.CloseFile(), -1);
  EXPECT_EQ(get(path("a.wav")), expected);
}

TEST_F(WavIo, HeaderCarriesTheLengthAndRefusesOverflow) {
  clsFileIo io;
  ASSERT_EQ(io.OpenFile(path("b.wav")), -1);
  try {
    io.writeWavHeader(2147483604);
    ADD_FAILURE() << "no overflow raised";
  } catch (const sv::RuntimeError& e) {
    EXPECT_EQ(e.number(), sv::errOverflow);
  }
  EXPECT_EQ(fs::file_size(path("b.wav")), 0u);  // nothing written
  EXPECT_EQ(io.writeWavHeader(2147483603), -1);
  EXPECT_EQ(io.writeWavHeader(352800), -1);  // lands after the first: current position
  io.CloseFile();
  const Bytes b = get(path("b.wav"));
  ASSERT_EQ(b.size(), 88u);
  auto le = [&](size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; };
  EXPECT_EQ(le(4), 2147483639u);
  EXPECT_EQ(le(40), 2147483603u);
  EXPECT_EQ(le(44 + 4), 352836u);
  EXPECT_EQ(le(44 + 40), 352800u);
}

TEST_F(WavIo, OpenKeepsTheTailOfALongerFileAndCreatesMissingOnes) {
  put(path("old.bin"), Bytes(100, 0xEE));
  clsFileIo io;
  ASSERT_EQ(io.OpenFile(path("old.bin")), -1);
  EXPECT_EQ(io.FileName(), path("old.bin"));
  const Bytes head(10, 0x11);
  EXPECT_EQ(io.WriteBytes(head.data(), 10), -1);
  EXPECT_EQ(io.FlushBuffers(), -1);
  EXPECT_EQ(io.CloseFile(), -1);
  Bytes expected(100, 0xEE);
  std::fill(expected.begin(), expected.begin() + 10, 0x11);
  EXPECT_EQ(get(path("old.bin")), expected);

  clsFileIo fresh;
  EXPECT_EQ(fresh.OpenFile(path("new.bin")), -1);
  EXPECT_TRUE(fs::exists(path("new.bin")));
}

TEST_F(WavIo, ReadsAtTheCurrentPositionAndReportsShortReadsAsSuccess) {
  Bytes content;
  for (int i = 0; i < 60; ++i) content.push_back(static_cast<uint8_t>(i));
  put(path("r.bin"), content);
  clsFileIo io;
  ASSERT_EQ(io.OpenFile(path("r.bin")), -1);
  uint8_t buf[64] = {};
  EXPECT_EQ(io.ReadBytes(buf, 44), 1);
  EXPECT_EQ(io.LastBytesRead(), 44);
  EXPECT_EQ(io.ReadBytes(buf, 32), 1);
  EXPECT_EQ(io.LastBytesRead(), 16);
  EXPECT_EQ(buf[0], 44);
  EXPECT_EQ(buf[15], 59);
  EXPECT_EQ(io.ReadBytes(buf, 8), 1);  // at the end: nothing left, still a success
  EXPECT_EQ(io.LastBytesRead(), 0);
  EXPECT_EQ(io.ReadBytes(buf, -1), 0);
}

TEST_F(WavIo, FailedOpenMakesEveryCallFail) {
  clsFileIo io;
  EXPECT_EQ(io.OpenFile(path("no/such/dir/x.wav")), 0);
  EXPECT_EQ(io.FileName(), "");
  uint8_t buf[4] = {1, 2, 3, 4};
  EXPECT_EQ(io.WriteBytes(buf, 4), 0);
  EXPECT_EQ(io.ReadBytes(buf, 4), 0);
  EXPECT_EQ(io.FlushBuffers(), 0);
  EXPECT_EQ(io.writeWavHeader(0), 0);
  EXPECT_EQ(io.CloseFile(), 0);
}

TEST_F(WavIo, OpenIsExclusiveAndCloseEndsTheHandle) {
  clsFileIo first, second, reader;
  ASSERT_EQ(first.OpenFile(path("x.bin")), -1);
  EXPECT_EQ(second.OpenFile(path("x.bin")), 0);
  EXPECT_EQ(reader.OpenFileReadOnly(path("x.bin")), 0);
  EXPECT_EQ(first.CloseFile(), -1);
  EXPECT_EQ(first.CloseFile(), 0);  // already closed
  EXPECT_EQ(first.FileName(), path("x.bin"));
  const uint8_t b = 7;
  EXPECT_EQ(first.WriteBytes(&b, 1), 0);
  EXPECT_EQ(second.OpenFile(path("x.bin")), -1);
  // Nothing written through the closed instance, even though a new descriptor exists.
  EXPECT_EQ(fs::file_size(path("x.bin")), 0u);
}

TEST_F(WavIo, ReadOnlyOpenLeavesTheSourceUntouched) {
  const std::string src = path("src.wav");
  Bytes content = riff({fmtChunk(1, 2, 44100, 16), dataChunk(Bytes(400, 0x5A), 400)});
  put(src, content);
  fs::permissions(src, fs::perms::owner_read | fs::perms::group_read);
  struct stat before {};
  ASSERT_EQ(::stat(src.c_str(), &before), 0);
  ::usleep(20000);  // so that a changed time would show

  clsFileIo io;
  ASSERT_EQ(io.OpenFileReadOnly(src), -1);
  Bytes buf(500);
  EXPECT_EQ(io.ReadBytes(buf.data(), 500), 1);
  EXPECT_EQ(io.LastBytesRead(), static_cast<int32_t>(content.size()));
  EXPECT_EQ(io.WriteBytes(buf.data(), 4), 0);
  EXPECT_EQ(io.writeWavHeader(0), 0);
  EXPECT_EQ(io.CloseFile(), -1);

  struct stat after {};
  ASSERT_EQ(::stat(src.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(get(src), content);
  if (::geteuid() != 0) {  // root may write anyway
    clsFileIo rw;
    EXPECT_EQ(rw.OpenFile(src), 0);
  }
}

TEST_F(WavIo, CanonicalHeaderReadsItsFirst44Bytes) {
  Bytes samples(1000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7);
  const Bytes file = riff({fmtChunk(1, 2, 44100, 16), dataChunk(samples, 1000)});
  put(path("c.wav"), file);
  WavHeader h{};
  WavLayout l;
  EXPECT_EQ(ReadWavHeader(path("c.wav"), h, l), 0);
  EXPECT_EQ(std::memcmp(&h, file.data(), 44), 0);  // the record is the raw header
  EXPECT_EQ(h.SampleRate, 44100);
  EXPECT_EQ(h.Channels, 2);
  EXPECT_EQ(h.BitsPerSample, 16);
  EXPECT_EQ(h.DataSize, 1000);
  EXPECT_EQ(l.DataOffset, 44);
  EXPECT_EQ(l.DataBytes, 1000);
  EXPECT_TRUE(modWAV::IsPcm16(h, l));

  // What writeWavHeader writes reads back as itself.
  clsFileIo io;
  ASSERT_EQ(io.OpenFile(path("w.wav")), -1);
  io.writeWavHeader(8);
  io.WriteBytes(samples.data(), 8);
  io.CloseFile();
  EXPECT_EQ(ReadWavHeader(path("w.wav"), h, l), 0);
  EXPECT_EQ(std::memcmp(&h, get(path("w.wav")).data(), 44), 0);
  EXPECT_EQ(l.DataBytes, 8);
}

TEST_F(WavIo, FieldsAreTakenAsStored) {
  put(path("m8.wav"), riff({fmtChunk(1, 1, 22050, 8), dataChunk(Bytes(50, 0x80), 50)}));
  WavHeader h{};
  WavLayout l;
  ReadWavHeader(path("m8.wav"), h, l);
  EXPECT_EQ(h.Channels, 1);
  EXPECT_EQ(h.BitsPerSample, 8);
  EXPECT_EQ(h.SampleRate, 22050);
  EXPECT_FALSE(modWAV::IsPcm16(h, l));  // recognisable, so a job can refuse it

  // A zero sample rate stays zero here; substituting a rate is the caller's decision.
  put(path("z.wav"), riff({fmtChunk(1, 2, 0, 16), dataChunk(Bytes(8), 8)}));
  ReadWavHeader(path("z.wav"), h, l);
  EXPECT_EQ(h.SampleRate, 0);
  EXPECT_TRUE(modWAV::IsPcm16(h, l));

  put(path("f.wav"), riff({fmtChunk(3, 2, 44100, 32), dataChunk(Bytes(16), 16)}));
  ReadWavHeader(path("f.wav"), h, l);
  EXPECT_EQ(h.FormatTag, 3);
  EXPECT_FALSE(modWAV::IsPcm16(h, l));

  put(path("24.wav"), riff({fmtChunk(1, 2, 48000, 24), dataChunk(Bytes(12), 12)}));
  ReadWavHeader(path("24.wav"), h, l);
  EXPECT_FALSE(modWAV::IsPcm16(h, l));
}

TEST_F(WavIo, WalksPastChunksBeforeTheSamples) {
  Bytes list;
  addText(list, "LIST");
  add32(list, 25);  // odd: one pad byte follows
  addText(list, "INFOISFT");
  add32(list, 13);
  addText(list, "Lavf59.27.100");
  list.push_back(0);
  const Bytes samples(400, 0x33);
  const Bytes file = riff({fmtChunk(1, 2, 48000, 16), list, dataChunk(samples, 400)});
  put(path("list.wav"), file);
  WavHeader h{};
  WavLayout l;
  ReadWavHeader(path("list.wav"), h, l);
  EXPECT_EQ(std::string(h.DataId, 4), "data");
  EXPECT_EQ(h.DataSize, 400);
  EXPECT_EQ(h.SampleRate, 48000);
  EXPECT_EQ(l.DataOffset, 12 + 24 + 34 + 8);
  EXPECT_EQ(file[l.DataOffset], 0x33);
  EXPECT_EQ(file[l.DataOffset - 4], 400 & 0xFF);  // low byte of the chunk size
  EXPECT_EQ(l.DataBytes, 400);
  EXPECT_TRUE(modWAV::IsPcm16(h, l));
}

TEST_F(WavIo, ExtensibleAndOverlongDataChunks) {
  Bytes fmt;
  addText(fmt, "fmt ");
  add32(fmt, 40);
  add16(fmt, 0xFFFE);
  add16(fmt, 2);
  add32(fmt, 44100);
  add32(fmt, 176400);
  add16(fmt, 4);
  add16(fmt, 16);
  add16(fmt, 22);  // extension size
  add16(fmt, 16);  // valid bits
  add32(fmt, 3);   // front left and right
  add16(fmt, 1);   // sub-format: PCM, then the rest of the GUID
  const uint8_t guidTail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  fmt.insert(fmt.end(), guidTail, guidTail + 14);
  // The data chunk claims more than the file holds, as streamed recordings do.
  put(path("ext.wav"), riff({fmt, dataChunk(Bytes(100, 1), 0xFFFFFFFF)}));
  WavHeader h{};
  WavLayout l;
  ReadWavHeader(path("ext.wav"), h, l);
  EXPECT_EQ(static_cast<uint16_t>(h.FormatTag), modWAV::kFormatExtensible);
  EXPECT_EQ(l.SampleFormat, modWAV::kFormatPcm);
  EXPECT_EQ(l.DataOffset, 12 + 48 + 8);
  EXPECT_EQ(l.DataBytes, 100);
  EXPECT_TRUE(modWAV::IsPcm16(h, l));
}

TEST_F(WavIo, MissingShortAndForeignFilesNeitherFailNorChange) {
  WavHeader h;
  std::memset(&h, 0x55, sizeof h);
  WavLayout l;
  EXPECT_EQ(ReadWavHeader(path("missing.wav"), h, l), 0);
  EXPECT_FALSE(fs::exists(path("missing.wav")));
  const WavHeader zero{};
  EXPECT_EQ(std::memcmp(&h, &zero, sizeof h), 0);
  EXPECT_FALSE(l.HasData);

  const Bytes shortFile = {'R', 'I', 'F', 'F', 8, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't'};
  put(path("short.wav"), shortFile);
  EXPECT_EQ(ReadWavHeader(path("short.wav"), h, l), 0);
  EXPECT_EQ(h.RiffSize, 8);
  EXPECT_EQ(h.SampleRate, 0);
  EXPECT_FALSE(modWAV::IsPcm16(h, l));
  EXPECT_EQ(get(path("short.wav")), shortFile);

  Bytes foreign(60);
  for (size_t i = 0; i < foreign.size(); ++i) foreign[i] = static_cast<uint8_t>(200 - i);
  put(path("foreign.bin"), foreign);
  EXPECT_EQ(ReadWavHeader(path("foreign.bin"), h, l), 0);
  EXPECT_EQ(std::memcmp(&h, foreign.data(), 44), 0);
  EXPECT_FALSE(l.IsRiffWave);
}

}  // namespace
