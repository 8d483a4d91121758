#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "DialogDriver.h"
#include "svcmdlg/svcmdlg.h"

using namespace svcmdlg;
using namespace testdrive;

namespace {

const char* kMusicFilter =
    "Music Files(*.MP3;*.VQF;*.OGG)|*.MP3;*.VQF;*.OGG|MP3 Files (*.MP3)|*.MP3|TwinVQ "
    "File(*.VQF)|*.VQF|Vorbis OGG(*.OGG)|*.OGG";
constexpr int32_t kPickerFlags = 530948;  // explorer, must exist, path must exist, multiple, no read-only box

class FileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"a.mp3", "b.mp3", "c.ogg", "d.wav", "notes.txt", "README"}) touch(name);
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    touch("sub/inner.mp3");
  }
  void touch(const QString& name) {
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
  }
  std::string path(const QString& name) const { return dir.filePath(name).toStdString(); }
  std::string root() const { return QDir(dir.path()).absolutePath().toStdString(); }

  // The settings the music picker uses.
  void pickerSettings(cCommonDialog& cd) {
    cd.setCancelError(true);
    cd.setInitDir(root());
    cd.setFilter(kMusicFilter);
    cd.setFlags(kPickerFlags);
    cd.setFilterIndex(1);
    cd.setDefaultExt("MP3");
    cd.setHookDialog(true);
  }

  QTemporaryDir dir;
};

std::string padded(std::string s, std::size_t n) {
  s.resize(n, '\0');
  return s;
}

