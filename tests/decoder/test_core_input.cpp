// The file input module through Mp3InputOpen, Mp3InputClose and the read service.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "core_support.h"

namespace svd_test {
namespace {

using CoreInput = CoreTest;

std::vector<uint8_t> Id3Tag(const std::string& title, const std::string& artist, const std::string& album,
                            const std::string& year, const std::string& comment, uint8_t genre) {
  std::vector<uint8_t> tag(128, 0);
  std::memcpy(tag.data(), "TAG", 3);
  auto put = [&](std::size_t at, const std::string& text, std::size_t len) {
    std::memcpy(tag.data() + at, text.data(), std::min(text.size(), len));
  };
  put(3, title, 30);
  put(33, artist, 30);
  put(63, album, 30);
  put(93, year, 4);
  put(97, comment, 30);
  tag[127] = genre;
  return tag;
}

std::string Text(svd::Decoder* d, const char* name) {
  svd::AttributeValue v;
  if (svd::ServicesOf(d).get(d, svd::Store::kStatus, name, &v) != 0) return "<absent>";
  return v.kind == svd::AttributeKind::kText ? v.text : std::to_string(v.integer);
}

TEST_F(CoreInput, NullAndEmptyNamesAreRefused) {
  EXPECT_EQ(Mp3InputOpen(nullptr), SVD_E_INVALID_PARAMETER);
  EXPECT_TRUE(log.Has("internal error", "null params or null/empty input name"));
  EXPECT_FALSE(d->input.instance);
  log.records.clear();
  EXPECT_EQ(Mp3InputOpen(""), SVD_E_INVALID_PARAMETER);
  EXPECT_TRUE(log.Has("internal error", "null params or null/empty input name"));
  EXPECT_FALSE(d->input.open);
  EXPECT_EQ(Mp3InputClose(), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "input not open"));
}

TEST_F(CoreInput, OpenFailuresCarryTheirCodesAndMessages) {
  EXPECT_EQ(Mp3InputOpen(Path("missing.mp3").c_str()), SVD_E_FILE_NOT_FOUND);
  EXPECT_TRUE(log.Has("cannot open input file", "file not found"));
  EXPECT_FALSE(d->input.open);

  // A folder is no input: refused at once with the system's text.
  EXPECT_EQ(Mp3InputOpen(dir.c_str()), SVD_E_OPEN_FAILED);
  EXPECT_TRUE(log.Has("cannot open input file", std::strerror(EISDIR)));
  EXPECT_EQ(Mp3InputOpen(Path("missing/x.mp3").c_str()), SVD_E_FILE_NOT_FOUND);
}

TEST_F(CoreInput, PermissionDenied) {
  WriteFile(dir / "locked.mp3", Pattern(10));
  chmod((dir / "locked.mp3").c_str(), 0);
  EXPECT_TRUE(WithoutRootRights([&] {
    return Mp3InputOpen(Path("locked.mp3").c_str()) == SVD_E_PERMISSION_DENIED &&
           log.Has("cannot open input file", "permission denied");
  }));
}

TEST_F(CoreInput, ReopeningTheSameNameNeedsAClose) {
  WriteFile(dir / "a.bin", Pattern(1000));
  WriteFile(dir / "b.bin", Pattern(500));
  ASSERT_EQ(Mp3InputOpen(Path("a.bin").c_str()), 0);
  const svd::Instance first = d->input.instance.get();
  EXPECT_EQ(d->input.size, 1000);
  EXPECT_EQ(d->input.flags & svd::kInputCanSeek, svd::kInputCanSeek);
  EXPECT_STREQ(d->input.mime_type, "unknown");

  EXPECT_EQ(Mp3InputOpen(Path("a.bin").c_str()), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "input not closed"));
  EXPECT_TRUE(d->input.open);  // still open and still readable
  uint8_t b[4];
  ASSERT_EQ(Read(b, 4), 0);
  EXPECT_EQ(b[3], 3);

  ASSERT_EQ(Mp3InputClose(), 0);
  EXPECT_EQ(d->input.offset, 0);
  ASSERT_EQ(Mp3InputOpen(Path("a.bin").c_str()), 0);
  EXPECT_EQ(d->input.instance.get(), first);  // kept for the same name
  ASSERT_EQ(Read(b, 4), 0);
  EXPECT_EQ(b[0], 0);  // from the start again

