#include "svcmdlg/GCommonDialog.h"

#include <cmath>
#include <functional>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPalette>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <QtPrintSupport/QPageSetupDialog>
#include <QtPrintSupport/QPrintDialog>
#include <QtPrintSupport/QPrinter>
#include <QtPrintSupport/QPrinterInfo>

#include "Internal.h"
#include "svcmdlg/CommonDialog.h"

namespace svcmdlg {

using detail::fromQ;
using detail::toQ;

namespace detail {

std::string convertFilter(const std::string& filter) {
  std::string out = filter;
  for (char& c : out)
    if (c == '|' || c == ':') c = '\0';
  out.append(2, '\0');
  return out;
}

std::vector<FilterEntry> parseConvertedFilter(const std::string& converted) {
  std::vector<FilterEntry> entries;
  std::size_t pos = 0;
  auto next = [&](std::string& piece) {
    const std::size_t end = converted.find('\0', pos);
    if (end == std::string::npos) {
      piece = converted.substr(pos);
      pos = converted.size();
    } else {
      piece = converted.substr(pos, end - pos);
      pos = end + 1;
    }
  };
  while (pos < converted.size()) {
    FilterEntry e;
    next(e.description);
    if (e.description.empty()) break;
    next(e.pattern);
    entries.push_back(std::move(e));
  }
  return entries;
}

QString qtNameFilter(const FilterEntry& entry) {
  QStringList patterns;
  for (const QString& p : toQ(entry.pattern).split(u';', Qt::SkipEmptyParts)) {
    const QString t = p.trimmed();
    if (t.isEmpty()) continue;
    // "*.*" matches every name, with or without a dot.
    patterns << (t == QLatin1String("*.*") ? QStringLiteral("*") : t);
  }
  if (patterns.isEmpty()) patterns << QStringLiteral("*");
  return toQ(entry.description) + QStringLiteral(" (") + patterns.join(u' ') + u')';
}

QWidget* ownerWindow(std::intptr_t hwnd, bool& ok) {
  ok = true;
  if (hwnd == 0 || hwnd == -1) return nullptr;
  QWidget* w = QWidget::find(static_cast<WId>(hwnd));
  if (!w) {
    ok = false;
    return nullptr;
  }
  return w->window();
}

bool dialogsAvailable() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  return app && QThread::currentThread() == app->thread();
}

}  // namespace detail

namespace {

constexpr std::size_t kSingleBuffer = 260;
constexpr std::size_t kMultiBuffer = 8192;

int32_t toColorRef(const QColor& c) {
  return static_cast<int32_t>(c.red() | (c.green() << 8) | (c.blue() << 16));
}

QColor fromColorRef(int32_t v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }

// The system colours by index, taken from the application palette.
QColor systemColor(int index) {
  const QPalette pal = QApplication::palette();
  switch (index) {
    case 0:
      return pal.color(QPalette::Mid);  // scroll bar
    case 1:
      return pal.color(QPalette::Dark);  // desktop
    case 2:
      return pal.color(QPalette::Active, QPalette::Highlight);  // active caption
    case 3:
      return pal.color(QPalette::Inactive, QPalette::Highlight);  // inactive caption
    case 4:
      return pal.color(QPalette::Button);  // menu
    case 5:
      return pal.color(QPalette::Base);  // window
    case 6:
      return pal.color(QPalette::Shadow);  // window frame
    case 7:
      return pal.color(QPalette::ButtonText);  // menu text
    case 8:
      return pal.color(QPalette::Text);  // window text
    case 9:
      return pal.color(QPalette::Active, QPalette::HighlightedText);  // caption text
    case 10:
    case 11:
      return pal.color(QPalette::Button);  // borders
    case 12:
      return pal.color(QPalette::Dark);  // application workspace
    case 13:
      return pal.color(QPalette::Highlight);
    case 14:
      return pal.color(QPalette::HighlightedText);
    case 15:
      return pal.color(QPalette::Button);  // button face
    case 16:
      return pal.color(QPalette::Mid);  // button shadow
    case 17:
      return pal.color(QPalette::Disabled, QPalette::Text);  // grey text
    case 18:
      return pal.color(QPalette::ButtonText);
    case 19:
      return pal.color(QPalette::Inactive, QPalette::HighlightedText);
    case 20:
      return pal.color(QPalette::Light);  // button highlight
    case 21:
      return pal.color(QPalette::Shadow);  // 3-D dark shadow
    case 22:
      return pal.color(QPalette::Midlight);  // 3-D light
    case 23:
      return pal.color(QPalette::ToolTipText);
    case 24:
      return pal.color(QPalette::ToolTipBase);
    case 26:
      return pal.color(QPalette::Link);  // hot light
    case 27:
    case 28:
    case 29:
      return pal.color(QPalette::Highlight);
    case 30:
      return pal.color(QPalette::Window);  // menu bar
    default:
      return pal.color(QPalette::Window);
  }
}

// Keeps the event sink for the time one dialog is open, whatever way the call ends.
class HookSession {
 public:
  HookSession(cCommonDialog*& slot, bool& open, cCommonDialog* sink) : slot_(slot), open_(open) {
    slot_ = sink;
    open_ = true;
  }
  ~HookSession() {
    slot_ = nullptr;
    open_ = false;
  }
  HookSession(const HookSession&) = delete;
  HookSession& operator=(const HookSession&) = delete;

