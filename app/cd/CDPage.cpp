#include "CDPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <exception>

#include "command_button.h"
#include "frmRipperStatus.h"
#include "jobs/core/paths.h"
#include "page_heading.h"
#include "platform/cd_reader.h"
#include "platform/mci.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "shell/core/globals.h"
#include "shell/core/helpers.h"

namespace sv {
namespace {

constexpr int kPageWidth = 582;
constexpr int kReplyLength = 30;

CommandButton* button(QWidget* parent, const char* name, const QString& caption, QRect where) {
  return MakeCommandButton(parent, name, caption, where);
}

QLabel* label(QWidget* parent, const QString& text, QRect where, const char* name = nullptr) {
  auto* l = new QLabel(text, parent);
  if (name) l->setObjectName(QString::fromLatin1(name));
  l->setGeometry(where);
  return l;
}

void fill(QComboBox* combo, const QStringList& items, int defaultIndex) {
  combo->clear();
  combo->addItems(items);
  combo->setCurrentIndex(defaultIndex);
}

// The leading number of a text, as the status replies are read; 0 when there is none.
int leadingNumber(const QString& text) {
  const QString t = text.trimmed();
  qsizetype i = 0;
  while (i < t.size() && t[i].isDigit()) ++i;
  return t.left(i).toInt();
}

}  // namespace

CDPage::CDPage(QWidget* parent) : QWidget(parent), ShowGrabWindow(ShowRipperStatus) {
  setObjectName(QStringLiteral("CDPage"));
  resize(kPageWidth, 361);
  StylePageHeading(
      label(this, QStringLiteral("Select CD Tracks to grab"), QRect(12, 4, kPageWidth - 24, 22)));

  label(this, QStringLiteral("CD Drive:"), QRect(12, 28, 62, 24));
  ComboCDRom = new QComboBox(this);
  ComboCDRom->setObjectName(QStringLiteral("ComboCDRom"));
  ComboCDRom->setGeometry(76, 28, 392, 24);
  cmdRipperEject = button(this, "cmdRipperEject", QStringLiteral("&Eject"), QRect(474, 27, 96, 26));

  const QRect listArea(12, 60, 350, 166);
  listcdtrack = new QListWidget(this);
  listcdtrack->setObjectName(QStringLiteral("listcdtrack"));
  listcdtrack->setGeometry(listArea);
  labelNoDrive = label(this, QString(), listArea, "labelNoDrive");
  labelNoDrive->setWordWrap(true);
  labelNoDrive->setTextFormat(Qt::RichText);
  labelNoDrive->setAlignment(Qt::AlignCenter);
  labelNoDrive->setTextInteractionFlags(Qt::TextSelectableByMouse);
  labelNoDrive->setFrameShape(QFrame::StyledPanel);
  labelNoDrive->setMargin(12);
  labelNoDrive->hide();

  // Disc and playing facts beside the list.
  const char* captions[] = {"Total Tracks:", "Total Time:", "Current Track:", "Track Length:", "Playing:"};
  QLabel** values[] = {&labelcdtotaltrack, &labelcdtotaltime, &labelcdcurrenttrack, &labelcdcurrentplaytime,
                       &labelcdplayingtimer};
  const char* names[] = {"labelcdtotaltrack", "labelcdtotaltime", "labelcdcurrenttrack",
                         "labelcdcurrentplaytime", "labelcdplayingtimer"};
  for (int i = 0; i < 5; ++i) {
    label(this, QString::fromLatin1(captions[i]), QRect(372, 62 + i * 24, 96, 22));
    *values[i] = label(this, QString(), QRect(470, 62 + i * 24, 100, 22), names[i]);
  }
  cmdRipperPlay = button(this, "cmdRipperPlay", QStringLiteral("&Play"), QRect(372, 196, 94, 30));
  cmdRipperStop = button(this, "cmdRipperStop", QStringLiteral("S&top"), QRect(476, 196, 94, 30));

  label(this, QStringLiteral("Output Format:"), QRect(12, 236, 100, 26));
  const char* options[] = {"MP3", "WAV"};
  for (int i = 0; i < 2; ++i) {
    auto* b = button(this, "cmdRipperOutputSelectOption", QString::fromLatin1(options[i]),
                     QRect(114 + i * 64, 236, 60, 26));
    b->setObjectName(QStringLiteral("cmdRipperOutputSelectOption_%1").arg(i));
    connect(b, &XPButton::Click, this, [this, i] { cmdRipperOutputSelectOption_Click(i); });
    cmdRipperOutputSelectOption[static_cast<std::size_t>(i)] = b;
  }
  Checkripperoverwrite = new QCheckBox(QStringLiteral("Overwrite existing file"), this);
  Checkripperoverwrite->setObjectName(QStringLiteral("Checkripperoverwrite"));
  Checkripperoverwrite->setGeometry(372, 238, 198, 22);

  const QStringList settingCaptions{QStringLiteral("SampleRate:"), QStringLiteral("BitRate:"),
                                    QStringLiteral("Channel:"), QStringLiteral("Quality:")};
  QComboBox** combos[] = {&Comborippersamplerate, &Comboripperbitrate, &Comboripperchannel,
                          &Comboripperquality};
  const char* comboNames[] = {"Comborippersamplerate", "Comboripperbitrate", "Comboripperchannel",
                              "Comboripperquality"};
  for (int i = 0; i < 4; ++i) {
    labelRipperSettings[static_cast<std::size_t>(i)] =
        label(this, settingCaptions[i], QRect(12 + i * 142, 266, 132, 20));
    *combos[i] = new QComboBox(this);
    (*combos[i])->setObjectName(QString::fromLatin1(comboNames[i]));
    (*combos[i])->setGeometry(12 + i * 142, 286, 132, 24);
  }
  Labelripperwaveinfo = label(this, QString(), QRect(12, 266, 300, 44), "Labelripperwaveinfo");
  Labelripperwaveinfo->hide();

  label(this, QStringLiteral("Output Directory:"), QRect(12, 322, 106, 24));
  txtripperoutputdirectory = new QLineEdit(this);
  txtripperoutputdirectory->setObjectName(QStringLiteral("txtripperoutputdirectory"));
  txtripperoutputdirectory->setGeometry(120, 322, 242, 24);
  cmdripperOutputSelectDir =
      button(this, "cmdripperOutputSelectDir", QStringLiteral("&Browse..."), QRect(368, 321, 98, 26));
  cmdRipperStart = button(this, "cmdRipperStart", QStringLiteral("&Start"), QRect(474, 319, 96, 30));

  connect(ComboCDRom, &QComboBox::activated, this, [this] { OpenCDAudio(); });
  connect(listcdtrack, &QListWidget::currentRowChanged, this, [this] { listcdtrack_Click(); });
  connect(listcdtrack, &QListWidget::itemClicked, this, [this] { listcdtrack_Click(); });
  connect(cmdRipperPlay, &XPButton::Click, this, &CDPage::cmdRipperPlay_Click);
  connect(cmdRipperStop, &XPButton::Click, this, &CDPage::cmdRipperStop_Click);
  connect(cmdRipperEject, &XPButton::Click, this, &CDPage::cmdRipperEject_Click);
  connect(cmdripperOutputSelectDir, &XPButton::Click, this, &CDPage::cmdripperOutputSelectDir_Click);
  connect(cmdRipperStart, &XPButton::Click, this, &CDPage::cmdRipperStart_Click);
}

QString CDPage::NoDriveText(const QString& imageFolder) {
  return QStringLiteral(
             "<p><b>No CD drive was found.</b></p><p>Disc images work as drives here: put CUE/BIN (or cdrdao "
             "TOC) disc images into</p><p><i>%1</i></p><p>and they appear in the drive list above.</p>")
      .arg(imageFolder.toHtmlEscaped());
}

void CDPage::ShowNoDrive(bool show) {
  if (show) {
    QString folder;
    try {
      folder = QString::fromStdString(cdreader::ImageFolder());
    } catch (const RuntimeError&) {
    }
    labelNoDrive->setText(
        NoDriveText(folder.isEmpty() ? QStringLiteral("~/.local/share/sonvera/discs") : folder));
  }
  labelNoDrive->setVisible(show);
  listcdtrack->setVisible(!show);
}

QString CDPage::Status(const QString& command) {
  QString reply;
  // A query that fails answers nothing: a stale reply would be read as this one.
  mciSendString(command, &reply, kReplyLength);
  MCIReply = reply.leftJustified(kReplyLength, QLatin1Char(' '), true);
  return MCIReply;
}

void CDPage::InitCDPage() {
  // Drive entries 0 .. adapters, each with the path the device is opened on.
  std::int32_t adapters = -1;
  try {
    adapters = cdreader::GetNumAdapters();
  } catch (const std::exception&) {
  }
  for (std::int32_t a = 0; a <= adapters && a < SVR_MAX_DRIVES; ++a) {
    try {
      SVR_CDLIST list{};
      cdreader::GetCDList(&list);
      const SVR_CDREC& rec = list.cd[a];
      const QString name = QString::fromStdString(cdreader::DriveName(rec));
      if (!name.isEmpty()) ComboCDRom->addItem(name, QString::fromStdString(cdreader::DrivePath(rec)));
    } catch (const std::exception&) {
    }
  }

  // The settings are made either way, so a disc image put in later finds the page ready.
  txtripperoutputdirectory->setText(RipperOutputDir);
  cmdRipperOutputSelectOption_Click(0);
  Checkripperoverwrite->setChecked(true);
  fill(Comborippersamplerate, {"48000 Hz", "44100 Hz", "32000 Hz"}, 1);
  fill(Comboripperbitrate,
       {"32 Kbps", "40 Kbps", "48 Kbps", "56 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps", "128 Kbps",
        "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"},
       8);
  fill(Comboripperchannel, {"Stereo", "Join Stereo", "Dual Channel", "Mono"}, 1);
  fill(Comboripperquality,
       {"Low", "Normal", "High", "Voice", "Phone", "Radio", "Tape", "HiFi", "CD", "Studio"}, 1);

  if (ComboCDRom->count() == 0) {
    ShowNoDrive(true);
    return;
  }
  ShowNoDrive(false);
  ComboCDRom->setCurrentIndex(0);
  OpenCDAudio();
}

QString CDPage::SelectedDrivePath() const {
  return ComboCDRom->currentIndex() < 0 ? QString() : ComboCDRom->currentData(DrivePathRole).toString();
}

void CDPage::OpenCDAudio() {
  SendMCICommand(QStringLiteral("close all"), false);
  // Quoted: image paths may hold blanks.
  const QString open =
      QStringLiteral("open \"%1\" type cdaudio alias cd wait shareable").arg(SelectedDrivePath());
  if (mciSendString(open) != 0) MsgBox(QStringLiteral("mci fail"));
  SendMCICommand(QStringLiteral("set cd time format tmsf wait"), true);
  LoadTrackList();
}

void CDPage::ClearCDInfo() {
  labelcdtotaltrack->clear();
  labelcdtotaltime->clear();
  labelcdcurrenttrack->clear();
  labelcdcurrentplaytime->clear();
  labelcdplayingtimer->clear();
  {
    // Emptying the list is no click on it: playback goes on.
    const QSignalBlocker quiet(listcdtrack);
    listcdtrack->clear();
  }
  TrackSelectByTimer = false;
}

void CDPage::LoadTrackList() {
  ClearCDInfo();
  if (ComboCDRom->count() == 0) return;
  if (Status(QStringLiteral("status cd media present")).trimmed() != QLatin1String("true")) return;
  const int n = leadingNumber(Status(QStringLiteral("status cd number of tracks wait")).left(2));
  labelcdtotaltrack->setText(QString::number(n));
  labelcdtotaltime->setText(Status(QStringLiteral("status cd length wait")).trimmed());

  TrackLengths = QStringList(n + 1);
  const QSignalBlocker quiet(listcdtrack);
  for (int t = 1; t <= n; ++t) {
    QString length = Status(QStringLiteral("status cd length track %1").arg(t));
    length.remove(QChar(0));
    // The reply without the blanks that pad it to the reply's fixed length.
    length = length.trimmed();
    TrackLengths[t] = length;
    auto* item = new QListWidgetItem(
        QStringLiteral("Track %1  -  [ %2 ]").arg(t, 2, 10, QLatin1Char('0')).arg(length), listcdtrack);
    // A data track (enhanced CD) holds no audio to grab.
    if (Status(QStringLiteral("status cd type track %1").arg(t)).trimmed() == QLatin1String("other")) {
      // A greyed box, in line with the others, that cannot be ticked.
      item->setCheckState(Qt::Unchecked);
      item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable & ~Qt::ItemIsEnabled);
      item->setToolTip(QStringLiteral("Data track: no audio to grab"));
      item->setText(item->text() + QStringLiteral("  (data)"));
    } else {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(Qt::Unchecked);
    }
  }
  listcdtrack->repaint();
  ShowSelectedTrackInfo();
}

