// Decoder lifetime, module registration and lookup.
#include "core_support.h"

namespace svd_test {
namespace {

TEST(CoreRegistry, ExportsWithoutDecoderReportWrongState) {
  DeleteDecoder();
  EXPECT_EQ(RegisterInputModule(), SVD_E_WRONG_STATE);
  EXPECT_EQ(RegisterOutputModule(), SVD_E_WRONG_STATE);
  EXPECT_EQ(Mp3InputOpen("x.mp3"), SVD_E_WRONG_STATE);
  EXPECT_EQ(WaveOutputOpen("wav:x.wav"), SVD_E_WRONG_STATE);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_WRONG_STATE);
  EXPECT_EQ(Mp3InputClose(), SVD_E_WRONG_STATE);
  EXPECT_EQ(WaveOutputClose(), SVD_E_WRONG_STATE);
  EXPECT_EQ(SeekToPosition(0.5f), SVD_E_WRONG_STATE);
  EXPECT_EQ(SeekToTime(1.0f), SVD_E_WRONG_STATE);
  EXPECT_EQ(GetCurrentPosition(), 0.0f);
  EXPECT_EQ(GetCurrentTimeSecond(), 0.0);
  EXPECT_EQ(DeleteDecoder(), 0);
}

TEST(CoreRegistry, DoubleRegistrationGivesZeroThenOneAndNameLookupFindsNewest) {
  ASSERT_EQ(CreateDecoder(), 0);
  svd::Decoder* d = svd::CurrentDecoder();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->codec_module_count, 1);  // the MPEG codec
  EXPECT_EQ(RegisterInputModule(), 0);
  EXPECT_EQ(RegisterInputModule(), 1);
  EXPECT_EQ(RegisterOutputModule(), 0);
  EXPECT_EQ(RegisterOutputModule(), 1);
  EXPECT_EQ(d->input_module_count, 2);
  EXPECT_EQ(d->output_module_count, 2);

  // The error callback names the module that failed: the newest one took the name.
  ErrorLog log;
  log.Attach(*d);
  const fs::path dir = ScratchDir();
  EXPECT_EQ(Mp3InputOpen((dir / "missing.mp3").c_str()), SVD_E_FILE_NOT_FOUND);
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(log.records[0].module_id, 1);
  EXPECT_EQ(WaveOutputOpen((dir / "no" / "such.wav").c_str()), SVD_E_OPEN_FAILED);
  ASSERT_EQ(log.records.size(), 2u);
  EXPECT_EQ(log.records[1].module_id, 1);

  // By identifier: 0 is still there, 7 is not.
  WriteFile(dir / "in.bin", Pattern(10));
  EXPECT_EQ(svd::OpenInput(*d, (dir / "in.bin").c_str(), 0), 0);
  EXPECT_EQ(d->input.module->id, 0);
  EXPECT_EQ(svd::OpenInput(*d, (dir / "in.bin").c_str(), 7), SVD_E_NO_SUCH_MODULE);
  EXPECT_EQ(svd::OpenOutput(*d, (dir / "out.pcm").c_str(), 7), SVD_E_NO_SUCH_MODULE);
  EXPECT_EQ(DeleteDecoder(), 0);
  EXPECT_EQ(svd::CurrentDecoder(), nullptr);
}

TEST(CoreRegistry, OpenWithoutModulesFindsNone) {
  ASSERT_EQ(CreateDecoder(), 0);
  EXPECT_EQ(Mp3InputOpen("anything.mp3"), SVD_E_NO_INPUT_MODULE);
  EXPECT_EQ(WaveOutputOpen("wav:anything.wav"), SVD_E_NO_OUTPUT_MODULE);
  DeleteDecoder();
}

