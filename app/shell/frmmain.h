#pragma once
// The program's only top-level window: a fixed-size frameless window with
// four pages switched by image tabs, and images standing in for the title
// bar's buttons.
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>

class ezbutton;
class ImageControl;
namespace sv {
class AllToWavePage;
class CDPage;
class CDBurnerPage;
class WaveToAllPage;
}  // namespace sv

class frmmain : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kWidth = 622;
  static constexpr int kHeight = 469;
  static constexpr int kPageCount = 4;

  // Creating the window loads it: the start-up sequence runs here.
  explicit frmmain(QWidget* parent = nullptr);
  ~frmmain() override;

  // Page tabs and pages, index 0 to 3 from left to right.
  std::array<ezbutton*, kPageCount> ezbutton1{};
  std::array<QWidget*, kPageCount> myGroup{};
  // Images of the artwork that act as commands.
  ImageControl* imgMin = nullptr;
  ImageControl* imgClose = nullptr;
  ImageControl* imgexit2 = nullptr;
  ImageControl* imgHelp = nullptr;
  ImageControl* imgHelp2 = nullptr;
  ImageControl* imgAbout = nullptr;
  // Polls the CD while the CD page is on show.
  QTimer cdInfoTimer;
  // Advances the burn page's preview clock.
  QTimer Timer1;

  // The conversion pages' contents (pages 0 and 1).
  sv::WaveToAllPage* WaveToAll = nullptr;
  sv::AllToWavePage* AllToWave = nullptr;
  // The CD page's contents (page 2).
  sv::CDPage* CD = nullptr;
  // The burn page's contents (page 3): the burn list and the preview.
  sv::CDBurnerPage* CDBurner = nullptr;

  std::int16_t CurrentPage = 0;
  QStringList CDDrives;
  // Keeps the caption while the title bar is hidden.
  QString Tag;

  void ezbutton1_Click(int Index);
  void ShowTitleBar(bool Show);
  void imgMin_Click();
  void imgClose_Click();
  void imgexit2_Click();
  void imgHelp_Click();
  void imgHelp2_Click();
  void imgAbout_Click();

  // Where the HTML user's guide lives: the program's data directory.
  static QString HelpFilePath();
  // The page captions, index 0 to 3.
  static QString PageTitle(int page);

 signals:
  // The user began to drag the window by its bare frame.
  void WindowDragStarted();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Form_Load();
  void Form_Unload();
  void Form_MouseDown(Qt::MouseButton button, QPoint globalPos);
  void Form_Resize();
  void CreateControls();

  // Page work the page modules fill in. The conversion pages (0 and 1):
  void InitWaveToAllPage();
  void InitAllToWavePage();
  // The CD page (2): time labels, then drives and grab options including
  // the check that the CD-reading layer found a drive; the disc refresh.
  void InitCDPageDisplay();
  void InitCDPageDrives();
  void RefreshCDInfo();
  void cdInfoTimer_Timer();
  // The burn page (3): disc-time labels, the list, the preview clock and
  // stopping and releasing the wave preview player.
  void InitBurnPageTimes();
  void InitBurnPageGrid();
  void Timer1_Timer();
  void StopWavePreview();
  void ReleaseWavePlayer();
  // Opens the burn job's window (modal, owned by this window) once Burn has found rows in
  // the list; the job reads CDBurner->gridCDBurner.
  void ShowCDBurnerWindow();

  // Drag by hand where the window system cannot move the window itself.
  bool manual_drag_ = false;
  QPoint drag_offset_;
};
