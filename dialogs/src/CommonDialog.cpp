#include "svcmdlg/CommonDialog.h"

#include <dlfcn.h>

#include <cstring>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QBoxLayout>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "Internal.h"

namespace svcmdlg {

using detail::fromQ;
using detail::toQ;

namespace detail {

namespace {

// Lives inside a dialog and remembers where its embedded panels came from.
class PanelKeeper final : public QObject {
 public:
  using QObject::QObject;
  struct Entry {
    QPointer<QWidget> panel;
    QPointer<QWidget> formerParent;
  };
  std::vector<Entry> entries;
};

PanelKeeper* findKeeper(QDialog* hDlg) {
  for (QObject* child : hDlg->children())
    if (auto* keeper = dynamic_cast<PanelKeeper*>(child)) return keeper;
  return nullptr;
}

}  // namespace

void restorePanels(QDialog* hDlg) {
  if (!hDlg) return;
  if (auto* keeper = findKeeper(hDlg)) {
    for (auto& e : keeper->entries) {
      if (!e.panel) continue;
      e.panel->hide();
      e.panel->setParent(e.formerParent.data());
    }
    keeper->entries.clear();
  }
}

}  // namespace detail

namespace {

const char* controlName(int32_t id) {
  switch (id) {
    case stc2:
      return "fileTypeLabel";
    case stc3:
      return "fileNameLabel";
    case stc4:
      return "lookInLabel";
    case lst1:
      return "stackedWidget";
    case cmb1:
      return "fileTypeCombo";
    case cmb2:
      return "lookInCombo";
    case edt1:
      return "fileNameEdit";
    default:
      return nullptr;
  }
}

QAbstractButton* dialogButton(QDialog* hDlg, int32_t id) {
  auto* box = hDlg->findChild<QDialogButtonBox*>();
  if (!box) return nullptr;
  const auto wanted = id == IDOK ? QDialogButtonBox::AcceptRole : QDialogButtonBox::RejectRole;
  for (QAbstractButton* b : box->buttons())
    if (box->buttonRole(b) == wanted) return b;
  return nullptr;
}

}  // namespace

cCommonDialog::cCommonDialog() = default;

cCommonDialog::~cCommonDialog() { cdFreeLibrary(); }

GCommonDialog& cCommonDialog::Dialogs() {
  if (!dialogs_) dialogs_ = std::make_unique<GCommonDialog>();
  return *dialogs_;
}

std::intptr_t cCommonDialog::HandleOf(QWidget* window) {
  return window ? static_cast<std::intptr_t>(window->window()->winId()) : 0;
}

void cCommonDialog::setOwner(QWidget* owner) { hwnd_ = HandleOf(owner); }

int32_t cCommonDialog::CustomColor(int32_t index) { return Dialogs().CustomColor(index); }

void cCommonDialog::setCustomColor(int32_t index, int32_t color) { Dialogs().SetCustomColor(index, color); }

QFont cCommonDialog::Font() const {
  QFont f;
  if (!fontName_.empty()) f.setFamily(toQ(fontName_));
  if (fontSize_ > 0) f.setPointSizeF(fontSize_);
  f.setBold(fontBold_);
  f.setItalic(fontItalic_);
  f.setUnderline(fontUnderline_);
  f.setStrikeOut(fontStrikethru_);
  return f;
}

void cCommonDialog::setFont(const QFont& font) {
  fontName_ = fromQ(font.family());
  fontSize_ = font.pointSizeF() > 0 ? font.pointSizeF() : 0;
  fontBold_ = font.bold();
  fontItalic_ = font.italic();
  fontUnderline_ = font.underline();
  fontStrikethru_ = font.strikeOut();
}

void cCommonDialog::errorStep() {
  const int32_t extended = Dialogs().ExtendedError();
  if (extended != 0)
    throw ComponentError((extended | eeBaseCommonDialog) & 0xFFFF, ErrorSource(), kDefaultErrorDescription);
  if (cancelError_) throw ComponentError(eeUserCancel, ErrorSource(), "User selected cancel.");
}

FileDialogArgs cCommonDialog::fileDialogArgs() {
  if ((flags_ & OFN_ENABLETEMPLATE) && hInstance_ < 1) flags_ &= ~OFN_ENABLETEMPLATE;
  if (filterIndex_ == 0) filterIndex_ = 1;
  FileDialogArgs a;
  a.Filename = filename_;
  a.FileTitle = fileTitle_;
  a.Filter = filter_;
  a.FilterIndex = filterIndex_;
  a.InitDir = initDir_;
  a.DlgTitle = dialogTitle_;
  a.DefaultExt = defaultExt_;
  a.Owner = hwnd_;
  a.flags = flags_;
  a.Hook = hookDialog_;
  a.hInstance = hInstance_;
  a.TemplateName = templateName_;
  return a;
}

// Runs one Open or Save dialog; the results come back also when a hook handler throws.
void cCommonDialog::runFileDialog(FileDialogArgs& a, bool save) {
  auto copyBack = [&] {
    filename_ = a.Filename;
    fileTitle_ = a.FileTitle;
    filter_ = a.Filter;
    filterIndex_ = a.FilterIndex;
    flags_ = a.flags;
  };
  bool ok = false;
  try {
    ok = save ? Dialogs().VBGetSaveFileName2(a, this) : Dialogs().VBGetOpenFileName2(a, this);
  } catch (...) {
    copyBack();
    throw;
  }
  copyBack();
  if (!ok) errorStep();
}

void cCommonDialog::ShowOpen() {
  FileDialogArgs a = fileDialogArgs();
  a.FileMustExist = (flags_ & OFN_FILEMUSTEXIST) != 0;
  a.MultiSelect = (flags_ & OFN_ALLOWMULTISELECT) != 0;
  a.ReadOnly = (flags_ & OFN_READONLY) != 0;
  a.HideReadOnly = (flags_ & OFN_HIDEREADONLY) != 0;
  runFileDialog(a, false);
}

void cCommonDialog::ShowSave() {
  FileDialogArgs a = fileDialogArgs();
  a.OverWritePrompt = (flags_ & OFN_OVERWRITEPROMPT) != 0;
  runFileDialog(a, true);
}

void cCommonDialog::ShowColor() {
  const bool ok =
      Dialogs().VBChooseColor(color_, (flags_ & CC_ANYCOLOR) != 0, (flags_ & CC_FULLOPEN) != 0,
                              (flags_ & CC_PREVENTFULLOPEN) != 0, hwnd_, flags_, hookDialog_, this);
  if (!ok) errorStep();
}

void cCommonDialog::ShowFont() {
  FontDialogArgs a;
  a.FontName = fontName_;
  a.FontSize = fontSize_;
  a.FontBold = fontBold_;
  a.FontItalic = fontItalic_;
  a.FontUnderline = fontUnderline_;
  a.FontStrikethru = fontStrikethru_;
  a.FontColor = fontColor_;
  a.MinSize = min_;
  a.MaxSize = max_;
  a.flags = flags_;
  a.Owner = hwnd_;
  a.Hook = hookDialog_;
  if (!Dialogs().VBChooseFont(a, this)) {
    errorStep();
    return;
  }
  fontName_ = a.FontName;
  fontSize_ = a.FontSize;
  fontBold_ = a.FontBold;
  fontItalic_ = a.FontItalic;
  fontUnderline_ = a.FontUnderline;
  fontStrikethru_ = a.FontStrikethru;
  fontColor_ = a.FontColor;
}

void cCommonDialog::ShowPrinter() {
  PrintDialogArgs a;
  a.Owner = hwnd_;
  a.flags = flags_;
  a.FromPage = fromPage_;
  a.ToPage = toPage_;
  a.Min = min_;
  a.Max = max_;
  a.Copies = copies_;
  a.Collate = (flags_ & PD_COLLATE) != 0;
  a.PrintToFile = (flags_ & PD_PRINTTOFILE) != 0;
  a.DisablePageNumbers = (flags_ & PD_NOPAGENUMS) != 0;
  a.DisableSelection = (flags_ & PD_NOSELECTION) != 0;
  a.ShowPrintToFile = (flags_ & PD_HIDEPRINTTOFILE) == 0;
  a.DisablePrintToFile = (flags_ & PD_DISABLEPRINTTOFILE) != 0;
  a.PreventWarning = (flags_ & PD_NOWARNING) != 0;
  a.Hook = hookDialog_;
  if (!Dialogs().VBPrintDlg(a, this)) {
    // A cancelled print dialog is not an error; a failing one is.
    if (Dialogs().ExtendedError() != 0) errorStep();
    return;
  }
  copies_ = a.Copies;
  fromPage_ = a.FromPage;
  toPage_ = a.ToPage;
  flags_ = a.flags;
}

void cCommonDialog::ShowHelp() {
  if (helpCommand_ == HELP_MULTIKEY || helpCommand_ == HELP_SETWINPOS)
    throw ComponentError(eeInvalidHelpCommand, ErrorSource(),
                         "Invalid WinHelp Command Passed to ShowHelp function.");
  if (helpCommand_ == HELP_QUIT) return;  // the help viewer is the desktop's; nothing of ours stays open
  const QFileInfo file(toQ(helpFile_));
  bool shown = false;
  if (!helpFile_.empty() && file.isFile() && detail::dialogsAvailable()) {
    QUrl url = QUrl::fromLocalFile(file.absoluteFilePath());
    switch (helpCommand_) {
      case HELP_CONTEXT:
      case HELP_CONTEXTPOPUP:
        url.setFragment(QString::number(helpContext_));
        break;
      case HELP_KEY:
      case HELP_PARTIALKEY:
        if (!helpKey_.empty()) url.setFragment(toQ(helpKey_));
        break;
      default:
        break;
    }
    shown = QDesktopServices::openUrl(url);
  }
  if (!shown) throw ComponentError(eeHelpFailed, ErrorSource(), "The help file could not be shown.");
}

void cCommonDialog::SetHelpPosition(int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t WindowType) {
  // The help system takes the position as a record in a global block: size, x, y, dx,
  // dy, window state and a two-character window name ("main" when empty).
  struct Record {
    int32_t wStructSize, x, y, dx, dy, wMax;
    char rgchMember[2];
  };
  Record rec{static_cast<int32_t>(sizeof(Record)), x, y, dx, dy, WindowType, {'\0', '\0'}};
  cMemory block;
  if (!block.AllocateMemory(sizeof rec, GHND) || !block.LockMemory())
    throw ComponentError((int32_t{CDERR_MEMALLOCFAILURE} | eeBaseCommonDialog) & 0xFFFF, ErrorSource(),
                         kDefaultErrorDescription);
  std::memcpy(block.Pointer(), &rec, sizeof rec);
  const auto* bytes = static_cast<const unsigned char*>(block.Pointer());
  helpPositionRecord_.assign(bytes, bytes + sizeof rec);
  block.UnlockMemory();
  helpPosition_ = HelpWindowPosition{x, y, dx, dy, WindowType};
}

void cCommonDialog::ParseMultiFileName(std::string& sDir, std::vector<std::string>& sFiles,
                                       int32_t& iFileCount) const {
  const std::string& name = filename_;
  const std::size_t end = name.find(std::string(2, '\0'));
  if (iFileCount < 0) iFileCount = 0;
  if (end != std::string::npos) {
    sFiles.resize(static_cast<std::size_t>(iFileCount));
    std::string_view rest(name.data(), end);
    for (;;) {
      const std::size_t zero = rest.find('\0');
      if (zero == std::string_view::npos) break;
      const std::string piece(rest.substr(0, zero));
      if (sDir.empty()) {
        sDir = piece;
      } else {
        sFiles.push_back(piece);
        ++iFileCount;
      }
      rest.remove_prefix(zero + 1);
    }
    sFiles.emplace_back(rest);
    ++iFileCount;
    return;
  }
  iFileCount = 1;
  sFiles.assign(1, std::string());
  const std::size_t slash = name.rfind('/');
  if (slash != std::string::npos && slash >= 1) {
    sDir = name.substr(0, slash);
    sFiles[0] = name.substr(slash + 1);
  } else {
    sDir.clear();
    sFiles[0] = name;
  }
}

namespace {

void centreNow(QWidget* win, const QWidget* CentreTo) {
  win->ensurePolished();  // style and fonts first: the size the dialog will show with
  if (QLayout* layout = win->layout()) layout->activate();
  const QRect dialog = win->frameGeometry();
  QRect target;
  if (CentreTo) {
    target = CentreTo->isWindow() ? CentreTo->frameGeometry()
                                  : QRect(CentreTo->mapToGlobal(QPoint(0, 0)), CentreTo->size());
  } else if (QScreen* screen = win->screen() ? win->screen() : QGuiApplication::primaryScreen()) {
    target = screen->availableGeometry();
    if (target.isEmpty()) target = screen->geometry();
  }
  if (target.width() > 0 && target.height() > 0) {
    const int left = target.left() + (target.width() - dialog.width()) / 2;
    const int top = target.top() + (target.height() - dialog.height()) / 2;
    win->move(left, top);
  }
}

// The window frame is only known once the dialog is on screen: centre again then.
class CentreWhenShown final : public QObject {
 public:
  CentreWhenShown(QWidget* win, const QWidget* target)
      : QObject(win), win_(win), target_(const_cast<QWidget*>(target)), hadTarget_(target != nullptr) {
    win->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == win_ && event->type() == QEvent::Show) {
      win_->removeEventFilter(this);
      QTimer::singleShot(0, this, [this] {
        if (win_ && (target_ || !hadTarget_)) centreNow(win_, target_.data());
        deleteLater();
      });
    }
    return false;
  }

