#include "CDBurnerPage.h"

#include "cMP3Info.h"
#include "command_button.h"
#include "file_pickers.h"
#include "grid/job_grid.h"
#include "mod_wav.h"
#include "page_heading.h"
#include "platform/msgbox.h"
#include "platform/rounding.h"
#include "shell/core/helpers.h"
#include "waveaudio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QThread>
#include <QTimer>

#include <exception>

namespace sv {
namespace {

constexpr int kPageWidth = 582;
// Pixels: the name and format columns take the room the grid has beyond the others, so a
// format such as "44100Hz / 128 Kbps / Joint stereo" shows whole.
constexpr int kFileWidth = 140;
constexpr int kInformationWidth = 208;
constexpr const char* kBurnFilter =
    "Audio Files(*.MP3;*.WAV)|*.MP3;*.WAV|Wave Files(*.WAV)|*.WAV|MP3 Files(*.MP3)|*.MP3";
// While a long list goes in, the window is drawn again at this interval.
constexpr int kRepaintMs = 50;

QString title() { return QString::fromLatin1(kProductTitle); }

QString twoDigits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

CommandButton* button(QWidget* parent, const char* name, const QString& caption, QRect where) {
  return MakeCommandButton(parent, name, caption, where);
}

// A caption and the value beside it.
QLabel* valueLabel(QWidget* parent, const char* name, const QString& caption, QRect where, int captionWidth) {
  auto* c = new QLabel(caption, parent);
  c->setGeometry(where.x(), where.y(), captionWidth, where.height());
  auto* v = new QLabel(parent);
  v->setObjectName(QString::fromLatin1(name));
  v->setGeometry(where.x() + captionWidth, where.y(), where.width() - captionWidth, where.height());
  QFont f = v->font();
  f.setBold(true);
  v->setFont(f);
  return v;
}

}  // namespace

CDBurnerPage::CDBurnerPage(QTimer& Timer1, QWidget* parent)
    : QWidget(parent), Timer1_(Timer1), timer1Alive_(&Timer1) {
  setObjectName(QStringLiteral("CDBurnerPage"));
  resize(kPageWidth, 361);
  auto* heading = new QLabel(QStringLiteral("Add wave / mp3 files to burn Audio CD"), this);
  StylePageHeading(heading);
  heading->setGeometry(12, 4, kPageWidth - 24, 22);

  gridCDBurner = new grid::JobGrid(this);
  gridCDBurner->setObjectName(QStringLiteral("gridCDBurner"));
  gridCDBurner->setGeometry(12, 30, kPageWidth - 24, 192);

  cmdCDBurnerAddWave =
      button(this, "cmdCDBurnerAddWave", QStringLiteral("&Add Files"), QRect(12, 228, 90, 26));
  cmdcdburnerDelete = button(this, "cmdcdburnerDelete", QStringLiteral("&Delete"), QRect(108, 228, 78, 26));
  cmdcdburnerClear = button(this, "cmdcdburnerClear", QStringLiteral("C&lear"), QRect(192, 228, 78, 26));
  cmdCDBurnerUp = button(this, "cmdCDBurnerUp", QStringLiteral("&Up"), QRect(276, 228, 66, 26));
  cmdCDBurnerDown = button(this, "cmdCDBurnerDown", QStringLiteral("Do&wn"), QRect(348, 228, 66, 26));

  auto* preview = new QLabel(QStringLiteral("Preview:"), this);
  preview->setGeometry(424, 228, 60, 26);
  cmdPreviewPlay = button(this, "cmdPreviewPlay", QStringLiteral("&Play"), QRect(424, 258, 70, 26));
  cmdPreviewStop = button(this, "cmdPreviewStop", QStringLiteral("S&top"), QRect(500, 258, 70, 26));
  labelwaveplaytimer = new QLabel(this);
  labelwaveplaytimer->setObjectName(QStringLiteral("labelwaveplaytimer"));
  labelwaveplaytimer->setGeometry(480, 228, 90, 26);
  labelwaveplaytimer->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QFont bold = labelwaveplaytimer->font();
  bold.setBold(true);
  labelwaveplaytimer->setFont(bold);

  Labelburnsongs = valueLabel(this, "Labelburnsongs", QStringLiteral("Songs:"), QRect(12, 264, 180, 22), 110);
  Labelburntotaltime =
      valueLabel(this, "Labelburntotaltime", QStringLiteral("Total time:"), QRect(12, 288, 180, 22), 110);
  Labelburntimeleft =
      valueLabel(this, "Labelburntimeleft", QStringLiteral("Left on 74 min:"), QRect(196, 264, 200, 22), 110);
  labelburntimeleft80 = valueLabel(this, "labelburntimeleft80", QStringLiteral("Left on 80 min:"),
                                   QRect(196, 288, 200, 22), 110);

  cmdCDBurnerStart = button(this, "cmdCDBurnerStart", QStringLiteral("&Burn"), QRect(474, 318, 96, 30));

  connect(cmdCDBurnerAddWave, &XPButton::Click, this, &CDBurnerPage::cmdCDBurnerAddWave_Click);
  connect(cmdcdburnerDelete, &XPButton::Click, this, &CDBurnerPage::cmdcdburnerDelete_Click);
  connect(cmdcdburnerClear, &XPButton::Click, this, &CDBurnerPage::cmdcdburnerClear_Click);
  connect(cmdCDBurnerUp, &XPButton::Click, this, &CDBurnerPage::cmdCDBurnerUp_Click);
  connect(cmdCDBurnerDown, &XPButton::Click, this, &CDBurnerPage::cmdCDBurnerDown_Click);
  connect(cmdPreviewPlay, &XPButton::Click, this, &CDBurnerPage::PlayPreview);
  connect(cmdPreviewStop, &XPButton::Click, this, &CDBurnerPage::StopPreview);
  connect(cmdCDBurnerStart, &XPButton::Click, this, &CDBurnerPage::cmdCDBurnerStart_Click);
  connect(gridCDBurner, &grid::JobGrid::SelectionChange, this, &CDBurnerPage::gridCDBurner_SelectionChange);

  SetupBurnGrid();
  ResetBurnTotals();
}

CDBurnerPage::~CDBurnerPage() { ReleasePreviewPlayer(); }

void CDBurnerPage::SetupBurnGrid() {
  grid::JobGrid& g = *gridCDBurner;
  g.Clear(true);
  g.SetFullRowSelect(true);
  g.AddColumn(QStringLiteral("Source File"), kFileWidth, grid::AlignLeft, true);
  g.AddColumn(QStringLiteral("Time"), 60, grid::AlignRight, true);
  g.AddColumn(QStringLiteral("Size"), 60, grid::AlignRight, true);
  g.AddColumn(QStringLiteral("Information"), kInformationWidth, grid::AlignLeft, true);
  g.AddColumn(QStringLiteral("SourcePath"), 200, grid::AlignCenter, false);
  g.AddColumn(QStringLiteral("Type"), 45, grid::AlignLeft, true);
  g.AddColumn(QStringLiteral("Track"), 45, grid::AlignLeft, true);
  labelwaveplaytimer->clear();
}

void CDBurnerPage::ResetBurnTotals() {
  labelwaveplaytimer->clear();
  Labelburnsongs->setText(QStringLiteral("0"));
  Labelburntotaltime->setText(QStringLiteral("00:00"));
  Labelburntimeleft->setText(QStringLiteral("74:00"));
  labelburntimeleft80->setText(QStringLiteral("80:00"));
}

void CDBurnerPage::UpdateBurnTotals() {
  grid::JobGrid& g = *gridCDBurner;
  Labelburnsongs->setText(QString::number(g.Rows()));
  std::int64_t total = 0;
  for (int r = 1; r <= g.Rows(); ++r) {
    total += TimeTextToSeconds(g.CellText(r, colTime));
    g.SetCellText(r, colTrack, twoDigits(r));
  }
  Labelburntotaltime->setText(FormatSeconds(total));
  Labelburntimeleft->setText(FormatSeconds(kDisc74 - total));
  labelburntimeleft80->setText(FormatSeconds(kDisc80 - total));
}

void CDBurnerPage::AddBurnRow(const QString& path) {
  const QString type = GetFileExtension(path);
  QString time, information;
  if (type == QLatin1String("WAV")) {
    {
      waveaudio player;
      player.setFileName(path);
      time = player.LengthInTimeCode();
      player.mmClose();
    }
    modWAV::WavHeader header{};
    modWAV::ReadWavHeader(QFile::encodeName(path).toStdString(), header);
    information = QString::number(header.SampleRate) + QStringLiteral("Hz / ") +
                  QString::number(header.BitsPerSample) + QStringLiteral(" Bit / ") +
                  (header.Channels == 2 ? QStringLiteral("Stereo") : QStringLiteral("Mono"));
  } else if (type == QLatin1String("MP3")) {
    cMP3Info info;
    info.setFileName(path);
    info.ReadMP3Header();
    time = FormatSeconds(rnd(info.TotalTime()));
    // Without a frame header there is no format to tell.
    if (info.ValidHeader())
      information = QString::number(info.Frequency()) + QStringLiteral("Hz / ") +
                    QString::number(info.Bitrate()) + QStringLiteral(" Kbps / ") + info.Mode();
  }
  const QString size = FormatSizeK(QFileInfo(path).size());

  grid::JobGrid& g = *gridCDBurner;
  const int r = g.AddRow(path);
  g.SetCellText(r, colFile, GetFileName(path));
  g.SetCellText(r, colTime, time);
  g.SetCellText(r, colSize, size);
  g.SetCellText(r, colInformation, information);
  g.SetCellText(r, colSourcePath, path);
  g.SetCellText(r, colType, type);
  g.SetCellText(r, colTrack, twoDigits(r));
}

void CDBurnerPage::AddBurnFiles(const QStringList& paths) {
  QElapsedTimer sinceDrawn;
  sinceDrawn.start();
  for (const QString& path : paths) {
    try {
      AddBurnRow(path);
    } catch (const std::exception&) {
      // A file that cannot be read gives no row; the others still go in.
    }
    if (sinceDrawn.elapsed() >= kRepaintMs) {
      UpdateBurnTotals();
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
      sinceDrawn.restart();
    }
  }
  UpdateBurnTotals();
}

void CDBurnerPage::cmdCDBurnerAddWave_Click() {
  StopPreview();
  QStringList picked;
  {
    frmAddMusic picker(window());
    picker.SetFileTypes(QString::fromLatin1(kBurnFilter), QStringLiteral("WAV"));
    picked = picker.PickFiles();
  }
  QThread::msleep(100);
  AddBurnFiles(picked);
}

void CDBurnerPage::cmdcdburnerDelete_Click() {
  grid::JobGrid& g = *gridCDBurner;
  const int s = g.Rows() > 0 ? g.SelectedRow() : 0;
  if (s == 0) {
    MsgBox(QStringLiteral("You must select a wave file to delete!"), vbInformation, title());
    return;
  }
  StopPreview();
  g.RemoveRow(s);
  if (g.Rows() >= s)
    g.SelectRow(s);
  else if (g.Rows() > 0)
    g.SelectRow(1);
  UpdateBurnTotals();
}

void CDBurnerPage::cmdcdburnerClear_Click() {
  grid::JobGrid& g = *gridCDBurner;
  if (g.Rows() == 0) return;
  if (MsgBox(QStringLiteral("Really want to clear all the files in the list?"), vbYesNo | vbInformation,
             title()) != vbYes)
    return;
  StopPreview();
  g.Clear(false);
  UpdateBurnTotals();
}

void CDBurnerPage::SwapBurnRows(int a, int b) {
  grid::JobGrid& g = *gridCDBurner;
  if (a == b) return;
  for (int c = 1; c <= g.Columns(); ++c) {
    const QString first = g.CellText(a, c);
    g.SetCellText(a, c, g.CellText(b, c));
    g.SetCellText(b, c, first);
  }
}

void CDBurnerPage::moveSelected(int step) {
  grid::JobGrid& g = *gridCDBurner;
  const int s = g.Rows() > 0 ? g.SelectedRow() : 0;
  if (s == 0) return;
  StopPreview();
  const int t = std::clamp(s + step, 1, g.Rows());
  SwapBurnRows(s, t);
  g.SelectRow(t);
  UpdateBurnTotals();
}

void CDBurnerPage::cmdCDBurnerUp_Click() { moveSelected(-1); }

void CDBurnerPage::cmdCDBurnerDown_Click() { moveSelected(+1); }

void CDBurnerPage::gridCDBurner_SelectionChange() { StopPreview(); }

QStringList CDBurnerPage::BurnSourcePaths() const {
  QStringList paths;
  for (int r = 1; r <= gridCDBurner->Rows(); ++r) paths << gridCDBurner->CellText(r, colSourcePath);
  return paths;
}

void CDBurnerPage::cmdCDBurnerStart_Click() {
  StopPreview();
  if (gridCDBurner->Rows() == 0) {
    MsgBox(QStringLiteral("Please add wave / mp3 files to burn audio cd!"), vbInformation, title());
    return;
  }
  if (ShowBurnWindow) ShowBurnWindow(*this);
}

void CDBurnerPage::PlayPreview() {
  grid::JobGrid& g = *gridCDBurner;
  const int s = g.Rows() > 0 ? g.SelectedRow() : 0;
  if (s == 0) {
    MsgBox(QStringLiteral("Please select a wave file in the list to play!"), vbInformation, title());
    return;
  }
  if (!PreviewPlayer_) PreviewPlayer_ = std::make_unique<waveaudio>();
  if (PreviewPlayer_->Status() == QLatin1String("playing")) return;
  PreviewPlayer_->setFileName(g.CellText(s, colSourcePath));
  PreviewPlayer_->mmPlay();
  labelwaveplaytimer->setText(FormatSeconds(0));
  Timer1_.start();
}

void CDBurnerPage::StopPreview() {
  if (!PreviewPlayer_) PreviewPlayer_ = std::make_unique<waveaudio>();
  if (PreviewPlayer_->Status() != QLatin1String("playing")) return;
  Timer1_.stop();
  PreviewPlayer_->mmStop();
  PreviewPlayer_->mmClose();
  labelwaveplaytimer->clear();
}

void CDBurnerPage::Timer1_Timer() {
  if (!PreviewPlayer_ || PreviewPlayer_->Status() != QLatin1String("playing")) {
    // The file has ended (or never opened).
    Timer1_.stop();
    if (PreviewPlayer_) {
      PreviewPlayer_->mmStop();
      PreviewPlayer_->mmClose();
    }
    labelwaveplaytimer->clear();
    return;
  }
  labelwaveplaytimer->setText(FormatSeconds(rnd(PreviewPlayer_->Position() / 1000.0)));
}

void CDBurnerPage::ReleasePreviewPlayer() {
  if (timer1Alive_) Timer1_.stop();
  PreviewPlayer_.reset();
}

}  // namespace sv
