#include "portlist.h"

#include <QSerialPortInfo>
#include <QSet>

QStringList systemPortNames()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names.append(info.portName());
    return names;
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

bool portSetChanged(const QStringList &current, const QStringList &known)
{
    return QSet<QString>(current.cbegin(), current.cend())
            != QSet<QString>(known.cbegin(), known.cend());
}
