#include "console.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdlib>
#include <windows.h>

namespace {
std::atomic<int> count {0};
std::atomic<ULONGLONG> lastCounted[CTRL_CLOSE_EVENT + 1];
UINT previousCodePage = 0;

// The same event twice within a moment is one request.
void countOnce(DWORD type)
{
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG last = lastCounted[type].exchange(now);
    if (last == 0 || now - last >= ULONGLONG(Console::repeatWithinMs))
        ++count;
}

BOOL WINAPI onConsoleEvent(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        countOnce(type);
        return TRUE;
    case CTRL_CLOSE_EVENT:
        // Windows ends the program once this returns (at the latest after
        // five seconds): the time is given to the module's reply and the
        // result, and the program's own end comes first.
        countOnce(type);
        Sleep(5000);
        return TRUE;
    default:
        return FALSE;
    }
}

void restoreCodePage()
{
    if (previousCodePage != 0)
        SetConsoleOutputCP(previousCodePage);
}
} // namespace

void Console::install()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    // Only a console changes its code page; a pipe or a file takes the
    // UTF-8 bytes as they are. The console gets its own back at the end.
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)
        || GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode)) {
        previousCodePage = GetConsoleOutputCP();
        if (previousCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
            std::atexit(restoreCodePage);
        else
            previousCodePage = 0;
    }
}

int Console::stopRequests()
{
    return count;
}

QString Console::stopRequestNames()
{
    return QCoreApplication::translate("Console",
                                       "Ctrl+C, Ctrl+Break или закрытие окна консоли");
}

int Console::errorColumns()
{
    // A console's own screen buffer; a file or a pipe has none.
    CONSOLE_SCREEN_BUFFER_INFO info {};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}