 private:
  cCommonDialog*& slot_;
  bool& open_;
};

// The Qt file dialog with the last word on OK: the hook may keep it open.
class HookedFileDialog final : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;
  std::function<bool()> confirm;

  void done(int result) override {
    if (result == QDialog::Accepted && confirm && !confirm()) return;
    QFileDialog::done(result);
  }
};

// The font dialog refuses sizes outside the allowed range, as the limit flag asks.
class LimitedFontDialog final : public QFontDialog {
 public:
  using QFontDialog::QFontDialog;
  int minSize = 0;
  int maxSize = 0;
  std::function<bool()> confirm;

  void done(int result) override {
    if (result == QDialog::Accepted && maxSize > 0) {
      const double size = currentFont().pointSizeF();
      if (size < minSize || size > maxSize) {
        QMessageBox::warning(this, windowTitle(),
                             tr("Size must be between %1 and %2 points.").arg(minSize).arg(maxSize));
        return;
      }
    }
    if (result == QDialog::Accepted && confirm && !confirm()) return;
    QFontDialog::done(result);
  }
};

std::string joinDir(const QString& dir) { return fromQ(QDir::toNativeSeparators(dir)); }

QPageSize::PageSizeId pageSizeOf(int32_t paper) {
  switch (paper) {
    case DMPAPER_LETTER:
    case DMPAPER_LETTERSMALL:
      return QPageSize::Letter;
    case DMPAPER_TABLOID:
      return QPageSize::Tabloid;
    case DMPAPER_LEDGER:
      return QPageSize::Ledger;
    case DMPAPER_LEGAL:
      return QPageSize::Legal;
    case DMPAPER_STATEMENT:
      return QPageSize::Statement;
    case DMPAPER_EXECUTIVE:
      return QPageSize::Executive;
    case DMPAPER_A3:
      return QPageSize::A3;
    case DMPAPER_A4:
    case DMPAPER_A4SMALL:
      return QPageSize::A4;
    case DMPAPER_A5:
      return QPageSize::A5;
    case DMPAPER_B4:
      return QPageSize::JisB4;
    case DMPAPER_B5:
      return QPageSize::JisB5;
    case DMPAPER_FOLIO:
      return QPageSize::Folio;
    case DMPAPER_QUARTO:
      return QPageSize::Quarto;
    case DMPAPER_10X14:
      return QPageSize::Imperial10x14;
    case DMPAPER_11X17:
      return QPageSize::Tabloid;
    case DMPAPER_NOTE:
      return QPageSize::Note;
    case DMPAPER_ENV_9:
      return QPageSize::Envelope9;
    case DMPAPER_ENV_10:
      return QPageSize::Envelope10;
    case DMPAPER_ENV_11:
      return QPageSize::Envelope11;
    case DMPAPER_ENV_12:
      return QPageSize::Envelope12;
    case DMPAPER_ENV_14:
      return QPageSize::Envelope14;
    case DMPAPER_CSHEET:
      return QPageSize::AnsiC;
    case DMPAPER_DSHEET:
      return QPageSize::AnsiD;
    case DMPAPER_ESHEET:
      return QPageSize::AnsiE;
    case DMPAPER_ENV_DL:
      return QPageSize::EnvelopeDL;
    case DMPAPER_ENV_C5:
      return QPageSize::EnvelopeC5;
    case DMPAPER_ENV_C3:
      return QPageSize::EnvelopeC3;
    case DMPAPER_ENV_C4:
      return QPageSize::EnvelopeC4;
    case DMPAPER_ENV_C6:
      return QPageSize::EnvelopeC6;
    case DMPAPER_ENV_C65:
      return QPageSize::EnvelopeC65;
    case DMPAPER_ENV_B4:
      return QPageSize::EnvelopeB4;
    case DMPAPER_ENV_B5:
      return QPageSize::EnvelopeB5;
    case DMPAPER_ENV_B6:
      return QPageSize::EnvelopeB6;
    case DMPAPER_ENV_ITALY:
      return QPageSize::EnvelopeItalian;
    case DMPAPER_ENV_MONARCH:
      return QPageSize::EnvelopeMonarch;
    case DMPAPER_ENV_PERSONAL:
      return QPageSize::EnvelopePersonal;
    case DMPAPER_FANFOLD_US:
      return QPageSize::FanFoldUS;
    case DMPAPER_FANFOLD_STD_GERMAN:
      return QPageSize::FanFoldGerman;
    case DMPAPER_FANFOLD_LGL_GERMAN:
      return QPageSize::FanFoldGermanLegal;
    default:
      return QPageSize::Custom;
  }
}

