#ifndef TAV_PLATFORM_H
#define TAV_PLATFORM_H

#include <QString>

class QFile;

// What differs between systems, kept out of everything else.
namespace Platform {

// Opens `path` to append to it without ever waiting in open(): a named pipe
// that nobody reads is refused at once instead of holding the program for
// ever. False, with the reason, if it cannot.
bool openToAppend(QFile &file, const QString &path, QString *error);

// What tells one device behind `portName` from the next one plugged in
// under the same name: a slot emptied and refilled between two looks is a
// new module. Empty when nothing is there; on systems that tell nothing
// more than the name, the name.
QString deviceIdentity(const QString &portName);

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

    // Claims the device behind `portName`. False if another program holds
    // it; `holder` then says who, as far as the system tells. A device that
    // cannot be looked at (missing, no rights) is left to the port's own
    // open, which says why.
    bool take(const QString &portName, QString *holder);
    void release();

private:
    int handle = -1;
};

} // namespace Platform

#endif // TAV_PLATFORM_H
