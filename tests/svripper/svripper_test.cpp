#include "svripper.h"

#include <cdio/cdio.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "disc_images.h"

namespace {

namespace fs = std::filesystem;
using namespace sv::discs;

constexpr int kBlock = 26;

// Each test lists the images of a folder of its own.
class Ripper : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/svripper-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    folder = root / "discs";
    setenv("SONVERA_DISC_DIR", folder.c_str(), 1);
  }
  void TearDown() override {
    for (SVR_HCDROM h : open) CloseCDHandle(h);
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  SVR_CDLIST list() {
    SVR_CDLIST l;
    std::memset(&l, 0xEE, sizeof l);
    GetCDList(&l);
    return l;
  }

  // The entry of the drive whose path is given, or null.
  const SVR_CDREC* entryFor(const SVR_CDLIST& l, const fs::path& path) {
    for (int i = 0; i < l.num; ++i) {
      char p[4096];
      if (GetCDDrivePath(l.cd[i].ha, l.cd[i].tgt, l.cd[i].lun, p, sizeof p) > 0 && path == p) return &l.cd[i];
    }
    return nullptr;
  }

  SVR_HCDROM openImage(const DiscImage& image, bool lba = true) {
    const SVR_CDLIST l = list();
    const SVR_CDREC* rec = entryFor(l, image.sheet);
    if (!rec) return 0;
    SVR_GETCDHAND req{};
    req.size = 12;
    req.ver = 1;
    req.ha = rec->ha;
    req.tgt = rec->tgt;
    req.lun = rec->lun;
    const SVR_HCDROM h = GetCDHandle(&req);
    if (h != 0) {
      open.push_back(h);
      if (lba) ModifyCDParms(h, SVR_CDP_MSF, 0);
    }
    return h;
  }

  void close(SVR_HCDROM h) {
    CloseCDHandle(h);
    std::erase(open, h);
  }

  // A read request as the grabbing job makes it: 24-byte header, room for 26 frames.
  struct Request {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(24 + kBlock * kFrameBytes + 64, 0xA5);
    SVR_TRACKBUF* header() { return reinterpret_cast<SVR_TRACKBUF*>(bytes.data()); }
    uint8_t* data() { return bytes.data() + 24; }
  };

  int32_t read(SVR_HCDROM h, Request& r, int first, int frames, uint32_t capacity = kBlock * kFrameBytes) {
    SVR_TRACKBUF* hdr = r.header();
    hdr->startFrame = static_cast<uint32_t>(first);
    hdr->numFrames = static_cast<uint32_t>(frames);
    hdr->maxLen = capacity;
    hdr->len = hdr->status = 0;
    hdr->startOffset = 0;
    return ReadCDAudioLBA(h, hdr);
  }

  // Reads every track block by block and compares each frame with the image.
  void expectAllAudioReadsBack(const DiscImage& image, int mode) {
    const SVR_HCDROM h = openImage(image);
    ASSERT_NE(h, 0) << GetAspiLibError();
    ASSERT_EQ(ModifyCDParms(h, SVR_CDP_READMODE, mode), 1);
    SVR_TOC toc;
    ASSERT_EQ(ReadTOC(h, &toc), 1);
    Request r;
    for (int t = 1; t <= image.tracks(); ++t) {
      if (image.isData(t)) continue;
      int at = image.start(t);
      while (at < image.end(t)) {
        const int n = std::min(kBlock, image.end(t) - at);
        ASSERT_EQ(read(h, r, at, n), 1) << "track " << t << " frame " << at << " error " << GetAspiLibError();
        EXPECT_EQ(r.header()->len, static_cast<uint32_t>(n * kFrameBytes));
        const auto expected = image.Audio(at, n);
        ASSERT_EQ(std::memcmp(r.data(), expected.data(), expected.size()), 0)
            << "track " << t << " frames " << at << ".." << at + n - 1;
        at += n;
      }
    }
  }

  fs::path root, folder;
  std::vector<SVR_HCDROM> open;
};

uint32_t bigEndian32(const uint8_t* a) {
  return uint32_t(a[0]) << 24 | uint32_t(a[1]) << 16 | uint32_t(a[2]) << 8 | a[3];
}

bool machineHasDrives() {
  char** devices = cdio_get_devices(DRIVER_DEVICE);
  const bool any = devices && *devices;
  cdio_free_device_list(devices);
  return any;
}

