#ifndef TAV_STOPSIGNALS_H
#define TAV_STOPSIGNALS_H

#include <functional>

class QObject;

// The system asking the window to stop: SIGTERM, SIGHUP and SIGINT on Linux
// (a logout, a shutdown, a closed terminal). Each is handed to `stop` on the
// event loop, never inside the signal handler. On Windows the session's end
// reaches the program through QGuiApplication::commitDataRequest instead.
namespace StopSignals {
void watch(QObject *context, std::function<void()> stop);
} // namespace StopSignals

#endif // TAV_STOPSIGNALS_H