void CDPage::ShowSelectedTrackInfo() {
  const int i = listcdtrack->currentRow();
  if (i < 0) return;
  labelcdcurrenttrack->setText(QString::number(i + 1));
  labelcdcurrentplaytime->setText(TrackLengths.value(i + 1));
}

void CDPage::listcdtrack_Click() {
  if (!TrackSelectByTimer) cmdRipperStop_Click();
  TrackSelectByTimer = false;
  ShowSelectedTrackInfo();
}

void CDPage::cmdRipperPlay_Click() {
  const int i = listcdtrack->currentRow();
  if (listcdtrack->count() == 0 || i < 0) {
    MsgBox(QStringLiteral("Please select a CD track to play!"), vbCritical);
    return;
  }
  CDPlaying = true;
  labelcdplayingtimer->setText(QStringLiteral("00:00"));
  SendMCICommand(QStringLiteral("seek cd to %1").arg(i + 1), true);
  SendMCICommand(QStringLiteral("play cd"), true);
  cmdRipperPlay->setIsPressed(true);
}

void CDPage::cmdRipperStop_Click() {
  if (!CDPlaying) return;
  CDPlaying = false;
  SendMCICommand(QStringLiteral("stop cd"), true);
  cmdRipperPlay->setIsPressed(false);
}