TEST_F(Ripper, RecordsHaveTheirFixedSizes) {
  EXPECT_EQ(sizeof(SVR_CDLIST), 970u);
  EXPECT_EQ(sizeof(SVR_CDREC), 121u);
  EXPECT_EQ(offsetof(SVR_CDLIST, cd), 2u);
  EXPECT_EQ(offsetof(SVR_CDREC, id), 4u);
  EXPECT_EQ(sizeof(SVR_GETCDHAND), 12u);
  EXPECT_EQ(sizeof(SVR_TOC), 804u);
  EXPECT_EQ(offsetof(SVR_TOC, tracks), 4u);
  EXPECT_EQ(sizeof(SVR_TRACKBUF), 24u);
}

TEST_F(Ripper, DiscFolderIsMadeOnFirstUseAndEmptyMeansNoImages) {
  EXPECT_FALSE(fs::exists(folder));
  const int32_t n = GetNumAdapters();
  EXPECT_TRUE(fs::is_directory(folder));
  char path[4096];
  ASSERT_GT(GetCDImageFolder(path, sizeof path), 0);
  EXPECT_EQ(fs::path(path), folder);
  EXPECT_EQ(GetCDImageFolder(path, 3), static_cast<int32_t>(folder.string().size()) + 1);
  if (!machineHasDrives()) {
    EXPECT_EQ(n, 0);
    const SVR_CDLIST l = list();
    const auto* raw = reinterpret_cast<const uint8_t*>(&l);
    EXPECT_EQ(raw[0], 8);
    EXPECT_EQ(raw[1], 0);
    for (std::size_t i = 2; i < sizeof l; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
  }
}

TEST_F(Ripper, ImagesAreListedAfterDrivesSortedWithStableNumbers) {
  WriteCueBin(folder, AudioDisc("beta", {100}));
  WriteCueBin(folder, AudioDisc("alpha", {100}));
  fs::create_directories(folder / "sub.cue");  // a folder is no image
  std::ofstream(folder / "notes.txt") << "x";
  SVR_CDLIST l = list();
  const int drives = machineHasDrives() ? l.num - 2 : 0;
  ASSERT_EQ(l.num, drives + 2);
  EXPECT_EQ(GetNumAdapters(), l.num);
  const auto* raw = reinterpret_cast<const uint8_t*>(&l);
  // Entry n lies at 2 + 121n; its text at 4 within it, zero-padded to 65 bytes.
  const uint8_t* alpha = raw + 2 + 121 * drives;
  EXPECT_STREQ(reinterpret_cast<const char*>(alpha + 4), "Disc image: alpha.cue");
  EXPECT_EQ(alpha[4 + 64], 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(raw + 2 + 121 * (drives + 1) + 4), "Disc image: beta.cue");
  EXPECT_STREQ(l.cd[drives].info.product, "DISC IMAGE");
  for (std::size_t i = 2 + 121 * (drives + 2); i < sizeof l; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;

  const SVR_CDREC alphaBefore = l.cd[drives];
  const SVR_CDREC betaBefore = l.cd[drives + 1];
  EXPECT_FALSE(alphaBefore.ha == betaBefore.ha && alphaBefore.tgt == betaBefore.tgt);
  // A new image sorts first; the others keep their numbers.
  WriteCueBin(folder, AudioDisc("aardvark", {100}));
  l = list();
  ASSERT_EQ(l.num, drives + 3);
  EXPECT_STREQ(l.cd[drives].id, "Disc image: aardvark.cue");
  EXPECT_EQ(l.cd[drives + 1].ha, alphaBefore.ha);
  EXPECT_EQ(l.cd[drives + 1].tgt, alphaBefore.tgt);
  EXPECT_EQ(l.cd[drives + 2].ha, betaBefore.ha);

  char path[4096];
  ASSERT_GT(GetCDDrivePath(betaBefore.ha, betaBefore.tgt, betaBefore.lun, path, sizeof path), 0);
  EXPECT_EQ(fs::path(path), folder / "beta.cue");
  EXPECT_EQ(GetCDDrivePath(250, 250, 0, path, sizeof path), 0);
  EXPECT_EQ(GetAspiLibError(), SVR_E_NOT_CDROM);
}

TEST_F(Ripper, OnlyTheFirstEightDrivesAreListed) {
  for (int i = 0; i < 10; ++i) WriteCueBin(folder, AudioDisc("disc" + std::to_string(i), {30}));
  const SVR_CDLIST l = list();
  EXPECT_EQ(l.num, 8);
  EXPECT_EQ(GetNumAdapters(), 8);
  if (!machineHasDrives()) {
    EXPECT_STREQ(l.cd[0].id, "Disc image: disc0.cue");
    EXPECT_STREQ(l.cd[7].id, "Disc image: disc7.cue");
  }
}

TEST_F(Ripper, HandleRequestsAreChecked) {
  const DiscImage image = WriteCueBin(folder, AudioDisc("one", {40}));
  const SVR_CDREC rec = *entryFor(list(), image.sheet);

  EXPECT_EQ(GetCDHandle(nullptr), 0);
  EXPECT_EQ(GetAspiLibError(), -13);
  SVR_GETCDHAND req{};
  req.size = 11;
  req.ver = 1;
  req.ha = rec.ha;
  req.tgt = rec.tgt;
  EXPECT_EQ(GetCDHandle(&req), 0);
  EXPECT_EQ(GetAspiLibError(), -14);
  req.size = 12;
  req.ver = 2;
  EXPECT_EQ(GetCDHandle(&req), 0);
  EXPECT_EQ(GetAspiLibError(), -14);
  req.ver = 1;
  req.ha = 251;
  req.tgt = 251;
  EXPECT_EQ(GetCDHandle(&req), 0);
  EXPECT_EQ(GetAspiLibError(), -10);

  req.ha = rec.ha;
  req.tgt = rec.tgt;
  std::vector<SVR_HCDROM> handles;
  for (int i = 0; i < 8; ++i) {
    const SVR_HCDROM h = GetCDHandle(&req);
    ASSERT_NE(h, 0) << "handle " << i;
    EXPECT_EQ(GetAspiLibError(), 0);
    handles.push_back(h);
    open.push_back(h);
  }
  EXPECT_EQ(GetCDHandle(&req), 0);
  EXPECT_EQ(GetAspiLibError(), -8);
  close(handles.back());
  const SVR_HCDROM again = GetCDHandle(&req);
  EXPECT_EQ(again, handles.back());  // the freed slot
  open.push_back(again);
}

TEST_F(Ripper, BadHandlesAndBuffersAreRefused) {
  const DiscImage image = WriteCueBin(folder, AudioDisc("one", {40}));
  SVR_TOC toc;
  EXPECT_EQ(ReadTOC(0, &toc), 0);
  EXPECT_EQ(GetAspiLibError(), -7);
  EXPECT_EQ(ReadTOC(200, &toc), 0);
  EXPECT_EQ(GetAspiLibError(), -7);
  Request r;
  EXPECT_EQ(read(5, r, 0, 1), 0);
  EXPECT_EQ(GetAspiLibError(), -7);
  EXPECT_EQ(ModifyCDParms(9, SVR_CDP_MSF, 0), 0);
  EXPECT_EQ(GetAspiLibError(), -7);

  const SVR_HCDROM h = openImage(image);
  ASSERT_NE(h, 0);
  EXPECT_EQ(ReadTOC(h, nullptr), 0);
  EXPECT_EQ(GetAspiLibError(), -9);
  EXPECT_EQ(ReadCDAudioLBA(h, nullptr), 0);
  EXPECT_EQ(GetAspiLibError(), -9);
  EXPECT_EQ(ModifyCDParms(h, 99, 0), 0);
  EXPECT_EQ(ModifyCDParms(h, SVR_CDP_READMODE, 7), 0);
  EXPECT_EQ(ReadTOC(h, &toc), 1);
  EXPECT_EQ(GetAspiLibError(), 0);
  close(h);
  EXPECT_EQ(ReadTOC(h, &toc), 0);
  EXPECT_EQ(GetAspiLibError(), -7);
  EXPECT_EQ(CloseCDHandle(h), 0);
  EXPECT_EQ(GetAspiLibError(), -7);
}

TEST_F(Ripper, ErrorsBelongToTheThreadThatCalled) {
  EXPECT_EQ(GetCDHandle(nullptr), 0);
  int32_t other = 1;
  std::thread([&] { other = GetAspiLibError(); }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(GetAspiLibError(), -13);
}

TEST_F(Ripper, TocRecordBytesGiveBigEndianLbasAfterTheMsfSwitch) {
  DiscSpec spec = AudioDisc("enhanced", {1000, 333, 26});
  spec.tracks[1].pregapFrames = 75;
  spec.tracks.push_back(DataTrack(600));
  const DiscImage image = WriteCueBin(folder, spec);
  const SVR_HCDROM h = openImage(image, false);
  ASSERT_NE(h, 0);

  SVR_TOC toc;
  std::memset(&toc, 0xEE, sizeof toc);
  ASSERT_EQ(ReadTOC(h, &toc), 1);
  auto* raw = reinterpret_cast<const uint8_t*>(&toc);
  // Before the switch: 0:M:S:F of LBA + 150. Track 1 begins after its pregap, at LBA 150.
  EXPECT_EQ(raw[4 + 4], 0);
  EXPECT_EQ(raw[4 + 5], 0);
  EXPECT_EQ(raw[4 + 6], 4);
  EXPECT_EQ(raw[4 + 7], 0);

  ASSERT_EQ(ModifyCDParms(h, 36, 0), 1);
  ASSERT_EQ(ReadTOC(h, &toc), 1);
  EXPECT_EQ(raw[0], 0);
  EXPECT_EQ(raw[1], 2 + 8 * 5);
  EXPECT_EQ(raw[2], 1);
  EXPECT_EQ(raw[3], 4);
  for (int t = 1; t <= 4; ++t) {
    const uint8_t* e = raw + 4 + 8 * (t - 1);
    EXPECT_EQ(e[2], t);
    EXPECT_EQ(e[1] & 0x04, image.isData(t) ? 0x04 : 0) << "track " << t;
    EXPECT_EQ(bigEndian32(e + 4), static_cast<uint32_t>(image.start(t))) << "track " << t;
  }
  const uint8_t* leadout = raw + 4 + 8 * 4;
  EXPECT_EQ(leadout[2], 0xAA);
  EXPECT_EQ(bigEndian32(leadout + 4), static_cast<uint32_t>(image.totalFrames));
  for (std::size_t i = 4 + 8 * 5; i < sizeof toc; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
  EXPECT_EQ(image.start(2), 150 + 1000 + 75);
}

TEST_F(Ripper, EveryFrameOfEveryLayoutReadsBackSecurely) {
  DiscSpec two = AudioDisc("two", {1001, 27});
  DiscSpec ten = AudioDisc("ten", {});
  for (int t = 0; t < 10; ++t) ten.tracks.push_back(Track(25 + 37 * t, t % 3 == 0 ? 40 : 0));
  DiscSpec ninetyNine = AudioDisc("ninetynine", {});
  for (int t = 0; t < 99; ++t) ninetyNine.tracks.push_back(Track(t % 2 ? 13 : 53));
  for (const DiscSpec& spec : {AudioDisc("single", {777}), two, ten, ninetyNine}) {
    SCOPED_TRACE(spec.name);
    expectAllAudioReadsBack(WriteCueBin(folder, spec), SVR_READ_SECURE);
  }
}

TEST_F(Ripper, BigEndianImagesReadBackInTheSameOrderInBothModes) {
  DiscSpec spec = AudioDisc("motorola", {300, 20, 131});
  spec.order = ByteOrder::Big;
  spec.seed = 7;
  const DiscImage image = WriteCueBin(folder, spec);
  expectAllAudioReadsBack(image, SVR_READ_SECURE);
  expectAllAudioReadsBack(image, SVR_READ_FAST);
}

TEST_F(Ripper, ReadsOutsideTheAudioAreRefusedWithoutWritingPastTheBuffer) {
  DiscSpec spec = AudioDisc("mixed", {200, 100});
  spec.tracks.push_back(DataTrack(300));
  const DiscImage image = WriteCueBin(folder, spec);
  const SVR_HCDROM h = openImage(image);
  ASSERT_NE(h, 0);
  Request r;
  // 27 frames into room for 26: refused, nothing written.
  EXPECT_EQ(read(h, r, image.start(1), 27), 0);
  EXPECT_EQ(GetAspiLibError(), -6);
  for (std::size_t i = 24; i < r.bytes.size(); ++i) ASSERT_EQ(r.bytes[i], 0xA5) << "byte " << i;
  EXPECT_EQ(read(h, r, image.start(1), 26, 26 * kFrameBytes - 1), 0);
  EXPECT_EQ(GetAspiLibError(), -6);
  // Past the lead-out, across it, and into the data track.
  EXPECT_EQ(read(h, r, image.totalFrames, 1), 0);
  EXPECT_EQ(GetAspiLibError(), -4);
  EXPECT_EQ(read(h, r, image.totalFrames - 10, 20), 0);
  EXPECT_EQ(GetAspiLibError(), -4);
  EXPECT_EQ(read(h, r, image.start(3) - 5, 10), 0);
  EXPECT_EQ(GetAspiLibError(), -4);
  EXPECT_EQ(read(h, r, -1, 1), 0);
  EXPECT_EQ(GetAspiLibError(), -4);
  for (std::size_t i = 24 + 26 * kFrameBytes; i < r.bytes.size(); ++i) ASSERT_EQ(r.bytes[i], 0xA5);
  // A zero-frame read has nothing to do.
  EXPECT_EQ(read(h, r, image.start(2), 0), 1);
  // The audio right before the data track still reads.
  ASSERT_EQ(read(h, r, image.start(3) - 26, 26), 1);
  const auto expected = image.Audio(image.start(3) - 26, 26);
  EXPECT_EQ(std::memcmp(r.data(), expected.data(), expected.size()), 0);
}

TEST_F(Ripper, ABinCutShortFailsWhereTheAudioEnds) {
  DiscSpec spec = AudioDisc("cut", {200, 200});
  spec.cutBytes = 100 * kFrameBytes + 1000;
  const DiscImage image = WriteCueBin(folder, spec);
  const SVR_HCDROM h = openImage(image);
  ASSERT_NE(h, 0);
  SVR_TOC toc;
  ASSERT_EQ(ReadTOC(h, &toc), 1);
  Request r;
  ASSERT_EQ(read(h, r, image.start(1), 26), 1);
  // 100 frames and 1000 bytes are gone: the frame before the last 101 is the last whole one.
  EXPECT_LE(bigEndian32(toc.tracks[2].address), static_cast<uint32_t>(image.totalFrames - 101));
  const int lastWhole = image.totalFrames - 102;
  ASSERT_EQ(read(h, r, lastWhole - 25, 26), 1) << GetAspiLibError();
  const auto expected = image.Audio(lastWhole - 25, 26);
  EXPECT_EQ(std::memcmp(r.data(), expected.data(), expected.size()), 0);
  EXPECT_EQ(read(h, r, lastWhole + 1, 26), 0);
  EXPECT_EQ(GetAspiLibError(), -4);
}

TEST_F(Ripper, CdTextOfTheSheetIsReadable) {
  DiscSpec spec = AudioDisc("texts", {100, 100});
  spec.title = "Songs of the Sea";
  spec.performer = "The Harbour Band";
  spec.tracks[0].title = "Low Tide";
  spec.tracks[1].title =
      "Sch\xC3\xB6ne Br\xC3\xBC"
      "cke";
  spec.tracks[1].performer = "Guest Singer";
  const DiscImage image = WriteCueBin(folder, spec);
  const SVR_HCDROM h = openImage(image);
  ASSERT_NE(h, 0);
  char text[256];
  auto field = [&](int track, int f) {
    const int32_t n = ReadCDText(h, track, f, text, sizeof text);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
  };
  EXPECT_EQ(field(0, SVR_CDTEXT_TITLE), "Songs of the Sea");
  EXPECT_EQ(field(0, SVR_CDTEXT_PERFORMER), "The Harbour Band");
  EXPECT_EQ(field(1, SVR_CDTEXT_TITLE), "Low Tide");
  EXPECT_EQ(field(2, SVR_CDTEXT_TITLE),
            "Sch\xC3\xB6ne Br\xC3\xBC"
            "cke");
  EXPECT_EQ(field(2, SVR_CDTEXT_PERFORMER), "Guest Singer");
  EXPECT_EQ(field(1, SVR_CDTEXT_SONGWRITER), "");
  EXPECT_EQ(ReadCDText(h, 1, SVR_CDTEXT_TITLE, text, 3), 9);  // too small: the size it needs
}

TEST_F(Ripper, AnImageThatGoesAwayIsADriveWithoutADisc) {
  const DiscImage image = WriteCueBin(folder, AudioDisc("gone", {100}));
  const SVR_CDREC rec = *entryFor(list(), image.sheet);
  RemoveImage(image);
  SVR_GETCDHAND req{12, 1, rec.ha, rec.tgt, rec.lun, 0, {}};
  EXPECT_EQ(GetCDHandle(&req), 0);
  EXPECT_EQ(GetAspiLibError(), -4);
  EXPECT_EQ(entryFor(list(), image.sheet), nullptr);
}

TEST_F(Ripper, CdrdaoTocImagesReadBack) {
  const DiscImage image = WriteCdrdaoToc(folder, AudioDisc("cdrdao", {120, 57}));
  const SVR_HCDROM h = openImage(image);
  ASSERT_NE(h, 0) << GetAspiLibError();
  SVR_TOC toc;
  ASSERT_EQ(ReadTOC(h, &toc), 1);
  EXPECT_EQ(toc.lastTrack, 2);
  EXPECT_EQ(bigEndian32(toc.tracks[1].address), static_cast<uint32_t>(image.start(2)));
  expectAllAudioReadsBack(image, SVR_READ_SECURE);
}

}  // namespace
