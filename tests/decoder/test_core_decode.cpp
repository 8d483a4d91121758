// The decode step, position and time, and seeking, with a scripted codec.
#include <cmath>
#include <cstring>
#include <limits>

#include "core_support.h"

namespace svd_test {
namespace {

using CoreDecode = CoreTest;

TEST_F(CoreDecode, DecodeBeforeTheOutputIsOpenTouchesNothing) {
  WriteFile(dir / "in.bin", Pattern(1000));
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "output not open"));
  EXPECT_EQ(codec.decode_calls, 0);
  EXPECT_EQ(d->input.offset, 0);

  ASSERT_EQ(Mp3InputClose(), 0);
  const std::string out = "wav:" + Path("o.wav");
  ASSERT_EQ(WaveOutputOpen(out.c_str()), 0);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "input not open"));
  EXPECT_EQ(codec.decode_calls, 0);
}

TEST_F(CoreDecode, StepsWritePcmBehindACompletedHeader) {
  WriteFile(dir / "in.bin", Pattern(1000));
  codec.read_bytes = 250;
  codec.samples = 6;
  codec.channels = 1;
  codec.sample_rate = 22050;
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  const std::string out = "wav:" + Path("o.wav");
  ASSERT_EQ(WaveOutputOpen(out.c_str()), 0);
  int steps = 0;
  int32_t r;
  while ((r = Mp3DecodePlay()) == 0) {
    ++steps;
    EXPECT_FLOAT_EQ(GetCurrentPosition(), 0.25f * static_cast<float>(steps));
    EXPECT_EQ(d->output_buffer.samples, d->pcm.data());  // the module has no buffer
  }
  EXPECT_EQ(r, SVD_E_END_OF_INPUT);
  EXPECT_EQ(steps, 4);
  ASSERT_EQ(Mp3InputClose(), 0);
  ASSERT_EQ(WaveOutputClose(), 0);

  const auto f = ReadFile(dir / "o.wav");
  ASSERT_EQ(f.size(), 44u + 4 * 6 * 2);
  EXPECT_EQ(Le32(f, 40), 48u);
  EXPECT_EQ(Le32(f, 4), 84u);
  EXPECT_EQ(Le16(f, 22), 1u);
  EXPECT_EQ(Le32(f, 24), 22050u);
  // Step 2's third sample is 2 * 1000 + 2.
  EXPECT_EQ(static_cast<int16_t>(Le16(f, 44 + 2 * 12 + 4)), 2002);
}

TEST_F(CoreDecode, StreamErrorEndsOnlyThatStep) {
  WriteFile(dir / "in.bin", Pattern(1000));
  codec.raise_at_call = 1;
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  const std::string out = "raw:" + Path("o.pcm");
  ASSERT_EQ(WaveOutputOpen(out.c_str()), 0);
  EXPECT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_STREAM);
  EXPECT_EQ(Mp3DecodePlay(), 0);
  ASSERT_EQ(WaveOutputClose(), 0);
  EXPECT_EQ(ReadFile(dir / "o.pcm").size(), 2u * 4 * 2 * 2);  // the failed step wrote nothing
}

TEST_F(CoreDecode, PositionNeverExceedsOne) {
  WriteFile(dir / "grow.bin", Pattern(1000));
  codec.read_bytes = 400;
  ASSERT_EQ(Mp3InputOpen(Path("grow.bin").c_str()), 0);
  // The file grows after its size was taken.
  WriteFile(dir / "grow.bin", Pattern(3000));
  const std::string out = "raw:" + Path("o.pcm");
  ASSERT_EQ(WaveOutputOpen(out.c_str()), 0);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(Mp3DecodePlay(), 0);
    EXPECT_LE(GetCurrentPosition(), 1.0f);
  }
  EXPECT_EQ(d->input.offset, 2000);
  EXPECT_EQ(GetCurrentPosition(), 1.0f);

  // Also when the codec's own mapping overshoots.
  codec.has_offset_to_position = true;
  codec.offset_scale = 3.0f;
  RescriptCodec();
  ASSERT_EQ(Mp3InputClose(), 0);
  ASSERT_EQ(Mp3InputOpen(Path("grow.bin").c_str()), 0);
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_FLOAT_EQ(GetCurrentPosition(), 0.4f);
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_FLOAT_EQ(GetCurrentPosition(), 0.8f);
  ASSERT_EQ(Mp3DecodePlay(), 0);  // 1200 of 3000, tripled
  EXPECT_EQ(GetCurrentPosition(), 1.0f);
  ASSERT_EQ(SeekToPosition(0.9f), 0);
  EXPECT_EQ(GetCurrentPosition(), 1.0f);
}

