#ifndef TAV_MODULELINK_H
#define TAV_MODULELINK_H

#include "networklink.h"
#include "platform.h"
#include "portlist.h"
#include "seriallink.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <variant>

// The line to one module: a serial port or a gateway, opened, claimed
// against other programs and closed. It hands on the bytes that arrive and
// reports what went wrong as a typed problem, once; what a person is told
// about it is decided above.
struct EngineSeam;

// Why a serial port cannot be opened, and who holds it where its claim was
// found. (Outside ModuleLink so that a variant can default to it.)
struct SerialProblem
{
    SerialLink::OpenProblem why = SerialLink::OpenProblem::Other;
    Platform::Holder holder;
};

class ModuleLink : public QObject
{
    Q_OBJECT

public:
    struct Problem
    {
        enum class Kind { CannotOpen, Lost };
        using Serial = SerialProblem;
        Kind kind = Kind::CannotOpen;
        PortAddress address; // the port as it was named
        std::variant<Serial, NetworkLink::Problem> why; // a serial port's, or a gateway's
        QString systemText; // what the system said

        const Serial *serial() const { return std::get_if<Serial>(&why); }
    };

    explicit ModuleLink(QObject *parent = nullptr);
    ~ModuleLink() override;

    // Where a line is not a port: a stream a maker makes for a name (a
    // module in memory, for one), taken over by the link; null leaves the
    // name to the ports. A stream that ends (readChannelFinished) is a lost
    // line. Set through EngineSeam.
    using LineMaker = std::function<QIODevice *(const QString &name)>;

    // Opens `name`. True once it is open, or, for a gateway, while it is
    // being connected to: ready() or failed() follows. False when it cannot
    // be opened: problem() says why.
    bool open(const QString &name);
    // Closes the line and lets go of the device; the port object stays for
    // what it can still tell, until the next open.
    void close();
    bool isOpen() const;
    // A gateway is connected to but not yet ready for the module's bytes.
    bool isConnecting() const;
    void write(const QByteArray &bytes);

    const QString &portName() const { return address.name(); }
    // What the system tells of the adapter behind the open serial port.
    const PortDetails &adapter() const { return details; }
    const Problem &problem() const { return last; }

signals:
    // A gateway is ready for the module's bytes.
    void ready();
    void received(const QByteArray &bytes);
    // A gateway could not be reached, or an open line was lost; it is
    // closed by then.
    void failed(const ModuleLink::Problem &problem);
    // A lock file of the port that names no one was passed over.
    void lockIgnored(const Platform::IgnoredLock &lock);

private:
    // The window's `serial` and its port slots reach these.
    friend struct EngineSeam;

// Why a serial port cannot be opened, and who holds it where its claim was
// found. (Outside ModuleLink so that a variant can default to it.)
struct SerialProblem
{
    SerialLink::OpenProblem why = SerialLink::OpenProblem::Other;
    Platform::Holder holder;
};

    // Bytes the line has for us (its readyRead).
    void readAvailable();
    // A port error: one that ends the link closes it and is reported once.
    void handlePortError(QSerialPort::SerialPortError error);
    void release();
    void openNetwork();
    void lose(const QString &systemText);

    PortAddress address;
    PortDetails details;
    Problem last;
    Platform::DeviceClaim claim;
    QIODevice *line = nullptr; // a serial port, a gateway, or what the line maker made
    QSerialPort *serial = nullptr; // `line` where it is a serial port, for the window's `serial`
    LineMaker lineMaker;
};

Q_DECLARE_METATYPE(ModuleLink::Problem)

#endif // TAV_MODULELINK_H
