// The control's contract as the burn window uses it: members by number with their values and
// refusals, the writer list, and the scripted stand-ins for what the image writer cannot show.
#include "cdwriter.h"
#include "cdwriter_support.h"
#include "platform/library_loader.h"
#include "platform/runtime_error.h"
#include "red_book.h"
#include "test_media.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace cdwtest;

QVariant i16(int v) { return QVariant::fromValue(static_cast<short>(v)); }

int errorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const sv::RuntimeError& e) {
    return e.number();
  }
  return 0;
}

bool machineHasDrives() { return !QDir("/dev").entryList({"sr*"}, QDir::System).isEmpty(); }

TEST(Control, WithoutADriveTheImageWriterStandsAlone) {
  if (machineHasDrives()) GTEST_SKIP() << "this machine has CD drives";
  Sandbox box;
  EXPECT_TRUE(cdw::FindDrives().empty());
  Harness h;
  auto& c = h.control();
  ASSERT_EQ(c.Get(24), QVariant(i16(1)));
  EXPECT_EQ(c.Get(24).typeId(), QMetaType::Short);
  EXPECT_EQ(c.Get(25, {i16(0)}).toString(), "Image");
  EXPECT_EQ(c.Get(27, {i16(0)}).toString(), "Sonvera");
  EXPECT_EQ(c.Get(26, {i16(0)}).toString(), "CUE/BIN disc image");
  EXPECT_FALSE(c.Call(34).toBool()) << "no writer selected yet";
  EXPECT_TRUE(c.Call(28, {i16(0)}).toBool());
  EXPECT_EQ(c.Get(33), QVariant(true)) << "an empty disc is always loaded";
  EXPECT_EQ(c.Get(41), QVariant(0));
  EXPECT_EQ(c.Get(38), QVariant(i16(0))) << "the window offers \"Default\" alone";
  EXPECT_EQ(c.Get(71), QVariant(true));
  EXPECT_FALSE(c.Call(28, {i16(1)}).toBool()) << "no such writer";
  EXPECT_FALSE(c.Call(34).toBool()) << "and then none is selected";
}

TEST(Control, TheWindowsSettingsReadBackAsWritten) {
  Sandbox box;
  Harness h;
  auto& c = h.control();
  EXPECT_EQ(c.Get(2), QVariant(false));
  EXPECT_EQ(c.Get(4), QVariant(true));
  EXPECT_EQ(c.Get(5), QVariant(true));
  EXPECT_EQ(c.Get(6), QVariant(true));
  EXPECT_EQ(c.Get(7), QVariant(0));
  // In the window's order; a Boolean may come as any number, as late binding allows.
  c.Put(6, true);
  c.Put(7, 0);
  c.Put(2, i16(-1));
  c.Put(4, true);
  c.Put(5, true);
  c.Call(70, {false});
  EXPECT_EQ(c.Get(2), QVariant(true));
  c.Call(37, {i16(8)});
  EXPECT_EQ(errorOf([&] { c.Put(7, 751); }), 5) << "more than 10 seconds of silence between tracks";
  EXPECT_EQ(c.Get(7), QVariant(0));
}

TEST(Control, LateBoundCallsThatDoNotFitAreRunTimeErrors) {
  Sandbox box;
  Harness h;
  auto& c = h.control();
  EXPECT_EQ(errorOf([&] { c.Call(999); }), 438);
  EXPECT_EQ(errorOf([&] { c.Put(24, i16(3)); }), 438) << "read-only";
  EXPECT_EQ(errorOf([&] { c.Put(34, true); }), 438) << "a method";
  EXPECT_EQ(errorOf([&] { c.Get(25); }), 450);
  EXPECT_EQ(errorOf([&] { c.Call(67, {QString("a.wav")}); }), 450);
  EXPECT_EQ(errorOf([&] { c.Get(25, {QString("0")}); }), 13);
  EXPECT_EQ(errorOf([&] { c.Call(21, {7, true}); }), 13);
  EXPECT_EQ(errorOf([&] { c.Get(25, {i16(5)}); }), 5);
  EXPECT_EQ(errorOf([&] { c.Get(25, {QVariant(1.5)}); }), 13);
  EXPECT_EQ(c.Call(24), QVariant(i16(c.Get(24).toInt()))) << "a property may be called";
}

