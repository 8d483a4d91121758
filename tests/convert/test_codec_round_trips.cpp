// The codec libraries themselves (svogg, svwma, svvqf) through the pages and their job
// windows: every bit-rate entry of page 0 gives the file its setting promises, page 1 turns
// each file back into the source, and the stop button reaches a working library at once.
// Outside programs (oggdec, ffprobe, ffmpeg) judge the files, so that a file only we can
// read does not pass.
#include "conversion_pages.h"
#include "convert/core/outside_codecs.h"
#include "convert_support.h"
#include "frmAllToWaveStatus.h"
#include "frmWaveToAllStatus.h"
#include "jobs/widgets/picture_box.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"
#include "wave_source_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <ctime>
#include <functional>
#include <map>
#include <utility>

namespace {

using wavetest::Pcm;

constexpr int kRate = 44100;

// Processor time of this thread: the library works on it, and the machine may be busy.
double threadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The program's output, or an empty text when it failed; what it said on its error output.
QString run(const QString& program, const QStringList& args, bool* ok = nullptr, QString* said = nullptr) {
  QProcess p;
  p.start(program, args);
  const bool done = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  if (ok) *ok = done;
  if (said) *said = QString::fromUtf8(p.readAllStandardError());
  return done ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// ffprobe's facts of the first audio stream and the container, by key.
std::map<QString, QString> probe(const QString& file) {
  std::map<QString, QString> facts;
  const QString out =
      run(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                      "stream=codec_name,sample_rate,channels,bit_rate:format=format_name",
                                      "-of", "default=noprint_wrappers=1", file});
  for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
    const qsizetype eq = line.indexOf('=');
    if (eq > 0) facts[line.left(eq)] = line.mid(eq + 1).trimmed();
  }
  return facts;
}

// ffmpeg's decode of a file as 16-bit PCM, or no samples when it reported an error. The VQF
// reader ends every file with an input/output error of its own: that one is the end.
Pcm ffmpegDecode(const QString& file, const QString& scratch) {
  Pcm pcm;
  bool ok = false;
  QString said;
  run(QStringLiteral("ffmpeg"),
      {"-nostdin", "-v", "error", "-y", "-i", file, "-map_metadata", "-1", "-flags", "+bitexact", "-fflags",
       "+bitexact", "-c:a", "pcm_s16le", scratch},
      &ok, &said);
  said.remove(file + QStringLiteral(": Input/output error"));
  EXPECT_TRUE(said.trimmed().isEmpty()) << said.toStdString();
  if (ok && said.trimmed().isEmpty()) wavetest::ReadWav(scratch.toStdString(), pcm);
  return pcm;
}

// Two sweeps and two tones, a different pair per channel: no lag but the true one matches,
// and a swap, a wrong rate or a wrong sample format fails the SNR.
Pcm sweeps(std::size_t frames) {
  Pcm pcm;
  pcm.channels = 2;
  pcm.rate = kRate;
  pcm.samples.resize(2 * frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    pcm.samples[2 * i] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * (400 * t + 100 * t * t)) +
                                                   2500 * std::sin(2 * M_PI * 2750 * t));
    pcm.samples[2 * i + 1] = static_cast<std::int16_t>(7000 * std::sin(2 * M_PI * (900 * t + 150 * t * t)) +
                                                       2000 * std::sin(2 * M_PI * 1900 * t));
  }
  return pcm;
}

// The identification header of an Ogg Vorbis file: channels, rate, nominal bit rate.
struct VorbisHead {
  int channels = 0, rate = 0, nominal = 0;
};
VorbisHead vorbisHead(const QString& file) {
  const QByteArray head = convtest::ReadAll(file).left(200);
  const qsizetype at = head.indexOf("\x01vorbis");
  VorbisHead h;
  if (at < 0 || head.size() < at + 23) return h;
  auto u32 = [&](qsizetype o) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(head[o + i]);
    return v;
  };
  h.channels = static_cast<std::uint8_t>(head[at + 11]);
  h.rate = static_cast<int>(u32(at + 12));
  h.nominal = static_cast<int>(u32(at + 20));
  return h;
}