int32_t paperOf(QPageSize::PageSizeId id) {
  for (int32_t p = DMPAPER_LETTER; p <= DMPAPER_FANFOLD_LGL_GERMAN; ++p)
    if (pageSizeOf(p) == id) return p;
  return 0;
}

}  // namespace

GCommonDialog::GCommonDialog() = default;
GCommonDialog::~GCommonDialog() = default;

void GCommonDialog::fail(int32_t extendedError) {
  apiReturn_ = 0;
  extendedError_ = extendedError;
}

// Clears the last error and finds the owner window; false, with the failure recorded, when
// no dialog can be shown now (one is open already, no application, or a dead owner id).
bool GCommonDialog::beginDialog(std::intptr_t ownerId, QWidget*& owner) {
  apiReturn_ = 0;
  extendedError_ = 0;
  bool ownerOk = true;
  owner = detail::ownerWindow(ownerId, ownerOk);
  if (open_ || !detail::dialogsAvailable() || !ownerOk) {
    fail(CDERR_DIALOGFAILURE);
    return false;
  }
  return true;
}

int32_t GCommonDialog::DialogHook(QDialog* hDlg, int32_t msg, std::intptr_t wParam, std::intptr_t lParam) {
  if (!sink_) return 0;
  // After a handler failed the dialog is closing: only its close is still reported, and
  // nothing may accept it any more.
  if (handlerError_ && msg != WM_DESTROY) return msg == WM_NOTIFY && lParam == CDN_FILEOK ? 1 : 0;
  CommonDialogEvents& ev = sink_->Events();
  try {
    switch (msg) {
      case WM_DESTROY:
        if (ev.DialogClose) ev.DialogClose();
        return 0;
      case WM_INITDIALOG:
        if (ev.InitDialog) ev.InitDialog(hDlg);
        return 0;
      case WM_COMMAND:
        if (ev.WMCommand) ev.WMCommand(hDlg, wParam, lParam);
        return 0;
      case WM_NOTIFY:
        switch (static_cast<int32_t>(lParam)) {
          case CDN_TYPECHANGE:
            if (ev.TypeChange) ev.TypeChange(hDlg);
            return 0;
          case CDN_FILEOK: {
            bool bCancel = false;
            if (ev.ConfirmOK) ev.ConfirmOK(bCancel);
            return bCancel ? 1 : 0;
          }
          case CDN_FOLDERCHANGE:
            if (ev.FolderChange) ev.FolderChange(hDlg);
            return 0;
          case CDN_SELCHANGE:
            if (ev.FileChange) ev.FileChange(hDlg);
            return 0;
          default:
            return 0;
        }
      default:
        return 0;
    }
  } catch (...) {
    // Exceptions must not cross Qt's event loop: close the dialog and rethrow once the
    // Show... call has cleaned up.
    if (!handlerError_) handlerError_ = std::current_exception();
    if (hDlg && hDlg->isVisible()) hDlg->reject();
    return msg == WM_NOTIFY && lParam == CDN_FILEOK ? 1 : 0;
  }
}

