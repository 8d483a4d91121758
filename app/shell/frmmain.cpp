#include "frmmain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWindow>
#include <new>

#include "Artwork.h"
#include "CDBurnerPage.h"
#include "CDPage.h"
#include "ImageControl.h"
#include "ResourceFonts.h"
#include "conversion_pages.h"
#include "ezbutton.h"
#include "frmAbout.h"
#include "frmCDBurner.h"
#include "platform/app_window.h"
#include "platform/mci_cdaudio.h"
#include "platform/msgbox.h"
#include "shell/core/error_handling.h"
#include "shell/core/globals.h"
#include "shell/core/helpers.h"
#include "shell/core/registry.h"

namespace {

constexpr int kPageLeft = 20;
constexpr int kPageTop = 54;
constexpr int kTabTop = kPageTop - sv::art::kTabHeight;
constexpr int kTabGap = 4;
constexpr int kGlyphTop = 3;
constexpr int kGlyphStep = sv::art::kGlyphSize + 6;
constexpr int kFooterButtonWidth = 84;

}  // namespace

frmmain::frmmain(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmmain"));
  setWindowTitle(QString::fromLatin1(sv::kProductTitle));
  setFixedSize(kWidth, kHeight);
  CreateControls();
  sv::SetMainWindow(this);

  cdInfoTimer.setInterval(1000);
  Timer1.setInterval(1000);
  connect(&cdInfoTimer, &QTimer::timeout, this, &frmmain::cdInfoTimer_Timer);
  connect(&Timer1, &QTimer::timeout, this, &frmmain::Timer1_Timer);

  Form_Load();
}

frmmain::~frmmain() = default;

QString frmmain::PageTitle(int page) {
  switch (page) {
    case 0:
      return QStringLiteral("Convert Wave to MP3,WMA,VQF,OGG");
    case 1:
      return QStringLiteral("Convert MP3,VQF,OGG to Wave");
    case 2:
      return QStringLiteral("Select CD Tracks to grab");
    case 3:
      return QStringLiteral("Add wave / mp3 files to burn Audio CD");
    default:
      return {};
  }
}

QString frmmain::HelpFilePath() {
  return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                         QStringLiteral("/../share/sonvera/sonvera.html"));
}

void frmmain::CreateControls() {
  const qreal dpr = devicePixelRatioF();
  for (int i = 0; i < kPageCount; ++i) {
    auto* tab = new ezbutton(this);
    tab->setObjectName(QStringLiteral("ezbutton1_%1").arg(i));
    tab->setUpPicture(sv::art::TabPicture(i, false, dpr));
    tab->setDownPicture(sv::art::TabPicture(i, true, dpr));
    tab->setGeometry(kPageLeft + i * (sv::art::kTabWidth + kTabGap), kTabTop, sv::art::kTabWidth,
                     sv::art::kTabHeight);
    tab->setToolTip(PageTitle(i));
    tab->setCursor(Qt::PointingHandCursor);
    connect(tab, &ezbutton::Click, this, [this, i] { ezbutton1_Click(i); });
    ezbutton1[static_cast<std::size_t>(i)] = tab;

    auto* page = new PageBox(i, this);
    new PagePlaceholder(i, PageTitle(i), page);
    page->hide();
    myGroup[static_cast<std::size_t>(i)] = page;
  }

  auto glyph = [this, dpr](sv::art::Glyph kind, int slot, const char* name, const QString& tip) {
    auto* img = new ImageControl(this);
    img->setObjectName(QString::fromLatin1(name));
    img->setPictures(sv::art::TitleGlyph(kind, false, dpr), sv::art::TitleGlyph(kind, true, dpr));
    img->move(kWidth - kPageLeft - sv::art::kGlyphSize - (3 - slot) * kGlyphStep + 2, kGlyphTop);
    img->setToolTip(tip);
    return img;
  };
  imgAbout = glyph(sv::art::Glyph::About, 0, "imgAbout", QStringLiteral("About Sonvera Disc Suite"));
  imgHelp = glyph(sv::art::Glyph::Help, 1, "imgHelp", QStringLiteral("Help"));
  imgMin = glyph(sv::art::Glyph::Minimise, 2, "imgMin", QStringLiteral("Minimise"));
  imgClose = glyph(sv::art::Glyph::Close, 3, "imgClose", QStringLiteral("Close"));

  const int footerTop = kHeight - kPageTop + (kPageTop - 28) / 2;
  imgexit2 = new ImageControl(this);
  imgexit2->setObjectName(QStringLiteral("imgexit2"));
  imgexit2->setPictures(sv::art::FooterButton(QStringLiteral("Exit"), sv::art::Glyph::Close, false, dpr),
                        sv::art::FooterButton(QStringLiteral("Exit"), sv::art::Glyph::Close, true, dpr));
  imgexit2->move(kWidth - kPageLeft - kFooterButtonWidth, footerTop);
  imgHelp2 = new ImageControl(this);
  imgHelp2->setObjectName(QStringLiteral("imgHelp2"));
  imgHelp2->setPictures(sv::art::FooterButton(QStringLiteral("Help"), sv::art::Glyph::Help, false, dpr),
                        sv::art::FooterButton(QStringLiteral("Help"), sv::art::Glyph::Help, true, dpr));
  imgHelp2->move(kWidth - kPageLeft - 2 * kFooterButtonWidth - 8, footerTop);

  connect(imgMin, &ImageControl::Click, this, &frmmain::imgMin_Click);
  connect(imgClose, &ImageControl::Click, this, &frmmain::imgClose_Click);
  connect(imgexit2, &ImageControl::Click, this, &frmmain::imgexit2_Click);
  connect(imgHelp, &ImageControl::Click, this, &frmmain::imgHelp_Click);
  connect(imgHelp2, &ImageControl::Click, this, &frmmain::imgHelp2_Click);
  connect(imgAbout, &ImageControl::Click, this, &frmmain::imgAbout_Click);
}

