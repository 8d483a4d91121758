// The conversion pages and their pickers through the real widgets; boxes and dialogs are
// answered by script.
#include "command_button.h"
#include "conversion_pages.h"
#include "conversion_rows.h"
#include "convert_support.h"
#include "file_pickers.h"
#include "frmAllToWaveStatus.h"
#include "grid/job_grid.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using sv::AllToWavePage;
using sv::WaveToAllPage;

// Runs `action` on the next modal window once it is open.
void whenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, qApp, [action = std::move(action)] {
    QWidget* w = nullptr;
    (void)QTest::qWaitFor([&] { return (w = QApplication::activeModalWidget()) != nullptr; }, 5000);
    if (w) action(w);
  });
}

void touch(const QString& path) { convtest::WriteAll(path, "x"); }

class ConversionPage : public ::testing::Test {
 protected:
  void SetUp() override {
    sv::AllToWaveOutputDir = dir_.path() + "/out";
    sv::WaveToAllOutputDir = dir_.path() + "/encoded";
    sv::LastBrowseDir = dir_.path();
    page_ = std::make_unique<AllToWavePage>();
    page_->show();
  }
  grid::JobGrid& list() { return *page_->gridAlltoWave; }
  QString path(const QString& name) const { return dir_.path() + "/" + name; }
  void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

  QTemporaryDir dir_;
  std::unique_ptr<AllToWavePage> page_;
};

TEST_F(ConversionPage, RowsCarryNamesTypeAndDestination) {
  ASSERT_EQ(list().Columns(), 5);
  EXPECT_EQ(list().ColumnHeader(1), "Source File");
  EXPECT_EQ(list().ColumnHeader(5), "DesPath");
  EXPECT_EQ(page_->txtAllToWaveOutputDirectory->text(), sv::AllToWaveOutputDir);
  EXPECT_TRUE(page_->checkAllToWaveOverwrite->isChecked());
  EXPECT_TRUE(page_->labelAllToWaveNote->text().startsWith("output wave file contains orginal samplerate"));

  page_->creatingalltowaveplaylist("/music/my.song.mp3");
  page_->creatingalltowaveplaylist("/music/my.song.mp3");
  page_->creatingalltowaveplaylist("/music/Track.ogg");
  ASSERT_EQ(list().Rows(), 3) << "the same file twice gives two rows";
  EXPECT_EQ(list().CellText(1, 1), "my.song.mp3");
  EXPECT_EQ(list().CellText(1, 2), "my.WAV");
  EXPECT_EQ(list().CellText(1, 3), "MP3->WAV");
  EXPECT_EQ(list().CellForeColor(1, 3), QColor(0, 0, 255));
  EXPECT_EQ(list().CellText(1, 4), "/music/my.song.mp3");
  EXPECT_EQ(list().CellText(1, 5), sv::AllToWaveOutputDir + "/my.WAV");
  EXPECT_EQ(list().CellText(2, 5), sv::AllToWaveOutputDir + "/my.WAV");
  EXPECT_EQ(list().CellText(3, 3), "OGG->WAV");
  EXPECT_EQ(list().CellText(3, 2), "Track.WAV");

  grid::JobGrid other;
  sv::SetUpConversionColumns(other);
  sv::creatingwavetoallplaylist(other, "/w/take.one.wav", "OGG", "/enc");
  EXPECT_EQ(other.CellText(1, 2), "take.OGG");
  EXPECT_EQ(other.CellText(1, 3), "WAV->OGG");
  EXPECT_EQ(other.CellText(1, 5), "/enc/take.OGG");
}

