#include "conversion_pages.h"

#include "conversion_rows.h"
#include "file_pickers.h"
#include "frmAllToWaveStatus.h"
#include "frmWaveToAllStatus.h"
#include "grid/job_grid.h"
#include "jobs/core/paths.h"
#include "page_heading.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"
#include "shell/core/helpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QThread>

#include <exception>
#include <vector>

namespace sv {
namespace {

constexpr int kPageWidth = 582;
constexpr int kPageHeight = 361;
// Nothing touches the page's rounded edge.
constexpr int kMargin = 12;
constexpr int kInner = kPageWidth - 2 * kMargin;
constexpr int kButtonHeight = 26;
constexpr int kRight = kPageWidth - kMargin;
// The Browse and Start buttons line up at the right edge.
constexpr int kSideButtonWidth = 114;
constexpr int kSideButtonLeft = kRight - kSideButtonWidth;

CommandButton* button(QWidget* parent, const char* name, const QString& caption, QRect where) {
  return MakeCommandButton(parent, name, caption, where);
}

// The page's heading, with room at the right for the list's buttons.
QLabel* title(QWidget* parent, const QString& text, int width) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QStringLiteral("labelTitle"));
  StylePageHeading(l);
  l->setGeometry(kMargin, 8, width, kButtonHeight);
  return l;
}

// The list's own buttons, right-aligned on the heading's row.
std::vector<CommandButton*> listButtons(QWidget* parent,
                                        std::initializer_list<std::pair<const char*, QString>> buttons) {
  constexpr int kWidth = 78, kGap = 6;
  int x = kRight - static_cast<int>(buttons.size()) * (kWidth + kGap) + kGap;
  std::vector<CommandButton*> made;
  for (const auto& [name, caption] : buttons) {
    made.push_back(button(parent, name, caption, QRect(x, 8, kWidth, kButtonHeight)));
    x += kWidth + kGap;
  }
  return made;
}

grid::JobGrid* jobList(QWidget* parent, const char* name, QRect where) {
  auto* g = new grid::JobGrid(parent);
  g->setObjectName(QString::fromLatin1(name));
  g->setGeometry(where);
  return g;
}

// "Output Directory:", its box and Browse... on one row.
QLineEdit* outputRow(QWidget* parent, const char* boxName, const char* browseName, int top,
                     CommandButton** browse) {
  auto* label = new QLabel(QStringLiteral("Output Directory:"), parent);
  label->setGeometry(kMargin, top, 110, kButtonHeight);
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromLatin1(boxName));
  box->setGeometry(kMargin + 114, top + 1, kSideButtonLeft - 8 - (kMargin + 114), kButtonHeight - 2);
  *browse = button(parent, browseName, QStringLiteral("&Browse..."),
                   QRect(kSideButtonLeft, top, kSideButtonWidth, kButtonHeight));
  return box;
}

QCheckBox* overwriteBox(QWidget* parent, const char* name, int top) {
  auto* box = new QCheckBox(QStringLiteral("Overwrite existing file"), parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(kMargin + 114, top, 250, 22);
  return box;
}

// Removes the selected row and selects the row that moved up, or row 1.
void deleteSelected(grid::JobGrid& list, const QString& nothingSelected) {
  const int r = list.Rows() > 0 ? list.SelectedRow() : 0;
  if (r == 0) {
    MsgBox(nothingSelected, vbInformation, QString::fromLatin1(kProductTitle));
    return;
  }
  try {
    list.RemoveRow(r);
    if (r <= list.Rows())
      list.SelectRow(r);
    else if (list.Rows() > 0)
      list.SelectRow(1);
  } catch (const std::exception&) {
  }
}

void clearAfterAsking(grid::JobGrid& list) {
  if (list.Rows() == 0) return;
  if (MsgBox(QStringLiteral("Really want to clear all the files in the list?"), vbYesNo | vbInformation,
             QString::fromLatin1(kProductTitle)) == vbYes)
    list.Clear(false);
  // Rows added next start at the left, not where the old list was scrolled to.
  list.horizontalScrollBar()->setValue(0);
}

// Start's checks and the destination rewrite; false when the job must not start.
bool prepareStart(grid::JobGrid& list, QLineEdit& directoryBox, QString& outputDir, const QString& noRows) {
  if (list.Rows() == 0) {
    MsgBox(noRows, vbInformation, QString::fromLatin1(kProductTitle));
    return false;
  }
  // "~" means the home folder, and a relative folder is taken from it, never from the
  // program's working folder; the box shows where the files will go.
  const QString dir = jobs::UserFolder(directoryBox.text());
  if (dir.isEmpty()) {
    MsgBox(QStringLiteral("output directory can not be empty!"), vbCritical,
           QString::fromLatin1(kProductTitle));
    return false;
  }
  if (dir != directoryBox.text()) directoryBox.setText(dir);
  outputDir = dir;
  MoveDestinations(list, outputDir);
  return true;
}

void chooseFolderInto(QLineEdit& box) {
  const QString folder = SelectDirectory();
  if (!folder.isEmpty()) box.setText(folder);
}

void fill(QComboBox* combo, const QStringList& items, int defaultIndex) {
  combo->clear();
  combo->addItems(items);
  combo->setCurrentIndex(defaultIndex);
}

}  // namespace

