#pragma once
// Turning processor faults inside calls into our outside components into run-time
// errors. A job window arms the translation for as long as it is open
// (FaultTranslation); each call into a component runs through GuardedCall. A fault
// (SIGSEGV, SIGBUS, SIGFPE, SIGILL, stack overflow) inside a guarded call while the
// translation is armed ends that call with RuntimeError 10000, source
// "MyExceptionFilter", description the fault's name; the program keeps running.
// Unarmed, faults keep their default behaviour.
#include "platform/runtime_error.h"

#include <QString>

#include <csetjmp>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

namespace sv {

// Fault codes, in the numbering the fault-name table uses.
enum FaultCode : std::uint32_t {
  kFaultGuardPage = 0x80000001u,
  kFaultMisalignment = 0x80000002u,
  kFaultBreakpoint = 0x80000003u,
  kFaultSingleStep = 0x80000004u,
  kFaultAccessViolation = 0xC0000005u,
  kFaultInPageError = 0xC0000006u,
  kFaultInvalidHandle = 0xC0000008u,
  kFaultIllegalInstruction = 0xC000001Du,
  kFaultNonContinuable = 0xC0000025u,
  kFaultInvalidDisposition = 0xC0000026u,
  kFaultArrayBounds = 0xC000008Cu,
  kFaultFloatDenormal = 0xC000008Du,
  kFaultFloatDivideByZero = 0xC000008Eu,
  kFaultFloatInexact = 0xC000008Fu,
  kFaultFloatInvalid = 0xC0000090u,
  kFaultFloatOverflow = 0xC0000091u,
  kFaultFloatStackCheck = 0xC0000092u,
  kFaultFloatUnderflow = 0xC0000093u,
  kFaultIntDivideByZero = 0xC0000094u,
  kFaultIntOverflow = 0xC0000095u,
  kFaultPrivileged = 0xC0000096u,
  kFaultStackOverflow = 0xC00000FDu,
  kFaultControlC = 0xC000013Au,
};

inline constexpr const char* kFaultSource = "MyExceptionFilter";

// "Access Violation" …; codes outside the table: "Unknown (&H0001E240)".
QString GetExceptionName(std::uint32_t code);

// A fault as the filter receives it; `nested` is the earlier fault this one arose from.
struct ExceptionRecord {
  std::uint32_t code = 0;
  const void* address = nullptr;
  std::shared_ptr<const ExceptionRecord> nested;
};

// The error a fault becomes: named after the innermost (first) record of the chain.
RuntimeError TranslateFault(const ExceptionRecord& record);

// Maps a POSIX signal and its si_code (and fault address, for stack overflow) to a fault code.
std::uint32_t FaultCodeForSignal(int signal, int siCode, const void* address = nullptr);

// Arms fault translation while alive (one per open job window; they nest).
class FaultTranslation {
 public:
  FaultTranslation();
  ~FaultTranslation();
  FaultTranslation(const FaultTranslation&) = delete;
  FaultTranslation& operator=(const FaultTranslation&) = delete;

  static bool armed();
};

namespace detail {
// The jump target of the innermost guarded call on this thread.
struct GuardFrame {
  sigjmp_buf jump;
  GuardFrame* outer = nullptr;
  volatile std::uint32_t code = 0;
};
GuardFrame*& CurrentGuardFrame();
[[noreturn]] void ThrowFault(std::uint32_t code);
}  // namespace detail

// The program's own code that a component calls back (progress callbacks, DoEvents,
// message boxes) runs with translation suspended: jumping out of it would skip the
// destructors of live objects, so a fault there keeps its default behaviour.
class SuspendFaultGuard {
 public:
  SuspendFaultGuard() : saved_(detail::CurrentGuardFrame()) { detail::CurrentGuardFrame() = nullptr; }
  ~SuspendFaultGuard() { detail::CurrentGuardFrame() = saved_; }
  SuspendFaultGuard(const SuspendFaultGuard&) = delete;
  SuspendFaultGuard& operator=(const SuspendFaultGuard&) = delete;

 private:
  detail::GuardFrame* saved_;
};

// Runs fn(); a fault inside it while armed throws the translated RuntimeError.
// fn should be a thin call into a component: objects with destructors created inside
// it are abandoned when a fault jumps out.
template <typename Fn>
auto GuardedCall(Fn&& fn) -> decltype(fn()) {
  using Result = decltype(fn());
  detail::GuardFrame frame;
  frame.outer = detail::CurrentGuardFrame();
  // The mask is not saved: that would cost a system call per guarded call, and the fault
  // handler runs with SA_NODEFER, so jumping out of it leaves no signal blocked.
  if (sigsetjmp(frame.jump, 0) != 0) {
    detail::CurrentGuardFrame() = frame.outer;
    detail::ThrowFault(frame.code);
  }
  detail::CurrentGuardFrame() = &frame;
  // No destructors may lie between here and the jump target, hence try/catch.
  try {
    if constexpr (std::is_void_v<Result>) {
      std::forward<Fn>(fn)();
      detail::CurrentGuardFrame() = frame.outer;
    } else {
      Result result = std::forward<Fn>(fn)();
      detail::CurrentGuardFrame() = frame.outer;
      return result;
    }
  } catch (...) {
    detail::CurrentGuardFrame() = frame.outer;
    throw;
  }
}

}  // namespace sv