TEST_F(CoreDecode, TimeFromDurationOrBitRateInWholeSeconds) {
  WriteFile(dir / "in.bin", Pattern(100000));
  codec.read_bytes = 50000;
  codec.duration_ms = 123500;  // half of it is 61.75 s
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  const std::string out = "raw:" + Path("o.pcm");
  ASSERT_EQ(WaveOutputOpen(out.c_str()), 0);
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(GetCurrentTimeSecond(), 61.0);
  EXPECT_EQ(d->status.minutes, 1);
  EXPECT_EQ(d->status.seconds, 1);
  EXPECT_EQ(d->status.hundredths, 75);

  // Without a duration: bytes at the bit rate (kbit/s).
  codec.duration_ms = 0;
  codec.bit_rate = 8;  // 1000 bytes a second
  ASSERT_EQ(Mp3InputClose(), 0);
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  codec.read_bytes = 4000;
  for (int i = 0; i < 1; ++i) ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(GetCurrentTimeSecond(), 4.0);
  // Neither known: no time.
  codec.bit_rate = 0;
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(GetCurrentTimeSecond(), 0.0);
  // Hours take part in the whole seconds.
  codec.duration_ms = 4000u * 1000u;
  codec.read_bytes = 84000;
  ASSERT_EQ(Mp3DecodePlay(), 0);  // offset 92000 of 100000
  EXPECT_EQ(d->status.hours, 1);
  EXPECT_NEAR(GetCurrentTimeSecond(), 3680.0, 1.0);
}