// Signal-to-noise ratio in dB of `decoded` against `reference` at the lag (decoded later,
// or earlier when negative, by up to `maxLag` frames) where they match best; the first and
// last 2048 frames, where codecs settle, are left out.
struct Match {
  double snr = -100;
  int lag = 0;
};
Match bestMatch(const Pcm& reference, const Pcm& decoded, int maxLag) {
  Match best;
  if (reference.channels != decoded.channels) return best;
  const long frames = static_cast<long>(std::min(reference.frames(), decoded.frames()));
  const long from = 2048 + maxLag, to = frames - 2048 - maxLag;
  if (to - from < 4096) return best;
  auto snrAt = [&](int lag, long first, long last) {
    double signal = 0, noise = 0;
    for (long i = first; i < last; ++i)
      for (int c = 0; c < reference.channels; ++c) {
        const double s = reference.samples[static_cast<std::size_t>(i * reference.channels + c)];
        const double d = decoded.samples[static_cast<std::size_t>((i + lag) * decoded.channels + c)];
        signal += s * s;
        noise += (s - d) * (s - d);
      }
    return noise > 0 ? 10 * std::log10(signal / noise) : 200.0;
  };
  for (int lag = -maxLag; lag <= maxLag; ++lag)
    if (const double snr = snrAt(lag, from, from + 4096); snr > best.snr) best = {snr, lag};
  best.snr = snrAt(best.lag, from, to);
  return best;
}

// Runs `action` on the next modal window once it is open.
void whenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, qApp, [action = std::move(action)] {
    QWidget* w = nullptr;
    (void)QTest::qWaitFor([&] { return (w = QApplication::activeModalWidget()) != nullptr; }, 5000);
    if (w) action(w);
  });
}

// One page-0 setting and what it promises.
struct Setting {
  const char* format;  // "OGG", "WMA", "VQF"
  int entry;           // position in the page's bit-rate list
  int kbps;            // the entry's figure
  QString name() const { return QStringLiteral("%1-%2").arg(QString::fromLatin1(format)).arg(kbps); }
};

const Setting kSettings[] = {{"OGG", 0, 64},  {"OGG", 1, 80},  {"OGG", 2, 96},  {"OGG", 3, 128},
                             {"OGG", 4, 160}, {"OGG", 5, 192}, {"OGG", 6, 256}, {"WMA", 0, 64},
                             {"WMA", 1, 96},  {"WMA", 2, 128}, {"VQF", 0, 80},  {"VQF", 1, 96}};

class CodecRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    for (const char* name : {"svogg", "svvqf", "svwma"}) sv::codecs::SetLibraryName(name, name);
    sv::WaveToAllOutputDir = path("encoded");
    sv::AllToWaveOutputDir = path("decoded");
    sv::CancelConvert = 0;
  }
  QString path(const QString& name) const { return dir_.path() + "/" + name; }
  static bool haveTools() {
    for (const char* tool : {"oggdec", "ffprobe", "ffmpeg"})
      if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) return false;
    return true;
  }

  // Presses a page's Start and, in its job window, "Convert Now"; the window's results.
  template <typename Window>
  // `fileBar` receives every drawing of the file bar (row, percent).
  std::vector<sv::jobs::RowResult> startAndConvert(const std::function<void()>& pressStart,
                                                   std::vector<std::pair<int, float>>* fileBar = nullptr) {
    std::vector<sv::jobs::RowResult> results;
    whenModal([&](QWidget* w) {
      auto* window = qobject_cast<Window*>(w);
      if (!window) return;
      if (fileBar)
        QObject::connect(window->picFileStatus, &sv::PictureBox::ProgressDrawn, window,
                         [=](float p) { fileBar->emplace_back(window->Job().currentfile, p); });
      window->cmdStart_Click();
      results = window->Job().Results();
      window->cmdCancel_Click();  // "&OK"
    });
    pressStart();
    return results;
  }

  QTemporaryDir dir_;
};