void frmmain::Form_Load() {
  try {
    sv::ApplyResourceFonts(*this);
    // One font family throughout: message boxes, pickers and job windows take it too.
    QApplication::setFont(font());
    sv::RegisterInstallation();
    ShowTitleBar(false);
    for (int i = 0; i < kPageCount; ++i) {
      ezbutton1[static_cast<std::size_t>(i)]->SetButtonUp();
      QWidget* page = myGroup[static_cast<std::size_t>(i)];
      page->setGeometry(kPageLeft, kPageTop, width() - 2 * kPageLeft, height() - kPageTop - 54);
      for (QWidget* placeholder : page->findChildren<PagePlaceholder*>())
        placeholder->setGeometry(page->rect());
    }

    sv::DefaultMusicDir = sv::MusicDirectory();
    sv::WaveToAllOutputDir = sv::DefaultMusicDir;
    sv::RipperOutputDir = sv::DefaultMusicDir;
    sv::AllToWaveOutputDir = sv::DefaultMusicDir;
    sv::LastBrowseDir = sv::GetWindowsDirectoryPath();

    CurrentPage = 0;
    ezbutton1_Click(0);
    InitWaveToAllPage();
    InitAllToWavePage();

    // The CD audio device plays the drives and disc images of the CD-reading component.
    sv::mci::RegisterCdAudioDevice();
    // Devices a previous run of this program left open.
    sv::SendMCICommand(QStringLiteral("close all"), false);
    CDDrives = sv::Split(sv::GetCDDriveList(), QStringLiteral("|"), -1, sv::vbBinaryCompare);
    sv::CDDrives = CDDrives;
    // Without any drive or disc image the CD page says so itself, not a box at every start.
    if (!CDDrives.value(0).isEmpty()) {
      sv::SendMCICommand(QStringLiteral("open \"") + CDDrives.value(0) +
                             QStringLiteral("\" type cdaudio alias cd wait shareable"),
                         true);
      sv::SendMCICommand(QStringLiteral("set cd time format tmsf wait"), true);
    }

    InitCDPageDisplay();
    InitCDPageDrives();
    InitBurnPageTimes();
    InitBurnPageGrid();
  } catch (const sv::RuntimeError& error) {
    sv::ShowRuntimeError(error);
  } catch (const std::bad_alloc&) {
    sv::ShowRuntimeError(sv::RuntimeError(sv::errOutOfMemory));
  }
}

