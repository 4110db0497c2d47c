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
    if (!isGateway() || !isValid())
        return portName;
    // An IPv6 address in brackets, as a URL has it: "[::1]:4002", not "::1:4002".
    const QString host = hostName.contains(QLatin1Char(':'))
            ? QStringLiteral("[%1]").arg(hostName)
            : hostName;
    return QStringLiteral("%1:%2").arg(host).arg(tcpPort);
}

QString PortAddress::devicePath() const
{
#ifdef Q_OS_UNIX
    if (!portName.startsWith(QLatin1Char('/')))
        return QStringLiteral("/dev/") + portName;
#endif
    return portName;
}
