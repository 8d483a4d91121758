// The image writer end to end, through the control as the program loads it: events in order
// with their parameters, the CUE sheet and the BIN against the sources, CD-Text, the log, and
// what Debian's disc tools make of the image.
#include "cdwriter_support.h"
#include "red_book.h"
#include "test_media.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <zlib.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

using namespace cdwtest;

constexpr int kBlock = 2352;

struct Source {
  QString path;
  QByteArray stereo;  // what the disc must hold, before padding
};

struct Burnt {
  std::vector<Source> sources;
  QString cue, bin;
};

qint64 blocksOf(const QByteArray& stereo) { return cdw::TrackBlocks(stereo.size() / 4); }

// Two WAVs of odd lengths (one mono), a 2-second WAV, two tagged MP3s (one mono).
std::vector<Source> MakeSources(const Sandbox& box) {
  std::vector<Source> s;
  const QString a = WriteWav(box.file("a.wav"), 60417, 2, 1);
  s.push_back({a, WavPcm(a)});
  const QString b = WriteWav(box.file("b mono.wav"), 220941, 1, 2);
  s.push_back({b, Stereo(WavPcm(b))});
  const QString c = WriteWav(box.file("c.wav"), 88200, 2, 3);
  s.push_back({c, WavPcm(c)});
  const Tag d{"Harbour Lights", "Northern Road", "Night Songs"};
  const QString dPath = WriteMp3(box.file("d.mp3"), 6.2, 2, &d);
  s.push_back({dPath, DecodedPcm(dPath)});
  const Tag e{"Caf\xE9 \"Noir\"", "Northern Road", "Night Songs"};
  const QString ePath = WriteMp3(box.file("e.mp3"), 4.5, 1, &e);
  s.push_back({ePath, Stereo(DecodedPcm(ePath))});
  return s;
}

QString expectedCue(const QString& binName, const std::vector<Source>& sources) {
  QString cue = "TITLE \"Night Songs\"\nPERFORMER \"Northern Road\"\nFILE \"" + binName + "\" BINARY\n";
  const char* titles[] = {nullptr, nullptr, nullptr, "Harbour Lights", "Caf\xE9 'Noir'"};
  qint64 at = 150;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    cue += QString("  TRACK %1 AUDIO\n").arg(i + 1, 2, 10, QChar('0'));
    if (titles[i])
      cue +=
          QString("    TITLE \"") + QString::fromLatin1(titles[i]) + "\"\n    PERFORMER \"Northern Road\"\n";
    if (i == 0) cue += "    INDEX 00 00:00:00\n";
    cue += "    INDEX 01 " + QString::fromStdString(cdw::Msf(at)) + "\n";
    at += blocksOf(sources[i].stereo);
  }
  return cue;
}