TEST_F(ConversionPage, AddFolderTakesItsMusicFilesAndRemembersIt) {
  QDir().mkpath(path("album/sub"));
  for (const char* n : {"b.MP3", "a.mp3", "c.ogg", "d.vqf", "e.wav", "notes.txt", "sub/f.mp3", "g.WMA"})
    touch(path("album/") + n);
  whenModal([&](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(d, nullptr);
    d->setDirectory(path("album"));
    static_cast<QDialog*>(d)->accept();
  });
  click(page_->cmdAlltoWaveAddDir);
  ASSERT_EQ(list().Rows(), 5);
  EXPECT_EQ(list().CellText(1, 4), path("album/a.mp3"));
  EXPECT_EQ(list().CellText(2, 4), path("album/b.MP3"));
  EXPECT_EQ(list().CellText(3, 4), path("album/c.ogg"));
  EXPECT_EQ(list().CellText(4, 3), "VQF->WAV");
  EXPECT_EQ(list().CellText(5, 3), "WMA->WAV");
  EXPECT_EQ(list().CellText(5, 2), "g.WAV");
  EXPECT_EQ(sv::LastBrowseDir, path("album"));
}

TEST_F(ConversionPage, PickerAddsSeveralFilesAndTheFolderIsRemembered) {
  QDir().mkpath(path("picks"));
  touch(path("picks/one.mp3"));
  touch(path("picks/two.mp3"));
  sv::LastBrowseDir = path("picks");
  QString okText, folderLabel, musicFilter;
  bool panelInside = false;
  whenModal([&](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "Add Music File");
    EXPECT_EQ(d->directory().absolutePath(), path("picks"));
    auto* box = d->findChild<QDialogButtonBox*>();
    okText = box->button(QDialogButtonBox::Open) ? box->button(QDialogButtonBox::Open)->text()
                                                 : box->buttons().front()->text();
    folderLabel =
        d->findChild<QLabel*>("lookInLabel") ? d->findChild<QLabel*>("lookInLabel")->text() : QString();
    musicFilter = d->nameFilters().value(0);
    auto* frame = d->findChild<QGroupBox*>("fraInfo");
    panelInside = frame && frame->isVisible();
    d->findChild<QLineEdit*>("fileNameEdit")->setText("\"one.mp3\" \"two.mp3\"");
    QTest::keyClick(d->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
  });
  click(page_->cmdAlltoWaveAddFile);
  EXPECT_EQ(okText, "&Add");
  EXPECT_EQ(folderLabel, "Add &from:");
  for (const char* kind : {"*.MP3", "*.VQF", "*.OGG", "*.WMA"})
    EXPECT_TRUE(musicFilter.contains(kind)) << kind << " in " << musicFilter.toStdString();
  EXPECT_TRUE(panelInside) << "the information frame sits inside the dialog";
  ASSERT_EQ(list().Rows(), 2);
  EXPECT_EQ(list().CellText(1, 4), path("picks/one.mp3"));
  EXPECT_EQ(list().CellText(2, 4), path("picks/two.mp3"));
  EXPECT_EQ(sv::LastBrowseDir, path("picks"));

  // One file: its folder is remembered; a cancelled picker adds nothing.
  QDir().mkpath(path("single"));
  touch(path("single/solo.vqf"));
  whenModal([&](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    d->setDirectory(path("single"));
    d->findChild<QLineEdit*>("fileNameEdit")->setText("solo.vqf");
    QTest::keyClick(d->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
  });
  click(page_->cmdAlltoWaveAddFile);
  ASSERT_EQ(list().Rows(), 3);
  EXPECT_EQ(list().CellText(3, 3), "VQF->WAV");
  EXPECT_EQ(sv::LastBrowseDir, path("single"));
  whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  click(page_->cmdAlltoWaveAddFile);
  EXPECT_EQ(list().Rows(), 3);
}

TEST_F(ConversionPage, DeleteSelectsTheRowThatMovedUpOrTheFirst) {
  sv::ScopedMsgBoxResponder responder(sv::vbOK);
  click(page_->cmdAlltoWaveDelete);
  ASSERT_EQ(responder.calls().size(), 1u);
  EXPECT_EQ(responder.calls()[0].text, "You must select a music file to delete!");
  EXPECT_EQ(responder.calls()[0].buttons, sv::vbInformation);

  for (const char* n : {"/m/1.mp3", "/m/2.mp3", "/m/3.mp3"}) page_->creatingalltowaveplaylist(n);
  list().SelectRow(3);
  click(page_->cmdAlltoWaveDelete);
  EXPECT_EQ(list().Rows(), 2);
  EXPECT_EQ(list().SelectedRow(), 1);
  page_->creatingalltowaveplaylist("/m/4.mp3");
  list().SelectRow(2);
  click(page_->cmdAlltoWaveDelete);
  ASSERT_EQ(list().Rows(), 2);
  EXPECT_EQ(list().CellText(2, 4), "/m/4.mp3");
  EXPECT_EQ(list().SelectedRow(), 2);
  EXPECT_EQ(responder.calls().size(), 1u);
}

TEST_F(ConversionPage, ClearAsksFirst) {
  sv::ScopedMsgBoxResponder none(sv::vbYes);
  click(page_->cmdAlltoWaveClear);
  EXPECT_TRUE(none.calls().empty()) << "an empty list asks nothing";
  page_->creatingalltowaveplaylist("/m/1.mp3");
  page_->creatingalltowaveplaylist("/m/2.mp3");
  {
    sv::ScopedMsgBoxResponder no(sv::vbNo);
    click(page_->cmdAlltoWaveClear);
    ASSERT_EQ(no.calls().size(), 1u);
    EXPECT_EQ(no.calls()[0].text, "Really want to clear all the files in the list?");
    EXPECT_EQ(no.calls()[0].buttons, sv::vbYesNo | sv::vbInformation);
    EXPECT_EQ(list().Rows(), 2);
  }
  click(page_->cmdAlltoWaveClear);
  EXPECT_EQ(list().Rows(), 0);
  EXPECT_EQ(list().Columns(), 5);
}

TEST_F(ConversionPage, StartRefusesAnEmptyListAndAnEmptyFolder) {
  sv::ScopedMsgBoxResponder responder(sv::vbOK);
  click(page_->cmdAlltoWaveStart);
  page_->creatingalltowaveplaylist("/m/1.mp3");
  page_->txtAllToWaveOutputDirectory->setText("   ");
  click(page_->cmdAlltoWaveStart);
  ASSERT_EQ(responder.calls().size(), 2u);
  EXPECT_EQ(responder.calls()[0].text, "Please add music files to convert!");
  EXPECT_EQ(responder.calls()[0].buttons, sv::vbInformation);
  EXPECT_EQ(responder.calls()[1].text, "output directory can not be empty!");
  EXPECT_EQ(responder.calls()[1].buttons, sv::vbCritical);
  EXPECT_EQ(list().CellText(1, 5), dir_.path() + "/out/1.WAV");
}

TEST_F(ConversionPage, StartMovesEveryDestinationAndOpensTheJobWindow) {
  page_->creatingalltowaveplaylist("/m/a.mp3");
  page_->creatingalltowaveplaylist("/m/b.ogg");
  page_->txtAllToWaveOutputDirectory->setText("  " + path("elsewhere") + " ");
  QString shownLine;
  whenModal([&](QWidget* w) {
    auto* status = qobject_cast<sv::frmAllToWaveStatus*>(w);
    ASSERT_NE(status, nullptr);
    shownLine = status->labelConvertype->text();
    QTest::mouseClick(status->cmdCancel, Qt::LeftButton);
  });
  click(page_->cmdAlltoWaveStart);
  EXPECT_EQ(shownLine, "Total 2 files,ready for converting...");
  EXPECT_EQ(sv::AllToWaveOutputDir, path("elsewhere"));
  EXPECT_EQ(list().CellText(1, 5), path("elsewhere/a.WAV"));
  EXPECT_EQ(list().CellText(2, 5), path("elsewhere/b.WAV"));
}

TEST(MusicPicker, InformationLineAndPathOfTheFileUnderTheCursor) {
  QTemporaryDir dir;
  const QString song = dir.path() + "/my song.mp3";
  convtest::WriteAll(song, QByteArray(2500, 'x'));
  sv::frmAddMusic picker(nullptr);
  picker.ShowFileInformation(song);
  const QStringList parts = picker.labelInfo->text().split("    ");
  ASSERT_EQ(parts.size(), 3) << picker.labelInfo->text().toStdString();
  EXPECT_EQ(parts[0], "my song.mp3");
  EXPECT_EQ(parts[1], "3K");
  EXPECT_EQ(parts[2].size(), 8);  // yy-mm-dd
  const QString wma = dir.path() + "/talk.wma";
  convtest::WriteAll(wma, QByteArray(1500, 'x'));
  picker.ShowFileInformation(wma);
  EXPECT_TRUE(picker.labelInfo->text().startsWith("talk.wma    2K    "))
      << picker.labelInfo->text().toStdString();
  picker.ShowFileInformation(dir.path() + "/notes.txt");
  EXPECT_EQ(picker.labelInfo->text(), "");
  picker.fraInfo->setTitle("x");
  picker.ShowFileInformation("/no/dot/here");
  EXPECT_EQ(picker.fraInfo->title(), "Music File Information");

  EXPECT_EQ(sv::FirstPickedPath("/m/my song.mp3"), "/m/my song.mp3") << "blanks in a single name stay";
  EXPECT_EQ(sv::FirstPickedPath("/m/\"a b.mp3\" \"c.mp3\""), "/m/a b.mp3");
  EXPECT_EQ(sv::FirstPickedPath(std::string("/m/x.mp3\0junk", 13)), "/m/x.mp3");
}

TEST(WavePicker, FormatOptionsChooseTheFormat) {
  sv::frmAddWave picker(nullptr);
  EXPECT_EQ(picker.ConvertFormat, "MP3");
  EXPECT_TRUE(picker.optFormat[0]->isChecked());
  EXPECT_EQ(picker.fraFormat->title(), "Convert Wave To");
  picker.show();
  QTest::mouseClick(picker.optFormat[3], Qt::LeftButton);
  EXPECT_EQ(picker.ConvertFormat, "OGG");
  picker.optFormat_Click(1);
  EXPECT_EQ(picker.ConvertFormat, "WMA");
}

TEST(WaveToAllPageSetUp, OptionListsDefaultsAndFormatPanels) {
  WaveToAllPage page;
  page.show();
  EXPECT_EQ(page.MP3ComboSampleRate->currentText(), "44100 Hz");
  EXPECT_EQ(page.MP3ComboBitrate->currentText(), "128 Kbps");
  EXPECT_EQ(page.MP3ComboBitrate->count(), 14);
  EXPECT_EQ(page.MP3ComboChannel->currentText(), "Join Stereo");
  EXPECT_EQ(page.MP3ComboQuality->currentText(), "Normal");
  EXPECT_EQ(page.MP3ComboQuality->count(), 10);
  EXPECT_EQ(page.WMAComboBitRate->currentText(), "96 Kbps");
  EXPECT_EQ(page.VQFComboBitRate->currentText(), "96 Kbps");
  EXPECT_EQ(page.OGGComboBitRate->currentText(), "96 Kbps");
  EXPECT_EQ(page.OGGComboSampleRate->currentText(), "44100 hz");
  EXPECT_EQ(page.OGGComboChannel->currentText(), "Stereo");
  EXPECT_TRUE(page.picOutputSettings[0]->isVisible());
  EXPECT_TRUE(page.wavetoalloutputformat[0]->IsPressed());
  QTest::mouseClick(page.wavetoalloutputformat[2], Qt::LeftButton);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(page.picOutputSettings[i]->isVisible(), i == 2) << i;
    EXPECT_EQ(page.wavetoalloutputformat[i]->IsPressed(), i == 2) << i;
    EXPECT_EQ(page.picOutputSettings[i]->geometry(), page.picOutputSettings[0]->geometry());
  }

  // Start: refusals and the destination rewrite before the job window.
  sv::ScopedMsgBoxResponder responder(sv::vbOK);
  QTest::mouseClick(page.cmdWaveToAllStart, Qt::LeftButton);
  ASSERT_EQ(responder.calls().size(), 1u);
  EXPECT_EQ(responder.calls()[0].text, "Please add wave files to convert!");
  page.creatingwavetoallplaylist("/w/a.wav", "MP3");
  page.txtwavetoalloutputdirectory->setText("/elsewhere");
  int opened = 0;
  page.ShowStatusWindow = [&](WaveToAllPage&) { ++opened; };
  QTest::mouseClick(page.cmdWaveToAllStart, Qt::LeftButton);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(page.gridWavetoAll->CellText(1, 5), "/elsewhere/a.MP3");
  page.gridWavetoAll->Clear(false);
  QTest::mouseClick(page.cmdWaveToAllDelete, Qt::LeftButton);
  EXPECT_EQ(responder.calls().back().text, "You must select a wave file to delete!");
}

