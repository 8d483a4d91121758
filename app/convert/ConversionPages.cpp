#include "ConversionPages.h"

#include "ConversionRows.h"
#include "FilePickers.h"
#include "frmAllToWaveStatus.h"
#include "grid/job_grid.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"
#include "shell/core/helpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QThread>

#include <exception>

#if defined(SONVERA_HAVE_WAVE_TO_ALL)
#include "frmWaveToAllStatus.h"
#endif

namespace sv {
namespace {

constexpr int kPageWidth = 582;

CommandButton* button(QWidget* parent, const char* name, const QString& caption, QRect where) {
  auto* b = new CommandButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setCaption(caption);
  b->setGeometry(where);
  return b;
}

QLabel* title(QWidget* parent, const QString& text) {
  auto* l = new QLabel(text, parent);
  QFont f = l->font();
  f.setBold(true);
  l->setFont(f);
  l->setGeometry(6, 2, kPageWidth - 12, 20);
  return l;
}

grid::JobGrid* jobList(QWidget* parent, const char* name, QRect where) {
  auto* g = new grid::JobGrid(parent);
  g->setObjectName(QString::fromLatin1(name));
  g->setGeometry(where);
  return g;
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
}

// Start's checks and the destination rewrite; false when the job must not start.
bool prepareStart(grid::JobGrid& list, QLineEdit& directoryBox, QString& outputDir, const QString& noRows) {
  if (list.Rows() == 0) {
    MsgBox(noRows, vbInformation, QString::fromLatin1(kProductTitle));
    return false;
  }
  const QString dir = directoryBox.text().trimmed();
  if (dir.isEmpty()) {
    MsgBox(QStringLiteral("output directory can not be empty!"), vbCritical,
           QString::fromLatin1(kProductTitle));
    return false;
  }
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
  resize(kPageWidth, 361);
  title(this, QStringLiteral("Convert MP3,VQF,OGG to Wave"));
  gridAlltoWave = jobList(this, "gridAlltoWave", QRect(6, 26, kPageWidth - 12, 178));
  cmdAlltoWaveAddFile =
      button(this, "cmdAlltoWaveAddFile", QStringLiteral("&Add Files"), QRect(6, 210, 100, 26));
  cmdAlltoWaveAddDir =
      button(this, "cmdAlltoWaveAddDir", QStringLiteral("Add F&older"), QRect(112, 210, 100, 26));
  cmdAlltoWaveDelete =
      button(this, "cmdAlltoWaveDelete", QStringLiteral("&Delete"), QRect(218, 210, 100, 26));
  cmdAlltoWaveClear = button(this, "cmdAlltoWaveClear", QStringLiteral("C&lear"), QRect(324, 210, 100, 26));

  auto* dirLabel = new QLabel(QStringLiteral("Output Directory:"), this);
  dirLabel->setGeometry(6, 248, 110, 22);
  txtAllToWaveOutputDirectory = new QLineEdit(this);
  txtAllToWaveOutputDirectory->setObjectName(QStringLiteral("txtAllToWaveOutputDirectory"));
  txtAllToWaveOutputDirectory->setGeometry(118, 247, 350, 24);
  cmdAlltoWaveOutputSelectDir =
      button(this, "cmdAlltoWaveOutputSelectDir", QStringLiteral("&Browse..."), QRect(474, 246, 102, 26));
  checkAllToWaveOverwrite = new QCheckBox(QStringLiteral("Overwrite existing file"), this);
  checkAllToWaveOverwrite->setObjectName(QStringLiteral("checkAllToWaveOverwrite"));
  checkAllToWaveOverwrite->setGeometry(118, 276, 250, 22);
  labelAllToWaveNote = new QLabel(
      QStringLiteral(
          "output wave file contains orginal samplerate,bitrate,channel of source music(MP3, VQF ,OGG)file."),
      this);
  labelAllToWaveNote->setWordWrap(true);
  labelAllToWaveNote->setGeometry(6, 304, 450, 44);
  cmdAlltoWaveStart = button(this, "cmdAlltoWaveStart", QStringLiteral("&Start"), QRect(474, 316, 102, 30));

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
  resize(kPageWidth, 361);
  title(this, QStringLiteral("Convert Wave to MP3,WMA,VQF,OGG"));
  gridWavetoAll = jobList(this, "gridWavetoAll", QRect(6, 26, kPageWidth - 12, 140));
  cmdWaveToAllAddWave =
      button(this, "cmdWaveToAllAddWave", QStringLiteral("&Add Files"), QRect(6, 172, 100, 26));
  cmdWaveToAllDelete =
      button(this, "cmdWaveToAllDelete", QStringLiteral("&Delete"), QRect(112, 172, 100, 26));
  cmdWaveToAllClear = button(this, "cmdWaveToAllClear", QStringLiteral("C&lear"), QRect(218, 172, 100, 26));

  auto* formatLabel = new QLabel(QStringLiteral("Output Format:"), this);
  formatLabel->setGeometry(6, 208, 110, 24);
  const char* formats[] = {"MP3", "WMA", "VQF", "OGG"};
  for (int i = 0; i < 4; ++i) {
    auto* b = button(this, "wavetoalloutputformat", QString::fromLatin1(formats[i]),
                     QRect(118 + i * 64, 206, 60, 26));
    b->setObjectName(QStringLiteral("wavetoalloutputformat_%1").arg(i));
    connect(b, &CommandButton::Click, this, [this, i] { wavetoalloutputformat_Click(i); });
    wavetoalloutputformat[static_cast<std::size_t>(i)] = b;
  }

  auto panel = [this](int index, const QStringList& captions, std::initializer_list<QComboBox**> combos) {
    auto* p = new QWidget(this);
    p->setObjectName(QStringLiteral("picOutputSettings_%1").arg(index));
    p->setGeometry(6, 236, kPageWidth - 12, 52);
    int x = 0, i = 0;
    for (QComboBox** combo : combos) {
      auto* l = new QLabel(captions[i], p);
      l->setGeometry(x, 0, 136, 20);
      *combo = new QComboBox(p);
      (*combo)->setGeometry(x, 22, 130, 24);
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

  auto* dirLabel = new QLabel(QStringLiteral("Output Directory:"), this);
  dirLabel->setGeometry(6, 297, 110, 22);
  txtwavetoalloutputdirectory = new QLineEdit(this);
  txtwavetoalloutputdirectory->setObjectName(QStringLiteral("txtwavetoalloutputdirectory"));
  txtwavetoalloutputdirectory->setGeometry(118, 296, 350, 24);
  cmdWavetoalloutput =
      button(this, "cmdWavetoalloutput", QStringLiteral("&Browse..."), QRect(474, 295, 102, 26));
  wavetoallcheckoverwrite = new QCheckBox(QStringLiteral("Overwrite existing file"), this);
  wavetoallcheckoverwrite->setObjectName(QStringLiteral("wavetoallcheckoverwrite"));
  wavetoallcheckoverwrite->setGeometry(118, 326, 250, 22);
  cmdWaveToAllStart = button(this, "cmdWaveToAllStart", QStringLiteral("&Start"), QRect(474, 326, 102, 30));

  connect(cmdWaveToAllAddWave, &CommandButton::Click, this, &WaveToAllPage::cmdWaveToAllAddWave_Click);
  connect(cmdWaveToAllDelete, &CommandButton::Click, this, &WaveToAllPage::cmdWaveToAllDelete_Click);
  connect(cmdWaveToAllClear, &CommandButton::Click, this, &WaveToAllPage::cmdWaveToAllClear_Click);
  connect(cmdWavetoalloutput, &CommandButton::Click, this, &WaveToAllPage::cmdWavetoalloutput_Click);
  connect(cmdWaveToAllStart, &CommandButton::Click, this, &WaveToAllPage::cmdWaveToAllStart_Click);
#if defined(SONVERA_HAVE_WAVE_TO_ALL)
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
#endif
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
