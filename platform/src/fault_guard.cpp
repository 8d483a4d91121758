#include "platform/fault_guard.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace sv {

QString GetExceptionName(std::uint32_t code) {
  static const std::map<std::uint32_t, const char*> names = {
      {0x80000001u, "Guard Page Violation"},
      {0x80000002u, "Data Type Misalignment"},
      {0x80000003u, "Breakpoint"},
      {0x80000004u, "Single Step"},
      {0xC0000005u, "Access Violation"},
      {0xC0000006u, "In Page Error"},
      {0xC0000008u, "Invalid Handle"},
      {0xC000001Du, "Illegal Instruction"},
      {0xC0000025u, "Non Continuable Exception"},
      {0xC0000026u, "Invalid Disposition"},
      {0xC000008Cu, "Array Bounds Exceeded"},
      {0xC000008Du, "Float Denormal Operand"},
      {0xC000008Eu, "Divide By Zero"},
      {0xC000008Fu, "Floating Point Inexact Result"},
      {0xC0000090u, "Invalid Operation"},
      {0xC0000091u, "Float Overflow"},
      {0xC0000092u, "Float Stack Check"},
      {0xC0000093u, "Float Underflow"},
      {0xC0000094u, "Integer Divide By Zero"},
      {0xC0000095u, "Integer Overflow"},
      {0xC0000096u, "Privileged Instruction"},
      {0xC00000FDu, "Stack Overflow"},
      {0xC000013Au, "Control-C Exit"},
  };
  const auto it = names.find(code);
  if (it != names.end()) return QString::fromLatin1(it->second);
  return QStringLiteral("Unknown (&H%1)")
      .arg(QStringLiteral("%1").arg(code, 8, 16, QLatin1Char('0')).toUpper());
}

RuntimeError TranslateFault(const ExceptionRecord& record) {
  const ExceptionRecord* innermost = &record;
  while (innermost->nested) innermost = innermost->nested.get();
  return RuntimeError(errFault, QString::fromLatin1(kFaultSource), GetExceptionName(innermost->code));
}

namespace {
// Stack bounds of the thread that made the guarded call, for telling a stack overflow
// from other access faults.
thread_local const char* stackLow = nullptr;
thread_local std::size_t stackSize = 0;

void rememberStack() {
  if (stackLow) return;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
  void* addr = nullptr;
  std::size_t size = 0;
  if (pthread_attr_getstack(&attr, &addr, &size) == 0) {
    stackLow = static_cast<const char*>(addr);
    stackSize = size;
  }
  pthread_attr_destroy(&attr);
}

bool isStackOverflow(const void* address) {
  if (!stackLow || !address) return false;
  const char* a = static_cast<const char*>(address);
  // Within the lowest pages of the stack or the guard area below it.
  constexpr std::size_t kMargin = 256 * 1024;
  return a + kMargin >= stackLow && a < stackLow + kMargin;
}
}  // namespace

std::uint32_t FaultCodeForSignal(int signal, int siCode, const void* address) {
  switch (signal) {
    case SIGSEGV:
      return isStackOverflow(address) ? kFaultStackOverflow : kFaultAccessViolation;
    case SIGBUS:
      return siCode == BUS_ADRALN ? kFaultMisalignment : kFaultInPageError;
    case SIGILL:
      return (siCode == ILL_PRVOPC || siCode == ILL_PRVREG) ? kFaultPrivileged : kFaultIllegalInstruction;
    case SIGFPE:
      switch (siCode) {
        case FPE_INTDIV:
          return kFaultIntDivideByZero;
        case FPE_INTOVF:
          return kFaultIntOverflow;
        case FPE_FLTDIV:
          return kFaultFloatDivideByZero;
        case FPE_FLTOVF:
          return kFaultFloatOverflow;
        case FPE_FLTUND:
          return kFaultFloatUnderflow;
        case FPE_FLTRES:
          return kFaultFloatInexact;
        case FPE_FLTSUB:
          return kFaultArrayBounds;
        default:
          return kFaultFloatInvalid;
      }
    default:
      return 0;
  }
}

namespace detail {
GuardFrame*& CurrentGuardFrame() {
  thread_local GuardFrame* frame = nullptr;
  return frame;
}

void ThrowFault(std::uint32_t code) {
  ExceptionRecord record;
  record.code = code;
  throw TranslateFault(record);
}
}  // namespace detail

namespace {
constexpr std::array<int, 4> kSignals = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

struct Armed {
  int depth = 0;
  std::array<struct sigaction, kSignals.size()> previous{};
  std::vector<char> altStackMemory;
  stack_t previousAltStack{};
};

Armed& armedState() {
  static Armed state;
  return state;
}

// The frame pointer is read in the handler; CurrentGuardFrame's thread_local is
// initialised before the first guarded call, so reading it here allocates nothing.
void onFault(int signal, siginfo_t* info, void*) {
  detail::GuardFrame* frame = detail::CurrentGuardFrame();
  if (!frame) {
    // Not inside a guarded call: hand the fault back to whoever had it before.
    const Armed& state = armedState();
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
      if (kSignals[i] == signal) sigaction(signal, &state.previous[i], nullptr);
    }
    return;  // the faulting instruction runs again under the previous disposition
  }
  frame->code = FaultCodeForSignal(signal, info ? info->si_code : 0, info ? info->si_addr : nullptr);
  siglongjmp(frame->jump, 1);
}
}  // namespace

FaultTranslation::FaultTranslation() {
  Armed& state = armedState();
  if (state.depth++ > 0) return;
  rememberStack();
  (void)detail::CurrentGuardFrame();
  // A stack of its own for the handler, so a stack overflow can be reported too.
  const std::size_t altSize = std::max<std::size_t>(64 * 1024, static_cast<std::size_t>(SIGSTKSZ) * 4);
  state.altStackMemory.assign(altSize, 0);
  stack_t ss{};
  ss.ss_sp = state.altStackMemory.data();
  ss.ss_size = altSize;
  ss.ss_flags = 0;
  sigaltstack(&ss, &state.previousAltStack);

  struct sigaction action {};
  action.sa_sigaction = onFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &state.previous[i]);
}

FaultTranslation::~FaultTranslation() {
  Armed& state = armedState();
  if (--state.depth > 0) return;
  for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &state.previous[i], nullptr);
  if (state.previousAltStack.ss_sp || (state.previousAltStack.ss_flags & SS_DISABLE)) {
    sigaltstack(&state.previousAltStack, nullptr);
  } else {
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
  }
  state.altStackMemory.clear();
  state.altStackMemory.shrink_to_fit();
}

bool FaultTranslation::armed() { return armedState().depth > 0; }

}  // namespace sv