// --- page 1: music to WAV ---------------------------------------------------------------

AllToWavePage::AllToWavePage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("AllToWavePage"));
  resize(kPageWidth, kPageHeight);
  title(this, QStringLiteral("Convert MP3,VQF,OGG to Wave"), 220);
  const auto top = listButtons(this, {{"cmdAlltoWaveAddFile", QStringLiteral("&Add Files")},
                                      {"cmdAlltoWaveAddDir", QStringLiteral("Add F&older")},
                                      {"cmdAlltoWaveDelete", QStringLiteral("&Delete")},
                                      {"cmdAlltoWaveClear", QStringLiteral("C&lear")}});
  cmdAlltoWaveAddFile = top[0];
  cmdAlltoWaveAddDir = top[1];
  cmdAlltoWaveDelete = top[2];
  cmdAlltoWaveClear = top[3];
  gridAlltoWave = jobList(this, "gridAlltoWave", QRect(kMargin, 42, kInner, 188));

  txtAllToWaveOutputDirectory = outputRow(this, "txtAllToWaveOutputDirectory", "cmdAlltoWaveOutputSelectDir",
                                          240, &cmdAlltoWaveOutputSelectDir);
  checkAllToWaveOverwrite = overwriteBox(this, "checkAllToWaveOverwrite", 272);
  labelAllToWaveNote = new QLabel(
      QStringLiteral(
          "output wave file contains orginal samplerate,bitrate,channel of source music(MP3, VQF ,OGG)file."),
      this);
  labelAllToWaveNote->setObjectName(QStringLiteral("labelAllToWaveNote"));
  labelAllToWaveNote->setWordWrap(true);
  labelAllToWaveNote->setGeometry(kMargin, 302, kSideButtonLeft - 2 * kMargin, 44);
  cmdAlltoWaveStart = button(this, "cmdAlltoWaveStart", QStringLiteral("&Start"),
                             QRect(kSideButtonLeft, 312, kSideButtonWidth, 32));

  connect(cmdAlltoWaveAddFile, &CommandButton::Click, this, &AllToWavePage::cmdAlltoWaveAddFile_Click);
  connect(cmdAlltoWaveAddDir, &CommandButton::Click, this, &AllToWavePage::cmdAlltoWaveAddDir_Click);
  connect(cmdAlltoWaveDelete, &CommandButton::Click, this, &AllToWavePage::cmdAlltoWaveDelete_Click);
  connect(cmdAlltoWaveClear, &CommandButton::Click, this, &AllToWavePage::cmdAlltoWaveClear_Click);
  connect(cmdAlltoWaveOutputSelectDir, &CommandButton::Click, this,
          &AllToWavePage::cmdAlltoWaveOutputSelectDir_Click);
  connect(cmdAlltoWaveStart, &CommandButton::Click, this, &AllToWavePage::cmdAlltoWaveStart_Click);
  InitPage();
}

void AllToWavePage::InitPage() {
  SetUpConversionColumns(*gridAlltoWave);
  txtAllToWaveOutputDirectory->setText(AllToWaveOutputDir);
  checkAllToWaveOverwrite->setChecked(true);
}

void AllToWavePage::creatingalltowaveplaylist(const QString& source) {
  try {
    sv::creatingalltowaveplaylist(*gridAlltoWave, source, AllToWaveOutputDir);
  } catch (const std::exception&) {
  }
}

void AllToWavePage::cmdAlltoWaveAddFile_Click() {
  QStringList picked;
  {
    frmAddMusic picker(window());
    picked = picker.PickFiles();
  }
  for (const QString& path : picked) creatingalltowaveplaylist(path);
  QThread::msleep(100);
}

void AllToWavePage::cmdAlltoWaveAddDir_Click() {
  const QString folder = SelectDirectory();
  if (folder.isEmpty()) return;
  LastBrowseDir = folder;
  for (const QString& name : MusicFilesIn(folder)) creatingalltowaveplaylist(AddBackslash(folder) + name);
}

void AllToWavePage::cmdAlltoWaveDelete_Click() {
  deleteSelected(*gridAlltoWave, QStringLiteral("You must select a music file to delete!"));
}

