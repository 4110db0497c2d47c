#include "platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
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
QString startedAs(qint64 pid)
{
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!commandLine.open(QIODevice::ReadOnly))
        return {};
    return QFileInfo(QString::fromLocal8Bit(commandLine.read(4096).split('\0').value(0)))
            .fileName();
}

// The program behind a process number, for the technician to recognise:
// the name it was started by (its "comm" is cut to 15 characters). A
// flock() taken by flock(1) for the program it starts ("flock /dev/ttyUSB0
// picocom", perhaps through a shell) is that program's; a lock file names
// the process that holds the port, whatever it is.
QString programName(qint64 pid, bool flockHolder)
{
    QString name = startedAs(pid);
    for (int depth = 0; flockHolder && depth < 3; ++depth) {
        if (depth == 0 && name != QLatin1String("flock"))
            break;
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
    return name;
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

// The highest process number this system gives; anything above it, or
// below 1, names no process (4294967297 must not wrap to init's 1).
qint64 highestPid()
{
    static const qint64 highest = [] {
        QFile limit(QStringLiteral("/proc/sys/kernel/pid_max"));
        bool ok = false;
        const qint64 value =
                limit.open(QIODevice::ReadOnly) ? limit.read(32).trimmed().toLongLong(&ok) : 0;
        return ok && value > 0 ? value : qint64(4194304); // Linux's own ceiling
    }();
    return highest;
}

// What a UUCP lock file says. Anything but a regular file is read by no
// one: a named pipe would hold the program in open() or read() for ever.
struct LockFile
{
    enum class State { Missing, Unreadable, NotAFile, Stale, Held };
    State state = State::Missing;
    qint64 pid = 0; // Held, or Stale by an impossible number
    QString error; // Unreadable: what the system said
};

LockFile readLockFile(const QString &path)
{
    using State = LockFile::State;
    const QByteArray name = QFile::encodeName(path);
    struct stat seen
    {
    };
    // A folder this user may not look into tells nothing of its files.
    if (::lstat(name.constData(), &seen) != 0)
        return {State::Missing, 0, {}};
    if (!S_ISREG(seen.st_mode))
        return {State::NotAFile, 0, {}};
    // Checked again on what was opened: the name may be swapped meanwhile.
    const int fd =
            ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {errno == ELOOP ? State::NotAFile : State::Unreadable, 0, qt_error_string(errno)};
    struct stat opened
    {
    };
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        return {State::NotAFile, 0, {}};
    }
    char buffer[64];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    const int readError = errno;
    ::close(fd);
    if (got < 0)
        return {State::Unreadable, 0, qt_error_string(readError)};
    // The number as text (the usual form, also Qt's), or as a binary int
    // (the oldest form); anything else names no one.
    const QByteArray content(buffer, int(got));
    bool ok = false;
    qint64 pid = content.split('\n').value(0).trimmed().toLongLong(&ok);
    if (!ok && content.size() == int(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, content.constData(), sizeof binary);
        pid = binary;
        ok = true;
    }
    if (!ok)
        return {State::Stale, 0, {}};
    if (pid < 1 || pid > highestPid())
        return {State::Stale, pid, {}};
    return {State::Held, pid, {}};
}

QStringList &lockFolderOverride()
{
    static QStringList folders;
    return folders;
}

QStringList lockFolders()
{
    if (!lockFolderOverride().isEmpty())
        return lockFolderOverride();
    return {QStringLiteral("/run/lock"),       QStringLiteral("/var/lock"),
            QStringLiteral("/var/spool/lock"), QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"), QStringLiteral("/etc/locks"),
            QDir::tempPath()};
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

// The lock file QSerialPort itself takes for `portName`, found as it finds
// it: in the first lock folder it may read that holds the file or lets it
// be made.
QString qtLockFile(const QString &portName)
{
    static const QStringList folders {
            QStringLiteral("/var/lock"),         QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),  QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),              QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock")};
    QString name = portName.startsWith(QLatin1String("/dev/")) ? portName.mid(5) : portName;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString &folder : folders) {
        const QString path = folder + QStringLiteral("/LCK..") + name;
        const QFileInfo where(folder);
        if (where.isReadable() && (QFileInfo::exists(path) || where.isWritable()))
            return path;
    }
    return {};
}

