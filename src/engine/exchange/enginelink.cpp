// The line the engine runs on: opened (a port, or a gateway still being
// connected to), lost, or closed under an exchange.
#include "moduleengine.h"

#include "portwatch.h"
#include "replyframer.h"

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

bool ModuleEngine::run(const QString &portName, const Plan &p)
{
    return openFor(portName, &p) && start(p);
}

bool ModuleEngine::open(const QString &portName)
{
    return openFor(portName, nullptr);
}

bool ModuleEngine::openFor(const QString &portName, const Plan *plan)
{
    // Nothing of an earlier module may pass for this one's.
    exchange.expect(plan);
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
        ended->beforeStart = !isExchanging() || exchange.position().sent == 0;
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
