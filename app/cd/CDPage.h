// Page 2 of the main window: CD drives (and disc images), the tracks of the disc with their
// lengths, playback through the "cd" media device, eject, and the grabbing job's settings.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>

#include "XPButton.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace sv {

class CDPage : public QWidget {
  Q_OBJECT

 public:
  explicit CDPage(QWidget* parent = nullptr);

  // Drives; each entry carries its device or image path (DrivePathRole).
  QComboBox* ComboCDRom = nullptr;
  static constexpr int DrivePathRole = Qt::UserRole;
  // One checkable entry per disc track, "Track 01  -  [ mm:ss:ff ]".
  QListWidget* listcdtrack = nullptr;
  // Shown where the track list would be when there is neither drive nor disc image.
  QLabel* labelNoDrive = nullptr;

  QLabel* labelcdtotaltrack = nullptr;
  QLabel* labelcdtotaltime = nullptr;
  QLabel* labelcdcurrenttrack = nullptr;
  QLabel* labelcdcurrentplaytime = nullptr;
  QLabel* labelcdplayingtimer = nullptr;

  XPButton* cmdRipperPlay = nullptr;
  XPButton* cmdRipperStop = nullptr;
  XPButton* cmdRipperEject = nullptr;
  XPButton* cmdripperOutputSelectDir = nullptr;
  XPButton* cmdRipperStart = nullptr;
  // MP3 (0) and WAV (1), acting as one switch.
  std::array<XPButton*, 2> cmdRipperOutputSelectOption{};
  QLineEdit* txtripperoutputdirectory = nullptr;
  QCheckBox* Checkripperoverwrite = nullptr;

  QComboBox* Comborippersamplerate = nullptr;
  QComboBox* Comboripperbitrate = nullptr;
  QComboBox* Comboripperchannel = nullptr;
  QComboBox* Comboripperquality = nullptr;
  std::array<QLabel*, 4> labelRipperSettings{};
  QLabel* Labelripperwaveinfo = nullptr;

  // Length reply of each track as the device gave it, 1-based (element 0 unused).
  QStringList TrackLengths;
  bool CDPlaying = false;
  bool TrackSelectByTimer = false;
  // Every status reply, padded with blanks to 30 characters.
  QString MCIReply;

  // Opens the grabbing job's window after Start's checks; set by that job.
  std::function<void(CDPage& page)> ShowGrabWindow;

  // Main window start-up: the drives, the output settings and their defaults.
  void InitCDPage();
  void OpenCDAudio();
  void LoadTrackList();
  void ClearCDInfo();
  void ShowSelectedTrackInfo();
  // The one-second poll while the page is shown.
  void cdInfoTimer_Timer();

  void listcdtrack_Click();
  void cmdRipperPlay_Click();
  void cmdRipperStop_Click();
  void cmdRipperEject_Click();
  void cmdripperOutputSelectDir_Click();
  void cmdRipperOutputSelectOption_Click(int index);
  void ShowRipperOptions(int index);
  void cmdRipperStart_Click();

  // The device or image path of the chosen drive; empty when there is none.
  QString SelectedDrivePath() const;
  // Disc track numbers of the checked entries, in list order.
  std::vector<int> CheckedTracks() const;
  // The text shown when there is no drive: where disc images go.
  static QString NoDriveText(const QString& imageFolder);

 private:
  // Sends a status query; the reply, blank-padded, lands in MCIReply.
  QString Status(const QString& command);
  void AddNewDrives();
  void ShowNoDrive(bool show);
};

}  // namespace sv
