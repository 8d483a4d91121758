#include <gtest/gtest.h>

#include <cstring>

#include <QColorDialog>
#include <QDesktopServices>
#include <QFile>
#include <QFontDialog>
#include <QTemporaryDir>
#include <QUrl>
#include <QtPrintSupport/QPageSetupDialog>
#include <QtPrintSupport/QPrintDialog>
#include <QtPrintSupport/QPrinter>
#include <QtPrintSupport/QPrinterInfo>

#include "DialogDriver.h"
#include "svcmdlg/svcmdlg.h"

using namespace svcmdlg;
using namespace testdrive;

namespace {

class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public Q_SLOTS:
  void open(const QUrl& url) { urls << url; }
};

TEST(ShowColor, ChoiceComesBackAsRgbAndCustomColoursReachTheDialog) {
  cCommonDialog cd;
  EXPECT_EQ(cd.CustomColor(-1), -1);
  EXPECT_EQ(cd.CustomColor(16), -1);
  cd.setCustomColor(16, 0x123456);  // ignored
  cd.setCustomColor(3, 0x563412);
  cd.setColor(0x0000FF);  // red
  cd.setFlags(CC_FULLOPEN);
  QColor startColour, customThree;
  whenOpen([&] {
    auto* d = openDialog<QColorDialog>();
    startColour = d->currentColor();
    customThree = QColorDialog::customColor(3);
    d->setCurrentColor(QColor(0, 128, 255));
    QColorDialog::setCustomColor(5, QColor(1, 2, 3));
    clickAccept(d);
  });
  cd.ShowColor();
  EXPECT_EQ(startColour, QColor(255, 0, 0));
  EXPECT_EQ(customThree, QColor(0x12, 0x34, 0x56));
  EXPECT_EQ(cd.Color(), 0xFF8000);
  EXPECT_EQ(cd.CustomColor(5), 0x030201);
  EXPECT_EQ(cd.flags(), CC_RGBINIT | CC_SOLIDCOLOR | CC_FULLOPEN);
}

TEST(ShowColor, SystemColourStartsAsItsRgbAndCancelGivesMinusOne) {
  cCommonDialog cd;
  cd.setColor(static_cast<int32_t>(0x80000005u));  // window background
  QColor startColour;
  whenOpen([&] {
    auto* d = openDialog<QColorDialog>();
    startColour = d->currentColor();
    clickReject(d);
  });
  EXPECT_NO_THROW(cd.ShowColor());
  EXPECT_EQ(startColour, QApplication::palette().color(QPalette::Base));
  EXPECT_EQ(cd.Color(), -1);

  cd.setCancelError(true);
  whenOpen([] { clickReject(openDialog<QColorDialog>()); });
  try {
    cd.ShowColor();
    FAIL();
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.Number(), 20001);
  }
}

TEST(ShowFont, ChosenFontFillsTheProperties) {
  cCommonDialog cd;
  cd.setFontName("DejaVu Sans");
  cd.setFontSize(12);
  cd.setFontStrikethru(true);
  cd.setFlags(CF_SCREENFONTS | CF_EFFECTS);
  cd.setHookDialog(true);
  bool initSeen = false;
  cd.Events().InitDialog = [&](QDialog* hDlg) { initSeen = qobject_cast<QFontDialog*>(hDlg) != nullptr; };
  whenOpen([] {
    auto* d = openDialog<QFontDialog>();
    QFont f = d->currentFont();
    f.setPointSize(14);
    f.setItalic(true);
    f.setUnderline(true);
    d->setCurrentFont(f);
    clickAccept(d);
  });
  cd.ShowFont();
  EXPECT_TRUE(initSeen);
  EXPECT_EQ(cd.FontName(), "DejaVu Sans");
  EXPECT_DOUBLE_EQ(cd.FontSize(), 14.0);
  EXPECT_FALSE(cd.FontBold());
  EXPECT_TRUE(cd.FontItalic());
  EXPECT_TRUE(cd.FontUnderline());
  EXPECT_TRUE(cd.FontStrikethru()) << "the strike-through set before showing was lost";
  EXPECT_EQ(cd.Font().family(), QStringLiteral("DejaVu Sans"));
}

