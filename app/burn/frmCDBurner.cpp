#include "frmCDBurner.h"

#include "jobs/widgets/draw_progress.h"
#include "platform/msgbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>

namespace sv {
namespace {

jobs::JobWindowCaptions burnCaptions() {
  jobs::JobWindowCaptions c;
  c.title = QStringLiteral("Burn Audio CD");
  c.start = QStringLiteral("&Burn Now");
  c.totalBar = QString::fromLatin1(burn::kTotalCaption);
  c.fileBar = QStringLiteral("Track Burn:");
  c.rowLines = false;
  c.captionsAbove = true;
  return c;
}

}  // namespace

frmCDBurner::frmCDBurner(QWidget* owner, std::function<QStringList()> files)
    : JobStatusWindow(owner, burnCaptions()), files_(std::move(files)) {
  setObjectName(QStringLiteral("frmCDBurner"));
  frameSettings = new QGroupBox(QStringLiteral("CD-Writer Settings"), this);
  auto* grid = new QGridLayout(frameSettings);
  grid->setContentsMargins(12, 10, 12, 10);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(8);
  ComboCDWrite = new QComboBox(frameSettings);
  ComboCDWrite->setObjectName(QStringLiteral("ComboCDWrite"));
  ComboCDWrite->setMinimumWidth(300);
  ComboBurnSpeed = new QComboBox(frameSettings);
  ComboBurnSpeed->setObjectName(QStringLiteral("ComboBurnSpeed"));
  ComboBurnSpeed->setMinimumWidth(110);
  CheckTestMode =
      new QCheckBox(QStringLiteral("Test Mode(Data will not be written to the media)"), frameSettings);
  CheckTestMode->setObjectName(QStringLiteral("CheckTestMode"));
  CheckBurnProof = new QCheckBox(QStringLiteral("Use Burn Proof"), frameSettings);
  CheckBurnProof->setObjectName(QStringLiteral("CheckBurnProof"));
  auto* writerLabel = new QLabel(QStringLiteral("CD Writer:"), frameSettings);
  writerLabel->setBuddy(ComboCDWrite);
  auto* speedLabel = new QLabel(QStringLiteral("Burn speed:"), frameSettings);
  speedLabel->setBuddy(ComboBurnSpeed);
  grid->addWidget(writerLabel, 0, 0);
  grid->addWidget(ComboCDWrite, 0, 1, 1, 2);
  grid->addWidget(speedLabel, 1, 0);
  grid->addWidget(ComboBurnSpeed, 1, 1);
  grid->setColumnStretch(2, 1);
  grid->addWidget(CheckTestMode, 2, 0, 1, 3);
  grid->addWidget(CheckBurnProof, 3, 0, 1, 3);
  AddPanel(frameSettings);
  Labeltotalprocess = labelTotalCaption;
  Labeltotalprocess->setObjectName(QStringLiteral("Labeltotalprocess"));

  connect(ComboCDWrite, &QComboBox::currentIndexChanged, this, [this] { ComboCDWrite_Click(); });
  connect(ComboBurnSpeed, &QComboBox::currentIndexChanged, this, [this] { ComboBurnSpeed_Click(); });

  // Load.
  StatusColour({0, 0, 0});
  StatusText({});
  cmdCancel->setCaption(QStringLiteral("&Cancel"));
  TrackBar(0);
  TotalBar(0);
  {
    const QSignalBlocker a(ComboCDWrite), b(ComboBurnSpeed);
    ComboCDWrite->clear();
    ComboBurnSpeed->clear();
  }
  CheckTestMode->setChecked(false);
  job_ = std::make_unique<burn::BurnJob>(static_cast<burn::BurnSink&>(*this));
  job_->StartLog(burn::BurnLogPath());
  FillWriters();
}

frmCDBurner::~frmCDBurner() = default;

void frmCDBurner::FillWriters() {
  const QStringList writers = job_->Writers();
  {
    const QSignalBlocker block(ComboCDWrite);
    ComboCDWrite->clear();
    ComboCDWrite->addItems(writers);
    for (int i = 0; i < writers.size(); ++i) ComboCDWrite->setItemData(i, writers[i], Qt::ToolTipRole);
  }
  if (ComboCDWrite->count() > 0) {
    {
      const QSignalBlocker block(ComboCDWrite);
      ComboCDWrite->setCurrentIndex(0);
    }
    ComboCDWrite_Click();
  } else {
    CheckBurnProof->setEnabled(job_->BurnProofSupported());
    CheckBurnProof->setChecked(false);
  }
}

void frmCDBurner::ComboCDWrite_Click() {
  job_->SelectWriter(ComboCDWrite->currentIndex());
  FillBurnSpeeds();
  // Each writer says for itself whether it protects against buffer underruns.
  CheckBurnProof->setEnabled(job_->BurnProofSupported());
  CheckBurnProof->setChecked(false);
}

void frmCDBurner::FillBurnSpeeds() {
  {
    const QSignalBlocker block(ComboBurnSpeed);
    ComboBurnSpeed->clear();
    for (const burn::Speed& s : job_->Speeds()) ComboBurnSpeed->addItem(s.text, s.speed);
  }
  if (ComboBurnSpeed->count() > 0) {
    {
      const QSignalBlocker block(ComboBurnSpeed);
      ComboBurnSpeed->setCurrentIndex(0);
    }
    ComboBurnSpeed_Click();
  }
}

void frmCDBurner::ComboBurnSpeed_Click() {
  const int i = ComboBurnSpeed->currentIndex();
  if (i < 0) return;
  job_->ChooseSpeed({ComboBurnSpeed->itemText(i), ComboBurnSpeed->itemData(i).toInt()});
}

void frmCDBurner::EnableBurnControls(bool enabled) {
  cmdStart->setEnabled(enabled);
  ComboCDWrite->setEnabled(enabled);
  ComboBurnSpeed->setEnabled(enabled);
}

void frmCDBurner::StartClicked() {
  const QStringList files = files_ ? files_() : QStringList();
  const bool started = job_->BurnNow(files, {CheckTestMode->isChecked(), CheckBurnProof->isChecked()});
  // A write that did not start leaves the window as it was; one that did disables the controls
  // itself when it begins.
  if (!started && !job_->Burning()) cmdStart->setEnabled(true);
}

void frmCDBurner::CancelClicked() {
  if (!job_->Cancel()) Close();
}

void frmCDBurner::StatusText(const QString& text) { SetStatus(text, statusColour_); }

void frmCDBurner::StatusColour(jobs::Rgb colour) {
  statusColour_ = colour;
  SetStatus(labelStatus->text(), colour);
}

void frmCDBurner::TrackBar(int percent) { DrawFileBar(static_cast<float>(percent), jobs::kBarColor); }

void frmCDBurner::TotalBar(int percent) { DrawTotalBar(static_cast<float>(percent), jobs::kBarColor); }

void frmCDBurner::TotalCaption(const QString& text) { Labeltotalprocess->setText(text); }

void frmCDBurner::EnableControls(bool enabled) { EnableBurnControls(enabled); }

void frmCDBurner::Message(const QString& text, burn::Icon icon) {
  MsgBox(text, icon == burn::Icon::Critical ? vbCritical : vbInformation);
}

}  // namespace sv
