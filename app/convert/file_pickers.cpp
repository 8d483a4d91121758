#include "file_pickers.h"

#include "conversion_rows.h"
#include "platform/library_loader.h"
#include "shell/core/globals.h"
#include "shell/core/helpers.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>

#include <filesystem>

namespace sv {

FilePicker::FilePicker(QWidget* owner, const QString& caption, const QString& filter,
                       const QString& defaultExt)
    : caption_(caption), filter_(filter), defaultExt_(defaultExt) {
  setWindowTitle(caption);
  OwnerForm = owner;
  DesFolderPath = QString::fromStdString(ProgramDirectory().string());
  cD = std::make_unique<svcmdlg::cCommonDialog>();
}

QStringList FilePicker::PickFiles() {
  svcmdlg::cCommonDialog& d = *cD;
  d.setCancelError(true);
  d.setInitDir(LastBrowseDir.toStdString());
  d.setFlags(kPickerFlags);
  d.setFilter(filter_.toStdString());
  d.setDefaultExt(defaultExt_.toStdString());
  d.setDialogTitle(caption_.toStdString());
  d.setFilterIndex(1);
  d.setHookDialog(true);
  d.setOwner(OwnerForm);
  d.Events().InitDialog = [this](QDialog* hDlg) { InitDialog(hDlg); };
  d.Events().FileChange = [this](QDialog* hDlg) { FileChange(hDlg); };
  try {
    d.ShowOpen();
  } catch (const svcmdlg::ComponentError&) {
    return {};  // cancelled
  }

  QStringList picked;
  if (d.flags() & svcmdlg::OFN_ALLOWMULTISELECT) {
    std::string folder;
    std::vector<std::string> names;
    std::int32_t count = 0;
    d.ParseMultiFileName(folder, names, count);
    LastBrowseDir = QString::fromStdString(folder);
    if (count <= 1) {
      // The dialog's buffer may carry zeros after the one name.
      const std::string& name = d.Filename();
      const QString path = QString::fromStdString(name.substr(0, name.find('\0')));
      picked << path;
      LastBrowseDir = GetParentFolder(path);
    } else {
      for (const std::string& name : names)
        picked << AddBackslash(QString::fromStdString(folder)) + QString::fromStdString(name);
    }
  } else if (!d.Filename().empty()) {
    picked << QString::fromStdString(d.Filename().substr(0, d.Filename().find('\0')));
    LastBrowseDir = GetParentFolder(picked.front());
  }
  return picked;
}

void FilePicker::InitDialog(QDialog* hDlg) {
  svcmdlg::cCommonDialog::AddPanel(hDlg, Panel());
  svcmdlg::cCommonDialog::SetControlText(hDlg, svcmdlg::IDOK, "&Add");
  svcmdlg::cCommonDialog::SetControlText(hDlg, svcmdlg::stc4, "Add &from:");
}

frmAddMusic::frmAddMusic(QWidget* owner)
    : FilePicker(owner, QStringLiteral("Add Music File"), QString::fromLatin1(kMusicFilter),
                 QStringLiteral("MP3")) {
  setObjectName(QStringLiteral("frmAddMusic"));
  fraInfo = new QGroupBox(QStringLiteral("Music File Information"), this);
  fraInfo->setObjectName(QStringLiteral("fraInfo"));
  labelInfo = new QLabel(fraInfo);
  labelInfo->setObjectName(QStringLiteral("labelInfo"));
  auto* layout = new QHBoxLayout(fraInfo);
  layout->addWidget(labelInfo);
  fraInfo->hide();
}

QWidget* frmAddMusic::Panel() { return fraInfo; }

void frmAddMusic::FileChange(QDialog* hDlg) {
  ShowFileInformation(FirstPickedPath(svcmdlg::cCommonDialog::GetFilePath(hDlg)));
}

void frmAddMusic::ShowFileInformation(const QString& path) {
  if (!path.contains(QLatin1Char('.'))) {
    fraInfo->setTitle(QStringLiteral("Music File Information"));
    return;
  }
  const QString ext = GetFileExtension(path);
  if (ext == QLatin1String("WAV") || ext == QLatin1String("MP3") || ext == QLatin1String("OGG") ||
      ext == QLatin1String("VQF") || ext == QLatin1String("WMA")) {
    const QFileInfo info(path);
    std::error_code ec;
    const auto when = std::filesystem::last_write_time(QFile::encodeName(path).toStdString(), ec);
    labelInfo->setText(GetFileName(path) + QStringLiteral("    ") + FormatSizeK(info.size()) +
                       QStringLiteral("    ") + (ec ? QString() : FormatFileDate(when)));
  } else {
    labelInfo->clear();
  }
}

frmAddWave::frmAddWave(QWidget* owner)
    : FilePicker(owner, QStringLiteral("Add Wave File"), QString::fromLatin1(kWaveFilter),
                 QStringLiteral("WAV")) {
  setObjectName(QStringLiteral("frmAddWave"));
  fraFormat = new QGroupBox(QStringLiteral("Convert Wave To"), this);
  fraFormat->setObjectName(QStringLiteral("fraFormat"));
  auto* layout = new QHBoxLayout(fraFormat);
  const char* names[] = {"MP3", "WMA", "VQF", "OGG"};
  for (int i = 0; i < 4; ++i) {
    auto* option = new QRadioButton(QString::fromLatin1(names[i]), fraFormat);
    option->setObjectName(QStringLiteral("optFormat_%1").arg(i));
    connect(option, &QRadioButton::clicked, this, [this, i] { optFormat_Click(i); });
    layout->addWidget(option);
    optFormat[static_cast<std::size_t>(i)] = option;
  }
  optFormat[0]->setChecked(true);
  fraFormat->hide();
}

QWidget* frmAddWave::Panel() { return fraFormat; }

void frmAddWave::optFormat_Click(int index) {
  static const char* const names[] = {"MP3", "WMA", "VQF", "OGG"};
  if (index >= 0 && index < 4) ConvertFormat = QString::fromLatin1(names[index]);
}

}  // namespace sv
