#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QtGui/QFont>

#include "svcmdlg/ComponentError.h"
#include "svcmdlg/Enums.h"
#include "svcmdlg/Export.h"
#include "svcmdlg/GCommonDialog.h"
#include "svcmdlg/Memory.h"

class QDialog;
class QWidget;

namespace svcmdlg {

struct FileDialogArgs;

// Handlers run on the user-interface thread while the dialog is open, from inside the
// Show... call. hDlg is the open dialog itself. An exception thrown by a handler closes
// the dialog and leaves the Show... call.
struct SVCMDLG_EXPORT CommonDialogEvents {
  std::function<void(QDialog* hDlg)> InitDialog;    // before the dialog first shows
  std::function<void(QDialog* hDlg)> FileChange;    // the file under the cursor changed
  std::function<void(QDialog* hDlg)> FolderChange;  // the folder shown changed (also once at start)
  std::function<void(bool& bCancel)> ConfirmOK;     // OK accepted; set bCancel to stay open
  std::function<void(QDialog* hDlg)> TypeChange;    // the user chose another filter
  std::function<void()> DialogClose;                // the dialog is closing
  // A button of the dialog's button row was clicked: wParam is IDOK or IDCANCEL (the
  // notification, BN_CLICKED = 0, in the high 16 bits), lParam 0.
  std::function<void(QDialog* hDlg, std::intptr_t& wParam, std::intptr_t& lParam)> WMCommand;
};

// Where a later help window is to appear (SetHelpPosition).
struct SVCMDLG_EXPORT HelpWindowPosition {
  int32_t x = 0, y = 0, dx = 0, dy = 0;
  int32_t WindowType = SW_SHOWNORMAL;
};

// Typical use, a picker with its own panel inside the Open dialog:
//
//   svcmdlg::cCommonDialog cd;
//   cd.setCancelError(true);
//   cd.setInitDir(lastDir);
//   cd.setFilter("MP3 Files (*.MP3)|*.MP3");
//   cd.setFlags(0x81A04);                    // explorer, must exist, multiple, no read-only box
//   cd.setHookDialog(true);
//   cd.setOwner(mainWindow);
//   cd.Events().InitDialog = [&](QDialog* d) {
//       cCommonDialog::AddPanel(d, infoFrame);
//       cCommonDialog::SetControlText(d, svcmdlg::IDOK, "&Add");
//   };
//   cd.Events().FileChange = [&](QDialog* d) { show(cCommonDialog::GetFilePath(d)); };
//   try { cd.ShowOpen(); } catch (const svcmdlg::ComponentError&) { /* cancelled */ }
//   if (cd.flags() & svcmdlg::OFN_ALLOWMULTISELECT) cd.ParseMultiFileName(dir, files, count);
class SVCMDLG_EXPORT cCommonDialog {
 public:
  cCommonDialog();
  ~cCommonDialog();
  cCommonDialog(const cCommonDialog&) = delete;
  cCommonDialog& operator=(const cCommonDialog&) = delete;

  CommonDialogEvents& Events() noexcept { return events_; }

