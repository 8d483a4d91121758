// The burn page inside the main window: its place, the preview clock, and the preview
// stopped on page switches and when the window closes.
#include "CDBurnerPage.h"
#include "frmmain.h"
#include "grid/job_grid.h"
#include "platform/mci.h"
#include "platform/msgbox.h"
#include "test_media.h"
#include "waveaudio.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

namespace {

TEST(BurnPageInMainWindow, PreviewStopsOnPageSwitchAndClose) {
  QTemporaryDir dir;
  const QString file = dir.path() + "/song.wav";
  media::WriteWav(file, 30, 1000, 1);
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);  // the start-up's CD messages, if any
  frmmain w;
  ASSERT_NE(w.CDBurner, nullptr);
  EXPECT_EQ(w.CDBurner->parentWidget(), w.myGroup[3]);
  EXPECT_EQ(w.CDBurner->Labelburntimeleft->text(), "74:00");
  EXPECT_EQ(w.CDBurner->gridCDBurner->Columns(), 7);

  w.ezbutton1_Click(3);
  w.CDBurner->AddBurnFiles({file});
  w.CDBurner->gridCDBurner->SelectRow(1);
  w.CDBurner->PlayPreview();
  ASSERT_EQ(w.CDBurner->PreviewPlayer()->Status(), "playing");
  EXPECT_TRUE(w.Timer1.isActive());
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.CDBurner->labelwaveplaytimer->text() == "00:01"; }, 3000))
      << "the main window's clock drives the position";

  w.ezbutton1_Click(0);
  EXPECT_EQ(w.CDBurner->PreviewPlayer()->Status(), "");
  EXPECT_FALSE(w.Timer1.isActive());

  w.ezbutton1_Click(3);
  w.CDBurner->PlayPreview();
  ASSERT_EQ(w.CDBurner->PreviewPlayer()->Status(), "playing");
  const QString alias = w.CDBurner->PreviewPlayer()->Alias();
  w.close();
  EXPECT_FALSE(sv::mci::IsOpen(alias));
  EXPECT_EQ(w.CDBurner->PreviewPlayer(), nullptr) << "the player is released at unload";
  EXPECT_FALSE(w.Timer1.isActive());
}

}  // namespace

namespace {

// For a look at the page: with SONVERA_SHOW_BURN_PAGE set to a number of seconds, the main
// window stays on screen that long with rows and a preview playing (and is saved to the PNG
// file named by SONVERA_SHOW_BURN_PAGE_PNG).
TEST(BurnPageInMainWindow, ShownWithRowsAndAPreview) {
  const int seconds = qEnvironmentVariableIntValue("SONVERA_SHOW_BURN_PAGE");
  if (seconds <= 0) GTEST_SKIP() << "set SONVERA_SHOW_BURN_PAGE to look at the page";
  QTemporaryDir dir;
  QStringList files;
  const char* names[] = {"01 Morning Light.wav", "02 Harbour Lights.mp3", "03 Slow River.wav",
                         "04 Northern Road (live).mp3", "05 Last Train Home.wav"};
  const double lengths[] = {250, 235.2, 300, 188.6, 262.4};
  for (int i = 0; i < 5; ++i) {
    const QString file = dir.path() + "/" + names[i];
    if (file.endsWith(".wav"))
      media::WriteWav(file, lengths[i], 44100, 2);
    else
      media::WriteAll(file,
                      media::Id3v2Tag(30000) + media::EncodeMp3(lengths[i], {44100, 2, 192, i == 3, true}));
    files << file;
  }
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  frmmain w;
  w.show();
  w.ezbutton1_Click(3);
  w.CDBurner->AddBurnFiles(files);
  w.CDBurner->gridCDBurner->SelectRow(2);
  w.CDBurner->PlayPreview();
  QTest::qWait(seconds * 1000);
  EXPECT_EQ(w.CDBurner->PreviewPlayer()->Status(), "playing");
  if (const QString png = qEnvironmentVariable("SONVERA_SHOW_BURN_PAGE_PNG"); !png.isEmpty())
    w.grab().save(png);
}

}  // namespace