 private:
  QPointer<QWidget> win_;
  QPointer<QWidget> target_;
  bool hadTarget_;
};

}  // namespace

void cCommonDialog::CentreDialog(QWidget* hDlg, const QWidget* CentreTo) const {
  if (!hDlg) return;
  QWidget* win = hDlg->window();
  centreNow(win, CentreTo);
  if (!win->isVisible()) new CentreWhenShown(win, CentreTo);  // owned by the window
}

void cCommonDialog::GetDialogSize(QWidget* hDlg, int32_t& lL, int32_t& lT, int32_t& lW, int32_t& lH) const {
  if (!hDlg) return;
  const QRect r = hDlg->window()->frameGeometry();
  lL = r.left();
  lT = r.top();
  lW = r.width();
  lH = r.height();
}

std::string cCommonDialog::GetFolderPath(QDialog* hDlg) {
  auto* fd = qobject_cast<QFileDialog*>(hDlg);
  return fd ? fromQ(QDir::toNativeSeparators(fd->directory().absolutePath())) : std::string();
}

std::string cCommonDialog::GetSpec(QDialog* hDlg) {
  auto* fd = qobject_cast<QFileDialog*>(hDlg);
  if (!fd) return {};
  auto* edit = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  return edit ? fromQ(edit->text()) : std::string();
}