TEST_F(FileDialogTest, SingleSelectionGivesPathTitleFilterAndFlags) {
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setFilter(kMusicFilter);
  cd.setFlags(OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);
  cd.setDefaultExt("MP3");
  whenOpen([] {
    QFileDialog* d = openFileDialog();
    clickNames(d, {"b.mp3"});
    clickAccept(d);
  });
  cd.ShowOpen();
  EXPECT_EQ(cd.Filename(), path("b.mp3"));
  EXPECT_EQ(cd.FileTitle(), "b.mp3");
  EXPECT_EQ(cd.Filter(), z({"Music Files(*.MP3;*.VQF;*.OGG)", "*.MP3;*.VQF;*.OGG"}));
  EXPECT_EQ(cd.FilterIndex(), 1);
  // The path-must-exist bit is not passed on; the extension matches the default one.
  EXPECT_EQ(cd.flags(), OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
}

TEST_F(FileDialogTest, OtherExtensionThanTheDefaultIsFlagged) {
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setFilter(kMusicFilter);
  cd.setFlags(OFN_FILEMUSTEXIST);
  cd.setDefaultExt("MP3");
  whenOpen([] {
    QFileDialog* d = openFileDialog();
    clickNames(d, {"c.ogg"});
    clickAccept(d);
  });
  cd.ShowOpen();
  EXPECT_EQ(cd.Filename(), path("c.ogg"));
  EXPECT_EQ(cd.flags(), OFN_FILEMUSTEXIST | OFN_EXTENSIONDIFFERENT);
}

TEST_F(FileDialogTest, MultipleSelectionGivesFolderAndNames) {
  cCommonDialog cd;
  pickerSettings(cd);
  whenOpen([] {
    QFileDialog* d = openFileDialog();
    clickNames(d, {"a.mp3", "b.mp3", "c.ogg"});
    clickAccept(d);
  });
  cd.ShowOpen();
  EXPECT_EQ(cd.Filename(), padded(z({root(), "a.mp3", "b.mp3", "c.ogg", "", ""}), 8192));
  EXPECT_EQ(cd.FileTitle(), "");
  EXPECT_EQ(cd.flags(),
            OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY | OFN_ENABLEHOOK);
  ASSERT_TRUE(cd.flags() & OFN_ALLOWMULTISELECT);

  std::string sDir;
  std::vector<std::string> sFiles;
  int32_t count = 0;
  cd.ParseMultiFileName(sDir, sFiles, count);
  EXPECT_EQ(sDir, root());
  EXPECT_EQ(count, 3);
  EXPECT_EQ(sFiles, (std::vector<std::string>{"a.mp3", "b.mp3", "c.ogg"}));
}

TEST_F(FileDialogTest, FilePathOfSeveralSelectedFilesQuotesTheNames) {
  cCommonDialog cd;
  pickerSettings(cd);
  std::string lastPath;
  cd.Events().FileChange = [&](QDialog* hDlg) { lastPath = cCommonDialog::GetFilePath(hDlg); };
  std::string afterOne;
  whenOpen([&] {
    QFileDialog* d = openFileDialog();
    clickNames(d, {"a.mp3"});
    afterOne = lastPath;
    clickNames(d, {"a.mp3", "b.mp3"});
    clickAccept(d);
  });
  cd.ShowOpen();
  EXPECT_EQ(afterOne, path("a.mp3"));
  EXPECT_EQ(lastPath, root() + "/\"a.mp3\" \"b.mp3\"");
}

TEST_F(FileDialogTest, ControlMessagesActOnTheNamedControls) {
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setFilter(kMusicFilter);
  cd.setHookDialog(true);
  bool typeLabelHidden = false, typeComboHidden = false, unknownRefused = false;
  QString cancelText, nameLabel;
  std::string spec;
  cd.Events().InitDialog = [&](QDialog* hDlg) {
    EXPECT_TRUE(cCommonDialog::HideControl(hDlg, stc2));
    EXPECT_TRUE(cCommonDialog::HideControl(hDlg, cmb1));
    cCommonDialog::SetControlText(hDlg, IDCANCEL, "&Close");
    cCommonDialog::SetControlText(hDlg, stc3, "&Music file:");
    cCommonDialog::SetControlText(hDlg, edt1, "b.mp3");
    unknownRefused =
        !cCommonDialog::SetControlText(hDlg, 0x9999, "x") && !cCommonDialog::HideControl(hDlg, 0x9999);
  };
  whenOpen([&] {
    QFileDialog* d = openFileDialog();
    typeLabelHidden = !d->findChild<QWidget*>(QStringLiteral("fileTypeLabel"))->isVisible();
    typeComboHidden = !d->findChild<QWidget*>(QStringLiteral("fileTypeCombo"))->isVisible();
    cancelText = d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text();
    nameLabel = d->findChild<QLabel*>(QStringLiteral("fileNameLabel"))->text();
    spec = cCommonDialog::GetSpec(d);
    clickAccept(d);
  });
  cd.ShowOpen();
  EXPECT_TRUE(typeLabelHidden);
  EXPECT_TRUE(typeComboHidden);
  EXPECT_TRUE(unknownRefused);
  EXPECT_EQ(cancelText, "&Close");
  EXPECT_EQ(nameLabel, "&Music file:");
  EXPECT_EQ(spec, "b.mp3");
  EXPECT_EQ(cd.Filename(), path("b.mp3")) << "the typed name was not taken";

  // The helpers refuse windows that are not file dialogs.
  QDialog plain;
  EXPECT_FALSE(cCommonDialog::SetControlText(&plain, IDOK, "x"));
  EXPECT_EQ(cCommonDialog::GetFilePath(&plain), "");
}

TEST_F(FileDialogTest, SecondDialogFromInsideAHandlerFails) {
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setHookDialog(true);
  int32_t nestedError = 0;
  cd.Events().InitDialog = [&](QDialog*) {
    try {
      cd.ShowOpen();
    } catch (const ComponentError& e) {
      nestedError = e.Number();
    }
  };
  whenOpen([] {
    QFileDialog* d = openFileDialog();
    clickNames(d, {"a.mp3"});
    clickAccept(d);
  });
  cd.ShowOpen();
  EXPECT_EQ(nestedError, 0xFFFF);
  EXPECT_EQ(cd.Filename(), path("a.mp3")) << "the open dialog lost its result";
}

TEST_F(FileDialogTest, OneFileWithMultipleSelectionOnGivesTheFullPath) {
  cCommonDialog cd;
  pickerSettings(cd);
  whenOpen([] {
    QFileDialog* d = openFileDialog();
    clickNames(d, {"a.mp3"});
    clickAccept(d);
  });
  cd.ShowOpen();
  EXPECT_EQ(cd.Filename(), padded(path("a.mp3"), 8192));

  std::string sDir;
  std::vector<std::string> sFiles;
  int32_t count = 0;
  cd.ParseMultiFileName(sDir, sFiles, count);
  EXPECT_EQ(sDir, "");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(sFiles, std::vector<std::string>{path("a.mp3")});
}

TEST_F(FileDialogTest, CancelEmptiesTheOutputsAndRaisesOnlyWhenAsked) {
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setFilename(path("a.mp3"));
  cd.setFileTitle("a.mp3");
  cd.setFilter(kMusicFilter);
  cd.setFlags(OFN_FILEMUSTEXIST);
  whenOpen([] { clickReject(openFileDialog()); });
  EXPECT_NO_THROW(cd.ShowOpen());
  EXPECT_EQ(cd.Filename(), "");
  EXPECT_EQ(cd.FileTitle(), "");
  EXPECT_EQ(cd.Filter(), "");
  EXPECT_EQ(cd.flags(), 0);
  EXPECT_EQ(cd.FilterIndex(), -1);
  EXPECT_EQ(cd.Dialogs().ExtendedError(), 0);

  cd.setCancelError(true);
  cd.setFilter(kMusicFilter);
  whenOpen([] { clickReject(openFileDialog()); });
  try {
    cd.ShowSave();
    FAIL() << "cancel did not raise";
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.Number(), 20001);
    EXPECT_EQ(e.Source(), "svcmdlg.cCommonDialog");
    EXPECT_EQ(e.Description(), "User selected cancel.");
  }
}