void AllToWavePage::cmdAlltoWaveClear_Click() { clearAfterAsking(*gridAlltoWave); }

void AllToWavePage::cmdAlltoWaveOutputSelectDir_Click() { chooseFolderInto(*txtAllToWaveOutputDirectory); }

void AllToWavePage::cmdAlltoWaveStart_Click() {
  if (!prepareStart(*gridAlltoWave, *txtAllToWaveOutputDirectory, AllToWaveOutputDir,
                    QStringLiteral("Please add music files to convert!")))
    return;
  frmAllToWaveStatus status(window(), gridAlltoWave, checkAllToWaveOverwrite);
  status.exec();
}

// --- page 0: WAV to compressed ------------------------------------------------------------

WaveToAllPage::WaveToAllPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("WaveToAllPage"));
  resize(kPageWidth, kPageHeight);
  title(this, QStringLiteral("Convert Wave to MP3,WMA,VQF,OGG"), 290);
  const auto top = listButtons(this, {{"cmdWaveToAllAddWave", QStringLiteral("&Add Files")},
                                      {"cmdWaveToAllDelete", QStringLiteral("&Delete")},
                                      {"cmdWaveToAllClear", QStringLiteral("C&lear")}});
  cmdWaveToAllAddWave = top[0];
  cmdWaveToAllDelete = top[1];
  cmdWaveToAllClear = top[2];
  gridWavetoAll = jobList(this, "gridWavetoAll", QRect(kMargin, 42, kInner, 150));

  // The format buttons show one format's settings; the picker chooses each file's format.
  auto* formatLabel = new QLabel(QStringLiteral("Settings for:"), this);
  formatLabel->setGeometry(kMargin, 200, 110, kButtonHeight);
  const char* formats[] = {"MP3", "WMA", "VQF", "OGG"};
  for (int i = 0; i < 4; ++i) {
    auto* b = button(this, "wavetoalloutputformat", QString::fromLatin1(formats[i]),
                     QRect(kMargin + 114 + i * 62, 200, 56, kButtonHeight));
    b->setObjectName(QStringLiteral("wavetoalloutputformat_%1").arg(i));
    connect(b, &CommandButton::Click, this, [this, i] { wavetoalloutputformat_Click(i); });
    wavetoalloutputformat[static_cast<std::size_t>(i)] = b;
  }

  auto panel = [this](int index, const QStringList& captions, std::initializer_list<QComboBox**> combos) {
    auto* p = new QWidget(this);
    p->setObjectName(QStringLiteral("picOutputSettings_%1").arg(index));
    p->setGeometry(kMargin, 232, kInner, 46);
    int x = 0, i = 0;
    for (QComboBox** combo : combos) {
      auto* l = new QLabel(captions[i], p);
      l->setGeometry(x, 0, 132, 18);
      *combo = new QComboBox(p);
      (*combo)->setGeometry(x, 20, 130, 24);
      x += 142;
      ++i;
    }
    picOutputSettings[static_cast<std::size_t>(index)] = p;
  };
  const QStringList captions{QStringLiteral("SampleRate:"), QStringLiteral("BitRate:"),
                             QStringLiteral("Channel:"), QStringLiteral("Quality:")};
  panel(0, captions, {&MP3ComboSampleRate, &MP3ComboBitrate, &MP3ComboChannel, &MP3ComboQuality});
  panel(1, captions, {&WMAComboSampleRate, &WMAComboBitRate, &WMAComboChannel});
  panel(2, captions, {&VQFComboSampleRate, &VQFComboBitRate, &VQFComboChannel});
  panel(3, captions, {&OGGComboSampleRate, &OGGComboBitRate, &OGGComboChannel});

  txtwavetoalloutputdirectory =
      outputRow(this, "txtwavetoalloutputdirectory", "cmdWavetoalloutput", 286, &cmdWavetoalloutput);
  wavetoallcheckoverwrite = overwriteBox(this, "wavetoallcheckoverwrite", 320);
  cmdWaveToAllStart = button(this, "cmdWaveToAllStart", QStringLiteral("&Start"),
                             QRect(kSideButtonLeft, 318, kSideButtonWidth, 30));

  connect(cmdWaveToAllAddWave, &CommandButton::Click, this, &WaveToAllPage::cmdWaveToAllAddWave_Click);
  connect(cmdWaveToAllDelete, &CommandButton::Click, this, &WaveToAllPage::cmdWaveToAllDelete_Click);
  connect(cmdWaveToAllClear, &CommandButton::Click, this, &WaveToAllPage::cmdWaveToAllClear_Click);
  connect(cmdWavetoalloutput, &CommandButton::Click, this, &WaveToAllPage::cmdWavetoalloutput_Click);
  connect(cmdWaveToAllStart, &CommandButton::Click, this, &WaveToAllPage::cmdWaveToAllStart_Click);
  ShowStatusWindow = [](WaveToAllPage& page) {
    auto options = [&page] {
      WaveToAllOptions o;
      o.Mp3SampleRate = page.MP3ComboSampleRate->currentIndex();
      o.Mp3Bitrate = page.MP3ComboBitrate->currentIndex();
      o.Mp3Channel = page.MP3ComboChannel->currentIndex();
      o.Mp3Quality = page.MP3ComboQuality->currentIndex();
      o.WmaBitrate = page.WMAComboBitRate->currentIndex();
      o.VqfBitrate = page.VQFComboBitRate->currentIndex();
      o.OggBitrate = page.OGGComboBitRate->currentIndex();
      return o;
    };
    auto overwrite = [&page] { return page.wavetoallcheckoverwrite->isChecked(); };
    frmWaveToAllStatus status(*page.gridWavetoAll, options, overwrite, page.window());
    status.exec();
  };
  InitPage();
}