template <class Dialog>
int GCommonDialog::execHooked(Dialog& dialog, bool hook, cCommonDialog* sink) {
  handlerError_ = nullptr;
  HookSession session(sink_, open_, hook ? sink : nullptr);
  if (sink_) {
    if (auto* box = dialog.template findChild<QDialogButtonBox*>()) {
      QObject::connect(box, &QDialogButtonBox::clicked, &dialog, [this, &dialog, box](QAbstractButton* b) {
        const auto role = box->buttonRole(b);
        std::intptr_t wParam = role == QDialogButtonBox::AcceptRole   ? IDOK
                               : role == QDialogButtonBox::RejectRole ? IDCANCEL
                                                                      : 0;
        if (wParam != 0) DialogHook(&dialog, WM_COMMAND, wParam, 0);
      });
    }
    DialogHook(&dialog, WM_INITDIALOG, 0, 0);
  }
  int result = QDialog::Rejected;
  if (!handlerError_) result = dialog.exec();
  if (sink_) DialogHook(&dialog, WM_DESTROY, 0, 0);
  detail::restorePanels(&dialog);
  if (handlerError_) {
    auto error = handlerError_;
    handlerError_ = nullptr;
    std::rethrow_exception(error);
  }
  return result;
}

bool GCommonDialog::fileDialog(FileDialogArgs& a, cCommonDialog* sink, bool save) {
  apiReturn_ = 0;
  extendedError_ = 0;

  int32_t sent = 0;
  if (save) {
    if (a.OverWritePrompt) sent |= OFN_OVERWRITEPROMPT;
    sent |= OFN_HIDEREADONLY;
    a.MultiSelect = false;
  } else {
    if (a.FileMustExist) sent |= OFN_FILEMUSTEXIST;
    if (a.MultiSelect) sent |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    if (a.ReadOnly) sent |= OFN_READONLY;
    if (a.HideReadOnly) sent |= OFN_HIDEREADONLY;
  }
  if (a.Hook) sent |= OFN_EXPLORER | OFN_ENABLEHOOK;
  if ((a.flags & OFN_ENABLETEMPLATE) && a.hInstance >= 1) sent |= OFN_ENABLETEMPLATE;

  auto failWith = [&](int32_t code) {
    fail(code);
    a.Filename.clear();
    a.FileTitle.clear();
    a.Filter.clear();
    a.flags = 0;
    a.FilterIndex = -1;
    return false;
  };

  bool ownerOk = true;
  QWidget* owner = detail::ownerWindow(a.Owner, ownerOk);
  if (open_ || !detail::dialogsAvailable() || !ownerOk) return failWith(CDERR_DIALOGFAILURE);

  const std::size_t capacity = a.MultiSelect ? kMultiBuffer : kSingleBuffer;
  const std::string initial = a.Filename.substr(0, a.Filename.find('\0'));
  if (initial.size() >= capacity) return failWith(FNERR_BUFFERTOOSMALL);

  const std::string converted = detail::convertFilter(a.Filter);
  const std::vector<detail::FilterEntry> entries = detail::parseConvertedFilter(converted);
  QStringList nameFilters;
  for (const auto& e : entries) nameFilters << detail::qtNameFilter(e);

  HookedFileDialog dlg(owner);
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setOption(QFileDialog::HideNameFilterDetails, true);
  dlg.setViewMode(QFileDialog::List);
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (save)
    dlg.setFileMode(QFileDialog::AnyFile);
  else if (a.MultiSelect)
    dlg.setFileMode(QFileDialog::ExistingFiles);
  else
    dlg.setFileMode(a.FileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dlg.setOption(QFileDialog::DontConfirmOverwrite, !(save && a.OverWritePrompt));
  dlg.setWindowTitle(a.DlgTitle.empty() ? (save ? QFileDialog::tr("Save As") : QFileDialog::tr("Open"))
                                        : toQ(a.DlgTitle));
  if (!a.DefaultExt.empty()) dlg.setDefaultSuffix(toQ(a.DefaultExt));
  if (!a.InitDir.empty()) dlg.setDirectory(toQ(a.InitDir));
  int32_t index = a.FilterIndex;
  if (!nameFilters.isEmpty()) {
    dlg.setNameFilters(nameFilters);
    if (index < 1 || index > nameFilters.size()) index = 1;
    dlg.selectNameFilter(nameFilters.at(index - 1));
  }
  if (!initial.empty()) dlg.selectFile(toQ(initial));

  QString lastFolder;
  auto reportFolder = [&](const QString& dir) {
    const QString clean = QDir::cleanPath(dir);
    if (clean == lastFolder) return;
    lastFolder = clean;
    DialogHook(&dlg, WM_NOTIFY, 0, CDN_FOLDERCHANGE);
  };
  if (a.Hook && sink) {
    dlg.confirm = [this, &dlg] { return DialogHook(&dlg, WM_NOTIFY, 0, CDN_FILEOK) == 0; };
    QObject::connect(&dlg, &QFileDialog::directoryEntered, &dlg, [&](const QString& d) { reportFolder(d); });
    // The selection of the file list; the current item moves before the selection does.
    auto* view = dlg.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    if (view && view->selectionModel())
      QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, &dlg,
                       [this, &dlg] { DialogHook(&dlg, WM_NOTIFY, 0, CDN_SELCHANGE); });
    else
      QObject::connect(&dlg, &QFileDialog::currentChanged, &dlg,
                       [this, &dlg](const QString&) { DialogHook(&dlg, WM_NOTIFY, 0, CDN_SELCHANGE); });
    QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg,
                     [this, &dlg](const QString&) { DialogHook(&dlg, WM_NOTIFY, 0, CDN_TYPECHANGE); });
  }

  // The hook session starts inside execHooked; the first events follow the dialog's
  // initialisation: InitDialog, then the folder it opens in.
  int result = QDialog::Rejected;
  {
    handlerError_ = nullptr;
    HookSession session(sink_, open_, a.Hook ? sink : nullptr);
    if (sink_) {
      if (auto* box = dlg.findChild<QDialogButtonBox*>()) {
        QObject::connect(box, &QDialogButtonBox::clicked, &dlg, [this, &dlg, box](QAbstractButton* b) {
          const auto role = box->buttonRole(b);
          const std::intptr_t id = role == QDialogButtonBox::AcceptRole   ? IDOK
                                   : role == QDialogButtonBox::RejectRole ? IDCANCEL
                                                                          : 0;
          if (id != 0) DialogHook(&dlg, WM_COMMAND, id, 0);
        });
      }
      DialogHook(&dlg, WM_INITDIALOG, 0, 0);
      if (!handlerError_) reportFolder(dlg.directory().absolutePath());
    }
    if (!handlerError_) result = dlg.exec();
    if (sink_) DialogHook(&dlg, WM_DESTROY, 0, 0);
    detail::restorePanels(&dlg);
    dlg.confirm = nullptr;
    QObject::disconnect(&dlg, nullptr, nullptr, nullptr);
  }
  if (handlerError_) {
    auto error = handlerError_;
    handlerError_ = nullptr;
    failWith(CDERR_DIALOGFAILURE);
    std::rethrow_exception(error);
  }
  if (result != QDialog::Accepted) return failWith(0);

  const QStringList files = dlg.selectedFiles();
  if (files.isEmpty()) return failWith(FNERR_INVALIDFILENAME);

  std::string buffer;
  std::string title;
  if (a.MultiSelect && files.size() > 1) {
    const QString dir = dlg.directory().absolutePath();
    buffer = joinDir(dir);
    buffer.push_back('\0');
    for (const QString& f : files) {
      const QFileInfo fi(f);
      buffer +=
          fromQ(QDir::cleanPath(fi.absolutePath()) == QDir::cleanPath(dir) ? fi.fileName()
                                                                           : QDir::toNativeSeparators(f));
      buffer.push_back('\0');
    }
    buffer.push_back('\0');
  } else {
    buffer = fromQ(QDir::toNativeSeparators(files.first()));
    title = fromQ(QFileInfo(files.first()).fileName());
    if (a.MultiSelect) buffer.append(2, '\0');
  }
  if (buffer.size() > capacity || (!a.MultiSelect && buffer.size() >= capacity))
    return failWith(FNERR_BUFFERTOOSMALL);

  apiReturn_ = 1;
  if (a.MultiSelect) {
    // The caller gets the whole buffer, as long as its capacity.
    buffer.resize(capacity, '\0');
    a.Filename = std::move(buffer);
  } else {
    a.Filename = std::move(buffer);
    a.FileTitle = std::move(title);
  }

  int32_t flagsOut = sent;
  if (!a.DefaultExt.empty()) {
    const QString suffix = QFileInfo(files.first()).suffix();
    QString wanted = toQ(a.DefaultExt);
    if (wanted.startsWith(u'.')) wanted.remove(0, 1);
    if (suffix.compare(wanted, Qt::CaseInsensitive) != 0) flagsOut |= OFN_EXTENSIONDIFFERENT;
  }
  a.flags = flagsOut;

  if (!entries.empty()) {
    int chosen = nameFilters.indexOf(dlg.selectedNameFilter());
    if (auto* combo = dlg.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        combo && combo->currentIndex() >= 0)
      chosen = combo->currentIndex();
    if (chosen < 0) chosen = index - 1;
    a.FilterIndex = chosen + 1;
    const auto& e = entries.at(static_cast<std::size_t>(chosen));
    a.Filter = e.description + std::string(1, '\0') + e.pattern;
  } else {
    a.Filter.clear();
  }
  return true;
}

