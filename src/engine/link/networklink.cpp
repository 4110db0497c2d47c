#include "networklink.h"

#include "logging.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <initializer_list>

namespace {
// Telnet (RFC 854) and its options.
constexpr quint8 IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr quint8 BINARY = 0, SGA = 3, COM_PORT = 44;
// COM-PORT-OPTION (RFC 2217), client to server; the server answers each with 100 more.
constexpr quint8 SET_BAUDRATE = 1, SET_DATASIZE = 2, SET_PARITY = 3, SET_STOPSIZE = 4,
                 SET_CONTROL = 5;
constexpr quint8 PARITY_NONE = 1, STOPSIZE_1 = 1, CONTROL_NO_FLOW = 1;
// The four line settings whose acknowledgement is awaited (not SET-CONTROL:
// servers on lines without modem control never answer it).
constexpr int allSettings = 0b1111;

bool weAccept(quint8 code)
{
    return code == BINARY || code == SGA || code == COM_PORT;
}

bool theyMay(quint8 code)
{
    return code == BINARY || code == SGA;
}

QByteArray escaped(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        out += c;
        if (quint8(c) == IAC)
            out += c;
    }
    return out;
}

QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (const quint8 b : list)
        out += char(b);
    return out;
}

QByteArray command(quint8 verb, quint8 code)
{
    return bytes({IAC, verb, code});
}

QByteArray comPort(quint8 what, const QByteArray &value)
{
    return bytes({IAC, SB, COM_PORT, what}) + escaped(value) + bytes({IAC, SE});
}
} // namespace

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
    socket->write(address.kind() == PortAddress::Kind::Rfc2217 ? escaped(bytes) : bytes);
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
    for (const quint8 code : {COM_PORT, BINARY, SGA})
        agreed[code] = 1;
    for (const quint8 code : {BINARY, SGA})
        agreed[256 + code] = 1;
    socket->write(command(WILL, COM_PORT) + command(WILL, BINARY) + command(DO, BINARY)
                  + command(WILL, SGA) + command(DO, SGA));
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
    if (address.kind() == PortAddress::Kind::Rfc2217)
        telnet(arrived);
    else
        incoming += arrived;
    // Before the line is set up nothing is read: what comes then answers
    // nothing sent on it, and a flood must not grow the program.
    if (!readyNow)
        incoming.clear();
    if (incoming.size() > before && readyNow)
        emit readyRead();
}

void NetworkLink::telnet(const QByteArray &bytes)
{
    for (const char c : bytes) {
        const auto byte = quint8(c);
        switch (state) {
        case State::Data:
            if (byte == IAC)
                state = State::Command;
            else
                incoming += c;
            break;
        case State::Command:
            if (byte == IAC) {
                incoming += c; // a doubled 0xFF is one data byte
                state = State::Data;
            } else if (byte == SB) {
                sub.clear();
                state = State::Sub;
            } else if (byte >= WILL) {
                verb = byte;
                state = State::Option;
            } else {
                state = State::Data; // NOP, GA and the like
            }
            break;
        case State::Option:
            option(verb, byte);
            state = State::Data;
            break;
        case State::Sub:
            if (byte == IAC)
                state = State::SubCommand;
            else if (sub.size() < 64)
                sub += c;
            break;
        case State::SubCommand:
            if (byte == SE) {
                subnegotiation(sub);
                state = State::Data;
            } else {
                if (sub.size() < 64)
                    sub += c; // IAC IAC inside: one 0xFF
                state = State::Sub;
            }
            break;
        }
    }
}

void NetworkLink::option(quint8 what, quint8 code)
{
    // Answer each option once (RFC 1143's point): a server that repeats
    // itself must not start an endless exchange of acknowledgements.
    const int mine = code;
    const int theirs = 256 + code;
    switch (what) {
    case DO:
        if (weAccept(code)) {
            if (!agreed[mine]) {
                agreed[mine] = 1;
                socket->write(command(WILL, code));
            }
            if (code == COM_PORT && !comPortAccepted) {
                comPortAccepted = true;
                sendLineSettings();
            }
        } else if (agreed[mine] != 2) {
            agreed[mine] = 2;
            socket->write(command(WONT, code));
        }
        break;
    case DONT:
        if (code == COM_PORT && !readyNow) {
            fail(Problem::NoComPort, {});
            return;
        }
        if (agreed[mine] == 1) {
            agreed[mine] = 2;
            socket->write(command(WONT, code));
        }
        break;
    case WILL:
        if (theyMay(code)) {
            if (!agreed[theirs]) {
                agreed[theirs] = 1;
                socket->write(command(DO, code));
            }
        } else if (agreed[theirs] != 2) {
            agreed[theirs] = 2;
            socket->write(command(DONT, code));
        }
        break;
    case WONT:
        if (agreed[theirs] == 1) {
            agreed[theirs] = 2;
            socket->write(command(DONT, code));
        }
        break;
    default:
        break;
    }
}

void NetworkLink::subnegotiation(const QByteArray &body)
{
    if (body.size() < 2 || quint8(body.at(0)) != COM_PORT)
        return;
    const int answer = quint8(body.at(1)) - 100;
    if (answer >= SET_BAUDRATE && answer <= SET_STOPSIZE)
        settingsAcknowledged |= 1 << (answer - 1);
    qCDebug(lcLink) << "RFC 2217 acknowledged" << answer << body.mid(2).toHex();
    if (settingsAcknowledged == allSettings)
        becomeReady();
}

void NetworkLink::sendLineSettings()
{
    // The module's side of the line, as on a local port: 9600 8N1, no flow control.
    const quint32 baud = SerialLink::lineBaudRate;
    const QByteArray rate =
            bytes({quint8(baud >> 24), quint8(baud >> 16), quint8(baud >> 8), quint8(baud)});
    socket->write(comPort(SET_BAUDRATE, rate) + comPort(SET_DATASIZE, QByteArray(1, char(8)))
                  + comPort(SET_PARITY, QByteArray(1, char(PARITY_NONE)))
                  + comPort(SET_STOPSIZE, QByteArray(1, char(STOPSIZE_1)))
                  + comPort(SET_CONTROL, QByteArray(1, char(CONTROL_NO_FLOW))));
    settingsWait->start(settingsLimit);
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