TEST(ShowFont, LimitWithMaximumBelowMinimumFails) {
  cCommonDialog cd;
  cd.setFlags(CF_SCREENFONTS | CF_LIMITSIZE);
  cd.setMin(20);
  cd.setMax(10);
  try {
    cd.ShowFont();
    FAIL();
  } catch (const ComponentError& e) {
    // 0x2002 adds no bit to 13450 (0x348A).
    EXPECT_EQ(e.Number(), 13450);
    EXPECT_EQ(cd.Dialogs().ExtendedError(), CFERR_MAXLESSTHANMIN);
  }
}

TEST(ShowPrinter, CopiesComeBackAndCancelRaisesNothing) {
  QTemporaryDir dir;
  cCommonDialog cd;
  // Machines without printers print to a file; name one so OK needs no further question.
  cd.Dialogs().Printer().setOutputFileName(dir.filePath(QStringLiteral("out.pdf")));
  cd.setCopies(3);
  cd.setMin(1);
  cd.setMax(9);
  cd.setFromPage(2);
  cd.setToPage(4);
  cd.setFlags(PD_PAGENUMS | PD_NOSELECTION);
  int fromShown = 0, toShown = 0;
  whenOpen([&] {
    auto* d = openDialog<QPrintDialog>();
    fromShown = d->printer()->fromPage();
    toShown = d->printer()->toPage();
    clickAccept(d);
  });
  cd.ShowPrinter();
  EXPECT_EQ(fromShown, 2);
  EXPECT_EQ(toShown, 4);
  EXPECT_EQ(cd.Copies(), 3);
  EXPECT_EQ(cd.FromPage(), 2);
  EXPECT_EQ(cd.ToPage(), 4);
  EXPECT_TRUE(cd.flags() & PD_PAGENUMS);

  cd.setCancelError(true);
  whenOpen([] { clickReject(openDialog<QPrintDialog>()); });
  EXPECT_NO_THROW(cd.ShowPrinter());
  EXPECT_EQ(cd.Copies(), 3);
}

TEST(PageSetup, MarginsPaperAndOrientationGoInAndComeBack) {
  GCommonDialog g;
  PageSetupArgs a;
  a.flags = PSD_MARGINS | PSD_INHUNDREDTHSOFMILLIMETERS | PSD_RETURNDEFAULT;
  a.Units = epsuHundredthsOfMillimeters;
  a.LeftMargin = 2000;
  a.TopMargin = 1500;
  a.RightMargin = 1000;
  a.BottomMargin = 2500;
  a.PaperSize = DMPAPER_A5;
  a.Orientation = DMORIENT_LANDSCAPE;
  ASSERT_TRUE(g.VBPageSetupDlg(a, nullptr));
  EXPECT_EQ(g.APIReturn(), 1);
  EXPECT_EQ(a.LeftMargin, 2000);
  EXPECT_EQ(a.TopMargin, 1500);
  EXPECT_EQ(a.RightMargin, 1000);
  EXPECT_EQ(a.BottomMargin, 2500);
  EXPECT_EQ(a.PaperSize, DMPAPER_A5);
  EXPECT_EQ(a.Orientation, DMORIENT_LANDSCAPE);
}

TEST(PageSetup, WithoutAPrinterTheSetupDialogFails) {
  if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "this machine has a printer";
  GCommonDialog g;
  PageSetupArgs a;
  EXPECT_FALSE(g.VBPageSetupDlg(a, nullptr));
  EXPECT_EQ(g.ExtendedError(), PDERR_NODEFAULTPRN);
  cCommonDialog cd;
  cd.setFlags(PD_PRINTSETUP);
  try {
    cd.ShowPrinter();
    FAIL() << "print setup without a printer did not fail";
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.Number(), (PDERR_NODEFAULTPRN | 0x348A) & 0xFFFF);
  }
}

