#include "portwatch.h"

#include "logging.h"
#include "platform.h"
#include "portmonitor.h"
#include "searchpace.h"

#include <QFileInfo>
#include <QTimer>

using namespace Timing;

PortWatch::PortWatch(PortLister lister, PortMonitor *portMonitor, QObject *parent)
    : QObject(parent)
    , listPorts(std::move(lister))
    , monitor(portMonitor)
    , find(new QTimer(this))
    , openRetry(new QTimer(this))
{
    if (monitor) {
        monitor->setParent(this);
        connect(monitor, &PortMonitor::portsChanged, this, &PortWatch::listed);
    }
    // Object names let the window, tests and diagnostics tell the timers apart.
    find->setObjectName(QStringLiteral("findTimer"));
    find->setInterval(findTickInterval);
    openRetry->setObjectName(QStringLiteral("openRetryTimer"));
    openRetry->setInterval(foundPortRetryInterval);
    openRetry->setSingleShot(true);
    openRetry->setTimerType(Qt::PreciseTimer);
    connect(find, &QTimer::timeout, this, &PortWatch::tick);
    connect(openRetry, &QTimer::timeout, this, [this] { emit arrived(foundPort); });
}

QStringList PortWatch::currentPorts()
{
    if (!monitor || !monitorStarted)
        return listPorts();
    // The monitor's snapshot costs nothing to read; enumerating here would
    // stall the caller's thread for milliseconds every tick.
    monitor->poll();
    return monitor->snapshot();
}

void PortWatch::setKnownPorts(const QStringList &names)
{
    known = names;
    if (monitor && !monitorStarted) {
        monitorStarted = true;
        monitor->start(names);
    }
}

bool PortWatch::watchFromNothing()
{
    if (!monitor)
        return false;
    monitorStarted = true;
    monitor->start();
    return true;
}

QList<PortDetails> PortWatch::listedDetails() const
{
    return monitor ? monitor->details() : QList<PortDetails>();
}

bool PortWatch::isActive() const
{
    return find->isActive() || openRetry->isActive();
}

void PortWatch::start(std::chrono::milliseconds limit)
{
    slot = {};
    tickCount = 0;
    tickLimit = int(limit / findTickInterval);
    find->start();
}

void PortWatch::startSlot(const QString &port, std::chrono::milliseconds limit, bool goneFirst)
{
    start(limit);
    slot = PortAddress::of(port);
    slotMustGo = goneFirst;
}

bool PortWatch::stop()
{
    if (!isActive())
        return false;
    find->stop();
    openRetry->stop();
    return true;
}

QString PortWatch::slotDevice()
{
    // A path is looked at directly (a link to nothing is not there): one
    // stat a tick, no enumeration. A bare name is looked for in the list.
    const QString &name = slot.name();
    const bool path = name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'));
    if (path ? !QFileInfo::exists(name) : !currentPorts().contains(name))
        return {};
    const QString device = Platform::deviceIdentity(slot);
    return device.isEmpty() ? name : device;
}

QStringList PortWatch::arrivedPorts()
{
    if (!slot.name().isEmpty()) {
        // A fixed slot: its port, once it is there; when the last module
        // must go first, once another device is there (it may be swapped
        // between two looks).
        const QString device = slotDevice();
        if (device != slotTaken)
            slotMustGo = false;
        if (device.isEmpty() || slotMustGo)
            return {};
        slotTaken = device;
        return {slot.name()};
    }
    const QStringList ports = currentPorts();
    // A port that went away is forgotten, so that it is new when it comes
    // back; one plugged in while the last module was being set up is new
    // too. Compared by name: an adapter that replaces another within one
    // tick is still found.
    QStringList stillThere;
    for (const QString &name : qAsConst(known)) {
        if (ports.contains(name))
            stillThere.append(name);
    }
    known = stillThere;
    const QStringList found = newPortNames(ports, known);
    if (!found.isEmpty()) {
        qCDebug(lcSearch) << "ports now" << ports << "new" << found;
        // The last one is taken; the others stay new for the next search.
        known.append(found.constLast());
    }
    return found;
}

void PortWatch::tick()
{
    const QStringList ports = arrivedPorts();
    emit ticked();
    ++tickCount;
    const bool overdue = tickCount > tickLimit;
    if (overdue)
        find->stop(); // this tick's look at the ports still counts
    if (ports.isEmpty()) {
        if (overdue)
            emit gaveUp();
        return;
    }
    // Stopped first: a port that fails to open is reported, perhaps in a
    // modal box, whose event loop must not run further ticks.
    find->stop();
    emit found(ports);
    foundPort = ports.constLast();
    foundClock.start();
    retries = 0;
    emit arrived(foundPort);
}

bool PortWatch::retryLater(SerialLink::OpenProblem problem)
{
    // A port another program holds (its flock or lock file) may be let go
    // in a moment, as a port the system does not let us open yet may.
    if (SerialLink::mayPassSoon(problem)
        && foundClock.elapsed() + foundPortRetryInterval.count() <= foundPortGrace.count()) {
        ++retries;
        openRetry->start();
        return true;
    }
    openRetry->stop();
    return false;
}

void PortWatch::settle()
{
    openRetry->stop();
}
