// The Layer III streams of the MPEG conformance suites, decoded through the exported calls:
// every complete frame, largest difference 1 and PSNR above 96 dB against the reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "frame.h"
#include "layer3_support.h"

namespace {

using namespace l3_test;

fs::path VectorsDir() {
  const char* dir = std::getenv("SVD_VECTORS_DIR");
  return dir ? fs::path(dir) : fs::path(SVD_VECTORS_DIR);
}

// Complete frames of a stream that starts with a frame and has no junk: walk the headers.
int CountFrames(const std::vector<uint8_t>& s, int* samples_per_frame, int* channels) {
  size_t at = 0;
  int frames = 0;
  while (at + 4 <= s.size()) {
    const uint32_t word = svd::ReadBigEndian32(&s[at]);
    const svd::FrameHeader h = svd::FrameHeader::Unpack(word);
    if (!svd::FrameHeader::HasSync(word) || !h.Check()) break;
    const size_t length = static_cast<size_t>(h.frame_length());
    if (at + length > s.size()) break;
    *samples_per_frame = h.samples_per_frame();
    *channels = h.channels();
    ++frames;
    at += length;
  }
  return frames;
}

class Layer3Conformance : public testing::TestWithParam<const char*> {};

TEST_P(Layer3Conformance, MatchesTheReference) {
  const fs::path bit = VectorsDir() / (std::string(GetParam()) + ".bit");
  const fs::path pcm = VectorsDir() / (std::string(GetParam()) + ".pcm");
  if (!fs::exists(bit) || !fs::exists(pcm))
    GTEST_SKIP() << "conformance stream " << bit << " not available (../shared/vectors)";
  const std::vector<uint8_t> stream = Load(bit);
  int per_frame = 0, channels = 0;
  const int complete = CountFrames(stream, &per_frame, &channels);
  ASSERT_GT(complete, 0);

  const fs::path copy = Scratch("stream.mp3");
  fs::copy_file(bit, copy, fs::copy_options::overwrite_existing);
  const Decoded d = DecodeThroughExports(copy);
  EXPECT_EQ(d.last, SVD_E_END_OF_INPUT);
  EXPECT_EQ(d.errors, 0);
  EXPECT_EQ(d.frames, complete);
  EXPECT_EQ(d.out.channels, channels);
  ASSERT_EQ(d.out.pcm.size(), static_cast<size_t>(complete) * per_frame * channels);

  const std::vector<uint8_t> raw = Load(pcm);
  const size_t common = std::min(d.out.pcm.size(), raw.size() / 2);
  ASSERT_GT(common, 0u);
  int largest = 0;
  double squares = 0;
  for (size_t i = 0; i < common; ++i) {
    const int ref = static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
    const int diff = std::abs(d.out.pcm[i] - ref);
    largest = std::max(largest, diff);
    squares += double(diff) * diff;
  }
  EXPECT_LE(largest, 1);
  const double psnr = squares == 0 ? 1000.0 : 10 * std::log10(32767.0 * 32767.0 * common / squares);
  EXPECT_GT(psnr, 96.0);
}

INSTANTIATE_TEST_SUITE_P(Streams, Layer3Conformance,
                         testing::Values("l3-compl", "l3-si", "l3-si_huff", "l3-si_block", "l3-he_32khz",
                                         "l3-hecommon", "l3-test46", "M2L3_compl24", "M2L3_bitrate_22_all"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string n = info.param;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

// Free format (bit-rate index 0) is not decoded: the whole input is searched, nothing found.
TEST(Layer3Conformance, FreeFormatStreamDecodesToNothing) {
  const fs::path bit = VectorsDir() / "l3-he_free.bit";
  if (!fs::exists(bit)) GTEST_SKIP() << "conformance stream " << bit << " not available";
  const fs::path copy = Scratch("free.mp3");
  fs::copy_file(bit, copy, fs::copy_options::overwrite_existing);
  const Decoded d = DecodeThroughExports(copy);
  EXPECT_EQ(d.frames, 0);
  EXPECT_EQ(d.last, SVD_E_END_OF_INPUT);
  EXPECT_TRUE(d.out.pcm.empty());
}

}  // namespace