TEST(PageSetup, DialogTurnsThePageUpright) {
  if (QPrinterInfo::availablePrinters().isEmpty())
    GTEST_SKIP() << "no printer on this machine: the page-setup dialog cannot open";
  GCommonDialog g;
  PageSetupArgs a;
  a.flags = PSD_MARGINS | PSD_INTHOUSANDTHSOFINCHES;
  a.Units = epsuThousandthsOfInches;
  a.LeftMargin = 787;
  a.PaperSize = DMPAPER_LETTER;
  a.Orientation = DMORIENT_LANDSCAPE;
  whenOpen([] {
    auto* d = openDialog<QPageSetupDialog>();
    QPageLayout layout = d->printer()->pageLayout();
    layout.setOrientation(QPageLayout::Portrait);
    d->printer()->setPageLayout(layout);
    clickAccept(d);
  });
  ASSERT_TRUE(g.VBPageSetupDlg(a, nullptr));
  EXPECT_EQ(a.PaperSize, DMPAPER_LETTER);
  EXPECT_EQ(a.Orientation, DMORIENT_PORTRAIT);
  EXPECT_NEAR(a.LeftMargin, 787, 10);
}

TEST(ShowHelp, CommandsThatNeedDataAreRefused) {
  cCommonDialog cd;
  cd.setHelpFile("/nonexistent/help.html");
  for (int32_t command : {HELP_MULTIKEY, HELP_SETWINPOS}) {
    cd.setHelpCommand(command);
    try {
      cd.ShowHelp();
      FAIL() << command;
    } catch (const ComponentError& e) {
      EXPECT_EQ(e.Number(), 13705);
      EXPECT_EQ(e.Description(), "Invalid WinHelp Command Passed to ShowHelp function.");
      EXPECT_EQ(e.Source(), "svcmdlg.cCommonDialog");
    }
  }
}

TEST(ShowHelp, OpensTheHelpFileAtTheContextOrFails) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("sonvera.html"));
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("<html></html>");
  f.close();

  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
  cCommonDialog cd;
  cd.setHelpFile(file.toStdString());
  cd.setHelpCommand(HELP_CONTEXT);
  cd.setHelpContext(42);
  cd.ShowHelp();
  cd.setHelpCommand(HELP_KEY);
  cd.setHelpKey("Burning");
  cd.ShowHelp();
  cd.setHelpCommand(HELP_QUIT);
  cd.ShowHelp();
  ASSERT_EQ(catcher.urls.size(), 2);
  EXPECT_EQ(catcher.urls[0].toLocalFile(), file);
  EXPECT_EQ(catcher.urls[0].fragment(), QStringLiteral("42"));
  EXPECT_EQ(catcher.urls[1].fragment(), QStringLiteral("Burning"));

  cd.setHelpFile(dir.filePath(QStringLiteral("missing.html")).toStdString());
  cd.setHelpCommand(HELP_CONTENTS);
  try {
    cd.ShowHelp();
    FAIL();
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.Source(), "svcmdlg.cCommonDialog");
    EXPECT_EQ(e.Number(), eeHelpFailed);
  }
  EXPECT_EQ(catcher.urls.size(), 2);
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

TEST(SetHelpPosition, PositionRecordCarriesTheWindowPlace) {
  cCommonDialog cd;
  cd.SetHelpPosition(10, 20, 300, 400, SW_SHOWMAXIMIZED);
  EXPECT_EQ(cd.HelpPosition().x, 10);
  EXPECT_EQ(cd.HelpPosition().dy, 400);
  const auto& rec = cd.HelpPositionRecord();
  ASSERT_EQ(rec.size(), 28u);
  int32_t fields[6];
  std::memcpy(fields, rec.data(), sizeof fields);
  EXPECT_EQ(fields[0], 28);
  EXPECT_EQ(fields[1], 10);
  EXPECT_EQ(fields[2], 20);
  EXPECT_EQ(fields[3], 300);
  EXPECT_EQ(fields[4], 400);
  EXPECT_EQ(fields[5], SW_SHOWMAXIMIZED);
}

}  // namespace

#include "OtherDialogsTest.moc"
