#ifndef TAV_PORTLIST_H
#define TAV_PORTLIST_H

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Every enumeration of serial ports goes through one of these, so that a
// caller (the demo, a test) can add ports that the system does not list.
using PortLister = std::function<QStringList()>;

// Names of the serial ports the system lists, e.g. "COM5" or "ttyUSB0".
QStringList systemPortNames();

// What the system knows of one of its ports; empty where it knows nothing.
struct PortDetails
{
    QString name; // "ttyUSB0", "COM5"
    QString location; // "/dev/ttyUSB0"
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString usbId; // "0403:6001"
};
QList<PortDetails> systemPortDetails();
// The details of one port, by its name, its path or a link to it; only the
// name where the system lists no such port. One enumeration: not for loops.
PortDetails portDetails(const QString &name);

// New ports of `current`: those whose name stands in no entry of `known`.
QStringList newPortNames(const QStringList &current, const QStringList &known);

#endif // TAV_PORTLIST_H