TEST(Control, TracksAreNumberedAndRefusedWhenACdCannotCarryThem) {
  Sandbox box;
  Harness h;
  auto& c = h.control();
  const QString wav = WriteWav(box.file("ok.wav"), 1000, 2, 1);
  QVariantList args{wav, i16(7)};
  EXPECT_TRUE(c.Call(67, args).toBool());
  EXPECT_EQ(args[1], QVariant(i16(1))) << "the track number it got comes back";
  args = {WriteMp3(box.file("ok.mp3"), 1, 2), i16(2)};
  EXPECT_TRUE(c.Call(67, args).toBool());
  EXPECT_EQ(args[1], QVariant(i16(2)));
  EXPECT_EQ(c.Get(64), QVariant(i16(2)));

  struct Refused {
    QString path;
    QString why;
  } refused[] = {
      {WriteWav(box.file("48k.wav"), 1000, 2, 1, 48000), "a sample rate of 48000 Hz; a CD takes 44100 Hz"},
      {WriteWav(box.file("8bit.wav"), 1000, 2, 1, 44100, 8), "8-bit samples"},
      {WriteMp3(box.file("22k.mp3"), 1, 2, nullptr, 22050), "MP3 at 22050 Hz; a CD takes 44100 Hz"},
      {box.file("gone.wav"), "cannot be opened"},
      {box.file("notes.txt"), "neither WAV nor MP3"},
      {box.file("noise.mp3"), "no MPEG audio found"},
  };
  media::WriteAll(box.file("notes.txt"), "shopping list");
  media::WriteAll(box.file("noise.mp3"), QByteArray(5000, '\0'));
  for (const Refused& r : refused) {
    QVariantList a{r.path, i16(3)};
    EXPECT_FALSE(c.Call(67, a).toBool()) << r.path.toStdString();
    EXPECT_TRUE(c.Get(23).toString().contains(r.why)) << c.Get(23).toString().toStdString();
  }
  EXPECT_EQ(c.Get(64), QVariant(i16(2)));
  c.Call(63);
  EXPECT_EQ(c.Get(64), QVariant(i16(0)));

  for (int i = 1; i <= cdw::kMaxTracks; ++i) {
    QVariantList a{wav, i16(i)};
    ASSERT_TRUE(c.Call(67, a).toBool()) << i;
  }
  QVariantList hundredth{wav, i16(100)};
  EXPECT_FALSE(c.Call(67, hundredth).toBool());
  EXPECT_TRUE(c.Get(23).toString().contains("at most 99 tracks"));
}

TEST(Control, StartingWithoutTracksIsAWriteError) {
  Sandbox box;
  Harness h;
  ASSERT_TRUE(h.Burn(0, {}));
  ASSERT_TRUE(h.WaitForEnd());
  ASSERT_EQ(h.Last(), "WriteError");
  EXPECT_EQ(h.events().back().args[0], QVariant(i16(4)));
  EXPECT_TRUE(box.discFiles().isEmpty());
}

TEST(Control, TheLogFollowsTheBurnAndItsFolderIsMade) {
  Sandbox box;
  const QString wav = WriteWav(box.file("a.wav"), 44100, 2, 1);
  Harness h;
  h.control().Call(21, {box.log(), true});
  ASSERT_TRUE(h.Burn(0, {wav}));
  ASSERT_TRUE(h.WaitForEnd());
  h.control().Call(21, {box.log(), false});
  QVariantList later{wav, i16(2)};
  h.control().Call(67, later);
  const QString log = ReadText(box.log());
  for (const char* line :
       {"Log started", "Writer 0: Image: Sonvera CUE/BIN disc image", "Writer selected: Image",
        "Track 01 added: ", "Disc laid out: 1 tracks", "Event PreparingToWrite", "Burn started on Image",
        "mode: real write, disc-at-once",
        "Track 01: ", "44100 sample frames, 300 blocks (00:04:00) from 00:02:00",
        "Event TrackWriteStart Track=1 BlocksToWrite=450",
        "Event TrackWriteStatus Track=1 BlocksWritten=450 DeviceBufferUsed=0", "Event ClosingTrack Track=1",
        "Track 01 written: ", "CRC32 ", "Event ClosingDisc", "Image written: ", "Event WritingComplete",
        "Log ended"})
    EXPECT_TRUE(log.contains(line)) << line;
  EXPECT_EQ(log.count("Track 02 added"), 0) << "nothing after logging stopped";
}

