// The burn page through its real widgets: rows, totals, moves, deletes, the add dialog, the
// Burn button's check and the preview. Boxes and dialogs are answered by script.
#include "CDBurnerPage.h"
#include "grid/job_grid.h"
#include "platform/events.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"
#include "test_media.h"
#include "waveaudio.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <functional>
#include <thread>

namespace {

using sv::CDBurnerPage;

void whenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, qApp, [action = std::move(action)] {
    QWidget* w = nullptr;
    (void)QTest::qWaitFor([&] { return (w = QApplication::activeModalWidget()) != nullptr; }, 5000);
    if (w) action(w);
  });
}

class BurnPage : public ::testing::Test {
 protected:
  void SetUp() override {
    page_ = std::make_unique<CDBurnerPage>(timer_);
    timer_.setInterval(1000);
    QObject::connect(&timer_, &QTimer::timeout, page_.get(), &CDBurnerPage::Timer1_Timer);
    page_->show();
  }
  grid::JobGrid& list() { return *page_->gridCDBurner; }
  QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
  // A WAV of the given length, kept small: 1000 Hz mono.
  QString wav(const QString& name, double seconds) {
    media::WriteWav(path(name), seconds, 1000, 1);
    return path(name);
  }
  void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
  QString totals() const {
    return page_->Labelburnsongs->text() + " " + page_->Labelburntotaltime->text() + " " +
           page_->Labelburntimeleft->text() + " " + page_->labelburntimeleft80->text();
  }
  QStringList column(int c) {
    QStringList out;
    for (int r = 1; r <= list().Rows(); ++r) out << list().CellText(r, c);
    return out;
  }

  QTemporaryDir dir_;
  QTimer timer_;
  std::unique_ptr<CDBurnerPage> page_;
};

TEST_F(BurnPage, SevenColumnsAndEmptyTotals) {
  const char* headers[] = {"Source File", "Time", "Size", "Information", "SourcePath", "Type", "Track"};
  const int widths[] = {140, 60, 60, 208, -1, 45, 45};
  const int alignments[] = {0, 2, 2, 0, 1, 0, 0};
  ASSERT_EQ(list().Columns(), 7);
  for (int c = 1; c <= 7; ++c) {
    EXPECT_EQ(list().ColumnHeader(c), headers[c - 1]);
    EXPECT_EQ(list().ColumnAlignment(c), alignments[c - 1]);
    EXPECT_EQ(list().ColumnVisible(c), c != 5);
    if (widths[c - 1] > 0) {
      EXPECT_EQ(list().ColumnWidth(c), widths[c - 1]);
    }
  }
  EXPECT_TRUE(list().FullRowSelect());
  EXPECT_EQ(totals(), "0 00:00 74:00 80:00");
  EXPECT_EQ(page_->labelwaveplaytimer->text(), "");
}

TEST_F(BurnPage, RowsOfWaveMp3AndOtherFiles) {
  media::WriteWav(path("cd.wav"), 185.4, 2000, 2);
  media::WriteAll(path("tagged.mp3"), media::Id3v2Tag(4000) + media::EncodeMp3(2.6));
  media::WriteAll(path("notes.txt"), QByteArray(2500, 'n'));
  page_->AddBurnFiles({path("cd.wav"), path("tagged.mp3"), path("notes.txt")});
  ASSERT_EQ(list().Rows(), 3);
  EXPECT_EQ(list().CellText(1, 1), "cd.wav");
  EXPECT_EQ(list().CellText(1, 2), "03:05");
  EXPECT_EQ(list().CellText(1, 3), "1,484K");
  EXPECT_EQ(list().CellText(1, 4), "2000Hz / 16 Bit / Stereo");
  EXPECT_EQ(list().CellText(1, 5), path("cd.wav"));
  EXPECT_EQ(list().CellText(1, 6), "WAV");
  EXPECT_EQ(list().RowKey(1), path("cd.wav"));
  EXPECT_EQ(list().CellText(2, 2), "00:03") << "2.6 s round to 3";
  EXPECT_EQ(list().CellText(2, 4), "44100Hz / 128 Kbps / Joint stereo");
  EXPECT_EQ(list().CellText(2, 6), "MP3");
  EXPECT_EQ(list().CellText(3, 2), "");
  EXPECT_EQ(list().CellText(3, 3), "3K");
  EXPECT_EQ(list().CellText(3, 4), "");
  EXPECT_EQ(list().CellText(3, 6), "TXT");
  EXPECT_EQ(column(7), QStringList({"01", "02", "03"}));
  EXPECT_EQ(totals(), "3 03:08 70:52 76:52");
}

TEST_F(BurnPage, Mp3TimesBehindTagFootersAndSeveralTags) {
  // Times of 4.4 s and 6.4 s: a v2.4 tag with its footer, and a v2.3 tag followed by another.
  media::WriteAll(path("footer.mp3"), media::Id3v2Tag(4000, true) + media::EncodeMp3(4.4));
  media::WriteAll(path("two tags.mp3"), media::Id3v2Tag(3000) + media::Id3v2Tag(5000, true) +
                                            media::EncodeMp3(6.4, {44100, 2, 128, true}));
  page_->AddBurnFiles({path("footer.mp3"), path("two tags.mp3")});
  EXPECT_EQ(column(2), QStringList({"00:04", "00:06"}));
  EXPECT_EQ(column(4),
            QStringList({"44100Hz / 128 Kbps / Joint stereo", "44100Hz / 128 Kbps / Joint stereo"}));
  EXPECT_EQ(totals(), "2 00:10 73:50 79:50");
}