TEST_F(FileDialogTest, ConfirmOkCanKeepTheDialogOpen) {
  cCommonDialog cd;
  pickerSettings(cd);
  int confirmations = 0;
  bool stillOpen = false;
  std::string pathWhileOpen;
  cd.Events().ConfirmOK = [&](bool& bCancel) {
    ++confirmations;
    if (confirmations == 1) {
      bCancel = true;
      // After this click the dialog must still be there with the same selection.
      whenOpen([&] {
        QFileDialog* d = openFileDialog();
        stillOpen = d != nullptr;
        if (!d) return;
        pathWhileOpen = cCommonDialog::GetFilePath(d);
        clickAccept(d);
      });
    }
  };
  whenOpen([] {
    QFileDialog* d = openFileDialog();
    clickNames(d, {"b.mp3"});
    clickAccept(d);
  });
  cd.ShowOpen();
  EXPECT_EQ(confirmations, 2);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(pathWhileOpen, path("b.mp3"));
  EXPECT_EQ(cd.Filename(), padded(path("b.mp3"), 8192));
}

TEST_F(FileDialogTest, AllFilesFilterKeepsTheBlankOfItsPattern) {
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setFilter("All (*.*)| *.*");
  bool readmeShown = false;
  whenOpen([&] {
    QFileDialog* d = openFileDialog();
    // "*.*" lists names without a dot too.
    readmeShown = waitForNames(d, {"README", "notes.txt"});
    clickNames(d, {"notes.txt"});
    clickAccept(d);
  });
  cd.ShowOpen();
  EXPECT_TRUE(readmeShown);
  EXPECT_EQ(cd.Filename(), path("notes.txt"));
  EXPECT_EQ(cd.Filter(), z({"All (*.*)", " *.*"}));
  EXPECT_EQ(cd.FilterIndex(), 1);
}