void CDPage::cmdRipperEject_Click() { SendMCICommand(QStringLiteral("set cd door open"), true); }

void CDPage::cmdripperOutputSelectDir_Click() {
  const QString folder = SelectDirectory();
  if (folder.isEmpty()) return;
  RipperOutputDir = folder;
  txtripperoutputdirectory->setText(folder);
}

void CDPage::cmdRipperOutputSelectOption_Click(int index) {
  if (index < 0 || index > 1) return;
  for (int i = 0; i < 2; ++i)
    cmdRipperOutputSelectOption[static_cast<std::size_t>(i)]->setIsPressed(i == index);
  ShowRipperOptions(index);
}

void CDPage::ShowRipperOptions(int index) {
  const bool mp3 = index == 0;
  Labelripperwaveinfo->setVisible(!mp3);
  for (QLabel* l : labelRipperSettings) l->setVisible(mp3);
  for (QComboBox* c : {Comborippersamplerate, Comboripperbitrate, Comboripperchannel, Comboripperquality})
    c->setVisible(mp3);
  if (!mp3) Labelripperwaveinfo->setText(QStringLiteral("SampleRate:  44100 Hz\r\nChannel:   Stereo"));
}

std::vector<int> CDPage::CheckedTracks() const {
  std::vector<int> tracks;
  for (int i = 0; i < listcdtrack->count(); ++i)
    if (listcdtrack->item(i)->checkState() == Qt::Checked) tracks.push_back(i + 1);
  return tracks;
}

