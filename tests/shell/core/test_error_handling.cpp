#include "platform/msgbox.h"
#include "shell/core/error_handling.h"

#include <gtest/gtest.h>

namespace {

using namespace sv;

TEST(ErrorHandling, FilterRaisesError10000NamedAfterTheFirstFault) {
  auto first = std::make_shared<ExceptionRecord>();
  first->code = 0xC0000005u;
  ExceptionRecord outer;
  outer.code = 0xC0000026u;
  outer.nested = first;
  try {
    MyExceptionFilter(outer);
    FAIL() << "the filter returned";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 10000);
    EXPECT_EQ(e.source(), "MyExceptionFilter");
    EXPECT_EQ(e.description(), "Access Violation");
  }

  ExceptionRecord odd;
  odd.code = 0x12345u;
  try {
    MyExceptionFilter(odd);
    FAIL() << "the filter returned";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), "Unknown (&H00012345)");
  }
}

TEST(ErrorHandling, ErrorBoxShowsNumberAndDescriptionWithTheCriticalIcon) {
  ScopedMsgBoxResponder responder(vbOK);
  ShowRuntimeError(RuntimeError(9));
  ShowRuntimeError(10000, "Access Violation");
  ASSERT_EQ(responder.calls().size(), 2u);
  EXPECT_EQ(responder.calls()[0].text, "Error#9,Subscript out of range");
  EXPECT_EQ(responder.calls()[0].buttons, vbCritical);
  EXPECT_EQ(responder.calls()[0].title, "Sonvera Disc Suite");
  EXPECT_EQ(responder.calls()[1].text, "Error#10000,Access Violation");
}

TEST(ErrorHandling, JobWindowFilterIsInstalledOnlyWhileItLives) {
  EXPECT_FALSE(FaultTranslation::armed());
  {
    JobExceptionFilter filter;
    EXPECT_TRUE(FaultTranslation::armed());
  }
  EXPECT_FALSE(FaultTranslation::armed());
}

}  // namespace
