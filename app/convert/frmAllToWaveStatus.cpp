#include "frmAllToWaveStatus.h"

#include "PictureBox.h"
#include "ResourceFonts.h"
#include "grid/job_grid.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>

#include <exception>

namespace sv {
namespace {

QLabel* label(QWidget* parent, const QString& text, QRect where, const char* name = nullptr) {
  auto* l = new QLabel(text, parent);
  l->setGeometry(where);
  if (name) l->setObjectName(QString::fromLatin1(name));
  return l;
}

PictureBox* bar(QWidget* parent, QRect where, const char* name) {
  auto* p = new PictureBox(parent);
  p->setObjectName(QString::fromLatin1(name));
  p->setGeometry(where);
  return p;
}

}  // namespace

frmAllToWaveStatus::frmAllToWaveStatus(QWidget* owner, grid::JobGrid* gridAlltoWave,
                                       QCheckBox* checkAllToWaveOverwrite)
    : QDialog(owner), grid_(gridAlltoWave), overwrite_(checkAllToWaveOverwrite) {
  setObjectName(QStringLiteral("frmAllToWaveStatus"));
  setWindowTitle(QStringLiteral("Convert music file to wave"));
  setFixedSize(430, 222);

  label(this, QStringLiteral("Total Process:"), QRect(12, 14, 100, 18));
  picTotalProcess = bar(this, QRect(116, 11, 302, 22), "picTotalProcess");
  label(this, QStringLiteral("File Converting:"), QRect(12, 42, 100, 18));
  picFileStatus = bar(this, QRect(116, 39, 302, 22), "picFileStatus");
  labelConvertype = label(this, QStringLiteral("convert type"), QRect(12, 72, 404, 18), "labelConvertype");
  label(this, QStringLiteral("Source File:"), QRect(12, 96, 100, 18));
  labelsource = label(this, QString(), QRect(116, 96, 300, 18), "labelsource");
  label(this, QStringLiteral("Destination File:"), QRect(12, 120, 100, 18));
  labeloutput = label(this, QString(), QRect(116, 120, 300, 18), "labeloutput");
  labelStatus = label(this, QStringLiteral("status bar"), QRect(12, 148, 404, 18), "labelStatus");

  cmdStart = new CommandButton(this);
  cmdStart->setObjectName(QStringLiteral("cmdStart"));
  cmdStart->setCaption(QStringLiteral("&Convert Now"));
  cmdStart->setGeometry(116, 180, 120, 28);
  cmdCancel = new CommandButton(this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  cmdCancel->setCaption(QStringLiteral("&Cancel"));
  cmdCancel->setGeometry(250, 180, 120, 28);
  connect(cmdStart, &CommandButton::Click, this, &frmAllToWaveStatus::cmdStart_Click);
  connect(cmdCancel, &CommandButton::Click, this, &frmAllToWaveStatus::cmdCancel_Click);

  try {
    ApplyResourceFonts(*this);
  } catch (const std::exception&) {
  }
  job_ = std::make_unique<AllToWaveJob>(static_cast<AllToWaveView&>(*this));
  job_->Load();
}

frmAllToWaveStatus::~frmAllToWaveStatus() = default;

void frmAllToWaveStatus::cmdStart_Click() {
  cmdStart->setEnabled(false);
  job_->Start();
}

void frmAllToWaveStatus::cmdCancel_Click() { job_->Cancel(); }

void frmAllToWaveStatus::reject() {
  if (unloading_)
    QDialog::reject();
  else
    cmdCancel_Click();
}

void frmAllToWaveStatus::closeEvent(QCloseEvent* event) {
  if (unloading_) {
    QDialog::closeEvent(event);
    return;
  }
  // The job loop still needs the window: only ask it to stop.
  event->ignore();
  cmdCancel_Click();
}

int frmAllToWaveStatus::RowCount() const { return grid_ ? grid_->Rows() : 0; }

QString frmAllToWaveStatus::Cell(int row, int column) const {
  return grid_ ? grid_->CellText(row, column) : QString();
}

bool frmAllToWaveStatus::OverwriteTicked() const { return overwrite_ && overwrite_->isChecked(); }

void frmAllToWaveStatus::ShowConvertType(const QString& text) { labelConvertype->setText(text); }
void frmAllToWaveStatus::ShowSource(const QString& text) { labelsource->setText(text); }
void frmAllToWaveStatus::ShowOutput(const QString& text) { labeloutput->setText(text); }
void frmAllToWaveStatus::SetStatus(const QString& text) { labelStatus->setText(text); }

void frmAllToWaveStatus::SetStatusColor(QRgb color) {
  QPalette palette = labelStatus->palette();
  palette.setColor(QPalette::WindowText, QColor::fromRgb(color));
  labelStatus->setPalette(palette);
}

void frmAllToWaveStatus::SetCancelCaption(const QString& caption) { cmdCancel->setCaption(caption); }

void frmAllToWaveStatus::Unload() {
  unloading_ = true;
  done(QDialog::Rejected);
}

}  // namespace sv