TEST_F(BurnPage, TotalsAgainst74And80MinuteDiscs) {
  page_->AddBurnFiles({wav("a.wav", 250), wav("b.wav", 235), wav("c.wav", 300)});
  EXPECT_EQ(column(2), QStringList({"04:10", "03:55", "05:00"}));
  EXPECT_EQ(totals(), "3 13:05 60:55 66:55");

  page_->AddBurnFiles({wav("d.wav", 1627), wav("e.wav", 1626), wav("f.wav", 842)});
  EXPECT_EQ(totals(), "6 81:20 -07:20 -01:20");
}

TEST_F(BurnPage, DeleteSelectsTheRowThatMovedUpOrTheFirst) {
  page_->AddBurnFiles({wav("a.wav", 1), wav("b.wav", 2), wav("c.wav", 3), wav("d.wav", 4)});
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  list().clearSelection();
  click(page_->cmdcdburnerDelete);
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "You must select a wave file to delete!");
  EXPECT_EQ(boxes.calls()[0].buttons, sv::vbInformation);
  EXPECT_EQ(list().Rows(), 4);

  list().SelectRow(2);
  click(page_->cmdcdburnerDelete);
  EXPECT_EQ(column(1), QStringList({"a.wav", "c.wav", "d.wav"}));
  EXPECT_EQ(list().SelectedRow(), 2);
  EXPECT_EQ(column(7), QStringList({"01", "02", "03"}));
  EXPECT_EQ(totals(), "3 00:08 73:52 79:52");

  list().SelectRow(3);
  click(page_->cmdcdburnerDelete);
  EXPECT_EQ(column(1), QStringList({"a.wav", "c.wav"}));
  EXPECT_EQ(list().SelectedRow(), 1);
}

TEST_F(BurnPage, MovesSwapRowsAndRenumberTracks) {
  page_->AddBurnFiles({wav("a.wav", 1), wav("b.wav", 2), wav("c.wav", 3)});
  const QStringList before = column(5);
  list().SelectRow(1);
  click(page_->cmdCDBurnerUp);
  EXPECT_EQ(column(5), before) << "the first row moved up stays where it is";
  EXPECT_EQ(list().SelectedRow(), 1);
  list().SelectRow(3);
  click(page_->cmdCDBurnerDown);
  EXPECT_EQ(column(5), before);
  EXPECT_EQ(list().SelectedRow(), 3);

  click(page_->cmdCDBurnerUp);
  EXPECT_EQ(column(1), QStringList({"a.wav", "c.wav", "b.wav"}));
  EXPECT_EQ(column(2), QStringList({"00:01", "00:03", "00:02"}));
  EXPECT_EQ(column(7), QStringList({"01", "02", "03"}));
  EXPECT_EQ(list().SelectedRow(), 2);
  list().SelectRow(1);
  click(page_->cmdCDBurnerDown);
  EXPECT_EQ(column(1), QStringList({"c.wav", "a.wav", "b.wav"}));
  EXPECT_EQ(column(5)[0], path("c.wav"));

  // Without a selection the buttons do nothing.
  list().clearSelection();
  click(page_->cmdCDBurnerUp);
  EXPECT_EQ(column(1), QStringList({"c.wav", "a.wav", "b.wav"}));
}

TEST_F(BurnPage, ClearAsksFirst) {
  sv::ScopedMsgBoxResponder none(sv::vbYes);
  click(page_->cmdcdburnerClear);
  EXPECT_TRUE(none.calls().empty()) << "an empty list is not asked about";
  page_->AddBurnFiles({wav("a.wav", 61), wav("b.wav", 2)});
  {
    sv::ScopedMsgBoxResponder no(sv::vbNo);
    click(page_->cmdcdburnerClear);
    ASSERT_EQ(no.calls().size(), 1u);
    EXPECT_EQ(no.calls()[0].text, "Really want to clear all the files in the list?");
    EXPECT_EQ(no.calls()[0].buttons, sv::vbYesNo | sv::vbInformation);
    EXPECT_EQ(list().Rows(), 2);
  }
  sv::ScopedMsgBoxResponder yes(sv::vbYes);
  click(page_->cmdcdburnerClear);
  EXPECT_EQ(list().Rows(), 0);
  EXPECT_EQ(totals(), "0 00:00 74:00 80:00");
}

