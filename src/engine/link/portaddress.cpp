#include "portaddress.h"

#include <QUrl>

PortAddress PortAddress::of(const QString &name)
{
    PortAddress a;
    a.portName = name;
    const auto scheme = [&name](const char *s) {
        return name.startsWith(QLatin1String(s), Qt::CaseInsensitive);
    };
    if (scheme("rfc2217://"))
        a.how = Kind::Rfc2217;
    else if (scheme("socket://") || scheme("tcp://"))
        a.how = Kind::Raw;
    else
        return a;
    const QUrl url(name.trimmed(), QUrl::StrictMode);
    if (url.isValid() && !url.host().isEmpty() && url.port() > 0 && url.path().isEmpty()) {
        a.hostName = url.host();
        a.tcpPort = quint16(url.port());
    }
    return a;
}

QString PortAddress::where() const
{
    return isGateway() && isValid() ? QStringLiteral("%1:%2").arg(hostName).arg(tcpPort)
                                    : portName;
}

QString PortAddress::devicePath() const
{
#ifdef Q_OS_UNIX
    if (!portName.startsWith(QLatin1Char('/')))
        return QStringLiteral("/dev/") + portName;
#endif
    return portName;
}