bool GCommonDialog::VBGetOpenFileName2(FileDialogArgs& args, cCommonDialog* EventSink) {
  return fileDialog(args, EventSink, false);
}

bool GCommonDialog::VBGetOpenFileName(FileDialogArgs& args, cCommonDialog* EventSink) {
  args.flags &= ~OFN_ENABLETEMPLATE;
  return fileDialog(args, EventSink, false);
}

bool GCommonDialog::VBGetSaveFileName2(FileDialogArgs& args, cCommonDialog* EventSink) {
  return fileDialog(args, EventSink, true);
}

bool GCommonDialog::VBGetSaveFileName(FileDialogArgs& args, cCommonDialog* EventSink) {
  args.flags &= ~OFN_ENABLETEMPLATE;
  return fileDialog(args, EventSink, true);
}

std::string GCommonDialog::VBGetFileTitle(const std::string& path) {
  return fromQ(QFileInfo(toQ(path)).fileName());
}

int32_t GCommonDialog::TranslateColor(int32_t color) {
  const auto u = static_cast<uint32_t>(color);
  if ((u & 0xFF000000u) == 0x80000000u) {
    if (!detail::dialogsAvailable()) return 0;
    return toColorRef(systemColor(static_cast<int>(u & 0xFFu)));
  }
  return color;
}

