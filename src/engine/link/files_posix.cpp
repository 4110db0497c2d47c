// Files on a POSIX system: appended to without ever waiting in open(), and
// locked among the programs that write them.
#include "platform.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

void Platform::keepRunningWhenFilesCannotGrow()
{
    // Past a file-size limit the system kills a writer by default, in the
    // middle of a module; the write then fails instead, and is told like a
    // full disk.
    std::signal(SIGXFSZ, SIG_IGN);
}

bool Platform::openToAppend(QFile &file, const QString &path, AppendProblem *problem)
{
    keepRunningWhenFilesCannotGrow();
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (problem)
            *problem = errno == ENXIO ? AppendProblem {{}, true} : AppendProblem {qt_error_string(errno)};
        return false;
    }
    // Not blocking only to refuse a pipe nobody reads; writes then wait as
    // anywhere else. O_APPEND appends: QIODevice::Append would seek, which a
    // terminal, a pipe or "| tee" cannot do.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (problem)
            *problem = {file.errorString()};
        return false;
    }
    return true;
}

Platform::FileLock::FileLock(QFile &file, std::chrono::milliseconds wait)
    : file(file)
{
    // Polled, never blocking: a lock some other program keeps for good
    // must not keep this one from its work.
    QElapsedTimer waited;
    waited.start();
    while (!(held = ::flock(file.handle(), LOCK_EX | LOCK_NB) == 0)
           && errno == EWOULDBLOCK && waited.elapsed() < wait.count())
        QThread::msleep(10);
}

Platform::FileLock::~FileLock()
{
    if (held)
        ::flock(file.handle(), LOCK_UN);
}
