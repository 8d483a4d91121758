// The grabbing job without a window, on disc images the tests write.
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>

#include "cd/core/checksums.h"
#include "cd/core/disc_ids.h"
#include "grab_support.h"
#include "svencode.h"

namespace {

using namespace grabtest;
using namespace sv::discs;
using sv::grab::OutputKind;
using sv::jobs::RowOutcome;
using Overwrite = sv::jobs::JobQuestions::Overwrite;

// Lengths that hit the block edges: shorter than a block, exact blocks, one over, odd.
const std::vector<int> kTenTracks{10, 26, 27, 60, 52, 300, 1, 77, 130, 25 * 26 + 3};

TEST_F(GrabTest, WavFilesHoldExactlyTheImagesAudioForEveryTrack) {
  const DiscImage image = Image(AudioDisc("ten", kTenTracks));
  std::vector<int> all;
  for (int t = 1; t <= 10; ++t) all.push_back(t);
  Run(Settings(OutputKind::Wav, all), image);
  EXPECT_EQ(sink.finishedWith, 0);
  EXPECT_EQ(sink.status, "Finish Tracks Grab!");
  for (int t = 1; t <= 10; ++t) {
    const QString name = QStringLiteral("track%1.wav").arg(t, 2, 10, QLatin1Char('0'));
    const WavFile wav = ReadWav(Out(name));
    ASSERT_TRUE(wav.ok) << name.toStdString();
    const int frames = image.end(t) - image.start(t);
    EXPECT_EQ(wav.dataSize, std::uint32_t(frames) * 2352u) << t;
    EXPECT_EQ(wav.riffSize, wav.dataSize + 36) << t;
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.rate, 44100u);
    EXPECT_EQ(wav.bits, 16);
    EXPECT_TRUE(wav.data == image.Audio(image.start(t), frames)) << "audio differs in track " << t;
  }
  // Blocks of 26: 10 frames is one block, 27 two, 60 three (26 + 26 + 8), 653 twenty-six.
  EXPECT_EQ(LogTrack(LogText(), 1)["Reads"], "1 blocks, 1 read attempts, 0 retries");
  EXPECT_EQ(LogTrack(LogText(), 3)["Reads"], "2 blocks, 2 read attempts, 0 retries");
  EXPECT_EQ(LogTrack(LogText(), 4)["Reads"], "3 blocks, 3 read attempts, 0 retries");
  EXPECT_EQ(LogTrack(LogText(), 10)["Reads"], "26 blocks, 26 read attempts, 0 retries");
}

TEST_F(GrabTest, LogChecksumsAgreeWithAnIndependentComputation) {
  // Long enough for AccurateRip's skipped five frames at both ends.
  DiscSpec spec = AudioDisc("sums", {400, 37, 650});
  spec.content = Content::Tone;
  const DiscImage image = Image(spec);
  Run(Settings(OutputKind::Wav, {1, 2, 3}), image);
  const QString log = LogText();
  ASSERT_FALSE(log.isEmpty());
  for (int t = 1; t <= 3; ++t) {
    const std::vector<std::uint8_t> audio = image.Audio(image.start(t), image.end(t) - image.start(t));
    const ArSums ar = ReferenceAccurateRip(audio, t == 1, t == 3);
    auto hex = [](std::uint32_t v) { return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper(); };
    auto fields = LogTrack(log, t);
    EXPECT_EQ(fields["CRC32"], hex(ReferenceCrc32(audio))) << t;
    EXPECT_EQ(fields["AccurateRip v1"], hex(ar.v1)) << t;
    EXPECT_EQ(fields["AccurateRip v2"], hex(ar.v2)) << t;
    EXPECT_EQ(fields["Result"], "copy OK") << t;
    EXPECT_TRUE(fields["File"].endsWith(QStringLiteral("track%1.wav").arg(t, 2, 10, QLatin1Char('0'))));
    EXPECT_EQ(fields["Range"], QStringLiteral("LBA %1 to %2 (%3 frames, %4)")
                                   .arg(image.start(t))
                                   .arg(image.end(t))
                                   .arg(image.end(t) - image.start(t))
                                   .arg(sv::grab::FramesText(image.end(t) - image.start(t))));
  }
  EXPECT_TRUE(log.contains("Summary\n  Tracks grabbed:      3\n"));
  EXPECT_TRUE(log.endsWith("End of log\n"));
}