int32_t GCommonDialog::CustomColor(int32_t index) {
  if (index < 0 || index > 15) return -1;
  if (!customColorsSet_) {
    for (int i = 0; i < 16; ++i)
      customColors_[static_cast<std::size_t>(i)] =
          detail::dialogsAvailable() ? toColorRef(systemColor(i)) : 0;
    customColorsSet_ = true;
  }
  return customColors_[static_cast<std::size_t>(index)];
}

void GCommonDialog::SetCustomColor(int32_t index, int32_t color) {
  if (index < 0 || index > 15) return;
  CustomColor(0);
  customColors_[static_cast<std::size_t>(index)] = color;
}

bool GCommonDialog::VBChooseColor(int32_t& Color, bool AnyColor, bool FullOpen, bool DisableFullOpen,
                                  std::intptr_t Owner, int32_t& flags, bool Hook, cCommonDialog* EventSink) {
  apiReturn_ = 0;
  extendedError_ = 0;
  int32_t sent = CC_RGBINIT | (AnyColor ? CC_ANYCOLOR : CC_SOLIDCOLOR);
  if (FullOpen) sent |= CC_FULLOPEN;
  if (DisableFullOpen) sent |= CC_PREVENTFULLOPEN;
  sent |= flags & -49;
  if (Hook) sent |= CC_ENABLEHOOK;

  bool ownerOk = true;
  QWidget* owner = detail::ownerWindow(Owner, ownerOk);
  if (open_ || !detail::dialogsAvailable() || !ownerOk) {
    fail(CDERR_DIALOGFAILURE);
    Color = -1;
    return false;
  }

  QColorDialog dlg(owner);
  dlg.setOption(QColorDialog::DontUseNativeDialog, true);
  for (int i = 0; i < 16; ++i) QColorDialog::setCustomColor(i, fromColorRef(CustomColor(i)));
  dlg.setCurrentColor(fromColorRef(TranslateColor(Color)));
  const int result = execHooked(dlg, Hook, EventSink);
  for (int i = 0; i < 16; ++i)
    customColors_[static_cast<std::size_t>(i)] = toColorRef(QColorDialog::customColor(i));
  if (result != QDialog::Accepted) {
    Color = -1;
    return false;
  }
  apiReturn_ = 1;
  Color = toColorRef(dlg.selectedColor());
  flags = sent;
  return true;
}

