#include "stopsignals.h"

void StopSignals::watch(QObject *, std::function<void()>)
{
    // A GUI program on Windows gets no signals; the session's end comes as
    // QGuiApplication::commitDataRequest, which main() connects.
}