std::string cCommonDialog::GetFilePath(QDialog* hDlg) {
  auto* fd = qobject_cast<QFileDialog*>(hDlg);
  if (!fd) return {};
  // The files selected in the list, as the file name box would show them: one name
  // plainly, several each in double quotes. Without a selection, the box's own text.
  QStringList names;
  if (auto* view = fd->findChild<QAbstractItemView*>(QStringLiteral("listView"));
      view && view->selectionModel()) {
    for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
      const QString path = index.data(QFileSystemModel::FilePathRole).toString();
      if (!path.isEmpty() && !QFileInfo(path).isDir()) names << QFileInfo(path).fileName();
    }
  }
  QString spec;
  if (names.size() == 1)
    spec = names.first();
  else if (names.size() > 1)
    spec = u'"' + names.join(QStringLiteral("\" \"")) + u'"';
  else
    spec = toQ(GetSpec(hDlg));
  return fromQ(QDir::toNativeSeparators(fd->directory().filePath(spec)));
}

bool cCommonDialog::SetControlText(QDialog* hDlg, int32_t controlId, const std::string& text) {
  auto* fd = qobject_cast<QFileDialog*>(hDlg);
  if (!fd) return false;
  const QString t = toQ(text);
  switch (controlId) {
    case IDOK:
      fd->setLabelText(QFileDialog::Accept, t);
      return true;
    case IDCANCEL:
      fd->setLabelText(QFileDialog::Reject, t);
      return true;
    case stc4:
      fd->setLabelText(QFileDialog::LookIn, t);
      // With its combo box as buddy the label shows "&" as the access key, not as a character.
      if (auto* label = fd->findChild<QLabel*>(QStringLiteral("lookInLabel")))
        if (auto* combo = fd->findChild<QWidget*>(QStringLiteral("lookInCombo"))) label->setBuddy(combo);
      return true;
    case stc3:
      fd->setLabelText(QFileDialog::FileName, t);
      return true;
    case stc2:
      fd->setLabelText(QFileDialog::FileType, t);
      return true;
    case edt1:
      if (auto* edit = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        edit->setText(t);
        return true;
      }
      return false;
    default:
      return false;
  }
}