bool GCommonDialog::VBChooseFont(FontDialogArgs& a, cCommonDialog* EventSink) {
  QWidget* owner = nullptr;
  if (!beginDialog(a.Owner, owner)) return false;
  const bool limit = (a.flags & CF_LIMITSIZE) != 0;
  if (limit && a.MaxSize < a.MinSize) {
    fail(CFERR_MAXLESSTHANMIN);
    return false;
  }

  QFont font = QApplication::font();
  if (!a.FontName.empty()) font.setFamily(toQ(a.FontName));
  if (a.FontSize > 0) font.setPointSizeF(a.FontSize);
  font.setBold(a.FontBold);
  font.setItalic(a.FontItalic);
  font.setUnderline(a.FontUnderline);
  font.setStrikeOut(a.FontStrikethru);

  LimitedFontDialog dlg(owner);
  dlg.setOption(QFontDialog::DontUseNativeDialog, true);
  if (a.flags & CF_FIXEDPITCHONLY) dlg.setOption(QFontDialog::MonospacedFonts, true);
  if (a.flags & CF_SCALABLEONLY) dlg.setOption(QFontDialog::ScalableFonts, true);
  if (limit) {
    dlg.minSize = a.MinSize;
    dlg.maxSize = a.MaxSize;
  }
  dlg.setCurrentFont(font);
  if (execHooked(dlg, a.Hook, EventSink) != QDialog::Accepted) return false;

  apiReturn_ = 1;
  const QFont chosen = dlg.selectedFont();
  a.FontName = fromQ(chosen.family());
  a.FontSize = chosen.pointSizeF();
  a.FontBold = chosen.bold();
  a.FontItalic = chosen.italic();
  a.FontUnderline = chosen.underline();
  a.FontStrikethru = chosen.strikeOut();
  a.FontType = SCREEN_FONTTYPE | (a.FontBold ? BOLD_FONTTYPE : 0) | (a.FontItalic ? ITALIC_FONTTYPE : 0);
  if (!a.FontBold && !a.FontItalic) a.FontType |= REGULAR_FONTTYPE;
  return true;
}

QPrinter& GCommonDialog::Printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>();
  return *printer_;
}

bool GCommonDialog::VBPrintDlg(PrintDialogArgs& a, cCommonDialog* EventSink) {
  QWidget* owner = nullptr;
  if (!beginDialog(a.Owner, owner)) return false;
  QPrinter& printer = Printer();

  if (a.flags & PD_RETURNDEFAULT) {
    const QPrinterInfo def = QPrinterInfo::defaultPrinter();
    if (def.isNull()) {
      fail(PDERR_NODEFAULTPRN);
      return false;
    }
    printer.setPrinterName(def.printerName());
    a.PrinterName = fromQ(def.printerName());
    apiReturn_ = 1;
    return true;
  }

  if (a.flags & PD_PRINTSETUP) {
    // The setup dialog works on real printers only; without one there is nothing to set up.
    if (printer.outputFormat() != QPrinter::NativeFormat) {
      fail(PDERR_NODEFAULTPRN);
      return false;
    }
    QPageSetupDialog dlg(&printer, owner);
    if (execHooked(dlg, a.Hook, EventSink) != QDialog::Accepted) return false;
    apiReturn_ = 1;
    a.PrinterName = fromQ(printer.printerName());
    return true;
  }

  if (a.Min > a.Max ||
      (a.flags & PD_PAGENUMS && (a.FromPage > a.ToPage || a.FromPage < a.Min || a.ToPage > a.Max))) {
    fail(PDERR_INITFAILURE);
    return false;
  }

  printer.setCopyCount(std::max(1, a.Copies));
  printer.setCollateCopies(a.Collate || (a.flags & PD_COLLATE));
  QPrintDialog dlg(&printer, owner);
  QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintShowPageSize;
  if (!(a.DisableSelection || (a.flags & PD_NOSELECTION))) options |= QAbstractPrintDialog::PrintSelection;
  if (!(a.DisablePageNumbers || (a.flags & PD_NOPAGENUMS))) options |= QAbstractPrintDialog::PrintPageRange;
  if (a.ShowPrintToFile && !(a.flags & PD_HIDEPRINTTOFILE) && !a.DisablePrintToFile &&
      !(a.flags & PD_DISABLEPRINTTOFILE))
    options |= QAbstractPrintDialog::PrintToFile;
  options |= QAbstractPrintDialog::PrintCollateCopies;
  if (a.flags & PD_CURRENTPAGE || !(a.flags & PD_NOCURRENTPAGE))
    options |= QAbstractPrintDialog::PrintCurrentPage;
  dlg.setOptions(options);
  if (a.Max > 0) dlg.setMinMax(std::max(1, a.Min), a.Max);
  int32_t range = a.PrintRange;
  if (a.flags & PD_SELECTION)
    range = eprSelection;
  else if (a.flags & PD_PAGENUMS)
    range = eprPageNumbers;
  else if (a.flags & PD_CURRENTPAGE)
    range = eprCurrentPage;
  if (range == eprPageNumbers && a.FromPage > 0 && a.ToPage >= a.FromPage)
    printer.setFromTo(a.FromPage, a.ToPage);
  dlg.setPrintRange(range == eprSelection     ? QAbstractPrintDialog::Selection
                    : range == eprPageNumbers ? QAbstractPrintDialog::PageRange
                    : range == eprCurrentPage ? QAbstractPrintDialog::CurrentPage
                                              : QAbstractPrintDialog::AllPages);

  if (execHooked(dlg, a.Hook, EventSink) != QDialog::Accepted) return false;

  apiReturn_ = 1;
  a.Copies = printer.copyCount();
  a.Collate = printer.collateCopies();
  a.PrintToFile = !printer.outputFileName().isEmpty();
  a.PrinterName = fromQ(printer.printerName());
  int32_t out = a.flags & ~(PD_SELECTION | PD_PAGENUMS | PD_CURRENTPAGE | PD_COLLATE | PD_PRINTTOFILE);
  switch (dlg.printRange()) {
    case QAbstractPrintDialog::Selection:
      a.PrintRange = eprSelection;
      out |= PD_SELECTION;
      break;
    case QAbstractPrintDialog::PageRange:
      a.PrintRange = eprPageNumbers;
      out |= PD_PAGENUMS;
      a.FromPage = dlg.fromPage();
      a.ToPage = dlg.toPage();
      break;
    case QAbstractPrintDialog::CurrentPage:
      a.PrintRange = eprCurrentPage;
      out |= PD_CURRENTPAGE;
      break;
    default:
      a.PrintRange = eprAll;
      break;
  }
  if (a.Collate) out |= PD_COLLATE;
  if (a.PrintToFile) out |= PD_PRINTTOFILE;
  a.flags = out;
  return true;
}