TEST(ImageWriter, TracksEventsCueAndBinMatchTheSources) {
  Sandbox box;
  const auto sources = MakeSources(box);
  QStringList files;
  for (const auto& s : sources) files << s.path;
  Harness h;
  ASSERT_EQ(h.control().Get(24).toInt(), 1) << "no drive here: the image writer alone";
  h.control().Call(21, {box.log(), true});
  ASSERT_TRUE(h.Burn(0, files));
  ASSERT_TRUE(h.WaitForEnd());
  ASSERT_EQ(h.Last(), "WritingComplete");

  // The order of the events, statuses aside.
  QStringList order;
  for (const Seen& e : h.events())
    if (!e.name.endsWith("Status")) order << e.name + (e.args.isEmpty() ? "" : ":" + e.args[0].toString());
  EXPECT_EQ(
      order.join(" "),
      "PreparingToWrite CachingTrack:4 CachingTrack:5 TrackWriteStart:1 ClosingTrack:1 TrackWriteStart:2 "
      "ClosingTrack:2 TrackWriteStart:3 ClosingTrack:3 TrackWriteStart:4 ClosingTrack:4 TrackWriteStart:5 "
      "ClosingTrack:5 ClosingDisc WritingComplete");

  // Each status belongs to the track started last and counts up to its total.
  int track = 0;
  qint64 total = 0, last = -1;
  for (const Seen& e : h.events()) {
    if (e.name == "TrackWriteStart" || e.name == "CachingTrack") {
      ASSERT_EQ(e.args.size(), 2);
      EXPECT_EQ(e.args[0].typeId(), QMetaType::Short) << "track numbers are 16-bit";
      EXPECT_EQ(e.args[1].typeId(), QMetaType::Int) << "block counts are 32-bit";
      if (last >= 0) {
        EXPECT_EQ(last, total) << "the previous one reached its total";
      }
      track = e.args[0].toInt();
      total = e.args[1].toLongLong();
      last = 0;
    } else if (e.name == "TrackWriteStatus") {
      ASSERT_EQ(e.args.size(), 3);
      EXPECT_EQ(e.args[0].toInt(), track);
      EXPECT_GT(e.args[1].toLongLong(), last);
      last = e.args[1].toLongLong();
      EXPECT_LE(last, total);
    } else if (e.name == "CachingTrackStatus") {
      ASSERT_EQ(e.args.size(), 1);
      EXPECT_GE(e.args[0].toLongLong(), last);
      last = e.args[0].toLongLong();
    } else if (e.name == "ClosingTrack") {
      EXPECT_EQ(last, total);
    }
  }
  const auto starts = h.Named("TrackWriteStart");
  ASSERT_EQ(starts.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i)
    EXPECT_EQ(starts[i].args[1].toLongLong(), blocksOf(sources[i].stereo) + (i == 0 ? 150 : 0))
        << "track " << i + 1 << ": whole blocks, at least 4 seconds, the pregap with track 1";

  // The image: found where the page of CD drives looks, named after the date and time.
  const QString cue = h.control().Get(101).toString();
  ASSERT_FALSE(cue.isEmpty());
  EXPECT_EQ(QFileInfo(cue).absolutePath(), QFileInfo(box.discs()).absoluteFilePath());
  EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.cue$)")
                  .match(QFileInfo(cue).fileName())
                  .hasMatch())
      << cue.toStdString();
  const QString bin = cue.chopped(4) + ".bin";
  EXPECT_EQ(box.discFiles().size(), 2) << box.discFiles().join(",").toStdString();
  EXPECT_TRUE(box.cacheFiles().isEmpty()) << "the decoded MP3s are gone";
  EXPECT_EQ(ReadText(cue), expectedCue(QFileInfo(bin).fileName(), sources));

  const QByteArray image = media::ReadAll(bin);
  qint64 blocks = 150;
  for (const auto& s : sources) blocks += blocksOf(s.stereo);
  ASSERT_EQ(image.size(), blocks * kBlock);
  EXPECT_EQ(image.left(150 * kBlock), QByteArray(150 * kBlock, '\0')) << "the 2-second pregap is silence";
  qint64 at = 150 * kBlock;
  const QString log = ReadText(box.log());
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const QByteArray& audio = sources[i].stereo;
    const qint64 size = blocksOf(audio) * kBlock;
    EXPECT_TRUE(image.mid(at, audio.size()) == audio) << "track " << i + 1 << " sample for sample";
    EXPECT_EQ(image.mid(at + audio.size(), size - audio.size()), QByteArray(size - audio.size(), '\0'))
        << "track " << i + 1 << " padded with silence";
    const auto crc =
        crc32(0, reinterpret_cast<const Bytef*>(image.constData() + at), static_cast<uInt>(size));
    EXPECT_TRUE(
        log.contains(QString("CRC32 %1").arg(crc, 8, 16, QChar('0')).toUpper().replace("CRC32", "CRC32")))
        << "the log has track " << i + 1 << "'s CRC32";
    EXPECT_TRUE(log.contains(sources[i].path)) << "the log names track " << i + 1 << "'s source";
    at += size;
  }
  EXPECT_TRUE(log.contains("Writer selected: Image"));
  EXPECT_TRUE(log.contains("Speed: Default; mode: real write"));
  EXPECT_TRUE(log.contains("Event TrackWriteStart Track=5"));
  EXPECT_TRUE(log.contains("Image written: " + cue));

  // libcdio, as the CD reading component opens images: tracks where the sheet puts them, and
  // the CD-Text of the disc and of the tagged tracks.
  CdIo_t* cdio = cdio_open(cue.toLocal8Bit().constData(), DRIVER_BINCUE);
  ASSERT_NE(cdio, nullptr);
  EXPECT_EQ(cdio_get_num_tracks(cdio), 5);
  qint64 lsn = 150;
  for (int t = 1; t <= 5; ++t) {
    EXPECT_EQ(cdio_get_track_lsn(cdio, static_cast<track_t>(t)), lsn) << "track " << t;
    EXPECT_EQ(cdio_get_track_format(cdio, static_cast<track_t>(t)), TRACK_FORMAT_AUDIO);
    lsn += blocksOf(sources[static_cast<std::size_t>(t - 1)].stereo);
  }
  cdtext_t* text = cdio_get_cdtext(cdio);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(cdtext_get_const(text, CDTEXT_FIELD_TITLE, 0), "Night Songs");
  EXPECT_STREQ(cdtext_get_const(text, CDTEXT_FIELD_PERFORMER, 0), "Northern Road");
  EXPECT_STREQ(cdtext_get_const(text, CDTEXT_FIELD_TITLE, 4), "Harbour Lights");
  EXPECT_STREQ(cdtext_get_const(text, CDTEXT_FIELD_TITLE, 5), "Caf\xC3\xA9 'Noir'");
  EXPECT_STREQ(cdtext_get_const(text, CDTEXT_FIELD_PERFORMER, 5), "Northern Road");
  EXPECT_EQ(cdtext_get_const(text, CDTEXT_FIELD_TITLE, 1), nullptr) << "a WAV has no tag";
  cdio_destroy(cdio);
}

}  // namespace