TEST(AccurateRipChecksums, FiguresWorkedByHand) {
  // Words of 1 in a middle track: v1 = 1 + 2 + ... + 10.
  std::vector<std::uint8_t> ones(40, 0);
  for (int i = 0; i < 10; ++i) ones[4 * i] = 1;
  sv::grab::TrackChecksums middle(10, false, false);
  middle.Add(ones.data(), ones.size());
  EXPECT_EQ(middle.AccurateRipV1(), 55u);
  EXPECT_EQ(middle.AccurateRipV2(), 55u);
  // 0xFFFFFFFF at word 2: the product 0x1FFFFFFFE gives v1 its low half, v2 low + high.
  std::vector<std::uint8_t> big(8, 0);
  std::fill(big.begin() + 4, big.end(), 0xFF);
  sv::grab::TrackChecksums two(2, false, false);
  two.Add(big.data(), 4);  // fed in two pieces: positions run on
  two.Add(big.data() + 4, 4);
  EXPECT_EQ(two.AccurateRipV1(), 0xFFFFFFFEu);
  EXPECT_EQ(two.AccurateRipV2(), 0xFFFFFFFFu);
  EXPECT_EQ(two.Peak(), 1);
  // A first track counts from word 2940, a last one up to five frames before its end.
  std::vector<std::uint8_t> track(4 * 6000, 0);
  for (std::size_t i = 0; i < 6000; ++i) track[4 * i] = 1;
  sv::grab::TrackChecksums first(6000, true, false), last(6000, false, true), only(6000, true, true);
  first.Add(track.data(), track.size());
  last.Add(track.data(), track.size());
  only.Add(track.data(), track.size());
  auto sum = [](std::uint64_t a, std::uint64_t b) { return std::uint32_t((a + b) * (b - a + 1) / 2); };
  EXPECT_EQ(first.AccurateRipV1(), sum(2940, 6000));
  EXPECT_EQ(last.AccurateRipV1(), sum(1, 6000 - 2940));
  EXPECT_EQ(only.AccurateRipV1(), sum(2940, 6000 - 2940));
  EXPECT_EQ(first.Crc32(), ReferenceCrc32(track));
}

TEST_F(GrabTest, DiscIdsComputedFromTheToc) {
  const DiscImage image = Image(AudioDisc("ids", {1500, 2200, 900, 3000}));
  Run(Settings(OutputKind::Wav, {}), image);
  const sv::grab::DiscLayout layout = sv::grab::LayoutOf(disc->Toc());
  ASSERT_EQ(layout.tracks.size(), 4u);
  std::vector<int> starts;
  for (int t = 1; t <= 4; ++t) starts.push_back(image.start(t));
  EXPECT_EQ(sv::grab::MusicBrainzDiscId(layout), ReferenceMusicBrainzId(1, 4, starts, image.totalFrames));
  // freedb by its recipe: digit sums of the start seconds (with the 2 s lead-in), the length.
  int n = 0;
  for (int s : starts)
    for (int sec = (s + 150) / 75; sec > 0; sec /= 10) n += sec % 10;
  const std::uint32_t length = (image.totalFrames + 150) / 75 - (starts[0] + 150) / 75;
  EXPECT_EQ(sv::grab::FreedbDiscId(layout), std::uint32_t(n % 255) << 24 | length << 8 | 4u);
  EXPECT_EQ(sv::grab::AccurateRipDiscKey(layout).left(9), "dBAR-004-");
  EXPECT_TRUE(sv::grab::AccurateRipDiscKey(layout).endsWith(
      QStringLiteral("%1").arg(sv::grab::FreedbDiscId(layout), 8, 16, QLatin1Char('0'))));
}