TEST_F(CodecRoundTrip, EveryBitRateEntryEncodesAndDecodesThroughThePagesJobs) {
  if (!haveTools()) GTEST_SKIP() << "oggdec, ffprobe or ffmpeg is not installed (tools/install-deps)";
  const Pcm source = sweeps(kRate);
  Pcm swapped = source;
  for (std::size_t i = 0; i + 1 < swapped.samples.size(); i += 2)
    std::swap(swapped.samples[i], swapped.samples[i + 1]);
  for (const Setting& s : kSettings) wavetest::WriteWav(path(s.name() + ".wav").toStdString(), source);

  // Page 0: one job per OGG entry, the WMA and VQF entries riding along in the first jobs.
  sv::WaveToAllPage encodePage;
  encodePage.show();
  for (int entry = 0; entry < 7; ++entry) {
    encodePage.gridWavetoAll->Clear(false);
    for (const Setting& s : kSettings)
      if (s.entry == entry) encodePage.creatingwavetoallplaylist(path(s.name() + ".wav"), s.format);
    encodePage.OGGComboBitRate->setCurrentIndex(entry);
    if (entry < 3) encodePage.WMAComboBitRate->setCurrentIndex(entry);
    if (entry < 2) encodePage.VQFComboBitRate->setCurrentIndex(entry);
    const auto results = startAndConvert<sv::frmWaveToAllStatus>(
        [&] { QTest::mouseClick(encodePage.cmdWaveToAllStart, Qt::LeftButton); });
    ASSERT_EQ(static_cast<int>(results.size()), encodePage.gridWavetoAll->Rows()) << "entry " << entry;
    for (const auto& r : results) EXPECT_FALSE(r.failed()) << r.reason.toStdString();
  }

  // Page 1: every file back to WAV in one job.
  sv::AllToWavePage decodePage;
  decodePage.show();
  for (const Setting& s : kSettings)
    decodePage.creatingalltowaveplaylist(path("encoded/" + s.name() + "." + s.format));
  std::vector<std::pair<int, float>> fileBar;
  const auto results = startAndConvert<sv::frmAllToWaveStatus>(
      [&] { QTest::mouseClick(decodePage.cmdAlltoWaveStart, Qt::LeftButton); }, &fileBar);
  ASSERT_EQ(results.size(), std::size(kSettings));
  for (const auto& r : results) EXPECT_FALSE(r.failed()) << r.reason.toStdString();
  // Each row's bar: 0 as it starts, the library's percentages rising to 100 (for VQF through
  // the estimate from the file's size), and 100 once it is done.
  for (int row = 1; row <= static_cast<int>(std::size(kSettings)); ++row) {
    std::vector<float> drawn;
    for (const auto& [r, p] : fileBar)
      if (r == row) drawn.push_back(p);
    SCOPED_TRACE(kSettings[row - 1].name().toStdString());
    ASSERT_GE(drawn.size(), 5u);
    EXPECT_EQ(drawn.front(), 0.0f);
    EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end()));
    EXPECT_GE(drawn[drawn.size() - 2], 99.0f) << "the library's last report";
    EXPECT_EQ(drawn.back(), 100.0f);
  }

  for (const Setting& s : kSettings) {
    SCOPED_TRACE(s.name().toStdString());
    const QString encoded = path("encoded/" + s.name() + "." + s.format);
    const QString format = QString::fromLatin1(s.format);
    // What outside programs make of the file.
    Pcm outside;
    if (format == "OGG") {
      const VorbisHead head = vorbisHead(encoded);
      EXPECT_EQ(head.channels, 2);
      EXPECT_EQ(head.rate, kRate);
      EXPECT_EQ(head.nominal, s.kbps * 1000) << "the quality level of the entry";
      bool ok = false;
      run("oggdec", {"-Q", "-o", path(s.name() + ".oggdec.wav"), encoded}, &ok);
      EXPECT_TRUE(ok);
      ASSERT_TRUE(wavetest::ReadWav(path(s.name() + ".oggdec.wav").toStdString(), outside));
      EXPECT_EQ(outside.frames(), source.frames()) << "Vorbis is sample-exact";
    } else {
      auto facts = probe(encoded);
      EXPECT_EQ(facts["codec_name"], format == "WMA" ? "wmav2" : "twinvq");
      if (format == "WMA") {
        EXPECT_EQ(facts["format_name"], "asf");
      }
      EXPECT_EQ(facts["sample_rate"], "44100");
      EXPECT_EQ(facts["channels"], "2");
      EXPECT_NEAR(facts["bit_rate"].toDouble(), s.kbps * 1000.0, s.kbps * 1000.0 * 0.05);
      outside = ffmpegDecode(encoded, path(s.name() + ".ffmpeg.wav"));
      ASSERT_GT(outside.frames(), 0u) << "ffmpeg decodes it without an error";
    }
    // What page 1 made of it: the source again, in its channels, rate and sample format.
    Pcm back;
    ASSERT_TRUE(wavetest::ReadWav(path("decoded/" + s.name() + ".WAV").toStdString(), back))
        << "a 16-bit PCM WAV whose header tells its length";
    EXPECT_EQ(back.channels, 2);
    EXPECT_EQ(back.rate, kRate);
    if (format == "OGG") {
      EXPECT_EQ(back.frames(), source.frames());
      EXPECT_EQ(back.samples, outside.samples) << "the same PCM as oggdec";
    } else {
      // The codec's delay and padding: at most a few frames of 2048 samples.
      EXPECT_NEAR(static_cast<double>(back.frames()), static_cast<double>(source.frames()), 3 * 2048.0);
      EXPECT_EQ(back.frames(), outside.frames()) << "the same length as ffmpeg's decode";
    }
    const double minimum = format == "OGG" ? 15 : 10;
    // FFmpeg's WMA decoder starts one 2048-sample frame into the source, as with its own encoder.
    const int maxLag = format == "OGG" ? 0 : 3000;
    const Match match = bestMatch(source, back, maxLag);
    EXPECT_GT(match.snr, minimum);
    EXPECT_GT(bestMatch(source, outside, maxLag).snr, minimum);
    EXPECT_LT(bestMatch(swapped, back, maxLag).snr, 3.0) << "the check tells the channels apart";
    std::printf("[          ] %-8s SNR %.2f dB at lag %d, %zu frames of %zu\n", qPrintable(s.name()),
                match.snr, match.lag, back.frames(), source.frames());
  }
}

