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
        emit noted(Note::ConnectingTo {portName});
        setState(State::Connecting);
        return true;
    }
    if (announce)
        emit noted(Note::PortOpened {portName, link->adapter()});
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
    if (lost)
        fail(Failure::LinkLost {lastSent, problem});
    else
        fail(Failure::CannotOpen {problem});
}

void ModuleEngine::close()
{
    const bool wasOpen = isOpen();
    // Closing in the middle of an exchange ends it like a stop would: the
    // user, the log and the record learn what the module took.
    std::optional<Failure::Interrupted> ended;
    if (isExchanging() || waitingPlan)
        ended = Failure::Interrupted {lastSent, now != State::Pausing, true,
                                      !isExchanging() || exchange.position().sent == 0};
    stopAll();
    if (wasOpen)
        emit noted(Note::Disconnected {link->portName()});
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
