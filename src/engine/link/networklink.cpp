#include "networklink.h"

#include "logging.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>


NetworkLink::NetworkLink(const PortAddress &address, QObject *parent)
    : QIODevice(parent)
    , address(address)
    , socket(new QTcpSocket(this))
    , deadline(new QTimer(this))
    , settingsWait(new QTimer(this))
{
    deadline->setSingleShot(true);
    deadline->setObjectName(QStringLiteral("connectTimer"));
    settingsWait->setSingleShot(true);
    connect(socket, &QTcpSocket::connected, this, &NetworkLink::onConnected);
    connect(socket, &QTcpSocket::readyRead, this, &NetworkLink::onBytes);
    connect(socket, &QAbstractSocket::errorOccurred, this, &NetworkLink::onSocketError);
    connect(deadline, &QTimer::timeout, this, [this] {
        // Connected but never told the line was set up: no RFC 2217 there.
        if (socket->state() == QAbstractSocket::ConnectedState)
            fail(Problem::NoComPortAnswer, {});
        else
            fail(Problem::TimedOut, {});
    });
    // A server that does not acknowledge the settings is not waited for.
    connect(settingsWait, &QTimer::timeout, this, &NetworkLink::becomeReady);
}

NetworkLink::~NetworkLink()
{
    ended = true;
}

void NetworkLink::start()
{
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    if (!address.isValid()) {
        // Told on the next pass of the event loop, as every other failure.
        QTimer::singleShot(0, this, [this] { fail(Problem::BadName, {}); });
        return;
    }
    deadline->start(connectLimit);
    socket->connectToHost(address.host(), address.port());
}

qint64 NetworkLink::bytesAvailable() const
{
    return incoming.size() + QIODevice::bytesAvailable();
}

void NetworkLink::close()
{
    ended = true;
    deadline->stop();
    settingsWait->stop();
    socket->abort();
    QIODevice::close();
}

qint64 NetworkLink::readData(char *data, qint64 maxSize)
{
    const qint64 n = std::min<qint64>(maxSize, incoming.size());
    std::copy_n(incoming.constData(), n, data);
    incoming.remove(0, int(n));
    return n;
}

qint64 NetworkLink::writeData(const char *data, qint64 size)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return -1;
    const QByteArray bytes(data, int(size));
    wroteAny = true;
    socket->write(address.kind() == PortAddress::Kind::Rfc2217 ? TelnetCodec::escaped(bytes) : bytes);
    return size;
}

void NetworkLink::onConnected()
{
    // A command must leave at once, not wait for more to fill a segment.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    qCDebug(lcLink) << "connected" << address.name();
    connectedClock.start();
    if (address.kind() == PortAddress::Kind::Raw) {
        becomeReady();
        return;
    }
    socket->write(codec.opening());
}

void NetworkLink::onBytes()
{
    const QByteArray arrived = socket->readAll();
    // A gateway that turns a client away says why, then hangs up.
    for (int i = 0; !wroteAny && i < arrived.size() && firstWords.size() < 120; ++i) {
        if (arrived.at(i) >= 0x20 && arrived.at(i) < 0x7f)
            firstWords += arrived.at(i);
    }
    const int before = incoming.size();
    if (address.kind() == PortAddress::Kind::Rfc2217) {
        const TelnetCodec::Taken taken = codec.take(arrived);
        if (taken.comPortRefused && !readyNow) {
            fail(Problem::NoComPort, {});
            return;
        }
        socket->write(taken.answer);
        if (taken.comPortAccepted)
            settingsWait->start(settingsLimit);
        if (taken.readyAfter >= 0) {
            incoming += taken.data.left(taken.readyAfter);
            becomeReady();
            incoming += taken.data.mid(taken.readyAfter);
        } else {
            incoming += taken.data;
        }
    } else {
        incoming += arrived;
    }
    // Before the line is set up nothing is read: what comes then answers
    // nothing sent on it, and a flood must not grow the program.
    if (!readyNow)
        incoming.clear();
    if (incoming.size() > before && readyNow)
        emit readyRead();
}

void NetworkLink::becomeReady()
{
    if (readyNow || ended)
        return;
    readyNow = true;
    deadline->stop();
    settingsWait->stop();
    // What came before the line was set up answers nothing sent on it.
    incoming.clear();
    emit ready();
}

void NetworkLink::onSocketError()
{
    const auto error = socket->error();
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        fail(Problem::HostNotFound, socket->errorString());
        break;
    case QAbstractSocket::ConnectionRefusedError:
        fail(Problem::Refused, socket->errorString());
        break;
    case QAbstractSocket::RemoteHostClosedError: {
        // Before the line was set up, or at once after connecting, the
        // gateway turned us away (another client has its port, say; ser2net
        // then says "Port already in use").
        // Spoken to first and hung up at once, or hung up before a command
        // went out: no module was lost, the gateway did not take us.
        const bool turnedAway = !readyNow || !wroteAny
                || (!firstWords.isEmpty() && connectedClock.isValid()
                    && connectedClock.elapsed() < refusalWindow.count());
        const QString said = QString::fromLatin1(firstWords.trimmed());
        if (turnedAway && !said.isEmpty())
            fail(Problem::TurnedAway, said);
        else
            fail(turnedAway ? Problem::Refused : Problem::Lost, socket->errorString());
        break;
    }
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::NetworkError:
        fail(readyNow ? Problem::Lost : Problem::TimedOut, socket->errorString());
        break;
    default:
        fail(readyNow ? Problem::Lost : Problem::Refused, socket->errorString());
        break;
    }
}

void NetworkLink::fail(Problem problem, const QString &systemText)
{
    // One report: whatever the socket says after this, nobody hears it.
    if (ended)
        return;
    ended = true;
    deadline->stop();
    settingsWait->stop();
    socket->abort();
    qCDebug(lcLink) << "network link failed" << address.name() << int(problem) << systemText;
    emit failed(problem, systemText);
}
