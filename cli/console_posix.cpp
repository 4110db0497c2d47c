#include "console.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>
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