// Scripted writers, listed before the image writer.
class Scripted : public ::testing::Test {
 protected:
  void SetUp() override {
    media::WriteAll(box_.file("script.json"), R"({"writers": [
      {"address": "S0", "vendor": "Test", "product": "No Burn Proof", "burnProof": false, "maxSpeed": 0},
      {"address": "S1", "vendor": "Test", "product": "Device Error", "maxSpeed": 24,
       "fail": {"track": 1, "block": 100, "writeError": 3, "deviceError": 336896, "text": "Invalid field"}},
      {"address": "S2", "vendor": "Test", "product": "File Error", "maxSpeed": 10,
       "fail": {"track": 2, "block": 0, "fileError": 3, "fileName": "second.wav"}},
      {"address": "S3", "vendor": "Test", "product": "Slow", "blocksPerSecond": 300},
      {"address": "S4", "vendor": "Test", "product": "No Disc", "disc": "none"},
      {"address": "S5", "vendor": "Test", "product": "Used Disc", "disc": "used"},
      {"address": "S6", "vendor": "Test", "product": "Busy", "selectable": false},
      {"address": "S7", "vendor": "Test", "product": "Small", "capacityBlocks": 620}]})");
    qputenv("SONVERA_CDWRITER_SCRIPT", box_.file("script.json").toUtf8());
    first_ = WriteWav(box_.file("first.wav"), 44100 * 6, 2, 1);
    second_ = WriteWav(box_.file("second.wav"), 44100 * 5, 1, 2);
  }
  Sandbox box_;
  QString first_, second_;
};

TEST_F(Scripted, WritersAnswerAsScripted) {
  Harness h;
  auto& c = h.control();
  ASSERT_EQ(c.Get(24).toInt(), 9 + 0) << "eight scripted writers, the image writer last";
  EXPECT_EQ(c.Get(25, {i16(0)}).toString() + ": " + c.Get(27, {i16(0)}).toString() + " " +
                c.Get(26, {i16(0)}).toString(),
            "S0: Test No Burn Proof");
  EXPECT_EQ(c.Get(25, {i16(8)}).toString(), "Image");
  ASSERT_TRUE(c.Call(28, {i16(0)}).toBool());
  EXPECT_EQ(c.Get(71), QVariant(false)) << "no buffer-underrun protection";
  EXPECT_EQ(c.Get(38), QVariant(i16(0))) << "no speeds known";
  ASSERT_TRUE(c.Call(28, {i16(1)}).toBool());
  EXPECT_EQ(c.Get(38), QVariant(i16(24)));
  EXPECT_EQ(c.Get(71), QVariant(true));
  ASSERT_TRUE(c.Call(28, {i16(4)}).toBool());
  EXPECT_EQ(c.Get(33), QVariant(false)) << "no disc";
  ASSERT_TRUE(c.Call(28, {i16(5)}).toBool());
  EXPECT_EQ(c.Get(33), QVariant(true));
  EXPECT_NE(c.Get(41).toInt(), 0) << "a disc that is not empty";
  EXPECT_FALSE(c.Call(28, {i16(6)}).toBool()) << "a writer that cannot be used";
}

