#include "moduleengine.h"

#include "logging.h"
#include "portwatch.h"
#include "replyframer.h"

#include <QTimer>

#include <algorithm>
#include <utility>

using namespace Timing;

ModuleEngine::ModuleEngine(Setup setup, QObject *parent)
    : QObject(parent)
    , link(new ModuleLink(this))
    , watch(new PortWatch(std::move(setup.listPorts), setup.monitor, this))
    , frames(new ReplyFramer(this))
    , giveUpLimit(setup.giveUpAfter)
{
    // The types' own names and the engine's, as its signals spell them.
    qRegisterMetaType<ModuleEngine::Failure>("ModuleEngine::Failure");
    qRegisterMetaType<ModuleEngine::Note>("ModuleEngine::Note");
    qRegisterMetaType<ModuleEngine::FieldState>("ModuleEngine::FieldState");
    qRegisterMetaType<ModuleEngine::State>();
    qRegisterMetaType<ModuleProtocol::Values>();
    qRegisterMetaType<ModuleProtocol::Field>();

    exchange = Exchange({[this](const QString &command) { transmit(command); },
                         [this](bool reading, std::chrono::milliseconds pause) { wait(reading, pause); },
                         [this](Field field, FieldState state, const QString &value) {
                             emit fieldChanged(field, state, value);
                         },
                         [this](int done, int count) { emit progressed(done, count); }});

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
    giveUp = makeTimer("giveUpTimer", ReplyFramer::replyTimeout);
    giveUp->setSingleShot(true);

    connect(readPause, &QTimer::timeout, this, [this] { pauseOver(true); });
    connect(writePause, &QTimer::timeout, this, [this] { pauseOver(false); });
    connect(giveUp, &QTimer::timeout, this, [this] {
        frames->cancel();
        fail(Failure::NoReply {lastSent, giveUpLimit});
    });
    connect(frames, &ReplyFramer::timedOut, this, &ModuleEngine::replyTimedOut);
    connect(frames, &ReplyFramer::replyReady, this, &ModuleEngine::onReply);

    connect(link, &ModuleLink::received, frames, &ReplyFramer::feed);
    connect(link, &ModuleLink::failed, this, &ModuleEngine::failLink);
    connect(link, &ModuleLink::lockIgnored, this, [this](const Platform::IgnoredLock &lock) {
        emit noted(Note::LockIgnored {lock.path, lock.pid});
    });
    connect(link, &ModuleLink::ready, this, [this] {
        emit noted(Note::PortOpened {link->portName(), {}});
        setState(State::Idle);
        if (waitingPlan) {
            const auto [waiting, pause] = *waitingPlan;
            waitingPlan.reset();
            begin(waiting, pause, true);
        }
    });

    followWatch();
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

// --- The exchange under way --------------------------------------------------------

bool ModuleEngine::isExchanging() const
{
    return now == State::Pausing || now == State::Awaiting || now == State::Late
            || now == State::Stopping;
}

bool ModuleEngine::isBusy() const
{
    return isExchanging() || now == State::Connecting;
}

ModuleEngine::Activity ModuleEngine::activity() const
{
    if (!isExchanging())
        return Activity::Idle;
    return exchange.record().write ? Activity::Writing : Activity::Reading;
}

ModuleEngine::Progress ModuleEngine::progress() const
{
    const Exchange::Position at = exchange.position();
    return {at.sent, at.count, lastSent, frames->isAwaiting()};
}

bool ModuleEngine::start(const Plan &plan, std::chrono::milliseconds firstPause)
{
    return begin(plan, firstPause, true);
}

bool ModuleEngine::begin(const Plan &plan, std::chrono::milliseconds firstPause, bool announce)
{
    // A gateway still being connected to: the plan starts once it is.
    if (now == State::Connecting) {
        waitingPlan = std::make_pair(plan, firstPause);
        return true;
    }
    std::optional<Refusal> refusal;
    if (!isOpen())
        refusal = Refusal::NotConnected;
    else if (activity() == Activity::Reading)
        refusal = Refusal::Reading;
    else if (activity() == Activity::Writing)
        refusal = Refusal::Writing;
    else if (frames->isAwaiting())
        refusal = Refusal::Awaiting;
    else if (plan.write && !plan.target.isComplete())
        // An empty value would send a bare prefix, which the module refuses
        // half-way through the write.
        refusal = Refusal::Incomplete;
    if (refusal) {
        emit noted(Note::NotStarted {*refusal, lastSent});
        return false;
    }
    lastSent.clear();
    lateOnce = false;
    setState(State::Pausing);
    if (announce)
        emit noted(Note::Started {plan.write});
    exchange.begin(plan, firstPause);
    return true;
}

void ModuleEngine::wait(bool reading, std::chrono::milliseconds pause)
{
    setState(State::Pausing);
    (reading ? readPause : writePause)->start(pause);
}

void ModuleEngine::pauseOver(bool reading)
{
    (reading ? readPause : writePause)->stop();
    if (now == State::Pausing)
        exchange.pauseOver(reading);
}

void ModuleEngine::transmit(const QString &command)
{
    const QByteArray bytes = command.toUtf8();
    lastSent = command;
    if (isExchanging())
        setState(State::Awaiting);
    // Writing to a closed port only warns; the time-out tells the user.
    if (isOpen()) {
        link->write(bytes);
        emit commandSent(bytes);
    }
    frames->expectReply();
}

void ModuleEngine::send(const QString &command, bool awaitReply)
{
    if (isExchanging() || frames->isAwaiting())
        return; // one command at a time
    lateOnce = false;
    transmit(command);
    if (!awaitReply)
        frames->cancel();
}

void ModuleEngine::onReply(const QByteArray &bytes, qint64 dropped)
{
    giveUp->stop();
    emit replyTaken(bytes, dropped);
    reply = ReplyFramer::decodeReply(bytes);
    takeReply();
}

void ModuleEngine::takeReply()
{
    qCDebug(lcLink) << "reply" << reply;
    // A reply is credited only to the command of the plan it answers.
    if (now != State::Awaiting && now != State::Late && now != State::Stopping)
        return;
    const bool stopAsked = now == State::Stopping;
    Failure failure;
    switch (exchange.take(reply, !stopAsked, failure)) {
    case Exchange::Outcome::Failed:
        // A module that left configuration mode takes no more values.
        if (failure.as<Failure::LeftConfiguration>())
            link->close();
        fail(failure);
        return;
    case Exchange::Outcome::Next:
        if (stopAsked)
            fail(Failure::Interrupted {lastSent, false, false, false});
        return;
    case Exchange::Outcome::Done:
        break;
    }
    stopTimers();
    if (exchange.record().write) {
        finishPlan();
        return;
    }
    const Values values = exchange.record().before;
    emit noted(Note::ReadDone {values});
    setState(State::Idle);
    emit readFinished(values);
}

void ModuleEngine::finishPlan()
{
    const Record &rec = exchange.record();
    // The module that operates no longer listens to commands.
    if (rec.operating)
        link->close();
    emit noted(Note::Written {rec.confirmed, rec.operating});
    setState(isOpen() ? State::Idle : State::Closed);
    emit written(rec.confirmed, rec.operating);
}

void ModuleEngine::fail(Failure failure)
{
    failure = exchange.end(failure, isExchanging());
    stopTimers();
    setState(isOpen() ? State::Idle : State::Closed);
    emit failed(failure);
}

void ModuleEngine::stopTimers()
{
    readPause->stop();
    writePause->stop();
    giveUp->stop();
}

void ModuleEngine::replyTimedOut()
{
    const bool first = !lateOnce;
    lateOnce = true;
    // The reply is still awaited: a late one resumes the sequence. Only the
    // user (or the command line's limit) gives it up.
    if (giveUpLimit.count() > 0)
        giveUp->start(
                std::max(giveUpLimit - ReplyFramer::replyTimeout, std::chrono::milliseconds(0)));
    if (now == State::Awaiting)
        setState(State::Late);
    emit timedOut(lastSent, first);
}

void ModuleEngine::requestStop()
{
    if (now == State::Connecting && waitingPlan) {
        // Still connecting to a gateway: nothing was sent yet.
        stopAll();
        fail(Failure::Interrupted {{}, false, false, true});
        return;
    }
    if (!isExchanging())
        return;
    if (now == State::Awaiting || now == State::Late) {
        setState(State::Stopping);
        emit noted(Note::Stopping {lastSent});
        return;
    }
    // Between two commands, or asked twice: the reply is not waited for.
    const Failure::Interrupted ended {lastSent, now == State::Stopping, false,
                                      exchange.position().sent == 0};
    frames->cancel();
    fail(ended);
}
