#include "platform.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <io.h>
#include <windows.h>

void Platform::keepRunningWhenFilesCannotGrow() { }

bool Platform::openToAppend(QFile &file, const QString &path, AppendProblem *problem)
{
    file.setFileName(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        return true;
    if (problem)
        *problem = {file.errorString()};
    return false;
}

QString Platform::deviceIdentity(const PortAddress &port)
{
    // A COM port's name is all that can be looked at without enumerating
    // every port; whether it is there is the port list's to tell.
    return port.name();
}

namespace {
// Windows' locks bar other writers from the bytes they cover: the lock
// covers one byte far beyond any record's end, which only other locks meet.
constexpr DWORD lockedOffsetHigh = 0x40000000;

HANDLE handleOf(QFile &file)
{
    const int fd = file.handle();
    return fd < 0 ? INVALID_HANDLE_VALUE : HANDLE(_get_osfhandle(fd));
}
} // namespace

Platform::FileLock::FileLock(QFile &file, std::chrono::milliseconds wait)
    : file(file)
{
    if (handleOf(file) == INVALID_HANDLE_VALUE)
        return;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        OVERLAPPED at {};
        at.OffsetHigh = lockedOffsetHigh;
        held = ::LockFileEx(handleOf(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                            1, 0, &at);
        // Only another holder is waited for: a pipe or a console takes no
        // lock at all, and needs none.
        if (held || ::GetLastError() != ERROR_LOCK_VIOLATION || waited.elapsed() >= wait.count())
            return;
        QThread::msleep(10);
    }
}

Platform::FileLock::~FileLock()
{
    if (!held)
        return;
    OVERLAPPED at {};
    at.OffsetHigh = lockedOffsetHigh;
    ::UnlockFileEx(handleOf(file), 0, 1, 0, &at);
}

Platform::DeviceClaim::~DeviceClaim() = default;

void Platform::setLockFolders(const QStringList &) { }

Platform::DeviceClaim::Result Platform::DeviceClaim::take(const PortAddress &, Holder *,
                                                         QVector<IgnoredLock> *)
{
    return Result::Taken; // a COM port opens once: the second open is refused as busy
}

void Platform::DeviceClaim::release() { }