TEST_F(GrabTest, LogTellsDriveTocIdsAndCdText) {
  DiscSpec spec = AudioDisc("texts", {300, 200});
  spec.title = "Night Songs";
  spec.performer = "The Band";
  spec.tracks[0].title = "Opening";
  spec.tracks[1].title = "Closing";
  const DiscImage image = Image(spec);
  Run(Settings(OutputKind::Wav, {2}), image);
  // Named after the disc when it carries CD-Text.
  EXPECT_EQ(QFileInfo(job->LogPath()).fileName(), "The Band - Night Songs.log");
  const QString log = LogText();
  EXPECT_TRUE(log.startsWith("Sonvera Disc Suite test - rip log\n"));
  EXPECT_TRUE(log.contains("Drive:           Disc image: test\n"));
  EXPECT_TRUE(log.contains("Read mode:       secure"));
  EXPECT_TRUE(log.contains(QStringLiteral("      1 | %1 |      300 |").arg(image.start(1), 8)));
  EXPECT_TRUE(log.contains(QStringLiteral("  Lead-out  %1").arg(image.totalFrames, 8)));
  EXPECT_TRUE(log.contains("MusicBrainz:   " + sv::grab::MusicBrainzDiscId(sv::grab::LayoutOf(disc->Toc()))));
  EXPECT_TRUE(log.contains("  Album:         Night Songs\n  Performer:     The Band\n"));
  EXPECT_TRUE(log.contains("  Track 01:      Opening\n  Track 02:      Closing\n"));
  EXPECT_TRUE(LogTrack(log, 1).empty());  // only the checked track has an entry

  // A second job in the same folder keeps the first log.
  const QString first = job->LogPath();
  runner.reset();
  job.reset();
  Run(Settings(OutputKind::Wav, {1}), image);
  EXPECT_EQ(QFileInfo(job->LogPath()).fileName(), "The Band - Night Songs (2).log");
  EXPECT_TRUE(QFileInfo::exists(first));
}

// svencode as the job must call it: one CD frame per chunk.
std::vector<std::uint8_t> SvencodeBytes(const std::vector<std::uint8_t>& audio, const EncoderConfig& config) {
  EncoderConfig c = config;
  std::uint32_t samples = 0, size = 0, stream = 0;
  if (beInitStream(&c, &samples, &size, &stream) != BE_ERR_SUCCESSFUL) return {};
  std::vector<std::uint8_t> out, buffer(size);
  std::vector<std::int16_t> frame(1176);
  for (std::size_t at = 0; at < audio.size(); at += 2352) {
    std::memcpy(frame.data(), audio.data() + at, 2352);
    std::uint32_t produced = 0;
    beEncodeChunk(stream, 1176, frame.data(), buffer.data(), &produced);
    out.insert(out.end(), buffer.begin(), buffer.begin() + produced);
  }
  std::uint32_t produced = 0;
  beDeinitStream(stream, buffer.data(), &produced);
  out.insert(out.end(), buffer.begin(), buffer.begin() + produced);
  beCloseStream(stream);
  return out;
}

TEST_F(GrabTest, Mp3FilesAreWhatSvencodeMakesOfTheSameSamples) {
  DiscSpec spec = AudioDisc("mp3", {400, 37});
  spec.content = Content::Tone;
  const DiscImage image = Image(spec);
  sv::grab::GrabSettings settings = Settings(OutputKind::Mp3, {1, 2});
  settings.mp3.Mp3Bitrate = 10;  // 192 kbit/s
  Run(settings, image);
  EXPECT_EQ(sink.finishedWith, 0);
  for (int t = 1; t <= 2; ++t) {
    const auto expected = SvencodeBytes(image.Audio(image.start(t), image.end(t) - image.start(t)),
                                        sv::grab::RipperEncoderConfig(settings.mp3));
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(ReadBytes(Out(QStringLiteral("track%1.mp3").arg(t, 2, 10, QLatin1Char('0')))) == expected)
        << t;
  }
}

