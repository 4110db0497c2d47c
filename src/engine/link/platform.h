#ifndef TAV_PLATFORM_H
#define TAV_PLATFORM_H

#include "portaddress.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <chrono>

class QFile;

// What differs between systems, kept out of everything else.
namespace Platform {

// A write past a file-size limit fails as on a full disk, instead of
// ending the program.
void keepRunningWhenFilesCannotGrow();

// Why a file cannot be appended to: the system's text, or a named pipe
// that nobody reads.
struct AppendProblem
{
    QString systemText;
    bool nobodyReads = false;
};

// Opens `path` to append to it without ever waiting in open(): a named pipe
// that nobody reads is refused at once instead of holding the program for
// ever. False, with the reason, if it cannot. Writes past a file-size limit
// fail, as on a full disk.
bool openToAppend(QFile &file, const QString &path, AppendProblem *problem);

// An exclusive lock on an open file among the programs that ask for one,
// waited for up to `wait`: held while a program checks whether a record is
// new and writes its header. Others may still write the file meanwhile.
class FileLock
{
public:
    FileLock(QFile &file, std::chrono::milliseconds wait);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    bool isHeld() const { return held; }

private:
    QFile &file;
    bool held = false;
};

// What tells one device behind `portName` from the next one plugged in
// under the same name: a slot emptied and refilled between two looks is a
// new module. Empty when nothing is there; on systems that tell nothing
// more than the name, the name.
QString deviceIdentity(const PortAddress &port);

// A UUCP lock file that names no one and is passed over: not a regular
// file (`pid` 0), or naming a process number the system cannot have.
struct IgnoredLock
{
    QString path;
    qint64 pid = 0;
};

// Where UUCP lock files are looked for; empty (the default): the system's
// lock folders. Tests name folders of their own.
void setLockFolders(const QStringList &folders);

// What keeps a device from being claimed, as far as the system tells.
struct Holder
{
    enum class Kind {
        None,
        Flock, // a flock() on the device: `pid` (0: not known), `program`
        LockFile, // a live lock file `path` of `pid`, `program`
        UnreadableLockFile, // `path` there, but `error` keeps it from being read
        BlockingLockFile, // `path` is no regular file: the port's open would wait on it
    };
    Kind kind = Kind::None;
    qint64 pid = 0;
    QString program; // the name it was started by, where known
    QString path;
    QString error;
};

// This program's claim on a serial device, seen by other programs: on Linux
// a flock() on the device itself, whatever name it was opened by (a by-id
// link and its /dev/tty… are one device). Before claiming, it looks for a
// claim of another program: a flock() (terminal programs such as picocom)
// or a live UUCP lock file "LCK..name" in the system's lock folders.
// Windows refuses a second open by itself: nothing to do there.
class DeviceClaim
{
public:
    DeviceClaim() = default;
    ~DeviceClaim();
    DeviceClaim(const DeviceClaim &) = delete;
    DeviceClaim &operator=(const DeviceClaim &) = delete;

    enum class Result {
        Taken, // claimed, or left to the port's own open (a device that
               // cannot be looked at: missing, no rights)
        Held, // another program holds it, or a lock file that cannot be read
              // says it might
        Blocked, // a lock file the port's open would wait on for ever
    };
    // Claims the device behind `portName`; unless Taken, `holder` says who
    // holds it or what is in the way. Lock files passed over are added to
    // `ignored`, each once a run.
    Result take(const PortAddress &port, Holder *holder, QVector<IgnoredLock> *ignored = nullptr);
    void release();

private:
    int handle = -1;
};

} // namespace Platform

#endif // TAV_PLATFORM_H