  // File dialog properties.
  bool CancelError() const noexcept { return cancelError_; }
  void setCancelError(bool v) noexcept { cancelError_ = v; }
  const std::string& Filename() const noexcept { return filename_; }
  void setFilename(std::string v) { filename_ = std::move(v); }
  const std::string& FileTitle() const noexcept { return fileTitle_; }
  void setFileTitle(std::string v) { fileTitle_ = std::move(v); }
  const std::string& Filter() const noexcept { return filter_; }
  void setFilter(std::string v) { filter_ = std::move(v); }
  int32_t FilterIndex() const noexcept { return filterIndex_; }
  void setFilterIndex(int32_t v) noexcept { filterIndex_ = v; }
  int32_t flags() const noexcept { return flags_; }
  void setFlags(int32_t v) noexcept { flags_ = v; }
  const std::string& DefaultExt() const noexcept { return defaultExt_; }
  void setDefaultExt(std::string v) { defaultExt_ = std::move(v); }
  const std::string& DialogTitle() const noexcept { return dialogTitle_; }
  void setDialogTitle(std::string v) { dialogTitle_ = std::move(v); }
  const std::string& InitDir() const noexcept { return initDir_; }
  void setInitDir(std::string v) { initDir_ = std::move(v); }
  // Owner window as a window id (QWidget::winId()); 0 or -1 = no owner.
  std::intptr_t hwnd() const noexcept { return hwnd_; }
  void setHwnd(std::intptr_t v) noexcept { hwnd_ = v; }
  void setOwner(QWidget* owner);
  static std::intptr_t HandleOf(QWidget* window);
  bool HookDialog() const noexcept { return hookDialog_; }
  void setHookDialog(bool v) noexcept { hookDialog_ = v; }
  int32_t hInstance() const noexcept { return hInstance_; }
  void setHInstance(int32_t v) noexcept { hInstance_ = v; }
  const std::string& TemplateName() const noexcept { return templateName_; }
  void setTemplateName(std::string v) { templateName_ = std::move(v); }
  int32_t MaxFileSize() const noexcept { return maxFileSize_; }
  void setMaxFileSize(int32_t v) noexcept { maxFileSize_ = v; }

  // Colour, font, print and help properties.
  int32_t Color() const noexcept { return color_; }
  void setColor(int32_t v) noexcept { color_ = v; }
  int32_t CustomColor(int32_t index);
  void setCustomColor(int32_t index, int32_t color);
  int32_t Copies() const noexcept { return copies_; }
  void setCopies(int32_t v) noexcept { copies_ = v; }
  const std::string& FontName() const noexcept { return fontName_; }
  void setFontName(std::string v) { fontName_ = std::move(v); }
  double FontSize() const noexcept { return fontSize_; }
  void setFontSize(double v) noexcept { fontSize_ = v; }
  bool FontBold() const noexcept { return fontBold_; }
  void setFontBold(bool v) noexcept { fontBold_ = v; }
  bool FontItalic() const noexcept { return fontItalic_; }
  void setFontItalic(bool v) noexcept { fontItalic_ = v; }
  bool FontUnderline() const noexcept { return fontUnderline_; }
  void setFontUnderline(bool v) noexcept { fontUnderline_ = v; }
  bool FontStrikethru() const noexcept { return fontStrikethru_; }
  void setFontStrikethru(bool v) noexcept { fontStrikethru_ = v; }
  int32_t FontColor() const noexcept { return fontColor_; }
  void setFontColor(int32_t v) noexcept { fontColor_ = v; }
  // The font object: built from the font properties; setting it sets them.
  QFont Font() const;
  void setFont(const QFont& font);
  int32_t FromPage() const noexcept { return fromPage_; }
  void setFromPage(int32_t v) noexcept { fromPage_ = v; }
  int32_t ToPage() const noexcept { return toPage_; }
  void setToPage(int32_t v) noexcept { toPage_ = v; }
  int32_t Min() const noexcept { return min_; }
  void setMin(int32_t v) noexcept { min_ = v; }
  int32_t Max() const noexcept { return max_; }
  void setMax(int32_t v) noexcept { max_ = v; }
  bool PrinterDefault() const noexcept { return printerDefault_; }
  void setPrinterDefault(bool v) noexcept { printerDefault_ = v; }
  int32_t HelpCommand() const noexcept { return helpCommand_; }
  void setHelpCommand(int32_t v) noexcept { helpCommand_ = v; }
  int32_t HelpContext() const noexcept { return helpContext_; }
  void setHelpContext(int32_t v) noexcept { helpContext_ = v; }
  const std::string& HelpFile() const noexcept { return helpFile_; }
  void setHelpFile(std::string v) { helpFile_ = std::move(v); }
  const std::string& HelpKey() const noexcept { return helpKey_; }
  void setHelpKey(std::string v) { helpKey_ = std::move(v); }