TEST_F(FileDialogTest, FilterIndexZeroShowsTheFirstFilterAndTheChosenOneComesBack) {
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setFilter(kMusicFilter);
  cd.setFilterIndex(0);
  cd.setHookDialog(true);
  QString shownFirst;
  bool wavHidden = false;
  cd.Events().InitDialog = [&](QDialog* hDlg) {
    shownFirst = static_cast<QFileDialog*>(hDlg)->selectedNameFilter();
  };
  whenOpen([&] {
    QFileDialog* d = openFileDialog();
    waitForNames(d, {"a.mp3", "c.ogg"});
    nextFileType(d);  // "MP3 Files (*.MP3)"
    clickNames(d, {"a.mp3"});
    wavHidden = waitUntilGone(d, QStringLiteral("c.ogg"));
    clickAccept(d);
  });
  cd.ShowOpen();
  EXPECT_TRUE(shownFirst.startsWith(QStringLiteral("Music Files(*.MP3;*.VQF;*.OGG)")));
  EXPECT_TRUE(wavHidden) << "the MP3 filter still lists an OGG file";
  EXPECT_EQ(cd.FilterIndex(), 2);
  EXPECT_EQ(cd.Filter(), z({"MP3 Files (*.MP3)", "*.MP3"}));
}

TEST_F(FileDialogTest, EventsFollowTheUsersActions) {
  cCommonDialog cd;
  pickerSettings(cd);
  std::vector<std::string> seen;
  auto note = [&](std::string what) {
    if (seen.empty() || seen.back() != what) seen.push_back(std::move(what));
  };
  std::string folderSeen;
  auto& ev = cd.Events();
  ev.InitDialog = [&](QDialog*) { note("InitDialog"); };
  ev.FolderChange = [&](QDialog* h) {
    note("FolderChange");
    folderSeen = cCommonDialog::GetFolderPath(h);
  };
  ev.FileChange = [&](QDialog*) { note("FileChange"); };
  ev.TypeChange = [&](QDialog*) { note("TypeChange"); };
  ev.WMCommand = [&](QDialog*, std::intptr_t& w, std::intptr_t& l) {
    note("WMCommand " + std::to_string(w) + " " + std::to_string(l));
  };
  ev.ConfirmOK = [&](bool&) { note("ConfirmOK"); };
  ev.DialogClose = [&] { note("DialogClose"); };
  whenOpen([&] {
    QFileDialog* d = openFileDialog();
    waitForNames(d, {"a.mp3", "sub"});
    nextFileType(d);
    doubleClickName(d, "sub");
    clickNames(d, {"inner.mp3"});
    clickAccept(d);
  });
  cd.ShowOpen();
  const std::vector<std::string> expected{"InitDialog",    "FolderChange", "TypeChange",
                                          "FileChange",    "FolderChange", "FileChange",
                                          "WMCommand 1 0", "ConfirmOK",    "DialogClose"};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(folderSeen, path("sub"));
  EXPECT_EQ(cd.Filename(), padded(path("sub/inner.mp3"), 8192));
}

