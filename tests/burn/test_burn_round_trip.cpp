// From page 3 to page 2: WAV and MP3 files on the burn list, burned by the burn window to a
// disc image, which the Grab CD page lists as a disc at once and reads back sample for sample.
#include "CDBurnerPage.h"
#include "CDPage.h"
#include "cdwriter_support.h"
#include "frmCDBurner.h"
#include "frmmain.h"
#include "image_readback.h"
#include "platform/mci.h"
#include "platform/msgbox.h"
#include "red_book.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using namespace cdwtest;

TEST(BurnRoundTrip, AListBurnedByTheWindowIsADiscOnTheCdPageSampleForSample) {
  Sandbox box;
  struct Source {
    QString path;
    QByteArray stereo;  // what the disc must hold
  };
  std::vector<Source> sources;
  const QString a = WriteWav(box.file("a stereo.wav"), 123457, 2, 11);
  sources.push_back({a, WavPcm(a)});
  const QString b = WriteWav(box.file("b mono two seconds.wav"), 88200, 1, 12);
  sources.push_back({b, Stereo(WavPcm(b))});
  const Tag tag{"Slow River", "The Ferrymen", "Crossings"};
  const QString c = WriteMp3(box.file("c.mp3"), 4.7, 2, &tag);
  sources.push_back({c, DecodedPcm(c)});
  const QString d = WriteMp3(box.file("d mono.mp3"), 5.1, 1);
  sources.push_back({d, Stereo(DecodedPcm(d))});
  QStringList files;
  for (const Source& s : sources) files << s.path;

  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  {
    frmmain w;
    ASSERT_EQ(w.CD->ComboCDRom->count(), 0) << "no disc before the burn";
    w.ezbutton1_Click(3);
    w.CDBurner->AddBurnFiles(files);
    QString outcome, status;
    bool sawWindow = false;
    QTimer::singleShot(0, [&] {
      auto* window = qobject_cast<sv::frmCDBurner*>(QApplication::activeModalWidget());
      if (!window) return;
      sawWindow = true;
      EXPECT_EQ(window->parentWidget(), &w) << "owned by the main window";
      window->cmdStart_Click();
      EXPECT_TRUE(QTest::qWaitFor([&] { return !window->Job().Outcome().isEmpty(); }, 120000));
      outcome = window->Job().Outcome();
      status = window->labelStatus->text();
      window->cmdCancel_Click();  // closes it: nothing runs
    });
    w.CDBurner->cmdCDBurnerStart_Click();
    ASSERT_TRUE(sawWindow) << "Burn opens the burn window modally";
    ASSERT_EQ(outcome, "WritingComplete");
    EXPECT_EQ(status, "Writing Complete!");
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, "Burn Audio CD successful!");

    const QStringList cues = QDir(box.discs()).entryList({"*.cue"});
    ASSERT_EQ(cues.size(), 1);
    ASSERT_EQ(w.CD->ComboCDRom->count(), 1) << "the image is a disc on page 2 at once";
    EXPECT_EQ(w.CD->ComboCDRom->itemText(0), "Disc image: " + cues[0]);

    const auto disc = ReadImageAsDrive(cues[0]);
    ASSERT_TRUE(disc);
    ASSERT_EQ(disc->firstTrack, 1);
    ASSERT_EQ(disc->lastTrack, 4);
    for (std::size_t t = 0; t < sources.size(); ++t) {
      SCOPED_TRACE(sources[t].path.toStdString());
      const QByteArray& audio = sources[t].stereo;
      const QByteArray& read = disc->tracks[t].frames;
      EXPECT_EQ(read.size(), cdw::TrackBlocks(audio.size() / 4) * 2352) << "padded to whole sectors";
      EXPECT_TRUE(read.left(audio.size()) == audio) << "sample for sample";
      EXPECT_EQ(read.mid(audio.size()), QByteArray(read.size() - audio.size(), '\0')) << "then silence";
    }
    EXPECT_EQ(disc->tracks[1].frames.size(), 300 * 2352) << "a 2-second track lasts 4 seconds on the disc";
    EXPECT_EQ(disc->pregap, QByteArray(150 * 2352, '\0')) << "track 1's 2-second pregap";
    EXPECT_EQ(disc->tracks[2].title, "Slow River");
    EXPECT_EQ(disc->tracks[2].performer, "The Ferrymen");

    const QString log = ReadText(box.log());
    for (int t = 1; t <= 4; ++t)
      EXPECT_TRUE(log.contains(QString("Track %1 written: ").arg(t, 2, 10, QChar('0')))) << t;
    EXPECT_EQ(log.count("CRC32 "), 4);
  }
  sv::mciSendString(QStringLiteral("close all"));
}

}  // namespace