// Each odd lock file is told about once per run, for each thing odd about it.
bool firstTimeSeen(const QString &what)
{
    static QSet<QString> seen;
    if (seen.contains(what))
        return false;
    seen.insert(what);
    return true;
}

// The first lock file that holds the device: one of a live process, or one
// that cannot be read (held, for all anyone can tell). Odd files hold
// nothing; each is added to `ignored` the first time.
QString holdingLockFile(const QString &device, const QString &portName, LockFile *found,
                        QVector<Platform::IgnoredLock> *ignored)
{
    using State = LockFile::State;
    for (const QString &name : lockNames(device, portName)) {
        for (const QString &folder : lockFolders()) {
            const QString path = folder + QStringLiteral("/LCK..") + name;
            const LockFile lock = readLockFile(path);
            if (lock.state == State::NotAFile || (lock.state == State::Stale && lock.pid != 0)) {
                if (ignored && firstTimeSeen(path + QLatin1Char('\n') + QString::number(lock.pid)))
                    ignored->append({path, lock.pid});
                continue;
            }
            // A stale file (its owner gone) holds nothing; this process's
            // own files are its own business.
            if (lock.state == State::Unreadable
                || (lock.state == State::Held && lock.pid != qint64(::getpid())
                    && isAlive(lock.pid))) {
                *found = lock;
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

void Platform::setLockFolders(const QStringList &folders)
{
    lockFolderOverride() = folders;
}

QString Platform::deviceIdentity(const PortAddress &port)
{
    const QByteArray path = QFile::encodeName(port.devicePath());
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

Platform::DeviceClaim::Result Platform::DeviceClaim::take(const PortAddress &port,
                                                         Holder *holder,
                                                         QVector<IgnoredLock> *ignored)
{
    release();
    const QString &portName = port.name();
    const QString device = QFileInfo(port.devicePath()).canonicalFilePath();
    if (device.isEmpty())
        return Result::Taken;
    // QSerialPort reads its own lock file, blocking: were that a named pipe,
    // the open would never return. It cannot be passed over, only removed.
    const QString qtLock = qtLockFile(portName);
    if (QFileInfo::exists(qtLock) && !QFileInfo(qtLock).isFile()) {
        if (holder)
            *holder = {Holder::Kind::BlockingLockFile, 0, {}, qtLock, {}};
        return Result::Blocked;
    }
    LockFile lock;
    const QString lockFile = holdingLockFile(device, portName, &lock, ignored);
    if (!lockFile.isEmpty()) {
        if (holder)
            *holder = lock.state == LockFile::State::Unreadable
                    ? Holder {Holder::Kind::UnreadableLockFile, 0, {}, lockFile, lock.error}
                    : Holder {Holder::Kind::LockFile, lock.pid, programName(lock.pid, false),
                              lockFile, {}};
        return Result::Held;
    }
    // Not waiting for a carrier, and never becoming this process's terminal.
    const int fd = ::open(QFile::encodeName(device).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Result::Taken;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        struct stat st
        {
        };
        const qint64 pid = ::fstat(fd, &st) == 0 ? flockHolder(st) : 0;
        ::close(fd);
        if (holder)
            *holder = {Holder::Kind::Flock, pid, pid > 0 ? programName(pid, true) : QString(), {},
                       {}};
        return Result::Held;
    }
    handle = fd;
    return Result::Taken;
}

void Platform::DeviceClaim::release()
{
    if (handle < 0)
        return;
    ::close(handle); // the flock() goes with it
    handle = -1;
}
