#include "platform/events.h"
#include "platform/fault_guard.h"
#include "platform/library_loader.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <pthread.h>

#include <csignal>

namespace {

using namespace sv;

TEST(FaultNames, TableAndUnknownCodes) {
  EXPECT_EQ(GetExceptionName(0xC0000005u), "Access Violation");
  EXPECT_EQ(GetExceptionName(0xC00000FDu), "Stack Overflow");
  EXPECT_EQ(GetExceptionName(0xC0000094u), "Integer Divide By Zero");
  EXPECT_EQ(GetExceptionName(0x80000002u), "Data Type Misalignment");
  EXPECT_EQ(GetExceptionName(0xC000013Au), "Control-C Exit");
  EXPECT_EQ(GetExceptionName(0xC000008Fu), "Floating Point Inexact Result");
  EXPECT_EQ(GetExceptionName(0x12345u), "Unknown (&H00012345)");
  EXPECT_EQ(GetExceptionName(0xDEADBEEFu), "Unknown (&HDEADBEEF)");
  EXPECT_EQ(GetExceptionName(0u), "Unknown (&H00000000)");
}

TEST(FaultNames, ChainedRecordIsNamedAfterTheInnermost) {
  auto first = std::make_shared<ExceptionRecord>();
  first->code = kFaultIntDivideByZero;
  auto middle = std::make_shared<ExceptionRecord>();
  middle->code = kFaultNonContinuable;
  middle->nested = first;
  ExceptionRecord last;
  last.code = kFaultInvalidDisposition;
  last.nested = middle;

  const RuntimeError e = TranslateFault(last);
  EXPECT_EQ(e.number(), 10000);
  EXPECT_EQ(e.source(), "MyExceptionFilter");
  EXPECT_EQ(e.description(), "Integer Divide By Zero");
}

TEST(FaultNames, SignalsMapToFaultCodes) {
  EXPECT_EQ(FaultCodeForSignal(SIGSEGV, SEGV_MAPERR, reinterpret_cast<void*>(0x10)), kFaultAccessViolation);
  EXPECT_EQ(FaultCodeForSignal(SIGFPE, FPE_INTDIV), kFaultIntDivideByZero);
  EXPECT_EQ(FaultCodeForSignal(SIGFPE, FPE_FLTOVF), kFaultFloatOverflow);
  EXPECT_EQ(FaultCodeForSignal(SIGILL, ILL_ILLOPN), kFaultIllegalInstruction);
  EXPECT_EQ(FaultCodeForSignal(SIGILL, ILL_PRVOPC), kFaultPrivileged);
  EXPECT_EQ(FaultCodeForSignal(SIGBUS, BUS_ADRALN), kFaultMisalignment);
  EXPECT_EQ(FaultCodeForSignal(SIGBUS, BUS_ADRERR), kFaultInPageError);
}

class FaultTranslationTest : public ::testing::Test {
 protected:
  SharedLibrary lib{"svtestfault"};
};

TEST_F(FaultTranslationTest, ArmedOnlyWhileAJobWindowIsOpen) {
  EXPECT_FALSE(FaultTranslation::armed());
  {
    FaultTranslation outer;
    EXPECT_TRUE(FaultTranslation::armed());
    {
      FaultTranslation inner;
      EXPECT_TRUE(FaultTranslation::armed());
    }
    EXPECT_TRUE(FaultTranslation::armed());
  }
  EXPECT_FALSE(FaultTranslation::armed());
}

TEST_F(FaultTranslationTest, AccessViolationInALibraryBecomesError10000AndTheProgramGoesOn) {
  auto nullWrite = lib.function<int (*)(int)>("svt_null_write");
  auto add = lib.function<int (*)(int, int)>("svt_add");
  FaultTranslation armed;
  try {
    GuardedCall([&] { return nullWrite(7); });
    FAIL() << "the fault was not reported";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 10000);
    EXPECT_EQ(e.source(), "MyExceptionFilter");
    EXPECT_EQ(e.description(), "Access Violation");
  }
  // The jump out of the handler leaves no signal blocked.
  sigset_t mask;
  sigemptyset(&mask);
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  EXPECT_FALSE(sigismember(&mask, SIGSEGV));
  // Still running, and the next fault is caught the same way.
  EXPECT_EQ(GuardedCall([&] { return add(2, 3); }), 5);
  EXPECT_THROW(GuardedCall([&] { return nullWrite(8); }), RuntimeError);
  EXPECT_EQ(add(20, 22), 42);
}

