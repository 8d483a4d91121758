// The WAV-to-compressed job through its status window: MP3 encoding checked by decoding the
// result, the refusals and failures, stopping, the outside libraries and the option lists.
#include "convert/core/codec_progress.h"
#include "convert/core/mp3_encode_step.h"
#include "convert/core/outside_codecs.h"
#include "convert/core/step_texts.h"
#include "convert/core/wave_options.h"
#include "frmWaveToAllStatus.h"
#include "grid/job_grid.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"
#include "wave_source_support.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;
using namespace sv;
using wavetest::Pcm;
using wavetest::WavSpec;

namespace {

constexpr size_t kFrameSamples = 1152;
// Encoder delay and padding together stay within about two frames.
constexpr long kLengthSlack = 2 * kFrameSamples + 1152 / 2;

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

class WaveToAll : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("sonvera-wavetoall-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "out");
    WaveToAllOutputDir = q(dir_ / "out");
    grid_ = std::make_unique<grid::JobGrid>();
    for (const char* h : {"Source File", "Destination File", "Convert", "SourcePath", "DesPath"})
      grid_->AddColumn(QString::fromLatin1(h), 100, 0, true);
  }
  void TearDown() override {
    window_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path path(const std::string& name) const { return dir_ / name; }
  fs::path out(const std::string& name) const { return dir_ / "out" / name; }

  void addRow(const fs::path& source, const fs::path& destination, const char* type = "WAV->MP3") {
    const int r = grid_->AddRow(q(source));
    grid_->SetCellText(r, 1, q(source.filename()));
    grid_->SetCellText(r, 2, q(destination.filename()));
    grid_->SetCellText(r, 3, QString::fromLatin1(type));
    grid_->SetCellText(r, 4, q(source));
    grid_->SetCellText(r, 5, q(destination));
  }

  frmWaveToAllStatus& open(Mp3EncoderCalls mp3 = SvencodeCalls()) {
    window_ = std::make_unique<frmWaveToAllStatus>(
        *grid_, [this] { return options_; }, [this] { return overwrite_; }, nullptr, std::move(mp3));
    window_->show();
    return *window_;
  }

  // One MP3 row as the job runs it, outside the loop; its status text.
  static QString encode(frmWaveToAllStatus& w, const fs::path& source, const fs::path& destination) {
    return w.Job().RunRow({QStringLiteral("WAV->MP3"), q(source), q(destination)}).reason;
  }

  // Encodes, decodes and checks length and likeness against the source.
  void expectFaithful(const fs::path& mp3, const Pcm& source, int channels, int rate, bool mixed = false) {
    Pcm decoded;
    ASSERT_TRUE(wavetest::DecodeMp3(mp3.string(), (mp3.string() + ".wav"), decoded)) << mp3;
    EXPECT_EQ(decoded.channels, channels);
    EXPECT_EQ(decoded.rate, rate);
    EXPECT_NEAR(static_cast<long>(decoded.frames()), static_cast<long>(source.frames()), kLengthSlack);
    EXPECT_GT(wavetest::BestSnr(source, decoded, 3000, mixed), 15.0);
  }

  fs::path dir_;
  std::unique_ptr<grid::JobGrid> grid_;
  std::unique_ptr<frmWaveToAllStatus> window_;
  WaveToAllOptions options_;
  bool overwrite_ = true;
};

// The real encoder, with every call recorded.
struct Recorder {
  std::vector<uint32_t> chunkSamples;
  uint32_t samplesPerChunk = 0;
  EncoderConfig config{};
  int inits = 0, deinits = 0, closes = 0;
  int32_t failInit = 0;    // result to give from Init instead of calling the encoder
  int32_t failEncode = 0;  // result to give from the second Encode
};

Mp3EncoderCalls Recording(Recorder& rec) {
  Mp3EncoderCalls real = SvencodeCalls();
  Mp3EncoderCalls calls;
  calls.Init = [&rec, real](const EncoderConfig* c, uint32_t* n, uint32_t* size, uint32_t* h) {
    ++rec.inits;
    rec.config = *c;
    if (rec.failInit) return rec.failInit;
    const int32_t r = real.Init(c, n, size, h);
    rec.samplesPerChunk = *n;
    return r;
  };
  calls.Encode = [&rec, real](uint32_t h, uint32_t n, const int16_t* in, uint8_t* o, uint32_t* produced) {
    rec.chunkSamples.push_back(n);
    if (rec.failEncode && rec.chunkSamples.size() == 2) return rec.failEncode;
    return real.Encode(h, n, in, o, produced);
  };
  calls.Deinit = [&rec, real](uint32_t h, uint8_t* o, uint32_t* produced) {
    ++rec.deinits;
    return real.Deinit(h, o, produced);
  };
  calls.Close = [&rec, real](uint32_t h) {
    ++rec.closes;
    return real.Close(h);
  };
  return calls;
}

TEST_F(WaveToAll, StereoSourceWithShortLastChunkEncodesFaithfully) {
  // 2.3 s: not a whole number of encoder chunks.
  const Pcm pcm = wavetest::Tones(2, 44100, 101430);
  wavetest::WriteWav(path("a.wav").string(), pcm);
  addRow(path("a.wav"), out("a.MP3"));
  Recorder rec;
  ScopedMsgBoxResponder boxes(vbOK);
  auto& w = open(Recording(rec));
  w.cmdStart_Click();

  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(w.labelStatus->text(), QStringLiteral("Finish Converting!"));
  EXPECT_EQ(w.cmdCancel->Caption(), QStringLiteral("&OK"));
  EXPECT_FALSE(w.cmdStart->isEnabled());
  EXPECT_EQ(w.FilePercent(), 100.0f);
  EXPECT_EQ(w.TotalPercent(), 100.0f);
  ASSERT_GT(rec.samplesPerChunk, 0u);
  const size_t values = pcm.samples.size();
  ASSERT_EQ(rec.chunkSamples.size(), (values + rec.samplesPerChunk - 1) / rec.samplesPerChunk);
  for (size_t i = 0; i + 1 < rec.chunkSamples.size(); ++i)
    EXPECT_EQ(rec.chunkSamples[i], rec.samplesPerChunk);
  EXPECT_EQ(rec.chunkSamples.back(), values % rec.samplesPerChunk);
  EXPECT_EQ(rec.deinits, 1);
  EXPECT_EQ(rec.closes, 1);
  EXPECT_EQ(rec.config.mode, BE_MP3_MODE_JSTEREO);
  expectFaithful(out("a.MP3"), pcm, 2, 44100);
}

TEST_F(WaveToAll, MonoSourceEncodesAsMonoOfTheRightLength) {
  const Pcm pcm = wavetest::Tones(1, 44100, 88200);
  wavetest::WriteWav(path("m.wav").string(), pcm);
  addRow(path("m.wav"), out("m.MP3"));
  Recorder rec;
  ScopedMsgBoxResponder boxes(vbOK);
  open(Recording(rec)).cmdStart_Click();
  EXPECT_EQ(rec.config.mode, BE_MP3_MODE_MONO);
  expectFaithful(out("m.MP3"), pcm, 1, 44100);
}

TEST_F(WaveToAll, StereoSourceInMonoModeIsMixedDown) {
  const Pcm pcm = wavetest::Tones(2, 44100, 88200);
  wavetest::WriteWav(path("s.wav").string(), pcm);
  addRow(path("s.wav"), out("s.MP3"));
  options_.Mp3Channel = 3;  // "Mono"
  ScopedMsgBoxResponder boxes(vbOK);
  open().cmdStart_Click();
  expectFaithful(out("s.MP3"), pcm, 1, 44100, /*mixed=*/true);
}

TEST_F(WaveToAll, SampleRateOfTheHeaderAndOfTheList) {
  // A header whose rate field is 0 is taken as 44100.
  const Pcm cd = wavetest::Tones(2, 44100, 88200);
  wavetest::WriteWav(path("zero.wav").string(), cd, WavSpec{.headerRate = 0});
  // A 32000 Hz source encoded at the list's 32000 Hz.
  const Pcm low = wavetest::Tones(2, 32000, 64000);
  wavetest::WriteWav(path("low.wav").string(), low);
  addRow(path("zero.wav"), out("zero.MP3"));
  Recorder rec;
  ScopedMsgBoxResponder boxes(vbOK);
  open(Recording(rec)).cmdStart_Click();
  EXPECT_EQ(rec.config.sampleRate, 44100u);
  expectFaithful(out("zero.MP3"), cd, 2, 44100);

  grid_->Clear(false);
  addRow(path("low.wav"), out("low.MP3"));
  options_.Mp3SampleRate = 2;
  open().cmdStart_Click();
  expectFaithful(out("low.MP3"), low, 2, 32000);
}

TEST_F(WaveToAll, DataChunkIsFoundBehindOtherChunksAndStrayBytesAreDropped) {
  const Pcm pcm = wavetest::Tones(2, 44100, 88200);
  wavetest::WriteWav(path("l.wav").string(), pcm, WavSpec{.listChunkBytes = 40000, .trailingBytes = 3});
  addRow(path("l.wav"), out("l.MP3"));
  Recorder rec;
  ScopedMsgBoxResponder boxes(vbOK);
  open(Recording(rec)).cmdStart_Click();
  uint64_t sum = 0;
  for (uint32_t n : rec.chunkSamples) sum += n;
  EXPECT_EQ(sum, pcm.samples.size());
  expectFaithful(out("l.MP3"), pcm, 2, 44100);
}

TEST_F(WaveToAll, SourceIsNeverChanged) {
  const Pcm pcm = wavetest::Tones(2, 44100, 30000);
  wavetest::WriteWav(path("ro.wav").string(), pcm);
  std::ifstream before(path("ro.wav"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(before)), {});
  fs::permissions(path("ro.wav"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  struct stat st1 {};
  ::stat(path("ro.wav").c_str(), &st1);
  addRow(path("ro.wav"), out("ro.MP3"));
  addRow(path("gone.wav"), out("gone.MP3"));  // vanished since it was added
  ScopedMsgBoxResponder boxes(vbOK);
  auto& w = open();
  w.cmdStart_Click();

  EXPECT_EQ(fs::status(path("ro.wav")).permissions(),
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  struct stat st2 {};
  ::stat(path("ro.wav").c_str(), &st2);
  EXPECT_EQ(st1.st_mtim.tv_sec, st2.st_mtim.tv_sec);
  EXPECT_EQ(st1.st_mtim.tv_nsec, st2.st_mtim.tv_nsec);
  std::ifstream after(path("ro.wav"), std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), bytes);
  EXPECT_GT(fs::file_size(out("ro.MP3")), 1000u);
  EXPECT_FALSE(fs::exists(path("gone.wav")));  // not created by opening it
  EXPECT_FALSE(fs::exists(out("gone.MP3")));
  fs::permissions(path("ro.wav"), fs::perms::owner_all);
}

TEST_F(WaveToAll, SourcesOtherThan16BitPcmAreRefused) {
  const Pcm pcm = wavetest::Tones(2, 44100, 20000);
  struct Case {
    const char* name;
    WavSpec spec;
  } cases[] = {{"u8.wav", {.bitsPerSample = 8}},
               {"s24.wav", {.bitsPerSample = 24}},
               {"f32.wav", {.formatTag = 3, .bitsPerSample = 32}},
               {"adpcm.wav", {.formatTag = 2, .bitsPerSample = 4}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    grid_->Clear(false);
    wavetest::WriteWav(path(c.name).string(), pcm, c.spec);
    const fs::path mp3 = out(std::string(c.name) + ".MP3");
    addRow(path(c.name), mp3);
    Recorder rec;
    ScopedMsgBoxResponder boxes(vbOK);
    auto& w = open(Recording(rec));
    w.cmdStart_Click();
    EXPECT_EQ(rec.inits, 0);
    EXPECT_FALSE(fs::exists(mp3));
    EXPECT_TRUE(boxes.calls().empty());
    // The last row's text gives way to the finish line; the step's own text is checked directly.
    EXPECT_EQ(encode(w, path(c.name), mp3), QString::fromLatin1(kNotPcm16Text));
  }
}

TEST_F(WaveToAll, DestinationThatCannotBeCreatedIsReportedAndTheJobGoesOn) {
  const Pcm pcm = wavetest::Tones(2, 44100, 30000);
  wavetest::WriteWav(path("a.wav").string(), pcm);
  addRow(path("a.wav"), dir_ / "missing" / "a.MP3");
  addRow(path("a.wav"), out("b.MP3"));
  ScopedMsgBoxResponder boxes(vbOK);
  auto& w = open();
  w.cmdStart_Click();
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(encode(w, path("a.wav"), dir_ / "missing" / "x.MP3"),
            QString::fromLatin1(kDestinationCreateText));
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  EXPECT_GT(fs::file_size(out("b.MP3")), 1000u);
  // The finish line still tells of the row that failed.
  EXPECT_EQ(w.labelStatus->text(), QStringLiteral("Finish Converting! 1 file not converted."));
}

TEST_F(WaveToAll, OutputDirectoryIsMadeWithItsParents) {
  const Pcm pcm = wavetest::Tones(2, 44100, 20000);
  wavetest::WriteWav(path("a.wav").string(), pcm);
  const fs::path deep = dir_ / "new" / "deeper";
  WaveToAllOutputDir = q(deep);
  addRow(path("a.wav"), deep / "a.MP3");
  ScopedMsgBoxResponder boxes(vbOK);
  auto& w = open();
  w.cmdStart_Click();
  EXPECT_GT(fs::file_size(deep / "a.MP3"), 1000u);
  EXPECT_EQ(w.labelStatus->text(), QStringLiteral("Finish Converting!"));
}

TEST_F(WaveToAll, EncoderErrorsShowBothBoxesAndTheJobGoesOn) {
  const Pcm pcm = wavetest::Tones(2, 44100, 30000);
  wavetest::WriteWav(path("a.wav").string(), pcm);
  addRow(path("a.wav"), out("a.MP3"));
  Recorder rec;
  rec.failInit = BE_ERR_INVALID_FORMAT;
  ScopedMsgBoxResponder boxes(vbOK);
  auto& w = open(Recording(rec));
  EXPECT_EQ(encode(w, path("a.wav"), out("a.MP3")), QStringLiteral("Invalid format"));
  ASSERT_EQ(boxes.calls().size(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, QStringLiteral("Invalid format"));
  EXPECT_EQ(boxes.calls()[0].buttons & vbCritical, vbCritical);
  EXPECT_EQ(boxes.calls()[1].text, QStringLiteral("Error#1,Invalid format"));
  EXPECT_EQ(boxes.calls()[1].buttons & vbCritical, vbCritical);
  EXPECT_EQ(boxes.calls()[1].title, QStringLiteral("Sonvera Disc Suite"));

  // A chunk the encoder refuses: the stream is closed, and the file of a row that failed is
  // not left behind.
  boxes.clear();
  rec = Recorder{};
  rec.failEncode = BE_ERR_BUFFER_TOO_SMALL;
  EXPECT_EQ(encode(w, path("a.wav"), out("b.MP3")), QStringLiteral("Buffer too small"));
  ASSERT_EQ(boxes.calls().size(), 2u);
  EXPECT_EQ(boxes.calls()[1].text, QStringLiteral("Error#5,Buffer too small"));
  EXPECT_EQ(rec.closes, 1);
  EXPECT_FALSE(fs::exists(out("b.MP3")));

  // The real encoder refusing a rate it cannot take; the next row is still encoded.
  boxes.clear();
  wavetest::WriteWav(path("bad.wav").string(), pcm, WavSpec{.headerRate = 500});
  grid_->Clear(false);
  addRow(path("bad.wav"), out("bad.MP3"));
  addRow(path("a.wav"), out("c.MP3"));
  auto& w2 = open();
  w2.cmdStart_Click();
  ASSERT_EQ(boxes.calls().size(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, QStringLiteral("Invalid format parameters"));
  EXPECT_EQ(boxes.calls()[1].text, QStringLiteral("Error#2,Invalid format parameters"));
  EXPECT_GT(fs::file_size(out("c.MP3")), 1000u);
  EXPECT_EQ(w2.labelStatus->text(), QStringLiteral("Finish Converting! 1 file not converted."));
}

TEST(EncoderErrorText, TableAndUnknownCodes) {
  EXPECT_EQ(EncoderErrorText(0), QStringLiteral("No Error"));
  EXPECT_EQ(EncoderErrorText(1), QStringLiteral("Invalid format"));
  EXPECT_EQ(EncoderErrorText(2), QStringLiteral("Invalid format parameters"));
  EXPECT_EQ(EncoderErrorText(3), QStringLiteral("No more handles"));
  EXPECT_EQ(EncoderErrorText(4), QStringLiteral("Invalid handle"));
  EXPECT_EQ(EncoderErrorText(5), QStringLiteral("Buffer too small"));
  EXPECT_EQ(EncoderErrorText(6), QString());
  EXPECT_EQ(EncoderErrorText(-1), QString());
}

TEST_F(WaveToAll, StopAnsweredYesKeepsAPlayablePartialFileAndClosesTheWindow) {
  const Pcm pcm = wavetest::Tones(2, 44100, 441000);  // 10 s
  wavetest::WriteWav(path("long.wav").string(), pcm);
  addRow(path("long.wav"), out("long.MP3"));
  addRow(path("long.wav"), out("never.MP3"));
  int asked = 0;
  ScopedMsgBoxResponder boxes([&](const QString& text, const QString&, int buttons) {
    EXPECT_EQ(text, QStringLiteral("Really want to stop converting?"));
    EXPECT_EQ(buttons, vbYesNo | vbInformation);
    // The first question is answered No: the encode goes on and the flag is lowered.
    if (++asked == 1) return int(vbNo);
    return int(vbYes);
  });
  auto& w = open();
  int clicks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (clicks < 2 && w.Job().Converting()) {
      ++clicks;
      w.cmdCancel_Click();
      EXPECT_EQ(CancelConvert, 1);
    }
  });
  timer.start(0);
  w.cmdStart_Click();
  timer.stop();
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.result(), QDialog::Rejected);
  EXPECT_FALSE(fs::exists(out("never.MP3")));
  Pcm decoded;
  ASSERT_TRUE(wavetest::DecodeMp3(out("long.MP3").string(), out("long.dec.wav").string(), decoded));
  EXPECT_EQ(decoded.channels, 2);
  EXPECT_GT(decoded.frames(), 2 * kFrameSamples);
  EXPECT_LT(decoded.frames(), pcm.frames() / 2);
  // What was encoded is the start of the source.
  Pcm head = pcm;
  head.samples.resize(std::min(head.samples.size(), decoded.samples.size()));
  if (head.frames() > 3 * 2048 + 4096 + 3000) {
    head.samples.resize((head.frames() - 3000) * 2);
    EXPECT_GT(wavetest::BestSnr(head, decoded, 3000), 15.0);
  }
  CancelConvert = 0;
}

TEST_F(WaveToAll, OverwriteQuestion) {
  const Pcm pcm = wavetest::Tones(2, 44100, 20000);
  wavetest::WriteWav(path("a.wav").string(), pcm);
  { std::ofstream(out("a.MP3")) << "old"; }
  addRow(path("a.wav"), out("a.MP3"));
  addRow(path("a.wav"), out("b.MP3"));
  overwrite_ = false;
  {
    ScopedMsgBoxResponder boxes(vbNo);
    auto& w = open();
    w.cmdStart_Click();
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text,
              q(out("a.MP3")) + QStringLiteral(" existed, do you want to overwrite it?"));
    EXPECT_EQ(fs::file_size(out("a.MP3")), 3u);
    EXPECT_TRUE(fs::exists(out("b.MP3")));
    EXPECT_EQ(w.labelStatus->text(), QStringLiteral("Finish Converting!"));
  }
  fs::remove(out("b.MP3"));
  {
    ScopedMsgBoxResponder boxes(vbCancel);
    auto& w = open();
    w.cmdStart_Click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(fs::file_size(out("a.MP3")), 3u);
    EXPECT_FALSE(fs::exists(out("b.MP3")));
    CancelConvert = 0;
  }
}

// The codec libraries of the tests (see fake_codecs.cpp) write what they were asked.
void useFakeCodecs() {
  for (const char* name : {"svogg", "svvqf", "svwma"}) codecs::SetLibraryName(name, CONVERT_FAKE_CODECS);
}

std::string readText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST_F(WaveToAll, OutsideLibrariesGetTheListSettings) {
  useFakeCodecs();
  addRow(path("a.wav"), out("a.OGG"), "WAV->OGG");
  addRow(path("a.wav"), out("a.VQF"), "WAV->VQF");
  addRow(path("a.wav"), out("a.WMA"), "WAV->WMA");
  options_.OggBitrate = 3;  // "128 Kbps" -> level 4
  options_.VqfBitrate = 0;  // "80 Kbps"
  options_.WmaBitrate = 2;  // "128 Kbps" -> 24
  ScopedMsgBoxResponder boxes(vbOK);
  auto& w = open();
  w.cmdStart_Click();
  const std::string src = path("a.wav").string();
  EXPECT_EQ(readText(out("a.OGG")), "OGG-ENC:" + src + ":44100:4");
  EXPECT_EQ(readText(out("a.VQF")), "VQF-ENC:" + src + ":44:80");
  EXPECT_EQ(readText(out("a.WMA")), "WMA-ENC:" + src + ":24");
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(w.TotalPercent(), 100.0f);
  EXPECT_EQ(w.labelStatus->text(), QStringLiteral("Finish Converting!"));
}

TEST_F(WaveToAll, EncodeProgressDrawsBothBars) {
  addRow(path("a.wav"), out("a.OGG"), "WAV->OGG");
  addRow(path("a.wav"), out("b.OGG"), "WAV->OGG");
  addRow(path("a.wav"), out("c.OGG"), "WAV->OGG");
  auto& w = open();
  // The callbacks the libraries receive reach the loaded window's job.
  w.Job().currentfile = 2;
  EXPECT_EQ(OggEncodeProgress(50), 0);
  EXPECT_EQ(w.FilePercent(), 50.0f);
  // share rnd(33.3) = 33, base rnd(33.3) = 33: rnd(16.5 + 33) = 50 (half to even).
  EXPECT_EQ(w.TotalPercent(), 50.0f);
  EXPECT_EQ(VqfEncodeProgress(10), 0);
  EXPECT_EQ(w.FilePercent(), 10.0f);
  EXPECT_EQ(w.TotalPercent(), 36.0f);  // rnd(3.3 + 33)
  w.Job().currentfile = 3;
  EXPECT_EQ(WmaProgress(100), 0);
  EXPECT_EQ(w.TotalPercent(), 100.0f);  // 33 + rnd(66.7) = 100
  window_.reset();
  EXPECT_EQ(OggEncodeProgress(70), 0);  // no window: nothing to draw
}

TEST_F(WaveToAll, MissingOutsideLibrariesAreToldOnceEachAndTheJobGoesOn) {
  const Pcm pcm = wavetest::Tones(2, 44100, 20000);
  wavetest::WriteWav(path("a.wav").string(), pcm);
  // Names no library answers to, as the codec libraries may be installed here.
  for (const char* name : {"svogg", "svvqf", "svwma"})
    codecs::SetLibraryName(name, std::string(name) + "-absent");
  addRow(path("a.wav"), out("a.OGG"), "WAV->OGG");
  addRow(path("a.wav"), out("a.VQF"), "WAV->VQF");
  addRow(path("a.wav"), out("b.OGG"), "WAV->OGG");
  addRow(path("a.wav"), out("a.WMA"), "WAV->WMA");
  addRow(path("a.wav"), out("a.MP3"));
  ScopedMsgBoxResponder boxes(vbOK);
  auto& w = open();
  w.cmdStart_Click();
  // One clear box per missing library, not an "Error#53" box per row.
  ASSERT_EQ(boxes.calls().size(), 3u);
  EXPECT_TRUE(
      boxes.calls()[0].text.startsWith("WAV files can not be converted to OGG: the codec library svogg is "
                                       "not installed"))
      << boxes.calls()[0].text.toStdString();
  EXPECT_TRUE(boxes.calls()[1].text.contains("svvqf"));
  EXPECT_TRUE(boxes.calls()[2].text.contains("svwma"));
  for (const auto& call : boxes.calls()) EXPECT_EQ(call.buttons & vbCritical, vbCritical);
  EXPECT_GT(fs::file_size(out("a.MP3")), 1000u);
  for (const char* name : {"a.OGG", "a.VQF", "b.OGG", "a.WMA"}) EXPECT_FALSE(fs::exists(out(name))) << name;
  EXPECT_EQ(w.labelStatus->text(), QStringLiteral("Finish Converting! 4 files not converted."));
}

TEST_F(WaveToAll, CancelAsksDuringOutsideEncodesAndClosesOtherwise) {
  useFakeCodecs();
  addRow(path("a.wav"), out("a.OGG"), "WAV->OGG");
  addRow(path("a.wav"), out("b.OGG"), "WAV->OGG");
  ScopedMsgBoxResponder boxes(vbYes);
  auto& w = open();
  EXPECT_EQ(w.labelConvertype->text(), QStringLiteral("Total 2 files,ready for converting..."));
  // The user presses Cancel while the library works; the library then sees the flag.
  QTimer::singleShot(0, &w, [&w] { w.cmdCancel_Click(); });
  w.cmdStart_Click();
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, QStringLiteral("Really want to stop converting?"));
  EXPECT_FALSE(fs::exists(out("b.OGG"))) << "the job ended with the stopped row";
  EXPECT_FALSE(w.isVisible());
  CancelConvert = 0;

  // Before starting, Cancel closes the window.
  auto& w2 = open();
  w2.cmdCancel_Click();
  EXPECT_FALSE(w2.isVisible());
}

TEST(WaveOptions, EveryPositionMapsAsTabled) {
  const int32_t rates[] = {48000, 44100, 32000};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Mp3SampleRateAt(i), rates[i]);
  const int32_t bitrates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  for (int i = 0; i < 14; ++i) EXPECT_EQ(Mp3BitrateAt(i), bitrates[i]);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Mp3ChannelModeAt(i), i);
  const int32_t presets[] = {1, 0, 2, 3, 1000, 6000, 7000, 8000, 9000, 10000};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Mp3PresetAt(i), presets[i]);
  const int32_t levels[] = {0, 1, 2, 4, 5, 6, 8};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(OggLevelAt(i), levels[i]);
  EXPECT_EQ(VqfBitrateAt(0), 80);
  EXPECT_EQ(VqfBitrateAt(1), 96);
  EXPECT_EQ(WmaProfileAt(0), 22);
  EXPECT_EQ(WmaProfileAt(1), 23);
  EXPECT_EQ(WmaProfileAt(2), 24);
  // Positions outside the lists, including "nothing chosen".
  for (int bad : {-1, 100}) {
    EXPECT_EQ(Mp3SampleRateAt(bad), 44100);
    EXPECT_EQ(Mp3BitrateAt(bad), 128);
    EXPECT_EQ(Mp3ChannelModeAt(bad), 1);
    EXPECT_EQ(Mp3PresetAt(bad), 0);
    EXPECT_EQ(OggLevelAt(bad), 2);
    EXPECT_EQ(VqfBitrateAt(bad), 96);
    EXPECT_EQ(WmaProfileAt(bad), 23);
  }
  // One past the end of each list.
  EXPECT_EQ(Mp3SampleRateAt(3), 44100);
  EXPECT_EQ(Mp3BitrateAt(14), 128);
  EXPECT_EQ(Mp3ChannelModeAt(4), 1);
  EXPECT_EQ(Mp3PresetAt(10), 0);
  EXPECT_EQ(OggLevelAt(7), 2);
  EXPECT_EQ(VqfBitrateAt(2), 96);
  EXPECT_EQ(WmaProfileAt(3), 23);
  // The lists hold as many items as the mapping has positions, named as the page shows them.
  EXPECT_EQ(Mp3SampleRateItems().size(), 3);
  EXPECT_EQ(Mp3BitrateItems().size(), 14);
  EXPECT_EQ(Mp3BitrateItems().at(8), QStringLiteral("128 Kbps"));
  EXPECT_EQ(Mp3ChannelItems().at(1), QStringLiteral("Join Stereo"));
  EXPECT_EQ(Mp3QualityItems().at(0), QStringLiteral("Low"));
  EXPECT_EQ(Mp3QualityItems().at(1), QStringLiteral("Normal"));
  EXPECT_EQ(Mp3QualityItems().size(), 10);
  EXPECT_EQ(OggBitrateItems().size(), 7);
  EXPECT_EQ(VqfBitrateItems().size(), 2);
  EXPECT_EQ(WmaBitrateItems().size(), 3);
  // The page's defaults.
  const WaveToAllOptions defaults;
  EXPECT_EQ(Mp3SampleRateItems().at(defaults.Mp3SampleRate), QStringLiteral("44100 Hz"));
  EXPECT_EQ(Mp3BitrateItems().at(defaults.Mp3Bitrate), QStringLiteral("128 Kbps"));
  EXPECT_EQ(Mp3ChannelItems().at(defaults.Mp3Channel), QStringLiteral("Join Stereo"));
  EXPECT_EQ(Mp3QualityItems().at(defaults.Mp3Quality), QStringLiteral("Normal"));
  EXPECT_EQ(WmaBitrateItems().at(defaults.WmaBitrate), QStringLiteral("96 Kbps"));
  EXPECT_EQ(VqfBitrateItems().at(defaults.VqfBitrate), QStringLiteral("96 Kbps"));
  EXPECT_EQ(OggBitrateItems().at(defaults.OggBitrate), QStringLiteral("96 Kbps"));
}

