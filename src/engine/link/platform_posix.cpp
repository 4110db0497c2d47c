#include "platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif
#include <unistd.h>

namespace {
QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString startedAs(qint64 pid)
{
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!commandLine.open(QIODevice::ReadOnly))
        return {};
    return QFileInfo(QString::fromLocal8Bit(commandLine.read(4096).split('\0').value(0)))
            .fileName();
}

// The program behind a process number, for the technician to recognise:
// the name it was started by (its "comm" is cut to 15 characters). A lock
// taken by flock(1) or a shell for the program it starts ("flock
// /dev/ttyUSB0 picocom") is that program's.
QString processName(qint64 pid)
{
    QString name = startedAs(pid);
    for (int depth = 0; depth < 3; ++depth) {
        static const QStringList starters {QStringLiteral("flock"), QStringLiteral("sh"),
                                           QStringLiteral("bash"), QStringLiteral("dash")};
        if (!starters.contains(name))
            break;
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
        if (!children.open(QIODevice::ReadOnly))
            break;
        const QList<QByteArray> started = children.readAll().simplified().split(' ');
        const qint64 child = started.constFirst().toLongLong();
        const QString childName = child > 0 ? startedAs(child) : QString();
        if (childName.isEmpty())
            break;
        pid = child;
        name = childName;
    }
    return name.isEmpty()
            ? QCoreApplication::translate("DeviceClaim", "процесс %1").arg(pid)
            : QCoreApplication::translate("DeviceClaim", "%1, процесс %2").arg(name).arg(pid);
}

bool isAlive(qint64 pid)
{
    if (pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
        return false;
    // A zombie has let go of everything; it only waits for its parent.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.read(512);
    const int end = line.lastIndexOf(')'); // the name may hold spaces and brackets
    return end < 0 || line.mid(end + 2, 1) != "Z";
}

// The owner of a UUCP lock file: its number as text (the usual form, also
// Qt's), or as a binary int (the oldest form).
qint64 lockOwner(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray content = file.read(64);
    bool ok = false;
    const qint64 pid = content.split('\n').value(0).trimmed().toLongLong(&ok);
    if (ok)
        return pid;
    if (content.size() == int(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, content.constData(), sizeof binary);
        return binary;
    }
    return 0;
}

// Names a lock file may carry for `device` opened as `portName`: the UUCP
// custom (the device's own name), and Qt's (the name given, '/' as '_').
QStringList lockNames(const QString &device, const QString &portName)
{
    const auto qtStyle = [](QString name) {
        if (name.startsWith(QLatin1String("/dev/")))
            name.remove(0, 5);
        return name.replace(QLatin1Char('/'), QLatin1Char('_'));
    };
    QStringList names {QFileInfo(device).fileName(), qtStyle(device), qtStyle(portName)};
    names.removeDuplicates();
    return names;
}

QString liveLockFile(const QString &device, const QString &portName, qint64 *owner)
{
    const QStringList folders {QStringLiteral("/run/lock"),
                               QStringLiteral("/var/lock"),
                               QStringLiteral("/var/spool/lock"),
                               QStringLiteral("/var/spool/locks"),
                               QStringLiteral("/var/spool/uucp"),
                               QStringLiteral("/etc/locks"),
                               QDir::tempPath()};
    for (const QString &name : lockNames(device, portName)) {
        for (const QString &folder : folders) {
            const QString path = folder + QStringLiteral("/LCK..") + name;
            const qint64 pid = lockOwner(path);
            // A stale file (its owner gone) holds nothing; this process's
            // own files are its own business.
            if (pid != qint64(::getpid()) && isAlive(pid)) {
                *owner = pid;
                return path;
            }
        }
    }
    return {};
}

// Who holds a flock() on the file with this identity, from /proc/locks.
qint64 flockHolder(const struct stat &st)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    const QString identity = QStringLiteral("%1:%2:%3")
                                     .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                                     .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                                     .arg(quint64(st.st_ino));
    // "1: FLOCK  ADVISORY  WRITE 4242 00:05:87 0 EOF". Read whole: a file
    // of /proc tells the size 0, so QFile::atEnd() holds from the start.
    const QList<QByteArray> lines = locks.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        const int at = fields.indexOf("FLOCK");
        if (at < 0 || fields.size() < at + 5)
            continue;
        if (QString::fromLatin1(fields.at(at + 4)).compare(identity, Qt::CaseInsensitive) == 0)
            return fields.at(at + 3).toLongLong();
    }
    return 0;
}
} // namespace

bool Platform::openToAppend(QFile &file, const QString &path, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error)
            *error = errno == ENXIO ? QCoreApplication::translate(
                             "DeviceClaim", "это канал (FIFO), из которого никто не читает")
                                    : systemError(errno);
        return false;
    }
    // Not blocking only to refuse a pipe nobody reads; writes then wait as
    // anywhere else. O_APPEND appends: QIODevice::Append would seek, which a
    // terminal, a pipe or "| tee" cannot do.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString Platform::deviceIdentity(const QString &portName)
{
    const QByteArray path = QFile::encodeName(
            portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName);
    struct stat device
    {
    };
    if (::stat(path.constData(), &device) != 0)
        return {};
    // A device node (and a by-id link to it) is made anew for each device
    // plugged in: a new inode, and for another device another number.
    struct stat name
    {
    };
    if (::lstat(path.constData(), &name) != 0)
        name = device;
    return QStringLiteral("%1:%2:%3/%4:%5")
            .arg(quint64(device.st_dev))
            .arg(quint64(device.st_ino))
            .arg(quint64(device.st_rdev))
            .arg(quint64(name.st_ino))
            .arg(qint64(name.st_ctime));
}

Platform::DeviceClaim::~DeviceClaim()
{
    release();
}

bool Platform::DeviceClaim::take(const QString &portName, QString *holder)
{
    release();
    const QString path =
            portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
    const QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty())
        return true;
    qint64 owner = 0;
    const QString lockFile = liveLockFile(device, portName, &owner);
    if (!lockFile.isEmpty()) {
        if (holder)
            *holder = QCoreApplication::translate("DeviceClaim", "файл блокировки %1: %2")
                              .arg(lockFile, processName(owner));
        return false;
    }
    // Not waiting for a carrier, and never becoming this process's terminal.
    const int fd = ::open(QFile::encodeName(device).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        struct stat st
        {
        };
        const qint64 pid = ::fstat(fd, &st) == 0 ? flockHolder(st) : 0;
        ::close(fd);
        if (holder)
            *holder = pid > 0
                    ? QCoreApplication::translate("DeviceClaim", "его держит %1 (flock)")
                              .arg(processName(pid))
                    : QCoreApplication::translate(
                            "DeviceClaim", "его держит другая программа (вызовом flock())");
        return false;
    }
    handle = fd;
    return true;
}

void Platform::DeviceClaim::release()
{
    if (handle < 0)
        return;
    ::close(handle); // the flock() goes with it
    handle = -1;
}
