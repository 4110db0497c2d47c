#include "modulesimulator.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#if defined(__APPLE__)
#include <util.h>
#else
#include <pty.h>
#endif
#include <termios.h>
#include <unistd.h>
#endif

namespace {
// The line counts as quiet, and a command as complete, after this long
// without a byte: commands carry no terminator.
constexpr std::chrono::milliseconds commandQuietGap {5};

const QByteArray banner = QByteArrayLiteral("TAV-RS485-KT RS-485 module, simulated, firmware 1.0");

// The module's own lists, kept apart from the configurator's on purpose: a
// slip in either shows up as a refused value in the tests.
const QStringList baudRates = {QStringLiteral("1200"),   QStringLiteral("2400"),
                               QStringLiteral("4800"),   QStringLiteral("9600"),
                               QStringLiteral("19200"),  QStringLiteral("38400"),
                               QStringLiteral("57600"),  QStringLiteral("115200"),
                               QStringLiteral("128000"), QStringLiteral("256000")};
const QStringList stopBitValues = {QStringLiteral("1"), QStringLiteral("2")};
const QStringList parityValues = {QStringLiteral("none"), QStringLiteral("odd"),
                                  QStringLiteral("even")};
} // namespace

ModuleSimulator::Line ModuleSimulator::defaultLine()
{
#ifdef Q_OS_UNIX
    return qEnvironmentVariable("TAV_SIM_LINE") == QLatin1String("tcp") ? Line::Tcp
                                                                         : Line::PseudoTerminal;
#else
    return Line::Tcp;
#endif
}

ModuleSimulator::ModuleSimulator(QObject *parent, Line line)
    : QObject(parent)
{
    clock.start();
    quietTimer.setSingleShot(true);
    quietTimer.setInterval(commandQuietGap);
    connect(&quietTimer, &QTimer::timeout, this, &ModuleSimulator::commandComplete);
    if (line == Line::Tcp)
        listen();
    else if (line == Line::PseudoTerminal)
        openPseudoTerminal();
    else
        valid = true;
}

void ModuleSimulator::openPseudoTerminal()
{
#ifdef Q_OS_UNIX
    char name[128] = {};
    if (::openpty(&masterFd, &slaveFd, name, nullptr, nullptr) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        masterFd = slaveFd = -1;
        return;
    }
    devicePath = QString::fromLocal8Bit(name);
    slavePath = devicePath;
    // The terminal's number goes to the next program that asks once this one
    // is closed, another test's module perhaps: a case that opens a module
    // it pulled out would reach that one. The port is named by a link of its
    // own, which goes with the module, as udev's names do.
    ownFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tav-sim-XXXXXX"));
    if (ownFolder->isValid()) {
        // Reached by every user, as /dev/serial/by-id is.
        QFile::setPermissions(ownFolder->path(), QFile::permissions(ownFolder->path())
                                                         | QFileDevice::ExeOther | QFileDevice::ReadOther
                                                         | QFileDevice::ExeGroup | QFileDevice::ReadGroup);
        const QString own = ownFolder->filePath(
                QStringLiteral("ttyTAV-") + QFileInfo(ownFolder->path()).fileName().mid(8));
        if (QFile::link(devicePath, own))
            slavePath = own;
    }

    // Raw line from the start: no echo, no line editing, no CR/LF mangling.
    // Keeping our own slave descriptor open also keeps the master from
    // reporting a hang-up between two opens of the port.
    termios tio {};
    if (::tcgetattr(slaveFd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slaveFd, TCSANOW, &tio);
    }
    ::fcntl(masterFd, F_SETFL, ::fcntl(masterFd, F_GETFL) | O_NONBLOCK);
    ::fcntl(masterFd, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveFd, F_SETFD, FD_CLOEXEC);

    notifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &ModuleSimulator::onReadable);
    valid = true;
#else
    error = QStringLiteral("no pseudo-terminals on this system");
#endif
}

