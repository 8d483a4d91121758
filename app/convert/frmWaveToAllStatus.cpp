#include "frmWaveToAllStatus.h"

#include "PictureBox.h"
#include "Progress.h"
#include "ResourceFonts.h"
#include "grid/job_grid.h"
#include "platform/events.h"
#include "shell/core/globals.h"

#include <QCloseEvent>
#include <QColor>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace sv {

namespace {

QColor fromColorValue(uint32_t value) {
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}
QRgb toRgb(uint32_t value) { return qRgb(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF); }

}  // namespace

frmWaveToAllStatus::frmWaveToAllStatus(grid::JobGrid& list, std::function<WaveToAllOptions()> options,
                                       std::function<bool()> overwrite, QWidget* owner, Mp3EncoderCalls mp3,
                                       OutsideEncoderCalls outside)
    : QDialog(owner), list_(list), options_(std::move(options)), overwrite_(std::move(overwrite)) {
  setWindowTitle(QStringLiteral("File Converting Status..."));
  setModal(true);
  auto* layout = new QGridLayout(this);
  auto addCaption = [&](const char* text, int row) {
    layout->addWidget(new QLabel(QString::fromLatin1(text), this), row, 0);
  };
  labelConvertype = new QLabel(QStringLiteral("convert type"), this);
  layout->addWidget(labelConvertype, 0, 0, 1, 2);
  addCaption("Total Process:", 1);
  picTotalProcess = new PictureBox(this);
  picTotalProcess->setFixedSize(300, 18);
  layout->addWidget(picTotalProcess, 1, 1);
  addCaption("File Converting:", 2);
  picFileStatus = new PictureBox(this);
  picFileStatus->setFixedSize(300, 18);
  layout->addWidget(picFileStatus, 2, 1);
  addCaption("Source File:", 3);
  labelsource = new QLabel(this);
  layout->addWidget(labelsource, 3, 1);
  addCaption("Destination File:", 4);
  labeloutput = new QLabel(this);
  layout->addWidget(labeloutput, 4, 1);
  labelStatus = new QLabel(QStringLiteral("status bar"), this);
  layout->addWidget(labelStatus, 5, 0, 1, 2);
  cmdStart = new QPushButton(QStringLiteral("&Convert Now"), this);
  cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  cmdStart->setAutoDefault(false);
  cmdCancel->setAutoDefault(false);
  layout->addWidget(cmdStart, 6, 0);
  layout->addWidget(cmdCancel, 6, 1, Qt::AlignRight);
  connect(cmdStart, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });

  try {
    ApplyResourceFonts(*this);
  } catch (const RuntimeError&) {
    // A bad font entry leaves the default font; the job does not depend on it.
  }

  job_ =
      std::make_unique<WaveToAllJob>(static_cast<WaveToAllView&>(*this), std::move(mp3), std::move(outside));
  job_->Load();
}

frmWaveToAllStatus::~frmWaveToAllStatus() = default;

void frmWaveToAllStatus::cmdStart_Click() {
  QDir().mkpath(WaveToAllOutputDir);  // with its missing parents; an existing folder is fine
  cmdStart->setEnabled(false);
  job_->ConvertAllFiles();
}

float frmWaveToAllStatus::FilePercent() const { return picFileStatus->LastPercent(); }
float frmWaveToAllStatus::TotalPercent() const { return picTotalProcess->LastPercent(); }

void frmWaveToAllStatus::cmdCancel_Click() { job_->CancelClicked(); }

// Escape or the window's close box while a job runs act as the cancel button; the job
// itself closes the window once it has stopped.
void frmWaveToAllStatus::reject() {
  if (job_ && job_->Converting())
    job_->CancelClicked();
  else
    QDialog::reject();
}

void frmWaveToAllStatus::closeEvent(QCloseEvent* event) {
  if (job_ && job_->Converting()) {
    event->ignore();
    job_->CancelClicked();
    return;
  }
  QDialog::closeEvent(event);
}

int frmWaveToAllStatus::RowCount() { return list_.Rows(); }
QString frmWaveToAllStatus::Cell(int row, int column) { return list_.CellText(row, column); }
bool frmWaveToAllStatus::OverwriteTicked() { return overwrite_ ? overwrite_() : true; }
WaveToAllOptions frmWaveToAllStatus::Options() { return options_ ? options_() : WaveToAllOptions{}; }

void frmWaveToAllStatus::ShowRow(const QString& type, const QString& source, const QString& destination) {
  labelConvertype->setText(type);
  labelsource->setText(source);
  labeloutput->setText(destination);
}

void frmWaveToAllStatus::SetStatus(const QString& text, uint32_t color) {
  QPalette palette = labelStatus->palette();
  palette.setColor(QPalette::WindowText, fromColorValue(color));
  labelStatus->setPalette(palette);
  labelStatus->setText(text);
}

void frmWaveToAllStatus::DrawFileBar(float percent, uint32_t color) {
  DrawProgress(picFileStatus, percent, toRgb(color), true);
}

void frmWaveToAllStatus::DrawTotalBar(float percent, uint32_t color) {
  DrawProgress(picTotalProcess, percent, toRgb(color), true);
}

void frmWaveToAllStatus::SetCancelCaption(const QString& caption) { cmdCancel->setText(caption); }
void frmWaveToAllStatus::CloseWindow() { QDialog::done(QDialog::Rejected); }
void frmWaveToAllStatus::Yield() { DoEvents(); }

}  // namespace sv