void frmmain::ezbutton1_Click(int Index) {
  if (Index < 0 || Index >= kPageCount) return;
  for (int i = 0; i < kPageCount; ++i) {
    ezbutton1[static_cast<std::size_t>(i)]->SetButtonUp();
    myGroup[static_cast<std::size_t>(i)]->setVisible(false);
  }
  StopWavePreview();
  ezbutton1[static_cast<std::size_t>(Index)]->SetButtonDown();
  myGroup[static_cast<std::size_t>(Index)]->setVisible(true);
  CurrentPage = static_cast<std::int16_t>(Index);

  cdInfoTimer.stop();
  if (Index == 2) {
    cdInfoTimer.start();
    RefreshCDInfo();
  }
}

void frmmain::ShowTitleBar(bool Show) {
  const QRect saved = geometry();
  const bool visible = isVisible();
  Qt::WindowFlags flags = Qt::Window | Qt::WindowMinimizeButtonHint;
  if (Show) {
    setWindowTitle(Tag);
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (!Tag.isEmpty()) flags |= Qt::WindowTitleHint;
  } else {
    Tag = windowTitle();
    flags |= Qt::FramelessWindowHint;
  }
  if (flags != windowFlags()) {
    setWindowFlags(flags);
    setGeometry(saved);
    if (visible) show();
  }
  update();
}

void frmmain::imgMin_Click() { setWindowState(windowState() | Qt::WindowMinimized); }

void frmmain::imgClose_Click() { close(); }

void frmmain::imgexit2_Click() { close(); }

void frmmain::imgHelp_Click() { imgHelp2_Click(); }

void frmmain::imgHelp2_Click() {
  const QString guide = HelpFilePath();
  // Without the guide, or without a browser or launcher to show it, the user gets its path.
  if (!QFileInfo::exists(guide)) {
    sv::MsgBox(QStringLiteral("The user's guide is missing. It belongs here:\n") + guide, sv::vbCritical);
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(guide)))
    sv::MsgBox(
        QStringLiteral("No web browser or program for HTML files was found to open the user's guide.\n\n"
                       "Open this file in a web browser:\n") +
            guide,
        sv::vbInformation);
}

void frmmain::imgAbout_Click() {
  frmAbout box(this);
  box.exec();
}

void frmmain::Form_MouseDown(Qt::MouseButton button, QPoint globalPos) {
  if (button != Qt::LeftButton) return;
  emit WindowDragStarted();
  QWindow* window = windowHandle();
  if (window && window->startSystemMove()) return;
  manual_drag_ = true;
  drag_offset_ = globalPos - frameGeometry().topLeft();
}

void frmmain::mousePressEvent(QMouseEvent* event) {
  Form_MouseDown(event->button(), event->globalPosition().toPoint());
  event->accept();
}

void frmmain::mouseMoveEvent(QMouseEvent* event) {
  if (manual_drag_ && (event->buttons() & Qt::LeftButton))
    move(event->globalPosition().toPoint() - drag_offset_);
  QWidget::mouseMoveEvent(event);
}

void frmmain::mouseReleaseEvent(QMouseEvent* event) {
  manual_drag_ = false;
  QWidget::mouseReleaseEvent(event);
}

void frmmain::Form_Resize() {
  if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
  if (size() != QSize(kWidth, kHeight)) setGeometry(x(), y(), kWidth, kHeight);
}

void frmmain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}

void frmmain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) Form_Resize();
}

void frmmain::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void frmmain::Form_Unload() {
  StopWavePreview();
  ReleaseWavePlayer();
  cdInfoTimer.stop();
  Timer1.stop();
}