void CDPage::cmdRipperStart_Click() {
  if (CheckedTracks().empty()) {
    MsgBox(QStringLiteral("Please check the CD tracks you want to grab!"), vbCritical);
    return;
  }
  const QString dir = txtripperoutputdirectory->text().trimmed();
  if (dir.isEmpty()) {
    MsgBox(QStringLiteral("output directory can not be empty!"), vbCritical);
    return;
  }
  // "~" and relative folders as users mean them, never the program's working folder.
  RipperOutputDir = jobs::UserFolder(dir);
  cmdRipperStop_Click();
  if (ShowGrabWindow)
    ShowGrabWindow(*this);
  else
    MsgBox(QStringLiteral("Grabbing CD tracks is not available in this version."), vbInformation);
}

void CDPage::AddNewDrives() {
  std::vector<cdreader::Drive> drives;
  try {
    drives = cdreader::ListDrives();
  } catch (const std::exception&) {
    return;
  }
  const bool wasEmpty = ComboCDRom->count() == 0;
  for (const cdreader::Drive& d : drives) {
    const QString path = QString::fromStdString(d.path);
    if (ComboCDRom->findData(path, DrivePathRole) < 0)
      ComboCDRom->addItem(QString::fromStdString(d.name), path);
  }
  if (wasEmpty && ComboCDRom->count() > 0) {
    ShowNoDrive(false);
    ComboCDRom->setCurrentIndex(0);
    OpenCDAudio();
  }
}

void CDPage::cdInfoTimer_Timer() {
  // Disc images put into the disc folder while the program runs join the drive list.
  AddNewDrives();
  if (ComboCDRom->count() == 0) return;
  if (Status(QStringLiteral("status cd media present")).trimmed() != QLatin1String("true")) {
    ClearCDInfo();
    labelcdplayingtimer->clear();
    cmdRipperPlay->setIsPressed(false);
    return;
  }
  if (listcdtrack->count() == 0) {
    LoadTrackList();
    return;
  }
  if (Status(QStringLiteral("status cd length track 1")).left(8) != TrackLengths.value(1).left(8)) {
    LoadTrackList();
    return;
  }
  CDPlaying = Status(QStringLiteral("status cd mode")).left(7) == QLatin1String("playing");
  if (!CDPlaying) {
    labelcdplayingtimer->clear();
    cmdRipperPlay->setIsPressed(false);
    return;
  }
  const QString position = Status(QStringLiteral("status cd position"));
  const int track = leadingNumber(position.mid(0, 2));
  const int minutes = leadingNumber(position.mid(3, 2));
  const int seconds = leadingNumber(position.mid(6, 2));
  if (listcdtrack->currentRow() + 1 != track && track >= 1 && track <= listcdtrack->count()) {
    TrackSelectByTimer = true;
    listcdtrack->setCurrentRow(track - 1);
  }
  labelcdplayingtimer->setText(
      QStringLiteral("%1:%2").arg(minutes, 2, 10, QLatin1Char('0')).arg(seconds, 2, 10, QLatin1Char('0')));
}

}  // namespace sv
