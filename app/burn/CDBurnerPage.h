// Page 3 of the main window: the list of WAV and MP3 files that become the tracks of an
// audio CD, their running time against 74- and 80-minute discs, and the preview player.
#pragma once

#include "XPButton.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QTimer;
class waveaudio;
namespace grid {
class JobGrid;
}

namespace sv {

class CDBurnerPage : public QWidget {
  Q_OBJECT

 public:
  // Disc capacities in seconds: 74:00 and 80:00.
  static constexpr int kDisc74 = 4440;
  static constexpr int kDisc80 = 4800;
  // Columns of the list.
  enum Column : int { colFile = 1, colTime, colSize, colInformation, colSourcePath, colType, colTrack };

  // Timer1 is the main window's preview clock: enabled while a preview plays, its ticks
  // call Timer1_Timer.
  explicit CDBurnerPage(QTimer& Timer1, QWidget* parent = nullptr);
  ~CDBurnerPage() override;

  grid::JobGrid* gridCDBurner = nullptr;
  XPButton* cmdCDBurnerAddWave = nullptr;
  XPButton* cmdcdburnerDelete = nullptr;
  XPButton* cmdcdburnerClear = nullptr;
  XPButton* cmdCDBurnerUp = nullptr;
  XPButton* cmdCDBurnerDown = nullptr;
  XPButton* cmdPreviewPlay = nullptr;
  XPButton* cmdPreviewStop = nullptr;
  XPButton* cmdCDBurnerStart = nullptr;
  QLabel* Labelburnsongs = nullptr;
  QLabel* Labelburntotaltime = nullptr;
  QLabel* Labelburntimeleft = nullptr;
  QLabel* labelburntimeleft80 = nullptr;
  QLabel* labelwaveplaytimer = nullptr;

  // The burn job's window, opened by Burn once the list has rows. The list does not change
  // while it is open (it is modal).
  std::function<void(CDBurnerPage& page)> ShowBurnWindow;

  void SetupBurnGrid();
  void ResetBurnTotals();
  void UpdateBurnTotals();
  // Appends the row of one file: name, time, size, format, path, type and track number.
  void AddBurnRow(const QString& path);
  // Adds files in order, as the add dialog gives them, and updates the totals; the window
  // keeps being drawn while a long list goes in.
  void AddBurnFiles(const QStringList& paths);
  void SwapBurnRows(int a, int b);
  // The source paths of the list in track order: what the burn job writes.
  QStringList BurnSourcePaths() const;

  void cmdCDBurnerAddWave_Click();
  void cmdcdburnerDelete_Click();
  void cmdcdburnerClear_Click();
  void cmdCDBurnerUp_Click();
  void cmdCDBurnerDown_Click();
  void cmdCDBurnerStart_Click();
  void gridCDBurner_SelectionChange();

  // The preview of the selected row.
  void PlayPreview();
  void StopPreview();
  void Timer1_Timer();
  // Closes and releases the preview player (the main window's unload).
  void ReleasePreviewPlayer();
  waveaudio* PreviewPlayer() const { return PreviewPlayer_.get(); }

 private:
  void moveSelected(int step);

  QTimer& Timer1_;
  // The main window's timer goes before its child pages: a page closing last must not stop it.
  QPointer<QTimer> timer1Alive_;
  std::unique_ptr<waveaudio> PreviewPlayer_;
};

}  // namespace sv