TEST(RipperEncoderConfig, FilledFromTheListsAsThePageTableSays) {
  sv::WaveToAllOptions p;
  p.Mp3SampleRate = 0;
  p.Mp3Bitrate = 13;
  p.Mp3Channel = 3;
  p.Mp3Quality = 4;
  EncoderConfig c = sv::grab::RipperEncoderConfig(p);
  EXPECT_EQ(c.configKind, 256u);
  EXPECT_EQ(c.structVersion, 1u);
  EXPECT_EQ(c.structSize, 331u);
  EXPECT_EQ(c.sampleRate, 44100u);
  EXPECT_EQ(c.outSampleRate, 48000u);
  EXPECT_EQ(c.mode, 3);
  EXPECT_EQ(c.bitrate, 320u);
  EXPECT_EQ(c.preset, 1000);
  EXPECT_EQ(c.mpegVersion, 1u);
  EXPECT_EQ(c.psyModel, 0u);
  EXPECT_EQ(c.emphasis, 0u);
  EXPECT_EQ(c.original, -1);
  EXPECT_EQ(c.vbrMethod, -1);
  p = {};
  p.Mp3SampleRate = 7;
  p.Mp3Bitrate = 14;
  p.Mp3Channel = 9;
  p.Mp3Quality = 9;
  c = sv::grab::RipperEncoderConfig(p);
  EXPECT_EQ(c.outSampleRate, 44100u);
  EXPECT_EQ(c.bitrate, 128u);
  EXPECT_EQ(c.mode, 1);
  EXPECT_EQ(c.preset, 10000);
}

TEST_F(GrabTest, MonoMp3HoldsTheTracksLengthNotTwice) {
  const DiscImage image = Image(AudioDisc("mono", {750}));  // 10 s
  sv::grab::GrabSettings settings = Settings(OutputKind::Mp3, {1});
  settings.mp3.Mp3Channel = 3;  // Mono, 128 kbit/s
  Run(settings, image);
  ASSERT_EQ(sink.finishedWith, 0);
  // 128 kbit/s for 10 s is 160000 bytes; stereo samples taken as mono would make 20 s.
  const auto size = static_cast<double>(ReadBytes(Out("track01.mp3")).size());
  EXPECT_NEAR(size, 160000.0, 3 * 418.0);
}

TEST_F(GrabTest, Mp3CarriesAnId3v1TagFromCdText) {
  DiscSpec spec = AudioDisc("tagged", {100, 120});
  spec.title = "An Album Title That Is Longer Than Thirty";
  spec.performer = "Performer";
  spec.tracks[1].title = "Song Two";
  const DiscImage image = Image(spec);
  Run(Settings(OutputKind::Mp3, {2}), image);
  const auto bytes = ReadBytes(Out("track02.mp3"));
  ASSERT_GT(bytes.size(), 128u);
  const std::string tag(bytes.end() - 128, bytes.end());
  EXPECT_EQ(tag.substr(0, 3), "TAG");
  EXPECT_EQ(tag.substr(3, 8), "Song Two");
  EXPECT_EQ(tag[11], '\0');
  EXPECT_EQ(tag.substr(33, 9), "Performer");
  EXPECT_EQ(tag.substr(63, 30), "An Album Title That Is Longer ");
  EXPECT_EQ(tag[125], '\0');
  EXPECT_EQ(static_cast<unsigned char>(tag[126]), 2);
  // Without CD-Text no tag: the file is svencode's bytes alone (checked above).
}

