// The burn job without a window, as a command-line tool runs it: a list of files written as a
// disc image through the CD-writer control, what it says shown as lines.
#include "burn_job.h"
#include "cdwriter_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace sv::burn;

// What a terminal would print.
class Lines : public BurnSink {
 public:
  void StatusText(const QString& text) override { lines << "status: " + text; }
  void StatusColour(sv::jobs::Rgb) override {}
  void TrackBar(int percent) override { track = percent; }
  void TotalBar(int percent) override { total = percent; }
  void TotalCaption(const QString& text) override { lines << "caption: " + text; }
  void EnableControls(bool on) override { controls = on; }
  void Message(const QString& text, Icon icon) override {
    lines << QString(icon == Icon::Critical ? "error: " : "note: ") + text;
  }
  QStringList lines;
  int track = -1, total = -1;
  bool controls = true;
};

TEST(BurnHeadless, AListOfFilesBecomesAnImageWithoutWidgets) {
  cdwtest::Sandbox box;
  const QStringList files{cdwtest::WriteWav(box.file("a.wav"), 44100 * 3, 2, 1),
                          cdwtest::WriteMp3(box.file("b.mp3"), 2.5, 2)};
  Lines sink;
  BurnJob job(sink);
  job.StartLog(box.log());
  const QStringList writers = job.Writers();
  ASSERT_FALSE(writers.isEmpty());
  EXPECT_EQ(writers.last(), "Image: Sonvera CUE/BIN disc image");
  ASSERT_TRUE(job.SelectWriter(static_cast<int>(writers.size() - 1)));
  ASSERT_TRUE(job.BurnNow(files, {}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !job.Outcome().isEmpty(); }, 120000));
  EXPECT_EQ(job.Outcome(), "WritingComplete");
  EXPECT_EQ(sink.total, 100);
  EXPECT_EQ(sink.track, 100);
  EXPECT_TRUE(sink.controls);
  EXPECT_TRUE(sink.lines.contains("status: Caching and Decoding Track #02 - 100%"));
  EXPECT_TRUE(sink.lines.contains("status: Closing Track....#02"));
  EXPECT_EQ(sink.lines.mid(sink.lines.size() - 3),
            QStringList({"status: Writing Complete!", "caption: Total Process:(Burn complete)",
                         "note: Burn Audio CD successful!"}));
  EXPECT_EQ(QDir(box.discs()).entryList({"*.cue"}).size(), 1);
  EXPECT_TRUE(cdwtest::ReadText(box.log()).contains("Image written: "));
}

TEST(BurnHeadless, WithoutAWriterNothingStarts) {
  cdwtest::Sandbox box;
  Lines sink;
  BurnJob job(sink);
  job.SelectWriter(99);
  EXPECT_EQ(job.SelectedWriter(), -1);
  EXPECT_FALSE(job.BurnNow({cdwtest::WriteWav(box.file("a.wav"), 44100, 2, 1)}, {}));
  EXPECT_EQ(sink.lines, QStringList{"note: CD write drive is not selected or does not exist."});
  EXPECT_FALSE(job.Cancel()) << "nothing runs";
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
