#include "platform/events.h"
#include "platform/rounding.h"
#include "platform/runtime_error.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace sv;

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(Round(0.5), 0.0);
  EXPECT_EQ(Round(1.5), 2.0);
  EXPECT_EQ(Round(2.5), 2.0);
  EXPECT_EQ(Round(3.5), 4.0);
  EXPECT_EQ(Round(-2.5), -2.0);
  EXPECT_EQ(Round(-3.5), -4.0);
  EXPECT_EQ(Round(2.5000001), 3.0);
  EXPECT_EQ(Round(-0.4), 0.0);
  EXPECT_DOUBLE_EQ(Round(1.25, 1), 1.2);
  EXPECT_DOUBLE_EQ(Round(1.35, 1), 1.4);
  EXPECT_DOUBLE_EQ(Round(12.3456, 2), 12.35);
  EXPECT_TRUE(std::isnan(Round(std::nan(""))));
  EXPECT_THROW(Round(1.0, -1), RuntimeError);
}

TEST(Rounding, WholeNumbersAndOverflow) {
  EXPECT_EQ(rnd(49.5), 50);  // 49.5 → 50 (even)
  EXPECT_EQ(rnd(50.5), 50);
  EXPECT_EQ(rnd(99.5), 100);
  EXPECT_EQ(rnd(-0.5), 0);
  EXPECT_EQ(CInt(32766.5), 32766);
  EXPECT_EQ(CInt(-32768.4), -32768);
  try {
    CInt(32767.5);  // rounds to 32768
    FAIL() << "no overflow";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 6);
    EXPECT_EQ(e.description(), "Overflow");
  }
  EXPECT_THROW(CLng(3.0e9), RuntimeError);
  EXPECT_THROW(CLng(std::nan("")), RuntimeError);
  EXPECT_EQ(CLng(2147483647.4), 2147483647);
}

TEST(RuntimeErrors, StandardDescriptions) {
  EXPECT_EQ(StandardErrorDescription(5), "Invalid procedure call or argument");
  EXPECT_EQ(StandardErrorDescription(6), "Overflow");
  EXPECT_EQ(StandardErrorDescription(9), "Subscript out of range");
  EXPECT_EQ(StandardErrorDescription(13), "Type mismatch");
  EXPECT_EQ(StandardErrorDescription(48), "Error in loading DLL");
  EXPECT_EQ(StandardErrorDescription(53), "File not found");
  EXPECT_EQ(StandardErrorDescription(453), "Specified DLL function not found");
  EXPECT_EQ(StandardErrorDescription(76), "Path not found");
  EXPECT_EQ(StandardErrorDescription(31999), "Application-defined or object-defined error");
}

TEST(RuntimeErrors, ErrorTextAndDefaults) {
  const RuntimeError e(9);
  EXPECT_EQ(e.number(), 9);
  EXPECT_EQ(e.description(), "Subscript out of range");
  EXPECT_EQ(e.source(), "sonvera");
  EXPECT_EQ(ErrorText(e), "Error#9,Subscript out of range");
  EXPECT_STREQ(e.what(), "Error#9,Subscript out of range");

  const RuntimeError own(10000, "MyExceptionFilter", "Access Violation");
  EXPECT_EQ(ErrorText(own), "Error#10000,Access Violation");
  EXPECT_EQ(own.source(), "MyExceptionFilter");
  EXPECT_THROW(Raise(13), RuntimeError);
}

TEST(Events, DoEventsRunsPendingEvents) {
  bool fired = false;
  QTimer::singleShot(0, [&] { fired = true; });
  for (int i = 0; i < 100 && !fired; ++i) DoEvents();
  EXPECT_TRUE(fired);
}

}  // namespace