TEST_F(Scripted, ADeviceErrorPartWayEndsTheWrite) {
  Harness h;
  ASSERT_TRUE(h.Burn(1, {first_, second_}));
  ASSERT_TRUE(h.WaitForEnd());
  ASSERT_EQ(h.Last(), "WriteError");
  EXPECT_EQ(h.events().back().args, QVariantList({i16(3), 336896}));
  EXPECT_EQ(h.control().Get(23).toString(), "Invalid field");
  EXPECT_FALSE(h.Named("TrackWriteStatus").empty());
  EXPECT_TRUE(h.Named("ClosingTrack").empty());
}

TEST_F(Scripted, AFileErrorWithCodeThreeNamesItsFile) {
  Harness h;
  ASSERT_TRUE(h.Burn(2, {first_, second_}));
  ASSERT_TRUE(h.WaitForEnd());
  ASSERT_EQ(h.Last(), "TrackFileError");
  EXPECT_EQ(h.events().back().args, QVariantList({i16(3), QString("second.wav")}));
  EXPECT_EQ(h.Named("ClosingTrack").size(), 1u) << "track 1 was written";
}

TEST_F(Scripted, CancelDuringAWriteAndWriteAgain) {
  Harness h;
  h.OnFirst("TrackWriteStatus", [&] { h.control().Call(39); });
  ASSERT_TRUE(h.Burn(3, {first_, second_}));
  ASSERT_TRUE(h.WaitForEnd());
  EXPECT_EQ(h.Last(), "WritingCancelled");
  // Track 1 takes 1.5 seconds at this writer's pace: the cancel came long before its end.
  EXPECT_TRUE(h.Named("ClosingTrack").empty());
  h.control().Call(39);  // nothing runs: nothing happens
  ASSERT_TRUE(h.control().Call(28, {i16(0)}).toBool());
  ASSERT_TRUE(h.Start());
  ASSERT_TRUE(h.WaitForEnd());
  EXPECT_EQ(h.Last(), "WritingComplete");
  EXPECT_EQ(h.Named("ClosingTrack").size(), 2u);
}

TEST_F(Scripted, TheExactLengthsOfMp3sAreCheckedAgainstTheDiscBeforeWriting) {
  // 4 seconds of WAV and an MP3 whose decoded length only caching tells, two files joined
  // end to end: the first one's header counts 2.6 s (300 blocks, the shortest track), the
  // audio lasts about 4.65 s (349 blocks); on a disc of 620.
  const QString wav = WriteWav(box_.file("short.wav"), 44100 * 4, 2, 1);
  const QString mp3 = box_.file("song.mp3");
  media::WriteAll(mp3, media::EncodeMp3(2.6) + media::EncodeMp3(2.0, {44100, 2, 128, false, false}));
  Harness h;
  ASSERT_TRUE(h.Burn(7, {wav, mp3}));
  ASSERT_TRUE(h.WaitForEnd());
  ASSERT_EQ(h.Last(), "WriteError");
  EXPECT_EQ(h.events().back().args, QVariantList({i16(3), 28}));
  EXPECT_FALSE(h.Named("CachingTrack").empty()) << "the MP3 was decoded first";
  EXPECT_TRUE(h.Named("TrackWriteStart").empty());
  EXPECT_TRUE(h.control().Get(23).toString().startsWith("The tracks last 00:0"));
  EXPECT_TRUE(
      h.control().Get(23).toString().contains(" but the disc holds 00:08:20. Remove tracks and try again."))
      << h.control().Get(23).toString().toStdString();
  EXPECT_TRUE(box_.cacheFiles().isEmpty());
}

TEST_F(Scripted, DestroyedDuringAWriteStopsAndCleansUp) {
  QStringList files;
  for (int i = 0; i < 3; ++i) files << WriteMp3(box_.file(QString("s%1.mp3").arg(i)), 5, 2);
  QElapsedTimer t;
  t.start();
  {
    Harness h;
    ASSERT_TRUE(h.Burn(3, files));
    media::RunEventsFor(50);
  }
  EXPECT_LT(t.elapsed(), 20000);
  media::RunEventsFor(50);  // events queued before the end go nowhere
  EXPECT_TRUE(box_.cacheFiles().isEmpty());
}