TEST_F(CoreDecode, SeeksPastBothEndsStopAtTheEnds) {
  WriteFile(dir / "in.bin", Pattern(1000));
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  uint8_t b[1];
  ASSERT_EQ(SeekToPosition(1.5f), 0);
  EXPECT_EQ(d->input.offset, 1000);
  EXPECT_EQ(GetCurrentPosition(), 1.0f);
  EXPECT_EQ(Read(b, 1), SVD_E_END_OF_INPUT);

  ASSERT_EQ(SeekToPosition(-2.0f), 0);
  EXPECT_EQ(d->input.offset, 0);
  ASSERT_EQ(Read(b, 1), 0);
  EXPECT_EQ(b[0], 0);

  ASSERT_EQ(SeekToPosition(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(d->input.offset, 0);
  ASSERT_EQ(SeekToPosition(0.5f), 0);
  ASSERT_EQ(Read(b, 1), 0);
  EXPECT_EQ(b[0], 500 % 251);
  EXPECT_EQ(codec.seek_notes, (std::vector<int64_t>{1000, 0, 0, 500}));

  // Unknown length: any time goes to the start.
  ASSERT_EQ(SeekToTime(30.0f), 0);
  EXPECT_EQ(d->input.offset, 0);
}

TEST_F(CoreDecode, SeekThroughTheCodecsMappingSkipsLeadingData) {
  WriteFile(dir / "in.bin", Pattern(1100));
  codec.data_start = 100;  // as if a 100-byte tag led the file
  codec.has_offset_to_position = true;
  RescriptCodec();
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  ASSERT_EQ(SeekToPosition(-2.0f), 0);
  EXPECT_EQ(d->input.offset, 100);
  ASSERT_EQ(SeekToPosition(0.5f), 0);
  EXPECT_EQ(d->input.offset, 600);
  ASSERT_EQ(SeekToPosition(7.0f), 0);
  EXPECT_EQ(d->input.offset, 1100);
}

TEST_F(CoreDecode, SeekToTimeUsesTheDuration) {
  WriteFile(dir / "in.bin", Pattern(10000));
  codec.duration_ms = 10000;
  codec.read_bytes = 10;
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  const std::string out = "raw:" + Path("o.pcm");
  ASSERT_EQ(WaveOutputOpen(out.c_str()), 0);
  ASSERT_EQ(Mp3DecodePlay(), 0);  // the codec reports the duration
  ASSERT_EQ(SeekToTime(2.5f), 0);
  EXPECT_EQ(d->input.offset, 2500);
  EXPECT_EQ(GetCurrentTimeSecond(), 2.0);
  ASSERT_EQ(SeekToTime(-4.0f), 0);
  EXPECT_EQ(d->input.offset, 0);
  ASSERT_EQ(SeekToTime(99.0f), 0);
  EXPECT_EQ(d->input.offset, 10000);
  EXPECT_EQ(GetCurrentTimeSecond(), 10.0);

  ASSERT_EQ(Mp3InputClose(), 0);
  EXPECT_EQ(SeekToPosition(0.5f), SVD_E_WRONG_STATE);
  EXPECT_TRUE(log.Has("internal error", "input not open"));
}

TEST(CoreDecodeCodec, NoCodecForTheStreamClosesTheInput) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "in.bin", Pattern(100));
  ScriptedCodec codec;
  codec.accept = false;
  ScriptedCodec::Current() = &codec;
  svd::Decoder d;
  ASSERT_EQ(svd::RegisterInput(d, svd::FileInputModule()), 0);
  EXPECT_EQ(svd::OpenInput(d, (dir / "in.bin").c_str()), SVD_E_NO_CODEC);  // no codec at all
  EXPECT_FALSE(d.input.open);
  ASSERT_EQ(svd::RegisterCodec(d, ScriptedCodec::Descriptor()), 0);
  EXPECT_EQ(svd::OpenInput(d, (dir / "in.bin").c_str()), SVD_E_NO_CODEC);
  EXPECT_FALSE(d.input.open);
  codec.accept = true;
  EXPECT_EQ(svd::OpenInput(d, (dir / "in.bin").c_str()), 0);
  EXPECT_TRUE(d.input.open);
  ScriptedCodec::Current() = nullptr;
}

// An output module with the optional methods, recording how the decoder uses them.
struct RecordingOutput {
  std::vector<uint32_t> format_changes;
  int32_t format_result = 0;
  std::vector<int32_t> written;
  bool report_delay = false;
  int16_t buffer[svd::kMaxStepBytes / 2] = {};
  static RecordingOutput* current;

  static svd::OutputModuleDescriptor Descriptor() {
    svd::OutputModuleDescriptor m{};
    m.version = svd::kInterfaceVersion;
    m.create = [](svd::Instance* out, const char*, const int32_t*, svd::Decoder*) -> int32_t {
      *out = current;
      return 0;
    };
    m.destroy = [](svd::Instance) -> int32_t { return 0; };
    m.open = [](svd::Instance) -> int32_t { return 0; };
    m.close = [](svd::Instance) -> int32_t { return 0; };
    m.write = [](svd::Instance, const void*, int32_t bytes, int32_t, int32_t, int32_t) -> int32_t {
      current->written.push_back(bytes);
      return bytes;
    };
    m.get_buffer = [](svd::Instance, int32_t) -> void* { return current->buffer; };
    m.set_format = [](svd::Instance, int32_t, int32_t, int32_t, uint32_t changed) -> int32_t {
      current->format_changes.push_back(changed);
      return current->format_result;
    };
    m.get_delay = [](svd::Instance, int32_t* delay) -> int32_t {
      *delay = 321;
      return 0;
    };
    m.get_capabilities = [](svd::Instance) -> uint32_t {
      return current->report_delay ? svd::kOutputCanReportDelay : 0;
    };
    return m;
  }
};
RecordingOutput* RecordingOutput::current = nullptr;

