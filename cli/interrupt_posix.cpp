#include "interrupt.h"

#include <csignal>

namespace {
volatile std::sig_atomic_t flag = 0;

extern "C" void onSignal(int)
{
    flag = 1;
}
} // namespace

void Interrupt::install()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Once only: the next Ctrl+C takes the default way out.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupt::requested()
{
    return flag != 0;
}