// The C interface itself: a handler that destroys the control it hears from.
struct DestroyingHandler {
  void (*destroy)(CDWriter*) = nullptr;
  CDWriter* writer = nullptr;
  QStringList heard;
  static void On(void* context, const char* name, const CDWriterValue*, int32_t) {
    auto* self = static_cast<DestroyingHandler*>(context);
    self->heard << name;
    if (self->writer) self->destroy(self->writer);
    self->writer = nullptr;
  }
};

TEST_F(Scripted, AHandlerMayDestroyTheControl) {
  sv::SharedLibrary lib("cdwriter");
  auto create = lib.function<CDWriter* (*)()>("CDWriterCreate");
  auto invoke =
      lib.function<int32_t (*)(CDWriter*, int32_t, int32_t, CDWriterValue*, int32_t, CDWriterValue*)>(
          "CDWriterInvoke");
  auto connect = lib.function<void (*)(CDWriter*, CDWriterEventProc, void*)>("CDWriterConnect");
  DestroyingHandler handler;
  handler.destroy = lib.function<void (*)(CDWriter*)>("CDWriterDestroy");
  handler.writer = create();
  ASSERT_NE(handler.writer, nullptr);
  connect(handler.writer, &DestroyingHandler::On, &handler);
  CDWriterValue index{CDW_I2, 3, nullptr}, result{};
  ASSERT_EQ(invoke(handler.writer, 28, CDW_METHOD, &index, 1, &result), CDW_OK);
  const std::string path = first_.toStdString();
  CDWriterValue add[2] = {{CDW_TEXT, 0, path.c_str()}, {CDW_I2, 1, nullptr}};
  ASSERT_EQ(invoke(handler.writer, 67, CDW_METHOD, add, 2, &result), CDW_OK);
  EXPECT_EQ(result.type, CDW_BOOL);
  EXPECT_EQ(result.number, -1);
  ASSERT_EQ(invoke(handler.writer, 34, CDW_METHOD, nullptr, 0, &result), CDW_OK);
  media::RunEventsFor(300);
  EXPECT_EQ(handler.heard, QStringList({"PreparingToWrite"})) << "nothing after the control was destroyed";
  EXPECT_EQ(invoke(nullptr, 24, CDW_GET, nullptr, 0, &result), CDW_E_ARGUMENT);
}

// libburn's pseudo drive on a file: the drive path up to the point where audio needs a CD.
TEST(DriveWriter, APseudoDriveIsUsableButTakesNoAudio) {
  Sandbox box;
  const std::string target = box.file("pseudo.img").toStdString();
  std::vector<std::unique_ptr<cdw::Recorder>> writers;
  writers.push_back(cdw::MakeDriveRecorder("stdio:" + target));
  ASSERT_NE(writers.back(), nullptr);
  TypedHarness h(std::move(writers));
  ASSERT_TRUE(h.writer.SelectWriter(0));
  EXPECT_TRUE(h.writer.DiscLoaded());
  EXPECT_NE(h.writer.DiscUsedBlocks(), 0) << "not a disc for audio";
  EXPECT_EQ(h.writer.MaxWriteSpeed(), 0);
  std::int16_t number = 0;
  ASSERT_TRUE(h.writer.AddTrack(WriteWav(box.file("a.wav"), 44100, 2, 1).toStdString(), number));
  ASSERT_TRUE(h.writer.StartWrite());
  ASSERT_TRUE(h.WaitForEnd());
  ASSERT_EQ(h.Ids(), std::vector<cdw::EventId>({cdw::EventId::PreparingToWrite, cdw::EventId::WriteError}));
  EXPECT_EQ(h.events.back().a, 5);
  EXPECT_EQ(h.writer.LastErrorText(), "The disc in the writer is not a blank CD-R or CD-RW.");
  EXPECT_FALSE(QFile::exists(box.file("pseudo.img")) && QFile(box.file("pseudo.img")).size() > 0);
}

}  // namespace