bool cCommonDialog::HideControl(QDialog* hDlg, int32_t controlId) {
  auto* fd = qobject_cast<QFileDialog*>(hDlg);
  if (!fd) return false;
  QWidget* w = nullptr;
  if (controlId == IDOK || controlId == IDCANCEL)
    w = dialogButton(fd, controlId);
  else if (const char* name = controlName(controlId))
    w = fd->findChild<QWidget*>(QLatin1String(name));
  if (!w) return false;
  w->hide();
  return true;
}

bool cCommonDialog::AddPanel(QDialog* hDlg, QWidget* panel) {
  if (!hDlg || !panel || panel == hDlg || panel->isAncestorOf(hDlg)) return false;
  QLayout* layout = hDlg->layout();
  auto* grid = qobject_cast<QGridLayout*>(layout);
  auto* box = qobject_cast<QBoxLayout*>(layout);
  if (!grid && !box) return false;

  hDlg->ensurePolished();
  auto* keeper = detail::findKeeper(hDlg);
  if (!keeper) keeper = new detail::PanelKeeper(hDlg);  // owned by the dialog
  keeper->entries.push_back({panel, panel->parentWidget()});

  if (grid)
    grid->addWidget(panel, grid->rowCount(), 0, 1, std::max(1, grid->columnCount()));
  else
    box->addWidget(panel);
  panel->show();
  // Grow the dialog by the panel's height so the standard controls keep their size.
  const QSize before = hDlg->size();
  const int extra = panel->sizeHint().height() + std::max(0, layout->spacing());
  hDlg->resize(std::max(before.width(), layout->minimumSize().width()),
               std::max(before.height() + extra, layout->minimumSize().height()));
  layout->activate();
  return true;
}

bool cCommonDialog::cdLoadLibrary(const std::string& DllName) {
  cdFreeLibrary();
  library_ = dlopen(DllName.c_str(), RTLD_NOW | RTLD_LOCAL);
  hInstance_ = library_ ? 1 : 0;
  return library_ != nullptr;
}

void cCommonDialog::cdFreeLibrary() {
  if (library_) {
    dlclose(library_);
    library_ = nullptr;
    hInstance_ = 0;
  }
}

}  // namespace svcmdlg