namespace {

using namespace cdwtest;

QStringList pathsOf(const std::vector<Source>& sources) {
  QStringList files;
  for (const auto& s : sources) files << s.path;
  return files;
}

// Nothing of a write that did not complete is left where the CD page looks, nor in the cache.
void ExpectNothingLeft(const Sandbox& box) {
  EXPECT_TRUE(box.discFiles().isEmpty()) << box.discFiles().join(", ").toStdString();
  EXPECT_TRUE(box.cacheFiles().isEmpty()) << box.cacheFiles().join(", ").toStdString();
}

TEST(ImageWriter, TestModeGoesThroughEveryStepAndLeavesNoImage) {
  Sandbox box;
  const auto sources = MakeSources(box);
  Harness h;
  h.control().Put(2, true);
  ASSERT_TRUE(h.Burn(0, pathsOf(sources)));
  ASSERT_TRUE(h.WaitForEnd());
  EXPECT_EQ(h.Last(), "WritingComplete");
  EXPECT_EQ(h.Named("CachingTrack").size(), 2u);
  EXPECT_EQ(h.Named("TrackWriteStart").size(), 5u);
  EXPECT_EQ(h.Named("ClosingTrack").size(), 5u);
  EXPECT_EQ(h.Named("ClosingDisc").size(), 1u);
  EXPECT_FALSE(h.Named("TrackWriteStatus").empty());
  EXPECT_TRUE(h.control().Get(2).toBool()) << "the window reads test mode back after completion";
  EXPECT_EQ(h.control().Get(101).toString(), "");
  ExpectNothingLeft(box);
}

TEST(ImageWriter, CancelWhileCachingLeavesNothing) {
  Sandbox box;
  QStringList files{WriteWav(box.file("first.wav"), 44100 * 5, 2, 1)};
  for (int i = 0; i < 4; ++i) files << WriteMp3(box.file(QString("song%1.mp3").arg(i)), 20, 2);
  Harness h;
  ASSERT_TRUE(h.Prepare(0, files));
  // Asked at once: the write is still decoding its first MP3, long before anything is written.
  ASSERT_TRUE(h.Start());
  h.control().Call(39);
  ASSERT_TRUE(h.WaitForEnd());
  EXPECT_EQ(h.Last(), "WritingCancelled");
  EXPECT_EQ(h.events().front().name, "PreparingToWrite");
  EXPECT_TRUE(h.Named("TrackWriteStart").empty());
  ExpectNothingLeft(box);
  // The control is ready for the next write.
  h.control().Put(2, true);
  EXPECT_TRUE(h.Start());
  ASSERT_TRUE(h.WaitForEnd());
  EXPECT_EQ(h.Last(), "WritingComplete");
  ExpectNothingLeft(box);
}

// A write context that asks to cancel once the given number of blocks went by.
class CancellingContext : public cdw::WriteContext {
 public:
  CancellingContext(cdw::DiscPlan& plan, std::int64_t after) : plan_(plan), after_(after) {}
  std::unique_ptr<cdw::TrackReader> OpenTrack(std::size_t i) override {
    auto r = std::make_unique<cdw::TrackReader>(plan_.tracks[i].pcm, plan_.tracks[i].place.blocks,
                                                plan_.tracks[i].stamp, plan_.tracks[i].source);
    return r->Open() ? std::move(r) : nullptr;
  }
  cdw::FileError FailedFile() const override { return {}; }
  bool Cancelled() const override { return written_ >= after_; }
  void TrackStarted(int, std::int64_t) override {}
  void TrackProgress(int, std::int64_t written, int) override { written_ = written; }
  void TrackClosing(int, std::uint32_t) override {}
  void DiscClosing() override {}
  void Note(const std::string&) override {}
  std::int64_t written_ = 0;

