#include "portlist.h"

#include <QFileInfo>

#include <QSerialPortInfo>

QStringList systemPortNames()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names.append(info.portName());
    return names;
}

QList<PortDetails> systemPortDetails()
{
    QList<PortDetails> out;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        PortDetails d {info.portName(), info.systemLocation(), info.description(),
                       info.manufacturer(), info.serialNumber(), {}};
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            d.usbId = QStringLiteral("%1:%2")
                              .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                              .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        out.append(d);
    }
    return out;
}

PortDetails portDetails(const QString &name)
{
    // A link (/dev/serial/by-id/…) names the same adapter as its target.
    const QString path = name.contains(QLatin1Char('/')) ? QFileInfo(name).canonicalFilePath()
                                                         : QString();
    for (const PortDetails &d : systemPortDetails()) {
        if (d.name == name || d.location == name || (!path.isEmpty() && d.location == path))
            return d;
    }
    return {name, {}, {}, {}, {}, {}};
}

QStringList newPortNames(const QStringList &current, const QStringList &known)
{
    QStringList found;
    for (const QString &name : current) {
        if (!known.contains(name, Qt::CaseSensitive))
            found.append(name);
    }
    return found;
}
