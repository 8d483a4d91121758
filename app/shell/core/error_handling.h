#pragma once
// Run-time errors as the program shows them, and the fault filter job windows install.
#include "platform/fault_guard.h"
#include "platform/runtime_error.h"

#include <QString>

namespace sv {

// Raises the translated fault (error 10000, source "MyExceptionFilter").
[[noreturn]] void MyExceptionFilter(const ExceptionRecord& record);

// Shows "Error#" + number + "," + description with the critical icon.
void ShowRuntimeError(const RuntimeError& error);
void ShowRuntimeError(int number, const QString& description);

// Installed by the load handler of each job window and removed with it.
using JobExceptionFilter = FaultTranslation;

}  // namespace sv
