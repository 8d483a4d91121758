// The two file pickers of the conversion pages: an open dialog of the common-dialog
// library with a panel of their own inside it.
#pragma once

#include "svcmdlg/CommonDialog.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>

class QGroupBox;
class QLabel;
class QRadioButton;

namespace sv {

// What both pickers share: the dialog set up as the pages need it, and what came back.
class FilePicker : public QWidget {
  Q_OBJECT

 public:
  QWidget* OwnerForm = nullptr;
  QString DesFolderPath;
  std::unique_ptr<svcmdlg::cCommonDialog> cD;

  // Shows the dialog in LastBrowseDir and gives the chosen files (none when cancelled);
  // LastBrowseDir follows the choice.
  QStringList PickFiles();
  // Another page's kinds of file: its own filter and default extension in the same picker.
  void SetFileTypes(const QString& filter, const QString& defaultExt) {
    filter_ = filter;
    defaultExt_ = defaultExt;
  }

 protected:
  FilePicker(QWidget* owner, const QString& caption, const QString& filter, const QString& defaultExt);
  // The panel the dialog gets below its own controls.
  virtual QWidget* Panel() = 0;
  virtual void FileChange(QDialog*) {}

 private:
  void InitDialog(QDialog* hDlg);
  QString caption_, filter_, defaultExt_;
};

class frmAddMusic : public FilePicker {
  Q_OBJECT

 public:
  explicit frmAddMusic(QWidget* owner);
  QGroupBox* fraInfo = nullptr;
  QLabel* labelInfo = nullptr;

  // The information line for a file path, as FileChange shows it.
  void ShowFileInformation(const QString& path);

 protected:
  QWidget* Panel() override;
  void FileChange(QDialog* hDlg) override;
};

class frmAddWave : public FilePicker {
  Q_OBJECT

 public:
  explicit frmAddWave(QWidget* owner);
  QGroupBox* fraFormat = nullptr;
  std::array<QRadioButton*, 4> optFormat{};
  QString ConvertFormat = QStringLiteral("MP3");

  void optFormat_Click(int index);

 protected:
  QWidget* Panel() override;
};

// The music picker's filter.
inline constexpr const char* kMusicFilter =
    "Music Files(*.MP3;*.VQF;*.OGG;*.WMA)|*.MP3;*.VQF;*.OGG;*.WMA|MP3 Files (*.MP3)|*.MP3|"
    "TwinVQ File(*.VQF)|*.VQF|Vorbis OGG(*.OGG)|*.OGG|Windows Media Audio(*.WMA)|*.WMA";
inline constexpr const char* kWaveFilter = "Wave Files (*.WAV)|*.WAV";
// Explorer style, file and path must exist, several files, no read-only box.
inline constexpr std::int32_t kPickerFlags = 530948;

}  // namespace sv