  // Another name while open: the old input is closed and replaced.
  ASSERT_EQ(Mp3InputOpen(Path("b.bin").c_str()), 0);
  EXPECT_EQ(d->input.name, Path("b.bin"));
  EXPECT_EQ(d->input.size, 500);
  EXPECT_EQ(codec.creates, 1);  // the codec survives input changes
  EXPECT_EQ(codec.parameter_mask, 7);
}

TEST_F(CoreInput, Id3v1TagIsPublishedWithTrailingSpacesRemoved) {
  std::vector<uint8_t> bytes = Pattern(1000);
  const auto tag =
      Id3Tag("Hello" + std::string(25, ' '), "Artist", std::string(30, 'A'), "1999", "Two trailing  ", 0xff);
  bytes.insert(bytes.end(), tag.begin(), tag.end());
  WriteFile(dir / "x.mp3", bytes);

  ASSERT_EQ(Mp3InputOpen(Path("x.mp3").c_str()), 0);
  EXPECT_EQ(Text(d, "id3/title"), "Hello");
  EXPECT_EQ(Text(d, "id3/artist"), "Artist");
  EXPECT_EQ(Text(d, "id3/album"), std::string(30, 'A'));
  EXPECT_EQ(Text(d, "id3/year"), "1999");
  EXPECT_EQ(Text(d, "id3/comment"), "Two trailing");
  EXPECT_EQ(Text(d, "id3/genre"), "-1");  // a signed byte
  EXPECT_TRUE(d->status.changes & svd::kChangedAttributes);
  EXPECT_EQ(d->input.size, 1128);  // the tag stays part of the stream

  // The file is read from its start after the tag search.
  uint8_t b[8];
  ASSERT_EQ(Read(b, 8), 0);
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(b[7], 7);

  // The status store is emptied at every open: a file without a tag leaves nothing.
  ASSERT_EQ(Mp3InputClose(), 0);
  WriteFile(dir / "plain.mp3", Pattern(1000));
  ASSERT_EQ(Mp3InputOpen(Path("plain.mp3").c_str()), 0);
  EXPECT_EQ(Text(d, "id3/title"), "<absent>");
  EXPECT_EQ(d->status_attributes.size(), 0u);
}

TEST_F(CoreInput, TagIsOnlySearchedInLowerCaseMp3NamesOfFiveOrMoreCharacters) {
  std::vector<uint8_t> bytes = Pattern(300);
  const auto tag = Id3Tag("T", "", "", "", "", 1);
  bytes.insert(bytes.end(), tag.begin(), tag.end());
  WriteFile(dir / "song.MP3", bytes);
  WriteFile(dir / ".mp3", bytes);
  WriteFile(dir / "x.mp3", bytes);

  ASSERT_EQ(Mp3InputOpen(Path("song.MP3").c_str()), 0);
  EXPECT_EQ(d->status_attributes.size(), 0u);
  ASSERT_EQ(Mp3InputClose(), 0);

  const fs::path old = fs::current_path();
  fs::current_path(dir);
  EXPECT_EQ(Mp3InputOpen(".mp3"), 0);
  EXPECT_EQ(d->status_attributes.size(), 0u);
  ASSERT_EQ(Mp3InputClose(), 0);
  EXPECT_EQ(Mp3InputOpen("x.mp3"), 0);
  EXPECT_EQ(Text(d, "id3/title"), "T");
  EXPECT_EQ(Text(d, "id3/genre"), "1");
  fs::current_path(old);
}

TEST_F(CoreInput, FileShorterThanATagSetsNothingAndReadsFromTheStart) {
  std::vector<uint8_t> bytes(100, 'x');
  std::memcpy(bytes.data(), "TAG", 3);
  WriteFile(dir / "short.mp3", bytes);
  ASSERT_EQ(Mp3InputOpen(Path("short.mp3").c_str()), 0);
  EXPECT_EQ(d->status_attributes.size(), 0u);
  uint8_t b[3];
  ASSERT_EQ(Read(b, 3), 0);
  EXPECT_EQ(std::memcmp(b, "TAG", 3), 0);
}

