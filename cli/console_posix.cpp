#include "console.h"

#include <QCoreApplication>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/ioctl.h>
#include <unistd.h>
#include <initializer_list>

namespace {
volatile std::sig_atomic_t count = 0;
// When each signal last counted, in ms of the monotonic clock; only the
// handler touches these, and it may interrupt itself for another signal.
std::atomic<long long> lastCounted[NSIG];
static_assert(std::atomic<long long>::is_always_lock_free, "used in a signal handler");

extern "C" void onSignal(int signal)
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now); // async-signal-safe
    const long long ms = (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
    const long long last = lastCounted[signal].exchange(ms);
    if (last != 0 && ms - last < Console::repeatWithinMs)
        return;
    if (count < 1000)
        count = count + 1;
}
} // namespace

void Console::install()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A closed pipe shows as a failed write, which the result's text can bear.
    std::signal(SIGPIPE, SIG_IGN);
}

int Console::stopRequests()
{
    return count;
}

QString Console::stopRequestNames()
{
    return QCoreApplication::translate("Console", "Ctrl+C, SIGTERM или SIGHUP");
}

int Console::errorColumns()
{
    if (!::isatty(STDERR_FILENO))
        return 0;
    const char *term = std::getenv("TERM");
    if (term && std::strcmp(term, "dumb") == 0)
        return 0;
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}
