// The two conversion pages of the main window: page 0 (WAV to MP3, WMA, VQF, OGG) and
// page 1 (MP3, VQF, OGG, WMA to WAV). Each fills its job list and starts its job window.
#pragma once

#include "command_button.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
namespace grid {
class JobGrid;
}

namespace sv {

class AllToWavePage : public QWidget {
  Q_OBJECT

 public:
  explicit AllToWavePage(QWidget* parent = nullptr);

  grid::JobGrid* gridAlltoWave = nullptr;
  CommandButton* cmdAlltoWaveAddFile = nullptr;
  CommandButton* cmdAlltoWaveAddDir = nullptr;
  CommandButton* cmdAlltoWaveDelete = nullptr;
  CommandButton* cmdAlltoWaveClear = nullptr;
  CommandButton* cmdAlltoWaveOutputSelectDir = nullptr;
  CommandButton* cmdAlltoWaveStart = nullptr;
  QLineEdit* txtAllToWaveOutputDirectory = nullptr;
  QCheckBox* checkAllToWaveOverwrite = nullptr;
  QLabel* labelAllToWaveNote = nullptr;

  // Page initialisation at main window load.
  void InitPage();
  void cmdAlltoWaveAddFile_Click();
  void cmdAlltoWaveAddDir_Click();
  void cmdAlltoWaveDelete_Click();
  void cmdAlltoWaveClear_Click();
  void cmdAlltoWaveOutputSelectDir_Click();
  void cmdAlltoWaveStart_Click();

  // Adds the row of one music file.
  void creatingalltowaveplaylist(const QString& source);
};

class WaveToAllPage : public QWidget {
  Q_OBJECT

 public:
  explicit WaveToAllPage(QWidget* parent = nullptr);

  grid::JobGrid* gridWavetoAll = nullptr;
  CommandButton* cmdWaveToAllAddWave = nullptr;
  CommandButton* cmdWaveToAllDelete = nullptr;
  CommandButton* cmdWaveToAllClear = nullptr;
  CommandButton* cmdWavetoalloutput = nullptr;
  CommandButton* cmdWaveToAllStart = nullptr;
  QLineEdit* txtwavetoalloutputdirectory = nullptr;
  QCheckBox* wavetoallcheckoverwrite = nullptr;
  std::array<CommandButton*, 4> wavetoalloutputformat{};
  std::array<QWidget*, 4> picOutputSettings{};

  QComboBox* MP3ComboSampleRate = nullptr;
  QComboBox* MP3ComboBitrate = nullptr;
  QComboBox* MP3ComboChannel = nullptr;
  QComboBox* MP3ComboQuality = nullptr;
  QComboBox* WMAComboSampleRate = nullptr;
  QComboBox* WMAComboBitRate = nullptr;
  QComboBox* WMAComboChannel = nullptr;
  QComboBox* VQFComboSampleRate = nullptr;
  QComboBox* VQFComboBitRate = nullptr;
  QComboBox* VQFComboChannel = nullptr;
  QComboBox* OGGComboSampleRate = nullptr;
  QComboBox* OGGComboBitRate = nullptr;
  QComboBox* OGGComboChannel = nullptr;

  // Opens the WAV-to-compressed status window after Start's checks; set by that job.
  std::function<void(WaveToAllPage& page)> ShowStatusWindow;

  void InitPage();
  void wavetoalloutputformat_Click(int index);
  void cmdWaveToAllAddWave_Click();
  void cmdWaveToAllDelete_Click();
  void cmdWaveToAllClear_Click();
  void cmdWavetoalloutput_Click();
  void cmdWaveToAllStart_Click();

  void creatingwavetoallplaylist(const QString& source, const QString& format);
};

}  // namespace sv