void frmmain::paintEvent(QPaintEvent*) {
  QPainter p(this);
  sv::art::PaintWindowBackground(p, rect());
  p.setRenderHint(QPainter::Antialiasing);

  // Title row: emblem and product name.
  sv::art::PaintLogo(p, QRectF(kPageLeft, 3, 19, 19));
  QFont name = sv::art::Font(13, true);
  p.setFont(name);
  p.setPen(Qt::white);
  const QRect titleRect(kPageLeft + 27, 2, 300, 21);
  p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Sonvera"));
  const int nameWidth = QFontMetrics(name).horizontalAdvance(QStringLiteral("Sonvera "));
  name.setBold(false);
  p.setFont(name);
  p.setPen(QColor(190, 216, 238));
  p.drawText(titleRect.adjusted(nameWidth, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Disc Suite"));

  // The page panel's drop shadow.
  const QRectF page(kPageLeft, kPageTop, width() - 2 * kPageLeft, height() - kPageTop - 54);
  for (int i = 1; i <= 3; ++i) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 20, 40, 40 - i * 10));
    p.drawRoundedRect(page.adjusted(-i + 1, 2, i - 1, i + 1), 6 + i, 6 + i);
  }

  // Footer: emblem and the suite's three trades.
  const int footerTop = height() - 54;
  sv::art::PaintLogo(p, QRectF(kPageLeft, footerTop + 11, 32, 32));
  QFont tag = sv::art::Font(12, true);
  p.setFont(tag);
  p.setPen(Qt::white);
  p.drawText(QRect(kPageLeft + 42, footerTop + 10, 300, 17), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Sonvera Disc Suite"));
  tag.setBold(false);
  tag.setPixelSize(11);
  p.setFont(tag);
  p.setPen(QColor(168, 200, 228));
  p.drawText(QRect(kPageLeft + 42, footerTop + 27, 300, 16), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Convert  \u00b7  Grab  \u00b7  Burn"));
}

// Page hooks: each page module fills in its own.

// The conversion pages take the place of their placeholders.
void frmmain::InitWaveToAllPage() {
  QWidget* page = myGroup[0];
  qDeleteAll(page->findChildren<PagePlaceholder*>(Qt::FindDirectChildrenOnly));
  WaveToAll = new sv::WaveToAllPage(page);
  WaveToAll->setGeometry(page->rect());
  WaveToAll->show();
}

void frmmain::InitAllToWavePage() {
  QWidget* page = myGroup[1];
  qDeleteAll(page->findChildren<PagePlaceholder*>(Qt::FindDirectChildrenOnly));
  AllToWave = new sv::AllToWavePage(page);
  AllToWave->setGeometry(page->rect());
  AllToWave->show();
}

// The CD page takes the place of its placeholder; the timer and page switch call into it.
void frmmain::InitCDPageDisplay() {
  QWidget* page = myGroup[2];
  qDeleteAll(page->findChildren<PagePlaceholder*>(Qt::FindDirectChildrenOnly));
  CD = new sv::CDPage(page);
  CD->setGeometry(page->rect());
  CD->show();
  CD->ClearCDInfo();
}

void frmmain::InitCDPageDrives() {
  if (CD) CD->InitCDPage();
}

void frmmain::RefreshCDInfo() {
  if (CD) CD->LoadTrackList();
}

void frmmain::cdInfoTimer_Timer() {
  if (CD) CD->cdInfoTimer_Timer();
}

// The burn page takes the place of its placeholder when its first hook runs.
void frmmain::InitBurnPageTimes() {
  if (!CDBurner) {
    QWidget* page = myGroup[3];
    qDeleteAll(page->findChildren<PagePlaceholder*>(Qt::FindDirectChildrenOnly));
    CDBurner = new sv::CDBurnerPage(Timer1, page);
    CDBurner->setGeometry(page->rect());
    CDBurner->ShowBurnWindow = [this](sv::CDBurnerPage&) { ShowCDBurnerWindow(); };
    CDBurner->show();
  }
  CDBurner->ResetBurnTotals();
}
void frmmain::InitBurnPageGrid() {
  if (CDBurner) CDBurner->SetupBurnGrid();
}
void frmmain::Timer1_Timer() {
  if (CDBurner) CDBurner->Timer1_Timer();
}
void frmmain::StopWavePreview() {
  if (CDBurner) CDBurner->StopPreview();
}
void frmmain::ReleaseWavePlayer() {
  if (CDBurner) CDBurner->ReleasePreviewPlayer();
}
void frmmain::ShowCDBurnerWindow() {
  if (!CDBurner) return;
  StopWavePreview();
  try {
    sv::frmCDBurner window(this, [this] { return CDBurner->BurnSourcePaths(); });
    window.exec();
  } catch (const sv::RuntimeError& error) {
    sv::ShowRuntimeError(error);
  }
  // A new image is a disc on the Grab CD page at once.
  if (CD) CD->cdInfoTimer_Timer();
}
