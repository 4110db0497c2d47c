#include "console.h"

#include <QCoreApplication>

#include <csignal>
#include <initializer_list>

namespace {
volatile std::sig_atomic_t count = 0;

extern "C" void onSignal(int)
{
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