// The stop button while a library works: the question, then the library sees the flag
// before it reports another percent, and returns within a tenth of a second of work.
TEST_F(CodecRoundTrip, StopReachesTheWorkingLibraryAndKeepsAPlayablePart) {
  if (!haveTools()) GTEST_SKIP() << "ffprobe or ffmpeg is not installed (tools/install-deps)";
  const Pcm source = sweeps(12 * static_cast<std::size_t>(kRate));
  wavetest::WriteWav(path("long.wav").toStdString(), source);

  struct Stop {
    double cpuAfter = -1;
    int drawsAfter = 0;
    bool asked = false;
    sv::jobs::RowOutcome outcome{};
    bool closed = false;
  };
  // Runs one row in `window`, pressing Stop once the file bar passed 20 %.
  auto stopAt20 = [&](sv::jobs::RowJobWindow& window) {
    Stop stop;
    bool pressed = false;
    double pressedAt = 0;
    QObject::connect(window.picFileStatus, &sv::PictureBox::ProgressDrawn, &window, [&](float percent) {
      if (pressed) {
        ++stop.drawsAfter;
        return;
      }
      if (percent < 20) return;
      pressed = true;
      // As a click does: seen when the callback lets the window run.
      QTimer::singleShot(0, &window, [&] {
        sv::ScopedMsgBoxResponder yes(sv::vbYes);
        window.cmdCancel_Click();
        stop.asked = yes.calls().size() == 1 && yes.calls()[0].text == "Really want to stop converting?";
        pressedAt = threadSeconds();
      });
    });
    window.show();
    window.cmdStart_Click();
    stop.cpuAfter = pressed ? threadSeconds() - pressedAt : -1;
    if (!window.Job().Results().empty()) stop.outcome = window.Job().Results()[0].outcome;
    stop.closed = !window.isVisible();
    sv::CancelConvert = 0;
    return stop;
  };
  auto check = [&](const Stop& stop, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(stop.asked);
    EXPECT_EQ(stop.outcome, sv::jobs::RowOutcome::Stopped);
    EXPECT_TRUE(stop.closed) << "a stopped job closes its window";
    EXPECT_GE(stop.cpuAfter, 0.0);
    EXPECT_LT(stop.cpuAfter, 0.1) << "seconds of work after the flag was raised";
    EXPECT_EQ(stop.drawsAfter, 0) << "no percent reported after the flag";
    std::printf("[          ] %-4s stopped after %.1f ms of work\n", what, stop.cpuAfter * 1e3);
  };

  // Page 0's three libraries: each keeps a shorter file that other players read to its end.
  for (const char* format : {"OGG", "WMA", "VQF"}) {
    const QString encoded = path(QStringLiteral("encoded/long.%1").arg(format));
    auto list = convtest::MakeJobList();
    convtest::AddJobRow(*list, path("long.wav"), encoded, QStringLiteral("WAV->%1").arg(format));
    sv::frmWaveToAllStatus window(
        *list, [] { return sv::WaveToAllOptions{}; }, [] { return true; });
    check(stopAt20(window), format);
    const Pcm part = ffmpegDecode(encoded, path(QStringLiteral("part-%1.wav").arg(format)));
    EXPECT_GT(part.frames(), source.frames() / 10) << format << ": the part is kept and plays";
    EXPECT_LT(part.frames(), source.frames() * 9 / 10) << format;
  }

  // Page 1's three: whole files first, then a stop in each; the WAV holds what came so far.
  for (const char* format : {"OGG", "WMA", "VQF"}) {
    const QString encoded = path(QStringLiteral("whole.%1").arg(format));
    QDir().mkpath(path("encoded"));
    {
      auto list = convtest::MakeJobList();
      convtest::AddJobRow(*list, path("long.wav"), encoded, QStringLiteral("WAV->%1").arg(format));
      sv::frmWaveToAllStatus window(
          *list, [] { return sv::WaveToAllOptions{}; }, [] { return true; });
      window.show();
      window.cmdStart_Click();
      ASSERT_EQ(window.Job().FailedRows(), 0) << format;
    }
    const QString wav = path(QStringLiteral("decoded/whole-%1.WAV").arg(format));
    auto list = convtest::MakeJobList();
    convtest::AddJobRow(*list, encoded, wav, QStringLiteral("%1->WAV").arg(format));
    QCheckBox overwrite;
    overwrite.setChecked(true);
    sv::frmAllToWaveStatus window(nullptr, list.get(), &overwrite);
    check(stopAt20(window), format);
    Pcm part;
    ASSERT_TRUE(wavetest::ReadWav(wav.toStdString(), part)) << format << ": its header tells its length";
    EXPECT_GT(part.frames(), source.frames() / 10) << format;
    EXPECT_LT(part.frames(), source.frames() * 9 / 10) << format;
  }
}

}  // namespace