TEST(CoreRegistry, DescriptorIsCopiedAndCheckedOnRegistration) {
  svd::Decoder d;
  ErrorLog log;
  log.Attach(d);

  svd::InputModuleDescriptor input = svd::FileInputModule();
  input.version = 0x00050300;
  EXPECT_EQ(svd::RegisterInput(d, input), SVD_E_VERSION_MISMATCH);
  input.version = 0xff040300;  // only bits 8..23 are compared
  EXPECT_EQ(svd::RegisterInput(d, input), 0);
  input.version = svd::kInterfaceVersion;

  struct Case {
    void (*clear)(svd::InputModuleDescriptor&);
    const char* message;
  };
  const Case cases[] = {
      {[](svd::InputModuleDescriptor& m) { m.create = nullptr; }, "null 'new' method in module"},
      {[](svd::InputModuleDescriptor& m) { m.destroy = nullptr; }, "null 'new' method in module"},
      {[](svd::InputModuleDescriptor& m) { m.open = nullptr; }, "null 'open' method in module"},
      {[](svd::InputModuleDescriptor& m) { m.close = nullptr; }, "null 'close' method in module"},
      {[](svd::InputModuleDescriptor& m) { m.read = nullptr; }, "null 'read' method in module"},
  };
  for (const Case& c : cases) {
    svd::InputModuleDescriptor m = svd::FileInputModule();
    c.clear(m);
    log.records.clear();
    EXPECT_EQ(svd::RegisterInput(d, m), SVD_E_WRONG_STATE) << c.message;
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].source, "internal error");
    EXPECT_EQ(log.records[0].message, c.message);
  }
  // Two missing: the first in order is named.
  svd::InputModuleDescriptor two = svd::FileInputModule();
  two.open = nullptr;
  two.read = nullptr;
  log.records.clear();
  svd::RegisterInput(d, two);
  EXPECT_TRUE(log.Has("internal error", "null 'open' method in module"));

  svd::OutputModuleDescriptor output = svd::FileOutputModule();
  output.write = nullptr;
  EXPECT_EQ(svd::RegisterOutput(d, output), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "null 'write' method in module"));

  svd::CodecModuleDescriptor codec = svd::MpegCodecModule();
  codec.query = nullptr;
  codec.decode = nullptr;
  EXPECT_EQ(svd::RegisterCodec(d, codec), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "null 'query' method"));
  codec = svd::MpegCodecModule();
  codec.probe = nullptr;
  EXPECT_EQ(svd::RegisterCodec(d, codec), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "null 'probe' method in module"));
  codec = svd::MpegCodecModule();
  codec.decode = nullptr;
  EXPECT_EQ(svd::RegisterCodec(d, codec), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "null 'decode' method in module"));

  // Refused modules take no identifier; the one accepted so far had 0.
  EXPECT_EQ(d.input_module_count, 1);
  EXPECT_EQ(d.codec_module_count, 0);
  EXPECT_EQ(svd::RegisterInput(d, svd::FileInputModule()), 1);
  EXPECT_EQ(svd::RegisterCodec(d, svd::MpegCodecModule()), 0);
}

TEST(CoreRegistry, SecondCreateReplacesAndClosesTheFirstDecoder) {
  const fs::path dir = ScratchDir();
  ASSERT_EQ(CreateDecoder(), 0);
  ASSERT_EQ(RegisterOutputModule(), 0);
  const std::string name = "wav:" + (dir / "first.wav").string();
  ASSERT_EQ(WaveOutputOpen(name.c_str()), 0);
  svd::Decoder* first = svd::CurrentDecoder();
  ASSERT_EQ(CreateDecoder(), 0);
  EXPECT_NE(svd::CurrentDecoder(), first);
  // The first decoder's output was closed, so its header is complete.
  EXPECT_EQ(ReadFile(dir / "first.wav").size(), 44u);
  // The new decoder starts with no modules but the codec.
  EXPECT_EQ(WaveOutputOpen(name.c_str()), SVD_E_NO_OUTPUT_MODULE);
  EXPECT_EQ(DeleteDecoder(), 0);
}

}  // namespace
}  // namespace svd_test