 private:
  cdw::DiscPlan& plan_;
  std::int64_t after_;
};

cdw::DiscPlan PlanOf(const QString& wav) {
  cdw::DiscPlan plan;
  cdw::PlannedTrack t;
  t.number = 1;
  t.source = wav.toStdString();
  t.pcm = *cdw::ReadWavRegion(t.source, nullptr);
  t.stamp = cdw::StampOf(t.source);
  plan.layout = cdw::LayOut({t.pcm.frames()}, 0);
  t.place = plan.layout.tracks[0];
  plan.tracks.push_back(t);
  return plan;
}

TEST(ImageWriter, CancelDuringTheWriteRemovesThePartialImage) {
  Sandbox box;
  auto plan = PlanOf(WriteWav(box.file("long.wav"), 44100 * 60, 2, 7));
  CancellingContext context(plan, 1000);
  auto recorder = cdw::MakeImageRecorder();
  const auto outcome = recorder->Write(plan, cdw::WriteSettings{}, context);
  EXPECT_EQ(outcome.kind, cdw::WriteOutcome::Kind::Cancelled);
  EXPECT_GE(context.written_, 1000);
  EXPECT_LT(context.written_, 4650) << "it stopped part way";
  ExpectNothingLeft(box);
}

TEST(ImageWriter, VanishedOrChangedSourcesAreFileErrors) {
  Sandbox box;
  const QString a = WriteWav(box.file("a.wav"), 50000, 2, 1);
  const QString b = WriteWav(box.file("b.wav"), 50000, 2, 2);
  {
    Harness h;
    h.control().Call(21, {box.log(), true});
    ASSERT_TRUE(h.Burn(0, {a, b}));
    ASSERT_TRUE(h.WaitForEnd());  // (a first write, to see that the second one is refused)
    ASSERT_EQ(h.Last(), "WritingComplete");
  }
  QDir(box.discs()).removeRecursively();
  {
    Harness h;
    ASSERT_TRUE(h.Prepare(0, {a, b}));
    QFile::remove(b);
    ASSERT_TRUE(h.Start());
    ASSERT_TRUE(h.WaitForEnd());
    ASSERT_EQ(h.Last(), "TrackFileError");
    const Seen e = h.events().back();
    EXPECT_EQ(e.args[0].toInt(), 0) << "an error opening the file";
    EXPECT_EQ(e.args[1].toString(), b);
    EXPECT_TRUE(h.Named("TrackWriteStart").empty()) << "nothing was written";
  }
  ExpectNothingLeft(box);
  {
    Harness h;
    ASSERT_TRUE(h.Prepare(0, {a}));
    // The same length, other samples: only its identity gives it away.
    WriteWav(a + ".new", 50000, 2, 9);
    QFile::remove(a);
    QFile::rename(a + ".new", a);
    ASSERT_TRUE(h.Start());
    ASSERT_TRUE(h.WaitForEnd());
    ASSERT_EQ(h.Last(), "TrackFileError");
    EXPECT_EQ(h.events().back().args[0].toInt(), 1) << "an error reading the file";
    EXPECT_EQ(h.events().back().args[1].toString(), a);
  }
  ExpectNothingLeft(box);
}

// A WAV that claims `seconds` of audio in a sparse file, so it costs no disk space.
QString SparseWav(const QString& path, qint64 seconds) {
  WriteWav(path, 0, 2, 1);
  const quint32 bytes = static_cast<quint32>(seconds * 44100 * 4);
  QFile f(path);
  f.open(QIODevice::ReadWrite);
  for (const qint64 at : {qint64(4), qint64(40)}) {
    const quint32 v = at == 4 ? bytes + 36 : bytes;
    const char le[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    f.seek(at);
    f.write(le, 4);
  }
  f.resize(44 + bytes);
  return path;
}

TEST(ImageWriter, ALayoutLongerThanTheDiscIsRefusedBeforeWriting) {
  Sandbox box;
  const QString a = SparseWav(box.file("first.wav"), 40 * 60);
  const QString b = SparseWav(box.file("second.wav"), 41 * 60);
  Harness h;
  ASSERT_TRUE(h.Burn(0, {a, b}));
  ASSERT_TRUE(h.WaitForEnd());
  ASSERT_EQ(h.Last(), "WriteError");
  EXPECT_EQ(h.events().back().args[0].toInt(), 3) << "shown with the error data";
  EXPECT_EQ(h.events().back().args[1].toInt(), 28) << "no room on the disc";
  EXPECT_EQ(h.control().Get(23).toString(),
            "The tracks last about 81:00 but the disc holds 80:00. Remove tracks and try again.");
  EXPECT_TRUE(h.Named("TrackWriteStart").empty());
  ExpectNothingLeft(box);
}

TEST(ImageWriter, GivenNamesNeverOverwriteAnImage) {
  Sandbox box;
  const QString a = WriteWav(box.file("a.wav"), 50000, 2, 1);
  Harness h;
  h.control().Put(100, QString("Road \"Trip\"/1"));
  EXPECT_EQ(h.control().Get(100).toString(), "Road \"Trip\"/1");
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(h.Burn(0, {a}));
    ASSERT_TRUE(h.WaitForEnd());
    ASSERT_EQ(h.Last(), "WritingComplete");
  }
  EXPECT_EQ(box.discFiles(), QStringList({"Road _Trip__1.bin", "Road _Trip__1.cue", "Road _Trip__1_2.bin",
                                          "Road _Trip__1_2.cue"}));
  EXPECT_TRUE(ReadText(box.discs() + "/Road _Trip__1_2.cue").contains("FILE \"Road _Trip__1_2.bin\" BINARY"));
}

TEST(ImageWriter, SilenceBetweenTracksWhenAsked) {
  Sandbox box;
  const QString a = WriteWav(box.file("a.wav"), 44100 * 5, 2, 1);
  const QString b = WriteWav(box.file("b.wav"), 44100 * 5, 2, 2);
  Harness h;
  h.control().Put(7, 75);
  EXPECT_EQ(h.control().Get(7).toInt(), 75);
  ASSERT_TRUE(h.Burn(0, {a, b}));
  ASSERT_TRUE(h.WaitForEnd());
  const QString cue = h.control().Get(101).toString();
  EXPECT_TRUE(ReadText(cue).contains("  TRACK 02 AUDIO\n    INDEX 00 00:07:00\n    INDEX 01 00:08:00\n"))
      << ReadText(cue).toStdString();
  const QByteArray image = media::ReadAll(cue.chopped(4) + ".bin");
  ASSERT_EQ(image.size(), (150 + 375 + 75 + 375) * kBlock);
  EXPECT_EQ(image.mid((150 + 375) * kBlock, 75 * kBlock), QByteArray(75 * kBlock, '\0'));
  EXPECT_TRUE(image.mid((150 + 375 + 75) * kBlock) == WavPcm(b));
}

TEST(ImageWriter, DebiansDiscToolsAcceptTheImage) {
  if (QStandardPaths::findExecutable("cd-info").isEmpty() ||
      QStandardPaths::findExecutable("cdrdao").isEmpty())
    GTEST_SKIP() << "cd-info (libcdio-utils) and cdrdao are not installed; tools/install-deps brings them";
  Sandbox box;
  const auto sources = MakeSources(box);
  Harness h;
  ASSERT_TRUE(h.Burn(0, pathsOf(sources)));
  ASSERT_TRUE(h.WaitForEnd());
  const QString cue = h.control().Get(101).toString();
  qint64 blocks = 150;
  for (const auto& s : sources) blocks += blocksOf(s.stereo);

  QString out;
  ASSERT_EQ(RunProgram("cd-info", {"--no-device-info", "--no-cddb", "--cue-file", cue}, &out), 0)
      << out.toStdString();
  EXPECT_TRUE(out.contains("CD-ROM Track List (1 - 5)")) << out.toStdString();
  EXPECT_TRUE(out.contains(QRegularExpression(R"(\n\s*1: 00:04:00\s+000150 audio)"))) << out.toStdString();
  EXPECT_TRUE(out.contains(QRegularExpression(QString(R"(\n\s*170: \S+\s+0*%1 leadout)").arg(blocks))))
      << out.toStdString();
  EXPECT_TRUE(out.contains("TITLE: Harbour Lights"));
  EXPECT_TRUE(out.contains("PERFORMER: Northern Road"));

  // cdrdao finds the BIN from where it runs, as its users know.
  ASSERT_EQ(RunProgram("cdrdao", {"toc-info", cue}, &out, box.discs()), 0) << out.toStdString();
  EXPECT_TRUE(out.contains(
      QString("5 tracks, length %1, %2 blocks").arg(QString::fromStdString(cdw::Msf(blocks))).arg(blocks)))
      << out.toStdString();
  ASSERT_EQ(RunProgram("cdrdao", {"show-toc", cue}, &out, box.discs()), 0) << out.toStdString();
  EXPECT_TRUE(out.contains("PREGAP 00:02:00(   150)")) << out.toStdString();
  EXPECT_EQ(out.count("TWO CHANNEL AUDIO"), 5);
}

}  // namespace
