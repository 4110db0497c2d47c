#include "interrupt.h"

#include <atomic>
#include <windows.h>

namespace {
std::atomic<bool> flag {false};

BOOL WINAPI onConsoleEvent(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    if (flag.exchange(true))
        return FALSE; // the second time: the default way out
    return TRUE;
}
} // namespace

void Interrupt::install()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool Interrupt::requested()
{
    return flag;
}
