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

QHash<QString, QString> systemPortDescriptions()
{
    QHash<QString, QString> out;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        QStringList facts;
        const auto add = [&facts](const char *label, const QString &value) {
            if (!value.isEmpty())
                facts.append(QLatin1String(label) + value);
        };
        add("Описание: ", info.description());
        add("Производитель: ", info.manufacturer());
        add("Серийный номер: ", info.serialNumber());
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            add("USB VID:PID: ", QStringLiteral("%1:%2")
                                         .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                                         .arg(info.productIdentifier(), 4, 16, QLatin1Char('0')));
        add("Расположение: ", info.systemLocation());
        out.insert(info.portName(), facts.join(QLatin1Char('\n')));
    }
    return out;
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
