#include "platform/events.h"

#include "platform/fault_guard.h"

#include <QCoreApplication>

namespace sv {

void DoEvents() {
  if (!QCoreApplication::instance()) return;
  // Called from inside component callbacks: the event handlers are our own code.
  const SuspendFaultGuard ownCode;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace sv