void WaveToAllPage::InitPage() {
  SetUpConversionColumns(*gridWavetoAll);
  txtwavetoalloutputdirectory->setText(WaveToAllOutputDir);
  wavetoallcheckoverwrite->setChecked(true);

  fill(MP3ComboSampleRate, {"48000 Hz", "44100 Hz", "32000 Hz"}, 1);
  fill(MP3ComboBitrate,
       {"32 Kbps", "40 Kbps", "48 Kbps", "56 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps", "128 Kbps",
        "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"},
       8);
  fill(MP3ComboChannel, {"Stereo", "Join Stereo", "Dual Channel", "Mono"}, 1);
  fill(MP3ComboQuality, {"Low", "Normal", "High", "Voice", "Phone", "Radio", "Tape", "HiFi", "CD", "Studio"},
       1);
  fill(WMAComboSampleRate, {"44100 hz"}, 0);
  fill(WMAComboBitRate, {"64 Kbps", "96 Kbps", "128 Kbps"}, 1);
  fill(WMAComboChannel, {"Stereo"}, 0);
  fill(VQFComboSampleRate, {"44100 hz"}, 0);
  fill(VQFComboBitRate, {"80 Kbps", "96 Kbps"}, 1);
  fill(VQFComboChannel, {"Stereo"}, 0);
  fill(OGGComboSampleRate, {"44100 hz"}, 0);
  fill(OGGComboBitRate, {"64 Kbps", "80 Kbps", "96 Kbps", "128 Kbps", "160 Kbps", "192 Kbps", "256 Kbps"}, 2);
  fill(OGGComboChannel, {"Stereo"}, 0);

  for (QWidget* p : picOutputSettings) {
    p->hide();
    p->setGeometry(picOutputSettings[0]->geometry());
  }
  wavetoalloutputformat_Click(0);
}

void WaveToAllPage::wavetoalloutputformat_Click(int index) {
  if (index < 0 || index > 3) return;
  for (int i = 0; i < 4; ++i) wavetoalloutputformat[static_cast<std::size_t>(i)]->setIsPressed(i == index);
  for (QWidget* p : picOutputSettings) p->hide();
  picOutputSettings[static_cast<std::size_t>(index)]->show();
}

void WaveToAllPage::creatingwavetoallplaylist(const QString& source, const QString& format) {
  try {
    sv::creatingwavetoallplaylist(*gridWavetoAll, source, format, WaveToAllOutputDir);
  } catch (const std::exception&) {
  }
}

void WaveToAllPage::cmdWaveToAllAddWave_Click() {
  QStringList picked;
  QString format;
  {
    frmAddWave picker(window());
    picked = picker.PickFiles();
    format = picker.ConvertFormat;
  }
  for (const QString& path : picked) creatingwavetoallplaylist(path, format);
  QThread::msleep(100);
}

void WaveToAllPage::cmdWaveToAllDelete_Click() {
  deleteSelected(*gridWavetoAll, QStringLiteral("You must select a wave file to delete!"));
}

void WaveToAllPage::cmdWaveToAllClear_Click() { clearAfterAsking(*gridWavetoAll); }

void WaveToAllPage::cmdWavetoalloutput_Click() { chooseFolderInto(*txtwavetoalloutputdirectory); }

void WaveToAllPage::cmdWaveToAllStart_Click() {
  if (!prepareStart(*gridWavetoAll, *txtwavetoalloutputdirectory, WaveToAllOutputDir,
                    QStringLiteral("Please add wave files to convert!")))
    return;
  if (ShowStatusWindow) ShowStatusWindow(*this);
}

}  // namespace sv
