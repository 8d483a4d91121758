// Built without a QApplication: the situation of a console tool.
#include "platform/msgbox.h"

#include <gtest/gtest.h>

namespace {

using namespace sv;

TEST(ConsoleMsgBox, WithoutAGuiApplicationTheDefaultButtonAnswers) {
  EXPECT_EQ(MsgBox("Overwrite?", vbYesNoCancel | vbInformation), vbYes);
  EXPECT_EQ(MsgBox("Overwrite?", vbYesNoCancel | vbDefaultButton2), vbNo);
  EXPECT_EQ(MsgBox("Overwrite?", vbYesNoCancel | vbDefaultButton3), vbCancel);
  EXPECT_EQ(MsgBox("Retry?", vbRetryCancel | vbDefaultButton3), vbCancel);  // no third button: the last
  EXPECT_EQ(MsgBox("Done"), vbOK);
}

}  // namespace
