#include "platform/events.h"

#include <QCoreApplication>

namespace sv {

void DoEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace sv
