#include "moduleengine.h"

#include "logging.h"
#include "portwatch.h"
#include "replyframer.h"

#include <QTimer>

#include <algorithm>
#include <utility>

using namespace Timing;

ModuleEngine::ModuleEngine(PortLister lister, PortMonitor *monitor, QObject *parent)
    : QObject(parent)
    , link(new ModuleLink(this))
    , watch(new PortWatch(std::move(lister), monitor, this))
    , frames(new ReplyFramer(this))
{
    qRegisterMetaType<ModuleEngine::Failure>();
    qRegisterMetaType<ModuleEngine::Note>();
    qRegisterMetaType<ModuleEngine::FieldState>();
    qRegisterMetaType<ModuleEngine::State>();
    qRegisterMetaType<ModuleProtocol::Values>();
    qRegisterMetaType<ModuleProtocol::Field>();

    // Object names let the window, tests and diagnostics tell the timers apart.
    const auto makeTimer = [this](const char *name, std::chrono::milliseconds interval) {
        auto *timer = new QTimer(this);
        timer->setObjectName(QLatin1String(name));
        timer->setInterval(interval);
        // A coarse timer may fire up to 5 % early; the module is given its
        // full pauses.
        timer->setTimerType(Qt::PreciseTimer);
        return timer;
    };
    readPause = makeTimer("readTimer", sequenceStartDelay);
    writePause = makeTimer("writeTimer", sequenceStartDelay);
    giveUp = makeTimer("giveUpTimer", SerialLink::replyTimeout);
    giveUp->setSingleShot(true);

    connect(readPause, &QTimer::timeout, this, &ModuleEngine::readTick);
    connect(writePause, &QTimer::timeout, this, &ModuleEngine::writeTick);
    connect(giveUp, &QTimer::timeout, this, [this] {
        frames->cancel();
        Failure failure;
        failure.kind = FailureKind::NoReply;
        failure.command = lastSent;
        failure.waited = giveUpLimit;
        fail(failure);
    });
    connect(frames, &ReplyFramer::timedOut, this, &ModuleEngine::replyTimedOut);
    connect(frames, &ReplyFramer::replyReady, this, &ModuleEngine::onReply);

    connect(link, &ModuleLink::received, frames, &ReplyFramer::feed);
    connect(link, &ModuleLink::failed, this, &ModuleEngine::failLink);
    connect(link, &ModuleLink::lockIgnored, this, [this](const Platform::IgnoredLock &lock) {
        Note ignored(Note::Kind::LockIgnored, lock.path);
        ignored.pid = lock.pid;
        emit noted(ignored);
    });
    connect(link, &ModuleLink::ready, this, [this] {
        note(Note::Kind::PortOpened, link->portName());
        setState(State::Idle);
        if (waitingPlan) {
            const auto [waiting, pause] = *waitingPlan;
            waitingPlan.reset();
            begin(waiting, pause, true);
        }
    });

    connect(watch, &PortWatch::ticked, this, &ModuleEngine::searchTicked);
    connect(watch, &PortWatch::listed, this, &ModuleEngine::portsListed);
    connect(watch, &PortWatch::found, this, [this](const QStringList &ports) {
        for (const QString &name : ports)
            emit portFound(name);
        note(Note::Kind::Found, ports.constLast());
    });
    connect(watch, &PortWatch::arrived, this, &ModuleEngine::openFound);
    connect(watch, &PortWatch::gaveUp, this, [this] {
        note(Note::Kind::NotFound);
        setState(State::Closed);
        emit searchEnded(false);
    });
}

ModuleEngine::~ModuleEngine()
{
    // The parts outlive this body (they are children): none may call back.
    link->disconnect(this);
    watch->disconnect(this);
    frames->disconnect(this);
}

void ModuleEngine::setState(State state)
{
    if (now == state)
        return;
    qCDebug(lcLink) << "state" << now << "->" << state;
    now = state;
    emit stateChanged(now);
}

QTimer *ModuleEngine::timeoutTimer() const
{
    return frames->timeoutTimer();
}

QTimer *ModuleEngine::findTimer() const
{
    return watch->timer();
}

const int &ModuleEngine::searchTicks() const
{
    return watch->ticks();
}

const QStringList &ModuleEngine::knownPorts() const
{
    return watch->knownPorts();
}

QSerialPort *const &ModuleEngine::serialPort() const
{
    return link->serialPort();
}

// --- The link -----------------------------------------------------------------

bool ModuleEngine::isOpen() const
{
    return link->isOpen();
}

const QString &ModuleEngine::portName() const
{
    return link->portName();
}

const PortDetails &ModuleEngine::adapter() const
{
    return link->adapter();
}