TEST_F(CoreDecode, FormatChangesReachTheOutput) {
  RecordingOutput output;
  RecordingOutput::current = &output;
  output.report_delay = true;
  ASSERT_EQ(svd::RegisterOutput(*d, RecordingOutput::Descriptor()), 1);
  WriteFile(dir / "in.bin", Pattern(1000));
  codec.read_bytes = 10;
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  ASSERT_EQ(WaveOutputOpen("anything"), 0);
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(d->output_buffer.samples, output.buffer);
  EXPECT_EQ(d->output_buffer.delay, 321);
  ASSERT_EQ(Mp3DecodePlay(), 0);  // nothing changed
  codec.sample_rate = 32000;
  ASSERT_EQ(Mp3DecodePlay(), 0);
  codec.channels = 1;
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(output.format_changes, (std::vector<uint32_t>{7, 4, 6}));
  EXPECT_EQ(output.written, (std::vector<int32_t>{16, 16, 16, 8}));

  // Only a refusal with -509 stops the step before the write.
  output.format_result = -1;
  codec.sample_rate = 16000;
  EXPECT_EQ(Mp3DecodePlay(), 0);
  output.format_result = SVD_E_NO_OUTPUT_MODULE;
  codec.sample_rate = 8000;
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_NO_OUTPUT_MODULE);
  EXPECT_EQ(output.written.size(), 5u);
  ASSERT_EQ(WaveOutputClose(), 0);
  ASSERT_EQ(Mp3InputClose(), 0);
  RecordingOutput::current = nullptr;
}

TEST_F(CoreDecode, CodecClaimingMorePcmThanTheBufferIsStopped) {
  WriteFile(dir / "in.bin", Pattern(1000));
  codec.samples = 0;
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  const std::string out = "raw:" + Path("o.pcm");
  ASSERT_EQ(WaveOutputOpen(out.c_str()), 0);
  ASSERT_EQ(Mp3DecodePlay(), 0);  // an empty step writes nothing
  codec.samples = 2048;           // 8192 bytes: exactly the decoder's buffer
  ASSERT_EQ(Mp3DecodePlay(), 0);
  codec.samples = 2049;
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_STREAM);
  ASSERT_EQ(WaveOutputClose(), 0);
  EXPECT_EQ(ReadFile(dir / "o.pcm").size(), 8192u);
}

TEST_F(CoreDecode, DeleteDecoderClosesAndCompletesOpenFiles) {
  WriteFile(dir / "in.bin", Pattern(1000));
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  const std::string out = "wav:" + Path("o.wav");
  ASSERT_EQ(WaveOutputOpen(out.c_str()), 0);
  ASSERT_EQ(Mp3DecodePlay(), 0);
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(DeleteDecoder(), 0);
  const auto f = ReadFile(dir / "o.wav");
  ASSERT_EQ(f.size(), 44u + 32u);
  EXPECT_EQ(Le32(f, 40), 32u);
  ASSERT_EQ(CreateDecoder(), 0);  // for the fixture's own delete
}

TEST_F(CoreDecode, FullDiskDuringDecodingReachesTheClose) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  WriteFile(dir / "in.bin", Pattern(100000));
  codec.samples = 1152;
  ASSERT_EQ(Mp3InputOpen(Path("in.bin").c_str()), 0);
  ASSERT_EQ(WaveOutputOpen("wav:/dev/full"), 0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Mp3DecodePlay(), 0);  // callers that check nothing
  EXPECT_EQ(WaveOutputClose(), SVD_E_WRITE_FAILED);
}

}  // namespace
}  // namespace svd_test
