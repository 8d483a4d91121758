#include "jobs/widgets/status_window.h"

#include "ResourceFonts.h"
#include "jobs/widgets/draw_progress.h"
#include "jobs/widgets/grid_rows.h"
#include "jobs/widgets/path_label.h"
#include "jobs/widgets/picture_box.h"
#include "platform/events.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include <utility>

#include <exception>

namespace sv::jobs {
namespace {

constexpr int kBarWidth = 330;
constexpr int kBarHeight = 22;
constexpr QSize kButtonSize(124, 30);

QLabel* caption(const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return l;
}

PictureBox* bar(const char* name, QWidget* parent) {
  auto* p = new PictureBox(parent);
  p->setObjectName(QString::fromLatin1(name));
  p->setFixedSize(kBarWidth, kBarHeight);
  return p;
}

CommandButton* button(const char* name, const QString& text, QWidget* parent) {
  auto* b = new CommandButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setCaption(text);
  b->setFixedSize(kButtonSize);
  return b;
}

}  // namespace

JobStatusWindow::JobStatusWindow(QWidget* owner, const JobWindowCaptions& captions) : QDialog(owner) {
  setWindowTitle(captions.title);
  setModal(true);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(16, 14, 16, 14);
  outer->setSpacing(7);
  outer->setSizeConstraint(QLayout::SetFixedSize);
  panels_ = new QVBoxLayout();
  panels_->setContentsMargins(0, 0, 0, 0);
  outer->addLayout(panels_);
  auto* grid = new QGridLayout();
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(7);
  outer->addLayout(grid);

  picTotalProcess = bar("picTotalProcess", this);
  picFileStatus = bar("picFileStatus", this);
  labelTotalCaption = caption(captions.totalBar, this);
  labelFileCaption = caption(captions.fileBar, this);
  int row = 0;
  for (auto [label, picture] :
       {std::pair{labelTotalCaption, picTotalProcess}, {labelFileCaption, picFileStatus}}) {
    if (captions.captionsAbove) {
      // As wide as the window's panels.
      picture->setMinimumWidth(kBarWidth);
      picture->setMaximumWidth(QWIDGETSIZE_MAX);
      grid->addWidget(label, row++, 0, 1, 2);
      grid->addWidget(picture, row++, 0, 1, 2);
    } else {
      grid->addWidget(label, row, 0);
      grid->addWidget(picture, row++, 1);
    }
  }

  labelConvertype = new QLabel(QStringLiteral("convert type"), this);
  labelConvertype->setObjectName(QStringLiteral("labelConvertype"));
  QFont bold = labelConvertype->font();
  bold.setBold(true);
  labelConvertype->setFont(bold);
  labelConvertype->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  labelsource = new PathLabel(this);
  labelsource->setObjectName(QStringLiteral("labelsource"));
  labeloutput = new PathLabel(this);
  labeloutput->setObjectName(QStringLiteral("labeloutput"));
  if (captions.rowLines) {
    grid->addWidget(labelConvertype, row, 0, 1, 2);
    grid->setRowMinimumHeight(row++, 26);
    grid->addWidget(caption(captions.source, this), row, 0);
    grid->addWidget(labelsource, row++, 1);
    grid->addWidget(caption(captions.destination, this), row, 0);
    grid->addWidget(labeloutput, row++, 1);
  } else {
    labelConvertype->hide();
    labelsource->hide();
    labeloutput->hide();
  }

  labelStatus = new QLabel(QStringLiteral("status bar"), this);
  labelStatus->setObjectName(QStringLiteral("labelStatus"));
  labelStatus->setMinimumHeight(22);
  grid->addWidget(labelStatus, row++, 0, 1, 2);

  listFailures = new QListWidget(this);
  listFailures->setObjectName(QStringLiteral("listFailures"));
  listFailures->setFixedHeight(92);
  listFailures->setSelectionMode(QAbstractItemView::NoSelection);
  listFailures->setFocusPolicy(Qt::NoFocus);
  listFailures->hide();
  grid->addWidget(listFailures, row++, 0, 1, 2);

  cmdStart = button("cmdStart", captions.start, this);
  cmdCancel = button("cmdCancel", QStringLiteral("&Cancel"), this);
  auto* buttons = new QHBoxLayout();
  buttons->setSpacing(12);
  buttons->addStretch(1);
  buttons->addWidget(cmdStart);
  buttons->addWidget(cmdCancel);
  grid->addLayout(buttons, row, 0, 1, 2);
  grid->setRowMinimumHeight(row, kButtonSize.height() + 8);
  connect(cmdStart, &CommandButton::Click, this, &JobStatusWindow::cmdStart_Click);
  connect(cmdCancel, &CommandButton::Click, this, &JobStatusWindow::cmdCancel_Click);

  try {
    ApplyResourceFonts(*this);
  } catch (const std::exception&) {
    // A bad font entry leaves the default font; the job does not depend on it.
  }
  bold = labelConvertype->font();
  bold.setBold(true);
  labelConvertype->setFont(bold);
}

JobStatusWindow::~JobStatusWindow() = default;

void JobStatusWindow::AddPanel(QWidget* panel) { panels_->addWidget(panel); }

void JobStatusWindow::cmdStart_Click() {
  cmdStart->setEnabled(false);
  StartClicked();
}

void JobStatusWindow::cmdCancel_Click() { CancelClicked(); }

float JobStatusWindow::FilePercent() const { return picFileStatus->LastPercent(); }
float JobStatusWindow::TotalPercent() const { return picTotalProcess->LastPercent(); }

void JobStatusWindow::ShowRow(const QString& type, const QString& source, const QString& destination) {
  labelConvertype->setText(type);
  labelsource->SetPath(source);
  labeloutput->SetPath(destination);
}

void JobStatusWindow::SetStatus(const QString& text, Rgb colour) {
  QPalette palette = labelStatus->palette();
  palette.setColor(QPalette::WindowText, ToQColor(colour));
  labelStatus->setPalette(palette);
  labelStatus->setText(text);
  labelStatus->setToolTip(text);
}

void JobStatusWindow::DrawFileBar(float percent, Rgb colour) {
  DrawProgress(picFileStatus, percent, colour, true);
}

void JobStatusWindow::DrawTotalBar(float percent, Rgb colour) {
  DrawProgress(picTotalProcess, percent, colour, true);
}

void JobStatusWindow::RowFinished(int, const JobRow& job, const RowResult& result) {
  if (!result.failed()) return;
  const QString name = job.source.isEmpty() ? job.destination : QFileInfo(job.source).fileName();
  auto* item = new QListWidgetItem(name + QStringLiteral(": ") + result.reason, listFailures);
  item->setToolTip(job.source + QStringLiteral("\n") + result.reason);
}

void JobStatusWindow::JobStarted() {
  listFailures->clear();
  listFailures->hide();
  cmdCancel->setCaption(QStringLiteral("C&ancel"));
}

void JobStatusWindow::JobFinished(int failedRows) {
  cmdCancel->setCaption(QStringLiteral("&OK"));
  listFailures->setVisible(failedRows > 0 && listFailures->count() > 0);
}

void JobStatusWindow::Yield(bool now) {
  if (!now && !yield_.Due()) return;
  DoEvents();
  yield_.Ran();
}

void JobStatusWindow::Close() {
  unloading_ = true;
  done(QDialog::Rejected);
}

void JobStatusWindow::reject() {
  if (unloading_)
    QDialog::reject();
  else
    cmdCancel_Click();
}

void JobStatusWindow::closeEvent(QCloseEvent* event) {
  if (unloading_) {
    QDialog::closeEvent(event);
    return;
  }
  // The job still needs the window: only ask it to stop.
  event->ignore();
  cmdCancel_Click();
}

// --- a window over rows ---------------------------------------------------------------------

RowJobWindow::RowJobWindow(QWidget* owner, const JobWindowCaptions& captions)
    : JobStatusWindow(owner, captions) {}

RowJobWindow::~RowJobWindow() = default;

void RowJobWindow::Attach(JobRows& rows, RowMarks* marks, const StepTable& steps,
                          std::function<QString()> outputFolder, JobOptions options) {
  marks_ = marks;
  outputFolder_ = std::move(outputFolder);
  runner_ = std::make_unique<JobRunner>(rows, steps, *this, questions_, std::move(options));
  runner_->Load();
}

void RowJobWindow::StartClicked() { runner_->Start(outputFolder_ ? outputFolder_() : QString()); }

void RowJobWindow::CancelClicked() { runner_->Cancel(); }

void RowJobWindow::RowFinished(int row, const JobRow& job, const RowResult& result) {
  JobStatusWindow::RowFinished(row, job, result);
  if (marks_) marks_->MarkRow(row, result);
}

void RowJobWindow::JobStarted() {
  JobStatusWindow::JobStarted();
  if (marks_) marks_->ClearMarks();
}

}  // namespace sv::jobs