  // The dialogs. Each throws ComponentError as the error step says; a cancel without
  // CancelError returns normally with the outputs emptied.
  void ShowOpen();
  void ShowSave();
  void ShowColor();
  void ShowFont();
  void ShowPrinter();
  void ShowHelp();
  void SetHelpPosition(int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t WindowType = SW_SHOWNORMAL);
  const HelpWindowPosition& HelpPosition() const noexcept { return helpPosition_; }
  // The position record as it went to the help system (a HELPWININFO-shaped block).
  const std::vector<unsigned char>& HelpPositionRecord() const noexcept { return helpPositionRecord_; }

  // Splits Filename after a multiple selection (see the header comment of the source).
  // sFiles[i - 1] is the i-th name; pass iFileCount 0.
  void ParseMultiFileName(std::string& sDir, std::vector<std::string>& sFiles, int32_t& iFileCount) const;

  // Centres the dialog window of hDlg over CentreTo's window area, or over the work area
  // when CentreTo is null.
  void CentreDialog(QWidget* hDlg, const QWidget* CentreTo) const;
  void GetDialogSize(QWidget* hDlg, int32_t& lL, int32_t& lT, int32_t& lW, int32_t& lH) const;

  // Helpers for handlers, acting on the open file dialog hDlg (the common-dialog
  // control messages). All return false/empty when hDlg is not a file dialog.
  static std::string GetFilePath(QDialog* hDlg);  // folder + the file name box text
  static std::string GetFolderPath(QDialog* hDlg);
  static std::string GetSpec(QDialog* hDlg);  // the file name box text
  static bool SetControlText(QDialog* hDlg, int32_t controlId, const std::string& text);
  static bool HideControl(QDialog* hDlg, int32_t controlId);
  // Puts the caller's panel into the dialog below the standard controls, across the
  // dialog's width; the dialog grows to make room. The panel goes back, hidden, to its
  // former parent when the dialog closes, so the caller keeps owning it.
  static bool AddPanel(QDialog* hDlg, QWidget* panel);

  // Library for custom templates: hInstance becomes non-zero while it is loaded.
  bool cdLoadLibrary(const std::string& DllName);
  void cdFreeLibrary();

  // The helper object (created on first use).
  GCommonDialog& Dialogs();

 private:
  void errorStep();
  FileDialogArgs fileDialogArgs();
  void runFileDialog(FileDialogArgs& a, bool save);

  CommonDialogEvents events_;
  std::unique_ptr<GCommonDialog> dialogs_;

  bool cancelError_ = false;
  std::string filename_;
  std::string fileTitle_;
  std::string filter_;
  int32_t filterIndex_ = 1;
  int32_t flags_ = 0;
  std::string defaultExt_;
  std::string dialogTitle_;
  std::string initDir_;
  std::intptr_t hwnd_ = 0;
  bool hookDialog_ = false;
  int32_t hInstance_ = 0;
  std::string templateName_;
  int32_t maxFileSize_ = 0;

  int32_t color_ = 0;
  int32_t copies_ = 1;
  std::string fontName_;
  double fontSize_ = 0;
  bool fontBold_ = false;
  bool fontItalic_ = false;
  bool fontUnderline_ = false;
  bool fontStrikethru_ = false;
  int32_t fontColor_ = 0;
  int32_t fromPage_ = 0;
  int32_t toPage_ = 0;
  int32_t min_ = 0;
  int32_t max_ = 0;
  bool printerDefault_ = false;
  int32_t helpCommand_ = 0;
  int32_t helpContext_ = 0;
  std::string helpFile_;
  std::string helpKey_;
  HelpWindowPosition helpPosition_;
  std::vector<unsigned char> helpPositionRecord_;
  void* library_ = nullptr;
};

}  // namespace svcmdlg
