#ifndef TAV_PORTLIST_H
#define TAV_PORTLIST_H

#include <QStringList>

#include <functional>

// Every enumeration of serial ports goes through one of these, so that a
// caller (the demo, a test) can add ports that the system does not list.
using PortLister = std::function<QStringList()>;

// Names of the serial ports the system lists, e.g. "COM5" or "ttyUSB0".
QStringList systemPortNames();

// New ports of `current`: those whose name stands in no entry of `known`.
QStringList newPortNames(const QStringList &current, const QStringList &known);

// Whether two enumerations hold different sets of names.
bool portSetChanged(const QStringList &current, const QStringList &known);

#endif // TAV_PORTLIST_H