TEST_F(FileDialogTest, PanelSitsInsideTheDialogBelowTheStandardControls) {
  // The picker's own window with its information frame, as the conversion pages build it.
  QWidget picker;
  auto* frame = new QGroupBox(QStringLiteral("Music File Information"), &picker);
  auto* info = new QLabel(frame);
  (new QVBoxLayout(frame))->addWidget(info);

  cCommonDialog cd;
  pickerSettings(cd);
  QRect panelRect, controlsRect, dialogRect;
  bool panelVisible = false, panelInDialog = false;
  QString okText, folderLabel;
  bool folderKeyMarked = false;
  QSize sizeBefore, sizeAfter;
  int32_t l = 0, t = 0, w = 0, h = 0;
  QRect workArea;
  cd.Events().InitDialog = [&](QDialog* hDlg) {
    sizeBefore = hDlg->size();
    ASSERT_TRUE(cCommonDialog::AddPanel(hDlg, frame));
    sizeAfter = hDlg->size();
    cCommonDialog::SetControlText(hDlg, IDOK, "&Add");
    cCommonDialog::SetControlText(hDlg, stc4, "Add &from:");
    cd.CentreDialog(hDlg, nullptr);
  };
  cd.Events().FileChange = [&](QDialog* hDlg) {
    info->setText(QString::fromStdString(cCommonDialog::GetFilePath(hDlg)));
  };
  whenOpen([&] {
    QFileDialog* d = openFileDialog();
    clickNames(d, {"a.mp3"});
    QTest::qWait(0);
    panelVisible = frame->isVisible();
    panelInDialog = frame->window() == d;
    panelRect = QRect(frame->mapTo(d, QPoint(0, 0)), frame->size());
    for (const char* name : {"fileTypeCombo", "fileNameEdit", "listView"}) {
      auto* c = d->findChild<QWidget*>(QLatin1String(name));
      controlsRect |= QRect(c->mapTo(d, QPoint(0, 0)), c->size());
    }
    auto* box = d->findChild<QDialogButtonBox*>();
    controlsRect |= QRect(box->mapTo(d, QPoint(0, 0)), box->size());
    dialogRect = d->rect();
    okText = box->button(QDialogButtonBox::Open)->text();
    folderLabel = d->findChild<QLabel*>(QStringLiteral("lookInLabel"))->text();
    // A label shows "&" as a character unless it has a buddy to give the key to.
    folderKeyMarked = d->findChild<QLabel*>(QStringLiteral("lookInLabel"))->buddy() ==
                      d->findChild<QWidget*>(QStringLiteral("lookInCombo"));
    cd.GetDialogSize(d, l, t, w, h);
    workArea = d->screen()->availableGeometry();
    clickAccept(d);
  });
  cd.ShowOpen();

  EXPECT_TRUE(panelVisible);
  EXPECT_TRUE(panelInDialog);
  EXPECT_GE(panelRect.top(), controlsRect.bottom()) << "the panel overlaps the standard controls";
  EXPECT_TRUE(dialogRect.contains(panelRect));
  EXPECT_GT(sizeAfter.height(), sizeBefore.height());
  EXPECT_EQ(okText, "&Add");
  EXPECT_EQ(folderLabel, "Add &from:");
  EXPECT_TRUE(folderKeyMarked) << "the folder label would show a literal \"&\"";
  EXPECT_EQ(info->text().toStdString(), path("a.mp3"));
  EXPECT_EQ(l, workArea.left() + (workArea.width() - w) / 2);
  EXPECT_EQ(t, workArea.top() + (workArea.height() - h) / 2);
  // The frame is back with its own window once the dialog has closed.
  EXPECT_EQ(frame->parentWidget(), &picker);
  EXPECT_FALSE(frame->isVisible());
}

