#ifndef TAV_SERIALLINK_H
#define TAV_SERIALLINK_H

#include "portaddress.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>

#include <chrono>

namespace SerialLink {

// The PC side of the line is fixed: 9600 baud, 8N1, no flow control.
constexpr qint32 lineBaudRate = 9600;

// Sets a port up for the module's line (name, 9600 8N1, no flow control);
// it is not opened.
void configurePort(QSerialPort &port, const QString &portName);

// Why a port could not be opened, as far as the system lets one tell.
enum class OpenProblem {
    NoAccess, // the user may not use the device (Linux: not in "dialout")
    Busy, // another program, or another port object, holds it
    NotFound, // no such device: unplugged, or a wrong name
    Other,
};
OpenProblem openProblem(QSerialPort::SerialPortError error, const PortAddress &port);

// Right after a plug-in a port can be briefly out of reach: the device node
// exists before udev has given it its group, and ModemManager may hold a new
// port while it probes it. These problems are worth trying again for a while.
bool mayPassSoon(OpenProblem problem);

// Whether a port error means the link is gone (the port must be closed),
// as opposed to a line fault or a refused setting on a port that still works.
bool errorEndsLink(QSerialPort::SerialPortError error);

} // namespace SerialLink

#endif // TAV_SERIALLINK_H