TEST_F(GrabTest, AnEncoderThatFailsToStartEndsTheTrackWithItsTextAndNoFile) {
  const DiscImage image = Image(AudioDisc("noenc", {30, 30}));
  int closes = 0;
  encoder.Init = [](const EncoderConfig*, std::uint32_t*, std::uint32_t*, std::uint32_t*) {
    return std::int32_t(BE_ERR_INVALID_FORMAT_PARAMETERS);
  };
  encoder.Close = [&](std::uint32_t) {
    ++closes;
    return std::int32_t(0);
  };
  Run(Settings(OutputKind::Mp3, {1, 2}), image);
  ASSERT_EQ(sink.results.size(), 2u);
  EXPECT_EQ(sink.results[0].outcome, RowOutcome::Failed);
  EXPECT_EQ(sink.results[0].reason, "Invalid format parameters");
  EXPECT_FALSE(QFileInfo::exists(Out("track01.mp3")));
  EXPECT_EQ(disc->calls, 0);
  EXPECT_EQ(closes, 0);  // no stream was opened
}

TEST_F(GrabTest, AnEncoderErrorMidTrackStopsThatTrackAndLeavesNoFile) {
  const DiscImage image = Image(AudioDisc("encfail", {60, 30}));
  const sv::Mp3EncoderCalls real = sv::SvencodeCalls();
  int chunks = 0, closes = 0;
  encoder.Encode = [&](std::uint32_t h, std::uint32_t n, const std::int16_t* in, std::uint8_t* out,
                       std::uint32_t* produced) {
    if (++chunks == 40) return std::int32_t(BE_ERR_INVALID_HANDLE);
    return real.Encode(h, n, in, out, produced);
  };
  encoder.Close = [&](std::uint32_t h) {
    ++closes;
    return real.Close(h);
  };
  Run(Settings(OutputKind::Mp3, {1, 2}), image);
  ASSERT_EQ(sink.results.size(), 2u);
  EXPECT_EQ(sink.results[0].reason, "Invalid handle");
  EXPECT_FALSE(QFileInfo::exists(Out("track01.mp3")));
  EXPECT_EQ(sink.results[1].outcome, RowOutcome::Done);
  EXPECT_EQ(closes, 2);  // every stream opened is closed
}

TEST_F(GrabTest, ThreeTracksDrawTheTotalBarAt33Then67Then100) {
  const DiscImage image = Image(AudioDisc("bars", {52, 52, 52}));
  Run(Settings(OutputKind::Wav, {1, 2, 3}), image);
  // Two blocks a track. Within a track: round(percent * 33 / 100 + base), base 0, 33, 67
  // (16.5 rounds to 16, 83.5 to 84); after each track round(i / 3 * 100): 33, 67, 100. The
  // last block of track 3 reaches 33 + 67 = 100 by itself.
  std::vector<int> distinct;
  for (int v : sink.total)
    if (distinct.empty() || distinct.back() != v) distinct.push_back(v);
  EXPECT_EQ(distinct, (std::vector<int>{0, 16, 33, 50, 66, 67, 84, 100}));
  EXPECT_EQ(sink.file.back(), 100);
}

TEST_F(GrabTest, ZeroLengthRangeGivesAHeaderOnlyWavAndAnEncoderOnlyMp3) {
  const DiscImage image = Image(AudioDisc("zero", {100, 100}));
  // A TOC whose track 2 starts where the lead-out is: no frames.
  beforeRun = [](ImageDisc&) {};
  disc = std::make_unique<ImageDisc>(image);
  SVR_TOC toc = disc->Toc();
  std::memcpy(toc.tracks[1].address, toc.tracks[2].address, 4);
  for (OutputKind kind : {OutputKind::Wav, OutputKind::Mp3}) {
    sv::grab::GrabJob grab(Settings(kind, {2}), toc, *disc, {});
    sink.job = &grab;
    sv::jobs::JobRunner run(grab.Rows(), grab.Steps(), sink, questions, grab.Options(&stopFlag));
    ASSERT_TRUE(grab.Prepare().isEmpty());
    run.Run();
    EXPECT_EQ(run.FailedRows(), 0);
    if (kind == OutputKind::Wav) {
      const WavFile wav = ReadWav(Out("track02.wav"));
      ASSERT_TRUE(wav.ok);
      EXPECT_EQ(wav.dataSize, 0u);
      EXPECT_TRUE(wav.data.empty());
    } else {
      EXPECT_EQ(ReadBytes(Out("track02.mp3")), SvencodeBytes({}, sv::grab::RipperEncoderConfig({})));
    }
  }
  EXPECT_EQ(disc->calls, 0);
}

