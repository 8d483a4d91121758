#include "shell/core/error_handling.h"

#include "platform/msgbox.h"

namespace sv {

void MyExceptionFilter(const ExceptionRecord& record) { throw TranslateFault(record); }

void ShowRuntimeError(int number, const QString& description) {
  MsgBox(ErrorText(number, description), vbCritical, QString::fromLatin1(kProductTitle));
}

void ShowRuntimeError(const RuntimeError& error) { ShowRuntimeError(error.number(), error.description()); }

}  // namespace sv