TEST(WaveOptions, ConfigurationRecordBytes) {
  WaveToAllOptions o;
  o.Mp3SampleRate = 0;
  o.Mp3Bitrate = 13;
  o.Mp3Channel = 2;
  o.Mp3Quality = 0;
  const EncoderConfig c = MakeEncoderConfig(o, 22050);
  uint8_t bytes[331];
  std::memcpy(bytes, &c, sizeof bytes);
  auto i32 = [&](int off) {
    int32_t v;
    std::memcpy(&v, bytes + off, 4);
    return v;
  };
  EXPECT_EQ(i32(0), 256);
  EXPECT_EQ(i32(4), 1);
  EXPECT_EQ(i32(8), 331);
  EXPECT_EQ(i32(12), 22050);
  EXPECT_EQ(i32(16), 48000);
  EXPECT_EQ(i32(20), 2);
  EXPECT_EQ(i32(24), 320);
  EXPECT_EQ(i32(32), 1);  // "Low"
  EXPECT_EQ(i32(36), 1);
  EXPECT_EQ(i32(60), -1);
  EXPECT_EQ(i32(80), -1);
  for (int off : {28, 40, 44, 48, 52, 56, 64, 68, 72, 76, 84, 88}) EXPECT_EQ(i32(off), 0) << off;
  for (int off = 92; off < 331; ++off) EXPECT_EQ(bytes[off], 0) << off;
  EXPECT_EQ(MakeEncoderConfig(o, 0).sampleRate, 44100u);
  EXPECT_EQ(MakeEncoderConfig(o, -5).sampleRate, 44100u);
  o.Mp3Quality = 1;
  EXPECT_EQ(MakeEncoderConfig(o, 44100).preset, 0);  // "Normal"
  o.Mp3Bitrate = 99;
  EXPECT_EQ(MakeEncoderConfig(o, 44100).bitrate, 128u);
}

}  // namespace