TEST_F(GrabTest, ExistingFilesWithTheBoxTickedAreReplacedWithoutAQuestion) {
  const DiscImage image = Image(AudioDisc("over", {30, 30}));
  jobtest::WriteAll(Out("track01.wav"), "old");
  Run(Settings(OutputKind::Wav, {1, 2}), image);
  EXPECT_TRUE(questions.asked.isEmpty());
  EXPECT_EQ(ReadWav(Out("track01.wav")).data, image.Audio(image.start(1), 30));
}

TEST_F(GrabTest, UntickedNoSkipsTheTrackAndTheTotalBarStillAdvances) {
  const DiscImage image = Image(AudioDisc("keep", {30, 30}));
  jobtest::WriteAll(Out("track01.wav"), "old");
  questions.overwriteAnswers = {Overwrite::No};
  sv::grab::GrabSettings s = Settings(OutputKind::Wav, {1, 2});
  s.overwrite = false;
  Run(s, image);
  EXPECT_EQ(questions.asked, QStringList{Out("track01.wav") + " existed, do you want to overwrite it?"});
  EXPECT_EQ(jobtest::ReadAll(Out("track01.wav")), "old");
  EXPECT_TRUE(ReadWav(Out("track02.wav")).ok);
  EXPECT_EQ(sink.total.back(), 100);
  EXPECT_TRUE(LogTrack(LogText(), 1)["Result"].startsWith("skipped"));
}

TEST_F(GrabTest, UntickedCancelEndsTheJobAndCloses) {
  const DiscImage image = Image(AudioDisc("cancel", {30, 30}));
  jobtest::WriteAll(Out("track01.wav"), "old");
  questions.overwriteAnswers = {Overwrite::Cancel};
  sv::grab::GrabSettings s = Settings(OutputKind::Wav, {1, 2});
  s.overwrite = false;
  Run(s, image);
  EXPECT_TRUE(sink.closed);
  EXPECT_EQ(stopFlag, -1);
  EXPECT_EQ(jobtest::ReadAll(Out("track01.wav")), "old");
  EXPECT_FALSE(QFileInfo::exists(Out("track02.wav")));
  EXPECT_EQ(disc->calls, 0);
}

TEST_F(GrabTest, StopAnsweredNoGoesOnAndYesKeepsAWavThatSaysWhatItHolds) {
  const DiscImage image = Image(AudioDisc("stop", {26 * 10, 26 * 10}));
  // The stop button is pressed during the third block of track 1 and again in track 2.
  int blocks = 0;
  sink.onYield = [&] {
    ++blocks;
    if (blocks == 3 || blocks == 14) stopFlag = -1;
  };
  questions.stopAnswers = {false, true};
  Run(Settings(OutputKind::Wav, {1, 2}), image);
  EXPECT_EQ(questions.asked, (QStringList{"Really want to stop grabing?", "Really want to stop grabing?"}));
  EXPECT_TRUE(sink.closed);
  // Track 1 went on to its end after No.
  EXPECT_EQ(ReadWav(Out("track01.wav")).data, image.Audio(image.start(1), 260));
  // Track 2 stopped after its fourth block: the header counts the 104 frames kept.
  const WavFile two = ReadWav(Out("track02.wav"));
  ASSERT_TRUE(two.ok);
  EXPECT_EQ(two.dataSize, 104u * 2352u);
  EXPECT_EQ(two.data, image.Audio(image.start(2), 104));
  EXPECT_TRUE(LogTrack(LogText(), 2)["Result"].startsWith("stopped by the user after 104 frames"));
  // The job's end is written when it goes, stopped as it was.
  const QString logPath = job->LogPath();
  runner.reset();
  job.reset();
  QFile log(logPath);
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  EXPECT_TRUE(log.readAll().contains("The job was stopped by the user.\n\nEnd of log\n"));
}