// --- how the pages look and take their folders ------------------------------------------------

template <typename Page>
void expectTidyPage(Page& page, grid::JobGrid& list) {
  page.resize(582, 361);
  page.show();
  // Nothing touches the page's rounded edge.
  const QRect inner = page.rect().adjusted(8, 6, -8, -8);
  for (QWidget* child : page.template findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!child->isVisibleTo(&page)) continue;
    EXPECT_TRUE(inner.contains(child->geometry()))
        << child->objectName().toStdString() << " at " << child->x() << "," << child->y() << " "
        << child->width() << "x" << child->height();
  }
  // One font family on the whole page; command buttons drawn as skinned buttons.
  for (QWidget* child : page.template findChildren<QWidget*>())
    EXPECT_EQ(child->font().family(), page.font().family()) << child->objectName().toStdString();
  int skinned = 0;
  for (auto* b : page.template findChildren<sv::CommandButton*>()) {
    const QImage face = b->grab().toImage();
    const QColor c = face.pixelColor(face.width() / 2, 3);
    EXPECT_GT(c.blue(), c.red() + 40) << b->objectName().toStdString();
    ++skinned;
  }
  EXPECT_GE(skinned, 6);
  // At least five rows show, also with the scroll bar a long path brings.
  for (int i = 0; i < 7; ++i) list.AddRow("/a/very/long/path/" + QString(80, QLatin1Char('x')));
  for (int i = 1; i <= 7; ++i) list.SetCellText(i, 4, "/a/very/long/path/" + QString(80, QLatin1Char('x')));
  QTest::qWait(0);
  ASSERT_TRUE(list.horizontalScrollBar()->isVisible());
  EXPECT_GE(list.viewport()->height(), 5 * list.rowHeight(0));
}

