#include "conversion/applicationquitting.h"

#include <QEventLoop>
#include <QMetaObject>

bool applicationIsQuitting()
{
    // Qt keeps no public flag for this, but every loop started while the
    // application quits returns at once with -1; a loop that is not quitting
    // runs until the posted call below ends it with 1.
    constexpr int ranNormally = 1;
    QEventLoop probe;
    QMetaObject::invokeMethod(
        &probe, [&probe] { probe.exit(ranNormally); }, Qt::QueuedConnection);
    return probe.exec() != ranNormally;
}
