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
