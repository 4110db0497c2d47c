#ifndef TAV_PORTADDRESS_H
#define TAV_PORTADDRESS_H

#include <QString>

// Where a module is reached, read once from the name that names it: a serial
// port ("ttyUSB0", "COM5", /dev/serial/by-id/…), or a serial device server:
//   socket://HOST:PORT (also tcp://)  raw TCP, the gateway's "TCP server" mode;
//   rfc2217://HOST:PORT               Telnet with the COM-PORT-OPTION (RFC 2217).
// A gateway's name without a host or a TCP port is a gateway all the same,
// and not a valid one.
class PortAddress
{
public:
    enum class Kind { Serial, Raw, Rfc2217 };

    PortAddress() = default;
    // The one place a port's name is read.
    static PortAddress of(const QString &name);

    const QString &name() const { return portName; }
    Kind kind() const { return how; }
    bool isGateway() const { return how != Kind::Serial; }
    // A serial port with a name, or a gateway with its host and TCP port.
    bool isValid() const { return isGateway() ? tcpPort > 0 : !portName.isEmpty(); }
    // A gateway's host (without brackets: "::1") and TCP port.
    const QString &host() const { return hostName; }
    quint16 port() const { return tcpPort; }
    // "host:port" for a gateway, as its messages name it; the name otherwise.
    QString where() const;
    // A serial port's device as this system's files name it: "ttyUSB0" is
    // /dev/ttyUSB0 on a Unix system; a path stays as it is.
    QString devicePath() const;

private:
    QString portName;
    Kind how = Kind::Serial;
    QString hostName;
    quint16 tcpPort = 0;
};

#endif // TAV_PORTADDRESS_H