TEST_F(CoreInput, ReadsDeliverWholeBlocksOnly) {
  WriteFile(dir / "in.bin", Pattern(300));
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  std::vector<uint8_t> b(417);
  EXPECT_EQ(Read(b.data(), 417), SVD_E_END_OF_INPUT);
  EXPECT_EQ(d->input.offset, 0);

  ASSERT_EQ(Mp3InputClose(), 0);
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  ASSERT_EQ(Read(b.data(), 200), 0);
  EXPECT_EQ(d->input.offset, 200);
  EXPECT_EQ(Read(b.data(), 101), SVD_E_END_OF_INPUT);  // 100 remain
  EXPECT_EQ(d->input.offset, 200);

  // The module itself: the count, or 0 for a short block.
  const svd::InputModuleDescriptor& m = svd::FileInputModule();
  svd::Instance in = d->input.instance.get();
  ASSERT_EQ(m.seek(in, 290), 0);
  EXPECT_EQ(m.read(in, b.data(), 10), 10);
  EXPECT_EQ(b[0], 290 % 251);
  EXPECT_EQ(m.read(in, b.data(), 1), 0);

  ASSERT_EQ(Mp3InputClose(), 0);
  EXPECT_EQ(Read(b.data(), 1), SVD_E_WRONG_STATE);
}

TEST_F(CoreInput, StandardInputCannotSeek) {
  WriteFile(dir / "stdin.bin", Pattern(600));
  const int fd = open((dir / "stdin.bin").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  {
    Redirect from(0, fd);
    ASSERT_EQ(Mp3InputOpen("-"), 0);
    EXPECT_EQ(d->input.size, 0);
    EXPECT_EQ(d->input.flags & svd::kInputCanSeek, 0u);
    uint8_t b[100];
    ASSERT_EQ(Read(b, 100), 0);
    EXPECT_EQ(b[99], 99);
    EXPECT_EQ(SeekToPosition(0.5f), SVD_E_NOT_AVAILABLE);
    EXPECT_EQ(SeekToTime(3.0f), SVD_E_NOT_AVAILABLE);
    EXPECT_EQ(GetCurrentPosition(), 0.0f);
    EXPECT_EQ(d->input.offset, 100);
    ASSERT_EQ(Mp3InputClose(), 0);
    // Closing did not close the process's standard input.
    ASSERT_EQ(Mp3InputOpen("-"), 0);
    ASSERT_EQ(Read(b, 100), 0);
    EXPECT_EQ(b[0], 100);
    ASSERT_EQ(Mp3InputClose(), 0);
  }
  close(fd);
}

TEST_F(CoreInput, OffsetsAndSizesBeyondTwoGigabytes) {
  const fs::path big = dir / "big.bin";
  constexpr int64_t kSize = 3LL << 30;
  {
    const int fd = open(big.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const bool sized = ftruncate(fd, kSize) == 0 && pwrite(fd, "END", 3, kSize - 3) == 3;
    close(fd);
    if (!sized) GTEST_SKIP() << "no room for a sparse 3 GiB file";
  }
  ASSERT_EQ(Mp3InputOpen(big.c_str()), 0);
  EXPECT_EQ(d->input.size, kSize);
  ASSERT_EQ(SeekToPosition(1.0f), 0);
  EXPECT_EQ(d->input.offset, kSize);
  ASSERT_EQ(svd::SeekInput(*d, kSize - 3), 0);
  char b[3];
  ASSERT_EQ(Read(b, 3), 0);
  EXPECT_EQ(std::string(b, 3), "END");
  EXPECT_EQ(d->input.offset, kSize);
  ASSERT_EQ(Mp3InputClose(), 0);
  fs::remove(big);
}

TEST(CoreInputModule, QueryDescribesTwoDevices) {
  const svd::InputModuleDescriptor& m = svd::FileInputModule();
  EXPECT_EQ(m.version, svd::kInterfaceVersion);
  EXPECT_EQ(m.reserved, nullptr);
  svd::ModuleInfo info;
  ASSERT_EQ(m.query(&info, svd::kQueryName | svd::kQueryCount), 0);
  EXPECT_STREQ(info.name, "Input From File");
  EXPECT_STREQ(info.description, "Version 1.2");
  EXPECT_EQ(info.count_or_index, 2);
  info.count_or_index = 0;
  ASSERT_EQ(m.query(&info, svd::kQueryDevice), 0);
  EXPECT_STREQ(info.name, "*");
  EXPECT_STREQ(info.description, "any file name");
  EXPECT_EQ(info.device_flags, 1);
  info.count_or_index = 1;
  ASSERT_EQ(m.query(&info, svd::kQueryDevice), 0);
  EXPECT_STREQ(info.name, "-");
  EXPECT_STREQ(info.description, "standard input");
  EXPECT_EQ(info.device_flags, 0);
  for (int32_t bad : {2, -1}) {
    info.count_or_index = bad;
    EXPECT_EQ(m.query(&info, svd::kQueryDevice), SVD_E_INVALID_PARAMETER);
  }
  EXPECT_EQ(m.handles_name("anything at all"), 0);
}

}  // namespace
}  // namespace svd_test
