// Without a widget application the dialogs cannot be created: every Show... call fails
// through the extended error, never by crashing the program.
#include <gtest/gtest.h>

#include "svcmdlg/svcmdlg.h"

using namespace svcmdlg;

namespace {

int32_t errorOf(void (cCommonDialog::*show)(), cCommonDialog& cd) {
  try {
    (cd.*show)();
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.Source(), "svcmdlg.cCommonDialog");
    return e.Number();
  }
  return 0;
}

TEST(NoApplication, EveryDialogFailsWithTheDialogFailureCode) {
  cCommonDialog cd;
  cd.setFilter("All (*.*)| *.*");
  cd.setFilename("/tmp/x");
  EXPECT_EQ(errorOf(&cCommonDialog::ShowOpen, cd), 0xFFFF);
  EXPECT_EQ(cd.Dialogs().ExtendedError(), CDERR_DIALOGFAILURE);
  EXPECT_EQ(cd.Filename(), "");
  EXPECT_EQ(cd.FilterIndex(), -1);
  EXPECT_EQ(errorOf(&cCommonDialog::ShowSave, cd), 0xFFFF);
  cd.setColor(0x123456);
  EXPECT_EQ(errorOf(&cCommonDialog::ShowColor, cd), 0xFFFF);
  EXPECT_EQ(cd.Color(), -1);
  EXPECT_EQ(errorOf(&cCommonDialog::ShowFont, cd), 0xFFFF);
  EXPECT_EQ(errorOf(&cCommonDialog::ShowPrinter, cd), 0xFFFF);
}

}  // namespace