TEST_F(GrabTest, Mp3StopQuestionIsSpelledRight) {
  const DiscImage image = Image(AudioDisc("stop3", {26 * 4}));
  sink.onYield = [&] { stopFlag = -1; };
  questions.stopAnswers = {true};
  Run(Settings(OutputKind::Mp3, {1}), image);
  EXPECT_EQ(questions.asked, QStringList{"Really want to stop grabbing?"});
  EXPECT_TRUE(QFileInfo::exists(Out("track01.mp3")));  // the partial file stays
}

TEST_F(GrabTest, ABlockIsTriedThreeTimes) {
  const DiscImage image = Image(AudioDisc("retry", {60, 60}));
  // Track 1: block 2 fails twice, then reads. Track 2: its first block fails three times.
  beforeRun = [](ImageDisc& d) { d.failCalls = {2, 3, 6, 7, 8}; };
  Run(Settings(OutputKind::Wav, {1, 2}), image);
  EXPECT_EQ(ReadWav(Out("track01.wav")).data, image.Audio(image.start(1), 60));
  auto one = LogTrack(LogText(), 1);
  EXPECT_EQ(one["Reads"], "3 blocks, 5 read attempts, 2 retries");
  EXPECT_EQ(one["Result"], "copy OK (after 2 retries)");
  EXPECT_EQ(disc->calls, 8);  // no fourth attempt
  ASSERT_EQ(sink.results.size(), 2u);
  EXPECT_EQ(sink.results[1].outcome, RowOutcome::Failed);
  EXPECT_TRUE(sink.results[1].reason.startsWith("scripted failure The track is incomplete: 0 of 60"));
}

TEST_F(GrabTest, ABinCutShortGivesTheLibrarysTextATruthfulHeaderAndTheJobGoesOn) {
  DiscSpec spec = AudioDisc("cut", {200, 100, 100});
  // Track 2 is cut in its middle; track 3 is wholly missing, and track 1 is whole.
  spec.cutBytes = std::int64_t(150) * 2352;
  const DiscImage image = Image(spec);
  Run(Settings(OutputKind::Wav, {2, 1}), image);
  ASSERT_EQ(sink.results.size(), 2u);
  EXPECT_EQ(sink.results[0].outcome, RowOutcome::Failed);
  const QString libraryText = sv::AspiErrorText(SVR_E_MANAGER);
  EXPECT_TRUE(sink.results[0].reason.startsWith(libraryText)) << sink.results[0].reason.toStdString();
  EXPECT_TRUE(sink.results[0].reason.contains("The track is incomplete"));
  // The file stays, and its header counts exactly the frames it holds.
  const WavFile two = ReadWav(Out("track02.wav"));
  ASSERT_TRUE(two.ok);
  EXPECT_EQ(two.dataSize, two.data.size());
  EXPECT_EQ(two.riffSize, two.dataSize + 36);
  EXPECT_LT(two.dataSize, 100u * 2352u);
  EXPECT_EQ(two.dataSize % (26 * 2352), 0u);
  EXPECT_EQ(two.data, image.Audio(image.start(2), static_cast<int>(two.dataSize / 2352)));
  // The job went on with the next track and counts the one not grabbed.
  EXPECT_EQ(sink.results[1].outcome, RowOutcome::Done);
  EXPECT_EQ(ReadWav(Out("track01.wav")).data, image.Audio(image.start(1), 200));
  EXPECT_EQ(sink.status, "Finish Tracks Grab! 1 track not grabbed.");
  EXPECT_TRUE(LogTrack(LogText(), 2)["Result"].startsWith("not grabbed: " + libraryText));
}