namespace {

// Bad files through the real libraries and the job: each row names its cause, counts as not
// converted and leaves nothing behind, and the job goes on.
TEST_F(CodecRoundTrip, BadFilesAreNamedAndLeaveNothing) {
  const Pcm source = sweeps(kRate / 2);
  wavetest::WriteWav(path("good.wav").toStdString(), source);
  wavetest::WavSpec eightBit;
  eightBit.bitsPerSample = 8;
  wavetest::WriteWav(path("eight.wav").toStdString(), source, eightBit);
  // A WAV whose header promises more sound than it holds.
  QByteArray cut = convtest::ReadAll(path("good.wav"));
  cut.chop(cut.size() / 2);
  convtest::WriteAll(path("cut.wav"), cut);
  QByteArray noise(20000, '\0');
  for (qsizetype i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919 + i / 13) & 0xFF);
  for (const char* format : {"ogg", "wma", "vqf"}) {
    convtest::WriteAll(path(QStringLiteral("noise.%1").arg(format)), noise);
    convtest::WriteAll(path(QStringLiteral("empty.%1").arg(format)), QByteArray());
  }
  QDir().mkpath(path("locked"));
  QFile::setPermissions(path("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  const bool lockedWorks = !QFile(path("locked/probe")).open(QIODevice::WriteOnly);  // not as root

  struct Row {
    QString source, destination, type;
    int code;
  };
  std::vector<Row> encodes, decodes;
  for (const char* f : {"OGG", "WMA", "VQF"}) {
    const QString format = QString::fromLatin1(f);
    encodes.push_back(
        {path("eight.wav"), path("encoded/eight." + format), "WAV->" + format, SVC_E_SOURCE_FORMAT});
    encodes.push_back({path("cut.wav"), path("encoded/cut." + format), "WAV->" + format, SVC_E_DAMAGED});
    if (lockedWorks)
      encodes.push_back(
          {path("good.wav"), path("locked/good." + format), "WAV->" + format, SVC_E_DEST_CREATE});
    decodes.push_back({path("noise." + format.toLower()), path("decoded/noise-" + format + ".WAV"),
                       format + "->WAV", SVC_E_SOURCE_FORMAT});
    decodes.push_back({path("empty." + format.toLower()), path("decoded/empty-" + format + ".WAV"),
                       format + "->WAV", SVC_E_SOURCE_FORMAT});
  }
  // Then a good row: the job goes on after them.
  encodes.push_back({path("good.wav"), path("encoded/good.OGG"), "WAV->OGG", SVC_OK});
  decodes.push_back({path("encoded/good.OGG"), path("decoded/good.WAV"), "OGG->WAV", SVC_OK});

  auto check = [&](sv::jobs::RowJobWindow& window, const std::vector<Row>& rows) {
    window.show();
    window.cmdStart_Click();
    const auto& results = window.Job().Results();
    ASSERT_EQ(results.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Row& r = rows[i];
      SCOPED_TRACE((r.type + " " + QFileInfo(r.source).fileName()).toStdString());
      const bool decoding = r.type.endsWith("->WAV");
      if (r.code == SVC_OK) {
        EXPECT_FALSE(results[i].failed()) << results[i].reason.toStdString();
        EXPECT_TRUE(QFile::exists(r.destination));
        continue;
      }
      EXPECT_TRUE(results[i].failed());
      EXPECT_EQ(results[i].reason.toStdString(),
                sv::codecs::CodecResultText(r.code, decoding, decoding ? r.type.left(3) : r.type.right(3))
                    .toStdString());
      EXPECT_FALSE(QFile::exists(r.destination)) << "nothing is left of a row not converted";
    }
  };
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  {
    auto list = convtest::MakeJobList();
    for (const Row& r : encodes) convtest::AddJobRow(*list, r.source, r.destination, r.type);
    sv::frmWaveToAllStatus window(
        *list, [] { return sv::WaveToAllOptions{}; }, [] { return true; });
    check(window, encodes);
  }
  {
    auto list = convtest::MakeJobList();
    for (const Row& r : decodes) convtest::AddJobRow(*list, r.source, r.destination, r.type);
    QCheckBox overwrite;
    overwrite.setChecked(true);
    sv::frmAllToWaveStatus window(nullptr, list.get(), &overwrite);
    check(window, decodes);
  }
  // A full disk, as a file-size limit: each decode of the good file stops writing part way.
  {
    std::vector<Row> full;
    for (const char* f : {"OGG", "WMA", "VQF"}) {
      const QString format = QString::fromLatin1(f);
      encodes.back().destination = path("encoded/full." + format);
      encodes.back().type = "WAV->" + format;
      full.push_back({encodes.back().destination, path("decoded/full-" + format + ".WAV"), format + "->WAV",
                      SVC_E_WRITE});
      auto list = convtest::MakeJobList();
      convtest::AddJobRow(*list, path("good.wav"), encodes.back().destination, encodes.back().type);
      sv::frmWaveToAllStatus window(
          *list, [] { return sv::WaveToAllOptions{}; }, [] { return true; });
      check(window, {encodes.back()});
    }
    auto list = convtest::MakeJobList();
    for (const Row& r : full) convtest::AddJobRow(*list, r.source, r.destination, r.type);
    QCheckBox overwrite;
    overwrite.setChecked(true);
    sv::frmAllToWaveStatus window(nullptr, list.get(), &overwrite);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 40000;  // a WAV of half a second takes 88 kB
    setrlimit(RLIMIT_FSIZE, &limit);
    check(window, full);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
  }
  EXPECT_TRUE(boxes.calls().empty()) << "the causes stand in the list, not in boxes";
  QFile::setPermissions(path("locked"),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace
