#include "modulelink.h"

#include "logging.h"

ModuleLink::ModuleLink(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<ModuleLink::Problem>();
}

ModuleLink::~ModuleLink()
{
    // The line is a child and outlives this body: it must not call back.
    if (line)
        line->disconnect(this);
}

bool ModuleLink::isOpen() const
{
    return line && line->isOpen();
}

bool ModuleLink::isConnecting() const
{
    const auto *gateway = qobject_cast<const NetworkLink *>(line);
    return gateway && gateway->isOpen() && !gateway->isReady();
}

void ModuleLink::release()
{
    if (!line)
        return;
    // A replaced line must never deliver its bytes or errors to the next
    // one's exchange. Freed later: it may still be signalling.
    line->disconnect(this);
    line->close();
    claim.release();
    line->deleteLater();
    line = nullptr;
    serial = nullptr;
}

bool ModuleLink::open(const QString &portName)
{
    release();
    address = PortAddress::of(portName);
    last = Problem {};
    last.address = address;
    details = PortDetails {portName, {}, {}, {}, {}, {}};
    if (QIODevice *made = lineMaker ? lineMaker(portName) : nullptr) {
        line = made;
        line->setParent(this);
        connect(line, &QIODevice::readyRead, this, &ModuleLink::readAvailable);
        connect(line, &QIODevice::readChannelFinished, this, [this] { lose({}); });
        return line->isOpen() || line->open(QIODevice::ReadWrite);
    }
    if (address.isGateway()) {
        openNetwork();
        return true;
    }
    serial = new QSerialPort(this);
    line = serial;
    serial->setObjectName(QStringLiteral("serial"));
    connect(serial, &QSerialPort::readyRead, this, &ModuleLink::readAvailable);
    SerialLink::configurePort(*serial, portName);
    if (portName.isEmpty())
        return false;
    // Another program on the line would take the module's replies: nothing
    // is sent to a port that is held, whatever Qt's own lock says.
    Platform::Holder holder;
    QVector<Platform::IgnoredLock> ignored;
    const auto claimed = claim.take(address, &holder, &ignored);
    for (const Platform::IgnoredLock &lock : ignored)
        emit lockIgnored(lock);
    if (claimed != Platform::DeviceClaim::Result::Taken) {
        last.why = Problem::Serial {claimed == Platform::DeviceClaim::Result::Held
                                            ? SerialLink::OpenProblem::Busy
                                            : SerialLink::OpenProblem::Other,
                                    holder};
        return false;
    }
    if (!serial->open(QIODevice::ReadWrite)) {
        claim.release();
        last.why = Problem::Serial {SerialLink::openProblem(serial->error(), address), {}};
        last.systemText = serial->errorString();
        qCDebug(lcLink) << "cannot open" << portName << last.systemText;
        return false;
    }
    // Bytes from before this connection (a late reply to a closed one)
    // answer nothing that will be sent on it.
    serial->clear();
    // Only now: open() itself signals NoError and, on failure, the error its
    // caller reports. One failure, one report.
    connect(serial, &QSerialPort::errorOccurred, this, &ModuleLink::handlePortError);
    details = portDetails(portName);
    return true;
}

void ModuleLink::openNetwork()
{
    auto *network = new NetworkLink(address, this);
    line = network;
    network->setObjectName(QStringLiteral("network"));
    connect(network, &QIODevice::readyRead, this, &ModuleLink::readAvailable);
    connect(network, &NetworkLink::ready, this, &ModuleLink::ready);
    connect(network, &NetworkLink::failed, this,
            [this, network](NetworkLink::Problem problem, const QString &systemText) {
                const bool wasReady = network->isReady();
                last.kind = wasReady && problem == NetworkLink::Problem::Lost
                        ? Problem::Kind::Lost
                        : Problem::Kind::CannotOpen;
                last.why = problem;
                last.systemText = systemText;
                // Closed before anything is reported, as a lost serial port is.
                close();
                emit failed(last);
            });
    network->start();
}

void ModuleLink::close()
{
    if (line && line->isOpen())
        line->close();
    claim.release();
}

void ModuleLink::write(const QByteArray &bytes)
{
    // Writing to a closed port only warns; the caller's time-out tells.
    if (isOpen())
        line->write(bytes);
}

void ModuleLink::readAvailable()
{
    if (line)
        emit received(line->readAll());
}

void ModuleLink::handlePortError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    qCDebug(lcLink) << "port error" << error;
    if (!SerialLink::errorEndsLink(error))
        return;
    lose(serial ? serial->errorString() : QString());
}

void ModuleLink::lose(const QString &systemText)
{
    last = Problem {};
    last.kind = Problem::Kind::Lost;
    // As the port was named: QSerialPort's own name drops "/dev/", so a
    // port opened as /dev/pts/13 would be lost as "pts/13".
    last.address = address;
    last.systemText = systemText;
    // Closed before anything is reported: a hung-up port raises ReadError
    // on every pass of the event loop until it is closed.
    close();
    emit failed(last);
}