TEST(ConversionPageLook, MusicPageIsTidy) {
  AllToWavePage page;
  expectTidyPage(page, *page.gridAlltoWave);
}

TEST(ConversionPageLook, WavePageIsTidy) {
  WaveToAllPage page;
  expectTidyPage(page, *page.gridWavetoAll);
}

TEST_F(ConversionPage, ClearedListStartsScrolledToTheLeft) {
  for (int i = 0; i < 3; ++i)
    page_->creatingalltowaveplaylist("/m/" + QString(120, QLatin1Char('y')) + ".mp3");
  QTest::qWait(0);
  QScrollBar* bar = list().horizontalScrollBar();
  bar->setValue(bar->maximum());
  ASSERT_GT(bar->value(), 0);
  sv::ScopedMsgBoxResponder yes(sv::vbYes);
  click(page_->cmdAlltoWaveClear);
  page_->creatingalltowaveplaylist("/m/new.mp3");
  QTest::qWait(0);
  EXPECT_EQ(bar->value(), 0);
}

TEST_F(ConversionPage, OutputFolderAsTypedTildeAndRelativeMeanTheHomeFolder) {
  page_->creatingalltowaveplaylist("/m/a.mp3");
  const QString home = QDir::homePath();
  for (const auto& [typed, meant] :
       std::vector<std::pair<QString, QString>>{{"~/Converted music", home + "/Converted music"},
                                                {"~", home},
                                                {"Converted", home + "/Converted"}}) {
    page_->txtAllToWaveOutputDirectory->setText(typed);
    whenModal([](QWidget* w) {
      QTest::mouseClick(qobject_cast<sv::frmAllToWaveStatus*>(w)->cmdCancel, Qt::LeftButton);
    });
    click(page_->cmdAlltoWaveStart);
    EXPECT_EQ(sv::AllToWaveOutputDir, meant) << typed.toStdString();
    EXPECT_EQ(page_->txtAllToWaveOutputDirectory->text(), meant) << "the box shows where the files go";
    EXPECT_EQ(list().CellText(1, 5), meant + "/a.WAV");
  }
}

}  // namespace
