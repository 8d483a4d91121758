#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "svcmdlg/Enums.h"
#include "svcmdlg/Export.h"

class QDialog;
class QPrinter;
class QWidget;

namespace svcmdlg {

class cCommonDialog;

// Arguments of the Open and Save dialogs; every field is in/out as in the dialog calls.
struct SVCMDLG_EXPORT FileDialogArgs {
  std::string Filename;
  std::string FileTitle;
  bool FileMustExist = false;
  bool MultiSelect = false;
  bool ReadOnly = false;
  bool HideReadOnly = false;
  bool OverWritePrompt = false;  // Save only
  std::string Filter = "All (*.*)| *.*";
  int32_t FilterIndex = 1;
  std::string InitDir;
  std::string DlgTitle;
  std::string DefaultExt;
  std::intptr_t Owner = 0;  // window id, 0 or -1 = none
  int32_t flags = 0;
  bool Hook = false;
  int32_t hInstance = 0;
  std::string TemplateName;
};

struct SVCMDLG_EXPORT FontDialogArgs {
  std::string FontName;
  double FontSize = 0;  // points; 0 = the dialog's default
  bool FontBold = false;
  bool FontItalic = false;
  bool FontUnderline = false;
  bool FontStrikethru = false;
  int32_t FontColor = 0;  // 0x00BBGGRR, passed through
  int32_t MinSize = 0;    // used with CF_LIMITSIZE
  int32_t MaxSize = 0;
  int32_t flags = 0;
  std::intptr_t Owner = 0;
  bool Hook = false;
  int32_t FontType = 0;  // out: EFontType bits
};

struct SVCMDLG_EXPORT PrintDialogArgs {
  std::intptr_t Owner = 0;
  int32_t flags = 0;
  int32_t PrintRange = eprAll;
  bool DisablePageNumbers = false;
  int32_t FromPage = 1;
  int32_t ToPage = 1;
  int32_t Min = 1;
  int32_t Max = 1;
  bool DisableSelection = false;
  int32_t Copies = 1;
  bool ShowPrintToFile = true;
  bool DisablePrintToFile = false;
  bool PrintToFile = false;
  bool Collate = false;
  bool PreventWarning = false;
  bool Hook = false;
  std::string PrinterName;  // out
};

// Margins in the unit chosen by Units (thousandths of an inch or hundredths of a millimetre).
struct SVCMDLG_EXPORT PageSetupArgs {
  std::intptr_t Owner = 0;
  int32_t flags = 0;
  int32_t Units = epsuHundredthsOfMillimeters;
  int32_t LeftMargin = 0, TopMargin = 0, RightMargin = 0, BottomMargin = 0;
  int32_t MinLeftMargin = 0, MinTopMargin = 0, MinRightMargin = 0, MinBottomMargin = 0;
  int32_t PaperSize = DMPAPER_A4;
  int32_t Orientation = DMORIENT_PORTRAIT;
  int32_t PrintQuality = DMRES_MEDIUM;
  bool Hook = false;
};

// Shows the dialogs and turns what happens in them into the events of the event sink.
// One dialog at a time per object; the event sink is held only while a dialog is open.
class SVCMDLG_EXPORT GCommonDialog {
 public:
  GCommonDialog();
  ~GCommonDialog();
  GCommonDialog(const GCommonDialog&) = delete;
  GCommonDialog& operator=(const GCommonDialog&) = delete;

  // Dispatches one dialog message to the sink's events. For WM_NOTIFY, lParam carries
  // the notification code. Returns 1 when a ConfirmOK handler keeps the dialog open.
  int32_t DialogHook(QDialog* hDlg, int32_t msg, std::intptr_t wParam, std::intptr_t lParam);

  int32_t APIReturn() const noexcept { return apiReturn_; }
  int32_t ExtendedError() const noexcept { return extendedError_; }

  bool VBGetOpenFileName2(FileDialogArgs& args, cCommonDialog* EventSink);
  bool VBGetOpenFileName(FileDialogArgs& args, cCommonDialog* EventSink);
  bool VBGetSaveFileName2(FileDialogArgs& args, cCommonDialog* EventSink);
  bool VBGetSaveFileName(FileDialogArgs& args, cCommonDialog* EventSink);

  bool VBChooseColor(int32_t& Color, bool AnyColor, bool FullOpen, bool DisableFullOpen, std::intptr_t Owner,
                     int32_t& flags, bool Hook, cCommonDialog* EventSink);
  bool VBChooseFont(FontDialogArgs& args, cCommonDialog* EventSink);
  bool VBPrintDlg(PrintDialogArgs& args, cCommonDialog* EventSink);
  bool VBPageSetupDlg2(PageSetupArgs& args, cCommonDialog* EventSink);
  bool VBPageSetupDlg(PageSetupArgs& args, cCommonDialog* EventSink);
  static std::string VBGetFileTitle(const std::string& path);

  // Custom colours 0..15 as 0x00BBGGRR; -1 outside that range, writes there are ignored.
  int32_t CustomColor(int32_t index);
  void SetCustomColor(int32_t index, int32_t color);

  // The printer the print and page-setup dialogs work on; it keeps the user's choices.
  QPrinter& Printer();

  // A system colour (0x800000nn) becomes its RGB value; other values pass unchanged.
  static int32_t TranslateColor(int32_t color);

 private:
  template <class Dialog>
  int execHooked(Dialog& dialog, bool hook, cCommonDialog* sink);
  bool fileDialog(FileDialogArgs& args, cCommonDialog* sink, bool save);
  void fail(int32_t extendedError);
  bool beginDialog(std::intptr_t ownerId, QWidget*& owner);

  int32_t apiReturn_ = 0;
  int32_t extendedError_ = 0;
  cCommonDialog* sink_ = nullptr;
  bool open_ = false;
  bool customColorsSet_ = false;
  std::array<int32_t, 16> customColors_{};
  std::exception_ptr handlerError_;
  std::unique_ptr<QPrinter> printer_;
};

}  // namespace svcmdlg