TEST_F(BurnPage, BurnNeedsRowsThenHandsOver) {
  int opened = 0;
  int rowsSeen = 0;
  page_->ShowBurnWindow = [&](CDBurnerPage& p) {
    ++opened;
    rowsSeen = p.gridCDBurner->Rows();
  };
  {
    sv::ScopedMsgBoxResponder boxes(sv::vbOK);
    click(page_->cmdCDBurnerStart);
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, "Please add wave / mp3 files to burn audio cd!");
    EXPECT_EQ(boxes.calls()[0].title, "Sonvera Disc Suite");
    EXPECT_EQ(opened, 0);
  }
  page_->AddBurnFiles({wav("a.wav", 5)});
  list().SelectRow(1);
  page_->PlayPreview();
  ASSERT_EQ(page_->PreviewPlayer()->Status(), "playing");
  click(page_->cmdCDBurnerStart);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(rowsSeen, 1);
  EXPECT_EQ(page_->PreviewPlayer()->Status(), "") << "the preview stops before the burn window opens";
  EXPECT_FALSE(timer_.isActive());
}

TEST_F(BurnPage, PreviewPlaysCountsAndStops) {
  page_->AddBurnFiles({wav("a.wav", 1.3), wav("b.wav", 20)});
  {
    sv::ScopedMsgBoxResponder boxes(sv::vbOK);
    list().clearSelection();
    click(page_->cmdPreviewPlay);
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, "Please select a wave file in the list to play!");
  }
  list().SelectRow(2);
  click(page_->cmdPreviewPlay);
  waveaudio* player = page_->PreviewPlayer();
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->Status(), "playing");
  EXPECT_EQ(player->FileName(), path("b.wav"));
  EXPECT_TRUE(timer_.isActive());
  const QString alias = player->Alias();
  media::RunEventsFor(1300);
  EXPECT_EQ(page_->labelwaveplaytimer->text(), "00:01");

  // Play again does not restart or change it.
  const float before = player->Position();
  click(page_->cmdPreviewPlay);
  EXPECT_EQ(player->Alias(), alias);
  EXPECT_GE(player->Position(), before);

  click(page_->cmdPreviewStop);
  EXPECT_EQ(player->Status(), "");
  EXPECT_EQ(page_->labelwaveplaytimer->text(), "");
  EXPECT_FALSE(timer_.isActive());

  // Another row selected while it plays stops it.
  click(page_->cmdPreviewPlay);
  ASSERT_EQ(player->Status(), "playing");
  list().SelectRow(1);
  EXPECT_EQ(player->Status(), "");
  EXPECT_FALSE(timer_.isActive());

  // A file that ends is closed by the next tick.
  click(page_->cmdPreviewPlay);
  ASSERT_EQ(player->FileName(), path("a.wav"));
  (void)QTest::qWaitFor([&] { return !timer_.isActive(); }, 4000);
  EXPECT_FALSE(timer_.isActive());
  EXPECT_EQ(player->Alias(), "");
  EXPECT_EQ(page_->labelwaveplaytimer->text(), "");
}

TEST_F(BurnPage, ListChangesStopThePreview) {
  page_->AddBurnFiles({wav("a.wav", 20), wav("b.wav", 20), wav("c.wav", 20)});
  const std::vector<std::function<void()>> changes = {
      [&] { click(page_->cmdCDBurnerDown); },
      [&] { click(page_->cmdCDBurnerUp); },
      [&] {
        sv::ScopedMsgBoxResponder b(sv::vbOK);
        click(page_->cmdcdburnerDelete);
      },
      [&] {
        sv::ScopedMsgBoxResponder b(sv::vbYes);
        click(page_->cmdcdburnerClear);
      },
  };
  for (const auto& change : changes) {
    list().SelectRow(1);
    page_->PlayPreview();
    ASSERT_EQ(page_->PreviewPlayer()->Status(), "playing");
    change();
    EXPECT_EQ(page_->PreviewPlayer()->Status(), "");
    EXPECT_FALSE(timer_.isActive());
  }
}

TEST_F(BurnPage, AddDialogTakesWaveAndMp3FilesInOrder) {
  QDir().mkpath(path("picks"));
  media::WriteWav(path("picks/one.wav"), 2, 1000, 1);
  media::WriteAll(path("picks/two.mp3"), media::EncodeMp3(1.0));
  sv::LastBrowseDir = path("picks");
  QStringList filters;
  QString title;
  whenModal([&](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(d, nullptr);
    filters = d->nameFilters();
    title = d->windowTitle();
    d->findChild<QLineEdit*>("fileNameEdit")->setText("\"two.mp3\" \"one.wav\"");
    QTest::keyClick(d->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
  });
  click(page_->cmdCDBurnerAddWave);
  ASSERT_EQ(filters.size(), 3);
  EXPECT_TRUE(filters[0].startsWith("Audio Files")) << filters[0].toStdString();
  EXPECT_EQ(title, "Add Music File");
  ASSERT_EQ(list().Rows(), 2);
  EXPECT_EQ(column(5), QStringList({path("picks/two.mp3"), path("picks/one.wav")}));
  EXPECT_EQ(sv::LastBrowseDir, path("picks"));
  EXPECT_EQ(page_->Labelburnsongs->text(), "2");

  // Cancelled, nothing is added.
  whenModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
  click(page_->cmdCDBurnerAddWave);
  EXPECT_EQ(list().Rows(), 2);
}

}  // namespace