bool ModuleEngine::tryOpen(const QString &portName, bool announce)
{
    waitingPlan.reset();
    told = {};
    if (!link->open(portName))
        return false;
    if (link->isConnecting()) {
        note(Note::Kind::ConnectingTo, portName);
        setState(State::Connecting);
        return true;
    }
    if (announce) {
        Note opened(Note::Kind::PortOpened, portName);
        opened.adapter = link->adapter();
        emit noted(opened);
    }
    setState(State::Idle);
    return true;
}

ModuleEngine::Record ModuleEngine::recordFor(const Plan &p) const
{
    Record r;
    r.write = p.write;
    if (p.write)
        r.requested = p.target;
    return r;
}

bool ModuleEngine::run(const QString &portName, const Plan &p)
{
    return openFor(portName, recordFor(p)) && start(p);
}

bool ModuleEngine::open(const QString &portName)
{
    return openFor(portName, {});
}

bool ModuleEngine::openFor(const QString &portName, const Record &expected)
{
    // Nothing of an earlier module may pass for this one's.
    rec = expected;
    if (tryOpen(portName))
        return true;
    failLink(link->problem());
    return false;
}

void ModuleEngine::failLink(const ModuleLink::Problem &problem)
{
    stopAll();
    const bool lost = problem.kind == ModuleLink::Problem::Kind::Lost;
    Failure failure;
    failure.kind = lost ? FailureKind::LinkLost : FailureKind::CannotOpen;
    failure.command = lost ? lastSent : QString();
    failure.problem = problem;
    fail(failure);
}

void ModuleEngine::note(Note::Kind kind, const QString &port)
{
    emit noted(Note(kind, port));
}

void ModuleEngine::close()
{
    const bool wasOpen = isOpen();
    // Closing in the middle of an exchange ends it like a stop would: the
    // user, the log and the record learn what the module took.
    std::optional<Failure> ended;
    if (isExchanging() || waitingPlan) {
        ended = Failure {};
        ended->kind = FailureKind::Interrupted;
        ended->beforeStart = !isExchanging() || exchange.next == 0;
        ended->byClosing = true;
        ended->awaiting = now != State::Pausing;
        ended->command = lastSent;
    }
    stopAll();
    if (wasOpen)
        note(Note::Kind::Disconnected, link->portName());
    if (ended)
        fail(*ended);
    else
        setState(State::Closed);
}

void ModuleEngine::stopAll()
{
    waitingPlan.reset();
    link->close();
    frames->cancel();
    watch->stop();
    stopTimers();
}

void ModuleEngine::readAvailable()
{
    link->readAvailable();
}

void ModuleEngine::handlePortError(QSerialPort::SerialPortError error)
{
    link->handlePortError(error);
}

// --- The search ---------------------------------------------------------------

QStringList ModuleEngine::currentPorts()
{
    return watch->currentPorts();
}

void ModuleEngine::setKnownPorts(const QStringList &names)
{
    watch->setKnownPorts(names);
}

bool ModuleEngine::listPortsInBackground()
{
    return watch->watchFromNothing();
}

QList<PortDetails> ModuleEngine::listedDetails() const
{
    return watch->listedDetails();
}

bool ModuleEngine::isSearching() const
{
    return watch->isActive();
}

void ModuleEngine::startSearch(const Plan &plan, std::chrono::milliseconds limit)
{
    if (isOpen()) {
        note(Note::Kind::SearchUnavailable);
        return;
    }
    searchPlan = plan;
    rec = recordFor(plan);
    watch->start(limit);
    setState(State::Searching);
    note(Note::Kind::SearchStarted);
}

void ModuleEngine::waitForSlot(const QString &port, const Plan &plan,
                               std::chrono::milliseconds limit, bool goneFirst)
{
    startSearch(plan, limit);
    if (now != State::Searching)
        return;
    watch->startSlot(port, limit, goneFirst);
    Note waiting(Note::Kind::WaitingForSlot, port);
    waiting.goneFirst = goneFirst;
    emit noted(waiting);
}

void ModuleEngine::stopSearch()
{
    if (!watch->stop())
        return;
    setState(State::Closed);
    note(Note::Kind::SearchStopped);
    emit searchEnded(false);
}

void ModuleEngine::searchTick()
{
    watch->tick();
}

void ModuleEngine::openFound(const QString &port)
{
    // Quietly: the status keeps "found" until the first command goes out.
    if (tryOpen(port, false)) {
        watch->settle();
        emit searchEnded(true);
        // A module just powered up by its adapter needs time to start.
        begin(searchPlan, readAfterFindDelay, false);
        return;
    }
    const ModuleLink::Problem &problem = link->problem();
    if (!problem.network && watch->retryLater(problem.serial)) {
        if (watch->tries() == 1)
            note(Note::Kind::WaitingForAccess, port);
        return;
    }
    emit searchEnded(false);
    failLink(problem);
}