TEST_F(FileDialogTest, OwnerWindowComesFromHwnd) {
  QWidget mainWindow;
  mainWindow.resize(400, 300);
  mainWindow.show();
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setHookDialog(true);
  QWidget* parent = reinterpret_cast<QWidget*>(1);
  cd.Events().InitDialog = [&](QDialog* hDlg) { parent = hDlg->parentWidget(); };

  cd.setOwner(&mainWindow);
  cd.Events().InitDialog = [&](QDialog* hDlg) {
    parent = hDlg->parentWidget();
    cd.CentreDialog(hDlg, &mainWindow);
  };
  QRect placed;
  whenOpen([&] {
    QFileDialog* d = openFileDialog();
    // The dialog centres again once its frame is known.
    const QRect owner = mainWindow.frameGeometry();
    (void)QTest::qWaitFor(
        [&] {
          placed = d->frameGeometry();
          return placed.left() == owner.left() + (owner.width() - placed.width()) / 2;
        },
        2000);
    clickReject(d);
  });
  cd.ShowOpen();
  EXPECT_EQ(parent, &mainWindow);
  const QRect owner = mainWindow.frameGeometry();
  EXPECT_EQ(placed.left(), owner.left() + (owner.width() - placed.width()) / 2);
  EXPECT_EQ(placed.top(), owner.top() + (owner.height() - placed.height()) / 2);

  cd.setHwnd(-1);
  whenOpen([] { clickReject(openFileDialog()); });
  cd.ShowOpen();
  EXPECT_EQ(parent, nullptr);

  // A handle that names no window makes the dialog fail instead of losing its owner.
  cd.setHwnd(0x7fff0001);
  try {
    cd.ShowOpen();
    FAIL() << "a dead owner handle did not fail";
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.Number(), 0xFFFF);
    EXPECT_EQ(e.Source(), "svcmdlg.cCommonDialog");
    EXPECT_EQ(e.Description(), kDefaultErrorDescription);
  }
}

TEST_F(FileDialogTest, SelectionLargerThanTheBufferFailsWithTheExtendedError) {
  // Forty names of 230 characters do not fit the 8192 characters of a multiple selection.
  QString typed;
  for (int i = 0; i < 40; ++i) {
    const QString name =
        QString(225, QChar(u'a' + i % 26)) + QString::number(100 + i) + QStringLiteral(".mp3");
    touch(name);
    typed += u'"' + name + QStringLiteral("\" ");
  }
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setFlags(OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST);
  whenOpen([&] {
    QFileDialog* d = openFileDialog();
    typeFileName(d, typed.trimmed());
    clickAccept(d);
  });
  try {
    cd.ShowOpen();
    FAIL() << "the oversized selection was accepted";
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.Number(), (FNERR_BUFFERTOOSMALL | 0x348A) & 0xFFFF);
    EXPECT_EQ(e.Number(), 13451);
  }
  EXPECT_EQ(cd.Filename(), "");
  EXPECT_EQ(cd.FilterIndex(), -1);
  EXPECT_EQ(cd.Dialogs().ExtendedError(), FNERR_BUFFERTOOSMALL);
  EXPECT_EQ(cd.Dialogs().APIReturn(), 0);
}