TEST_F(GrabTest, AFullDiskLeavesNoFileThatClaimsAudioAndTheJobGoesOn) {
  const DiscImage image = Image(AudioDisc("full", {600, 20}));
  // The file-size limit stands in for a full disk: writes beyond it fail with EFBIG.
  struct Limit {
    rlimit old{};
    void (*handler)(int) = nullptr;
    Limit() {
      getrlimit(RLIMIT_FSIZE, &old);
      handler = std::signal(SIGXFSZ, SIG_IGN);
      rlimit small = old;
      small.rlim_cur = 500 * 1024;
      setrlimit(RLIMIT_FSIZE, &small);
    }
    ~Limit() {
      setrlimit(RLIMIT_FSIZE, &old);
      std::signal(SIGXFSZ, handler);
    }
  } limit;
  Run(Settings(OutputKind::Wav, {1, 2}), image);
  ASSERT_EQ(sink.results.size(), 2u);
  EXPECT_EQ(sink.results[0].outcome, RowOutcome::Failed);
  EXPECT_EQ(sink.results[0].reason, "could not write track01.wav (is the disk full?)");
  EXPECT_FALSE(QFileInfo::exists(Out("track01.wav")));
  EXPECT_EQ(ReadWav(Out("track02.wav")).data, image.Audio(image.start(2), 20));
}

TEST_F(GrabTest, ADataTrackIsRefusedAndTheJobGoesOn) {
  DiscSpec spec = AudioDisc("enhanced", {100, 80});
  spec.tracks.push_back(DataTrack(300));
  const DiscImage image = Image(spec);
  Run(Settings(OutputKind::Wav, {3, 2}), image);
  ASSERT_EQ(sink.results.size(), 2u);
  EXPECT_EQ(sink.results[0].outcome, RowOutcome::Failed);
  EXPECT_EQ(sink.results[0].reason, "track 3 is a data track, not audio: not grabbed");
  EXPECT_FALSE(QFileInfo::exists(Out("track03.wav")));
  EXPECT_EQ(ReadWav(Out("track02.wav")).data, image.Audio(image.start(2), 80));
  EXPECT_TRUE(LogText().contains("      3 | ") && LogText().contains("| data\n"));
  // Track 2 is the last audio track: AccurateRip leaves out its last five frames.
  const ArSums ar = ReferenceAccurateRip(image.Audio(image.start(2), 80), false, true);
  EXPECT_EQ(LogTrack(LogText(), 2)["AccurateRip v1"],
            QStringLiteral("%1").arg(ar.v1, 8, 16, QLatin1Char('0')).toUpper());
}

TEST_F(GrabTest, OutputFolderIsMadeWithItsParentsOrReported) {
  const DiscImage image = Image(AudioDisc("folders", {30}));
  sv::grab::GrabSettings s = Settings(OutputKind::Wav, {1});
  s.outputFolder = out.filePath("a/b/c");
  Run(s, image);
  EXPECT_TRUE(ReadWav(out.filePath("a/b/c/track01.wav")).ok);
  EXPECT_TRUE(QFileInfo::exists(out.filePath("a/b/c/rip.log")));

  jobtest::WriteAll(out.filePath("plain"), "a file");
  runner.reset();
  job.reset();
  s.outputFolder = out.filePath("plain/sub");
  Run(s, image);
  EXPECT_EQ(prepareError, "The output folder " + out.filePath("plain/sub") +
                              " could not be made. Choose another folder on the CD page.");
  EXPECT_EQ(disc->calls, 0);
}

TEST(TrackFileNames, TrackAndAtLeastTwoDigits) {
  EXPECT_EQ(sv::grab::TrackFileName("/m", 7, OutputKind::Wav), "/m/track07.wav");
  EXPECT_EQ(sv::grab::TrackFileName("/m/", 10, OutputKind::Mp3), "/m/track10.mp3");
  EXPECT_EQ(sv::grab::TrackFileName("/m", 99, OutputKind::Wav), "/m/track99.wav");
}

}  // namespace