bool GCommonDialog::VBPageSetupDlg2(PageSetupArgs& a, cCommonDialog* EventSink) {
  QWidget* owner = nullptr;
  if (!beginDialog(a.Owner, owner)) return false;
  QPrinter& printer = Printer();
  const bool inches = a.Units == epsuThousandthsOfInches || (a.flags & PSD_INTHOUSANDTHSOFINCHES);
  const QPageLayout::Unit unit = inches ? QPageLayout::Inch : QPageLayout::Millimeter;
  const double scale = inches ? 1000.0 : 100.0;

  QPageLayout layout = printer.pageLayout();
  if (const auto id = pageSizeOf(a.PaperSize); id != QPageSize::Custom) layout.setPageSize(QPageSize(id));
  layout.setOrientation(a.Orientation == DMORIENT_LANDSCAPE ? QPageLayout::Landscape : QPageLayout::Portrait);
  layout.setUnits(unit);
  if (a.flags & PSD_MARGINS)
    layout.setMargins(
        QMarginsF(a.LeftMargin / scale, a.TopMargin / scale, a.RightMargin / scale, a.BottomMargin / scale));
  if (a.flags & PSD_MINMARGINS)
    layout.setMinimumMargins(QMarginsF(a.MinLeftMargin / scale, a.MinTopMargin / scale,
                                       a.MinRightMargin / scale, a.MinBottomMargin / scale));
  printer.setPageLayout(layout);
  printer.setResolution(a.PrintQuality == DMRES_HIGH    ? 1200
                        : a.PrintQuality == DMRES_DRAFT ? 150
                        : a.PrintQuality == DMRES_LOW   ? 300
                                                        : printer.resolution());

  if (!(a.flags & PSD_RETURNDEFAULT)) {
    if (printer.outputFormat() != QPrinter::NativeFormat) {
      fail(PDERR_NODEFAULTPRN);
      return false;
    }
    QPageSetupDialog dlg(&printer, owner);
    if (execHooked(dlg, a.Hook, EventSink) != QDialog::Accepted) return false;
  }
  apiReturn_ = 1;
  QPageLayout out = printer.pageLayout();
  out.setUnits(unit);
  const QMarginsF m = out.margins();
  a.LeftMargin = static_cast<int32_t>(std::lround(m.left() * scale));
  a.TopMargin = static_cast<int32_t>(std::lround(m.top() * scale));
  a.RightMargin = static_cast<int32_t>(std::lround(m.right() * scale));
  a.BottomMargin = static_cast<int32_t>(std::lround(m.bottom() * scale));
  a.PaperSize = paperOf(out.pageSize().id());
  a.Orientation = out.orientation() == QPageLayout::Landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
  return true;
}

bool GCommonDialog::VBPageSetupDlg(PageSetupArgs& args, cCommonDialog* EventSink) {
  args.flags &= ~(PSD_ENABLEPAGESETUPTEMPLATE | PSD_ENABLEPAGESETUPTEMPLATEHANDLE);
  return VBPageSetupDlg2(args, EventSink);
}

}  // namespace svcmdlg