TEST_F(FileDialogTest, SaveAddsTheDefaultExtensionAndAsksBeforeReplacing) {
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setFilter("Wave Files (*.WAV)|*.WAV");
  cd.setDefaultExt("WAV");
  cd.setFlags(OFN_OVERWRITEPROMPT | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST);
  whenOpen([] {
    QFileDialog* d = openFileDialog();
    typeFileName(d, QStringLiteral("fresh"));
    clickAccept(d);
  });
  cd.ShowSave();
  EXPECT_EQ(cd.Filename(), path("fresh.WAV"));
  EXPECT_EQ(cd.FileTitle(), "fresh.WAV");
  // Multiple selection and must-exist are not for saving; the read-only box is always hidden.
  EXPECT_EQ(cd.flags(), OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY);

  cd.setFilter("Wave Files (*.WAV)|*.WAV");
  bool asked = false;
  whenOpen([&] {
    QFileDialog* d = openFileDialog();
    typeFileName(d, QStringLiteral("d.wav"));
    QTimer::singleShot(0, qApp, [&] {
      QMessageBox* box = nullptr;
      (void)QTest::qWaitFor([&] { return (box = openDialog<QMessageBox>()) != nullptr; }, 5000);
      asked = box != nullptr;
      if (box) QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    clickAccept(d);
  });
  cd.ShowSave();
  EXPECT_TRUE(asked);
  EXPECT_EQ(cd.Filename(), path("d.wav"));
}

TEST_F(FileDialogTest, HandlerExceptionClosesTheDialogAndReachesTheCaller) {
  cCommonDialog cd;
  cd.setInitDir(root());
  cd.setHookDialog(true);
  bool closed = false;
  cd.Events().FileChange = [](QDialog*) { throw std::runtime_error("handler failed"); };
  cd.Events().DialogClose = [&] { closed = true; };
  whenOpen([] { clickNames(openFileDialog(), {"a.mp3"}); });
  EXPECT_THROW(cd.ShowOpen(), std::runtime_error);
  EXPECT_TRUE(closed);
  EXPECT_EQ(openFileDialog(), nullptr);
  EXPECT_EQ(cd.Filename(), "");

  // A failing click handler: the OK that follows it must not accept the dialog.
  bool confirmed = false;
  cd.setFilename("");
  cd.Events().FileChange = nullptr;
  cd.Events().WMCommand = [](QDialog*, std::intptr_t&, std::intptr_t&) {
    throw std::logic_error("click failed");
  };
  cd.Events().ConfirmOK = [&](bool&) { confirmed = true; };
  whenOpen([] {
    QFileDialog* d = openFileDialog();
    clickNames(d, {"a.mp3"});
    clickAccept(d);
  });
  EXPECT_THROW(cd.ShowOpen(), std::logic_error);
  EXPECT_FALSE(confirmed);
  EXPECT_EQ(cd.Filename(), "");
}

TEST(ParseMultiFileName, SinglePathsSplitAtTheLastSeparator) {
  cCommonDialog cd;
  struct Case {
    std::string name, dir, file;
  };
  for (const Case& c : {Case{"/music/pop/a.mp3", "/music/pop", "a.mp3"}, Case{"a.mp3", "", "a.mp3"},
                        Case{"/a.mp3", "", "/a.mp3"}}) {
    cd.setFilename(c.name);
    std::string sDir = "stale";
    std::vector<std::string> sFiles{"x", "y"};
    int32_t count = 0;
    cd.ParseMultiFileName(sDir, sFiles, count);
    EXPECT_EQ(sDir, c.dir) << c.name;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(sFiles, std::vector<std::string>{c.file}) << c.name;
  }
}

TEST(GetFileTitle, IsTheNameWithoutItsFolder) {
  EXPECT_EQ(GCommonDialog::VBGetFileTitle("/music/pop/a b.mp3"), "a b.mp3");
  EXPECT_EQ(GCommonDialog::VBGetFileTitle("plain"), "plain");
}

TEST(ParseMultiFileName, ZeroSeparatedListWithoutTrailingPadding) {
  cCommonDialog cd;
  cd.setFilename(z({"/m", "x.mp3", "y.mp3", "", "garbage"}));
  std::string sDir;
  std::vector<std::string> sFiles;
  int32_t count = 0;
  cd.ParseMultiFileName(sDir, sFiles, count);
  EXPECT_EQ(sDir, "/m");
  EXPECT_EQ(count, 2);
  EXPECT_EQ(sFiles, (std::vector<std::string>{"x.mp3", "y.mp3"}));
}

TEST(CommonDialogDefaults, PropertiesStartAsDocumented) {
  cCommonDialog cd;
  EXPECT_FALSE(cd.CancelError());
  EXPECT_EQ(cd.Filename(), "");
  EXPECT_EQ(cd.FileTitle(), "");
  EXPECT_EQ(cd.Filter(), "");
  EXPECT_EQ(cd.FilterIndex(), 1);
  EXPECT_EQ(cd.flags(), 0);
  EXPECT_EQ(cd.DefaultExt(), "");
  EXPECT_EQ(cd.DialogTitle(), "");
  EXPECT_EQ(cd.InitDir(), "");
  EXPECT_EQ(cd.hwnd(), 0);
  EXPECT_FALSE(cd.HookDialog());
  EXPECT_EQ(cd.hInstance(), 0);
  EXPECT_EQ(cd.MaxFileSize(), 0);
}

}  // namespace