TEST_F(FaultTranslationTest, DivideByZeroAndIllegalInstructionAreNamed) {
  auto divide = lib.function<int (*)(int, int)>("svt_divide");
  auto illegal = lib.function<void (*)()>("svt_illegal_instruction");
  FaultTranslation armed;
  try {
    GuardedCall([&] { return divide(1, 0); });
    FAIL() << "no fault";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), "Integer Divide By Zero");
  }
  try {
    GuardedCall([&] { illegal(); });
    FAIL() << "no fault";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), "Illegal Instruction");
  }
  EXPECT_EQ(GuardedCall([&] { return divide(9, 3); }), 3);
}

TEST_F(FaultTranslationTest, StackOverflowIsReportedOnTheAlternateStack) {
  auto recurse = lib.function<int (*)(int)>("svt_recurse");
  FaultTranslation armed;
  try {
    GuardedCall([&] { return recurse(0); });
    FAIL() << "no fault";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 10000);
    EXPECT_EQ(e.description(), "Stack Overflow");
  }
}

TEST_F(FaultTranslationTest, NestedGuardsReportToTheInnermostCall) {
  auto nullWrite = lib.function<int (*)(int)>("svt_null_write");
  FaultTranslation armed;
  int reached = 0;
  GuardedCall([&] {
    EXPECT_THROW(GuardedCall([&] { return nullWrite(1); }), RuntimeError);
    reached = 1;
  });
  EXPECT_EQ(reached, 1);
}

TEST_F(FaultTranslationTest, CppExceptionsPassThroughAGuard) {
  FaultTranslation armed;
  EXPECT_THROW(GuardedCall([]() -> int { throw RuntimeError(53); }), RuntimeError);
  // The guard frame was unwound: a later fault outside any guard is not caught by a stale frame.
  EXPECT_EQ(detail::CurrentGuardFrame(), nullptr);
}

TEST_F(FaultTranslationTest, CallbacksIntoOurOwnCodeSuspendTheGuard) {
  FaultTranslation armed;
  GuardedCall([] {
    EXPECT_NE(detail::CurrentGuardFrame(), nullptr);
    {
      SuspendFaultGuard callback;
      EXPECT_EQ(detail::CurrentGuardFrame(), nullptr);
    }
    EXPECT_NE(detail::CurrentGuardFrame(), nullptr);
  });
  EXPECT_EQ(detail::CurrentGuardFrame(), nullptr);
}

using FaultTranslationDeathTest = FaultTranslationTest;

// A fault in an event handler run by DoEvents from inside a component call is the
// program's own fault: it is not turned into an error that would unwind the event loop.
TEST_F(FaultTranslationDeathTest, FaultInAnEventHandlerDuringAGuardedCallIsNotTranslated) {
  auto nullWrite = lib.function<int (*)(int)>("svt_null_write");
  EXPECT_EXIT(
      {
        FaultTranslation armed;
        try {
          GuardedCall([&] {
            QTimer::singleShot(0, [&] { nullWrite(1); });
            for (int i = 0; i < 100; ++i) DoEvents();
          });
        } catch (const RuntimeError&) {
          std::exit(3);  // translated: wrong
        }
        std::exit(4);  // the handler never ran
      },
      ::testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(FaultTranslationDeathTest, WithoutAJobWindowAFaultEndsTheProcess) {
  auto nullWrite = lib.function<int (*)(int)>("svt_null_write");
  EXPECT_EXIT(GuardedCall([&] { return nullWrite(1); }), ::testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(FaultTranslationDeathTest, AfterTheJobWindowClosesNoFilterRemains) {
  auto nullWrite = lib.function<int (*)(int)>("svt_null_write");
  { FaultTranslation armed; }
  EXPECT_EXIT(GuardedCall([&] { return nullWrite(1); }), ::testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(FaultTranslationDeathTest, ArmedButOutsideAGuardedCallTheFaultIsNotTranslated) {
  auto nullWrite = lib.function<int (*)(int)>("svt_null_write");
  EXPECT_EXIT(
      {
        FaultTranslation armed;
        nullWrite(1);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
}

}  // namespace