void ModuleSimulator::listen()
{
    server = new QTcpServer(this);
    if (!server->listen(QHostAddress::LocalHost, 0)) {
        error = server->errorString();
        return;
    }
    slavePath = QStringLiteral("socket://127.0.0.1:%1").arg(server->serverPort());
    // One line, one client: a new connection takes the line over, as the
    // next configurator on a device server's port does.
    connect(server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *next = server->nextPendingConnection()) {
            if (client)
                client->abort();
            client = next;
            client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            connect(client, &QTcpSocket::readyRead, this, &ModuleSimulator::onReadable);
            connect(client, &QTcpSocket::bytesWritten, this, [this] {
                if (floodLeft > 0)
                    floodMore();
            });
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    valid = true;
}

ModuleSimulator::~ModuleSimulator()
{
    vanish();
}

bool ModuleSimulator::makeLink(const QString &path)
{
    if (masterFd < 0)
        return false;
    const QFileInfo existing(path);
    if (existing.isSymLink()) {
        // A link to a device that is there is another simulator's (or a
        // program's that took a terminal number a lost link still names):
        // taking it over would send its users here. One to nothing is stale.
        const QString target = existing.symLinkTarget();
        if (target != devicePath && QFileInfo::exists(target)) {
            error = QStringLiteral("%1 already links to %2, which is in use").arg(path, target);
            return false;
        }
        QFile::remove(path);
    } else if (existing.exists()) {
        error = QStringLiteral("%1 exists and is not a link").arg(path);
        return false;
    }
    if (!QFile::link(devicePath, path)) {
        error = QStringLiteral("cannot make the link %1").arg(path);
        return false;
    }
    linkPath = path;
    return true;
}

void ModuleSimulator::setSettings(const QString &baudRate, const QString &stopBits,
                                  const QString &parity)
{
    baud = baudRate;
    stop = stopBits;
    par = parity;
}

void ModuleSimulator::clearFaults()
{
    replyDelay = std::chrono::milliseconds(0);
    silent = false;
    splitPieces = 1;
    splitPause = std::chrono::milliseconds(0);
    rejectedPrefixes.clear();
    overrides.clear();
}

void ModuleSimulator::setSplitReplies(int pieces, std::chrono::milliseconds pause)
{
    splitPieces = qMax(1, pieces);
    splitPause = pause;
}

void ModuleSimulator::vanish()
{
    if (vanished || !valid)
        return;
    vanished = true;
    // As the system removes an unplugged adapter's link; only while it is
    // still ours: once the device is gone, its number may go to another.
    if (!linkPath.isEmpty() && QFileInfo(linkPath).symLinkTarget() == devicePath)
        QFile::remove(linkPath);
    ownFolder.reset();
    quietTimer.stop();
    delete notifier;
    notifier = nullptr;
    delete floodNotifier;
    floodNotifier = nullptr;
    if (server) {
        server->close();
        if (client)
            client->abort();
    }
#ifdef Q_OS_UNIX
    if (masterFd >= 0) {
        ::close(masterFd);
        ::close(slaveFd);
    }
#endif
    masterFd = slaveFd = -1;
}

QList<QByteArray> ModuleSimulator::commands() const
{
    QList<QByteArray> out;
    for (const Received &r : log)
        out.append(r.command);
    return out;
}

void ModuleSimulator::clearLog()
{
    log.clear();
    raw.clear();
}

void ModuleSimulator::onReadable()
{
    if (client) {
        const QByteArray bytes = client->readAll();
        receive(bytes.constData(), bytes.size());
        return;
    }
#ifdef Q_OS_UNIX
    char buf[512];
    QByteArray bytes;
    for (;;) {
        const ssize_t n = ::read(masterFd, buf, sizeof buf);
        if (n > 0) {
            bytes.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: drained. EIO cannot happen while we hold the slave open.
    }
    receive(bytes.constData(), bytes.size());
#endif
}

void ModuleSimulator::receive(const char *bytes, qint64 size)
{
    pending.append(bytes, int(size));
    raw.append(bytes, int(size));
    if (lineMode) {
        for (;;) {
            const int cr = pending.indexOf('\r');
            const int lf = pending.indexOf('\n');
            const int end = cr < 0 ? lf : (lf < 0 ? cr : qMin(cr, lf));
            if (end < 0)
                break;
            const QByteArray command = pending.left(end);
            pending.remove(0, end + 1);
            if (!command.isEmpty()) // the LF of a CR LF, or an empty line
                takeCommand(command);
        }
        return;
    }
    if (!pending.isEmpty())
        quietTimer.start();
}

void ModuleSimulator::commandComplete()
{
    const QByteArray command = pending;
    pending.clear();
    takeCommand(command);
}

void ModuleSimulator::takeCommand(const QByteArray &command)
{
    const QByteArray reply = answer(command);
    if (!silent)
        scheduleReply(lineMode ? reply + "\r\n" : reply);
}

QByteArray ModuleSimulator::answer(const QByteArray &command)
{
    log.append({command, clock.elapsed()});
    emit commandReceived(command);
    const QByteArray reply = respond(command);
    return silent ? QByteArray() : reply;
}

QByteArray ModuleSimulator::setValue(const QByteArray &command, const QByteArray &prefix,
                                     const QStringList &allowed, QString &target)
{
    const QString value = QString::fromLatin1(command.mid(prefix.size()));
    for (const QByteArray &rejected : qAsConst(rejectedPrefixes)) {
        if (command.startsWith(rejected))
            return QByteArrayLiteral("?");
    }
    if (!allowed.contains(value))
        return QByteArrayLiteral("?");
    target = value;
    return QByteArrayLiteral("Ok");
}

QByteArray ModuleSimulator::respond(const QByteArray &command)
{
    if (overrides.contains(command))
        return overrides.value(command);
    if (command == "-h")
        return banner;
    if (command == "-baudrate")
        return "baudrate " + baud.toLatin1();
    if (command == "-stop bits")
        return "stop bits " + stop.toLatin1();
    if (command == "-parity")
        return "parity " + par.toLatin1();
    if (command.startsWith("-baudrate:"))
        return setValue(command, "-baudrate:", baudRates, baud);
    if (command.startsWith("-stop bits:"))
        return setValue(command, "-stop bits:", stopBitValues, stop);
    if (command.startsWith("-parity:"))
        return setValue(command, "-parity:", parityValues, par);
    if (command == "-st") {
        operating = true;
        return QByteArrayLiteral("module is working");
    }
    return QByteArrayLiteral("?");
}

void ModuleSimulator::scheduleReply(const QByteArray &reply)
{
    const int pieces = qMin(splitPieces, qMax(1, reply.size()));
    const int step = (reply.size() + pieces - 1) / pieces;
    for (int i = 0; i < pieces; ++i) {
        const QByteArray piece = reply.mid(i * step, step);
        const auto at = replyDelay + i * splitPause;
        if (at.count() == 0)
            writeOut(piece);
        else
            QTimer::singleShot(at, this, [this, piece] { writeOut(piece); });
    }
}

void ModuleSimulator::writeOut(const QByteArray &bytes)
{
    if (!valid || vanished || bytes.isEmpty())
        return;
    if (server) {
        if (client)
            client->write(bytes);
        emit replySent(bytes);
        return;
    }
#ifdef Q_OS_UNIX
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(masterFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
#endif
    emit replySent(bytes);
}

void ModuleSimulator::flood(qint64 total, const QByteArray &pattern)
{
    if (!valid || vanished || pattern.isEmpty())
        return;
    floodChunk.clear();
    while (floodChunk.size() < 4096)
        floodChunk += pattern;
    floodLeft = total;
    flooded = 0;
    if (server) {
        floodMore(); // bytesWritten calls again while bytes are left
        return;
    }
    if (!floodNotifier) {
        floodNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Write, this);
        connect(floodNotifier, &QSocketNotifier::activated, this, &ModuleSimulator::floodMore);
    }
    floodNotifier->setEnabled(true);
}

void ModuleSimulator::floodMore()
{
    // Written whenever the line has room, never waiting for it: the other
    // end gets bytes as fast as it can take them.
    if (server) {
        if (!client)
            return;
        // One chunk ahead of the network: the rest follows bytesWritten.
        if (floodLeft > 0 && client->bytesToWrite() < floodChunk.size()) {
            const qint64 size = qMin<qint64>(floodLeft, floodChunk.size());
            client->write(floodChunk.constData(), size);
            floodLeft -= size;
            flooded += size;
        }
        if (floodLeft == 0)
            emit floodDone();
        return;
    }
#ifdef Q_OS_UNIX
    while (floodLeft > 0) {
        const qint64 size = qMin<qint64>(floodLeft, floodChunk.size());
        const ssize_t n = ::write(masterFd, floodChunk.constData(), size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // full for now (EAGAIN): the notifier calls again
        floodLeft -= n;
        flooded += n;
    }
    floodNotifier->setEnabled(false);
    emit floodDone();
#endif
}

QString ModuleSimulator::lineSettings() const
{
#ifndef Q_OS_UNIX
    return {}; // a TCP line has no settings
#else
    struct termios t
    {
    };
    if (masterFd < 0 || ::tcgetattr(masterFd, &t) != 0)
        return {};
    static const QHash<speed_t, int> rates {{B1200, 1200},   {B2400, 2400},    {B4800, 4800},
                                            {B9600, 9600},   {B19200, 19200},  {B38400, 38400},
                                            {B57600, 57600}, {B115200, 115200}};
    const int bits = (t.c_cflag & CSIZE) == CS5 ? 5
            : (t.c_cflag & CSIZE) == CS6        ? 6
            : (t.c_cflag & CSIZE) == CS7        ? 7
                                                : 8;
    const char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    QString text = QStringLiteral("%1 %2%3%4")
                           .arg(rates.value(::cfgetospeed(&t), -1))
                           .arg(bits)
                           .arg(QLatin1Char(parity))
                           .arg((t.c_cflag & CSTOPB) ? 2 : 1);
    if (t.c_cflag & CRTSCTS)
        text += QStringLiteral(" RTS/CTS");
    return text;
#endif
}
