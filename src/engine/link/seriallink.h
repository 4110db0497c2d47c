#ifndef TAV_SERIALLINK_H
#define TAV_SERIALLINK_H

#include <QByteArray>
#include <QSerialPort>
#include <QString>

#include <chrono>

namespace SerialLink {

// A module that has not answered a command by then is reported as lost.
constexpr std::chrono::milliseconds replyTimeout {3000};

// A reply has no terminator; it is complete once the line has been quiet
// this long. USB-serial adapters hand bytes over in batches up to 16 ms
// apart (FTDI's default latency timer), so the gap must be well above that.
constexpr std::chrono::milliseconds replyQuietGap {50};

// A line that never falls quiet (noise, a device that streams) still yields
// a reply after this long, rather than leaving the user waiting for ever.
constexpr std::chrono::milliseconds replyCollectLimit {1000};

// A reply keeps at most this many bytes; the rest is counted and dropped.
// At 9600 baud the module cannot send even 1 KiB in a second, and its
// longest reply is a few dozen bytes.
constexpr int maxReplyBytes = 4096;

// The status bar shows at most this many characters of a reply.
constexpr int maxShownReplyChars = 160;

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
OpenProblem openProblem(QSerialPort::SerialPortError error, const QString &portName);

// Right after a plug-in a port can be briefly out of reach: the device node
// exists before udev has given it its group, and ModemManager may hold a new
// port while it probes it. These problems are worth trying again for a while.
bool mayPassSoon(OpenProblem problem);

// Text of a reply: its UTF-8 up to the first NUL byte.
QString decodeReply(const QByteArray &bytes);

// Whether a port error means the link is gone (the port must be closed),
// as opposed to a line fault or a refused setting on a port that still works.
bool errorEndsLink(QSerialPort::SerialPortError error);

} // namespace SerialLink

#endif // TAV_SERIALLINK_H
