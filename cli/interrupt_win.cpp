#include "interrupt.h"

#include <atomic>
#include <windows.h>

namespace {
std::atomic<int> count {0};

BOOL WINAPI onConsoleEvent(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        ++count;
        return TRUE;
    default:
        return FALSE;
    }
}
} // namespace

void Interrupt::install()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int Interrupt::requests()
{
    return count;
}
