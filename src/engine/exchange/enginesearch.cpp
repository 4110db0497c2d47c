// The search for a newly plugged adapter, and the wait for a fixed slot:
// the port watch finds the port, the engine opens it and runs the plan.
#include "moduleengine.h"

#include "portwatch.h"

using namespace Timing;

void ModuleEngine::followWatch()
{
    connect(watch, &PortWatch::ticked, this, &ModuleEngine::searchTicked);
    connect(watch, &PortWatch::listed, this, [this](const QStringList &ports) {
        emit portsListed(ports, watch->listedDetails());
    });
    connect(watch, &PortWatch::found, this, [this](const QStringList &ports) {
        for (const QString &name : ports)
            emit portFound(name);
        emit noted(Note::Found {ports.constLast()});
    });
    connect(watch, &PortWatch::arrived, this, &ModuleEngine::openFound);
    connect(watch, &PortWatch::gaveUp, this, [this] {
        emit noted(Note::NotFound {});
        setState(State::Closed);
        emit searchEnded(false);
    });
}

void ModuleEngine::setKnownPorts(const std::optional<QStringList> &names)
{
    watch->setKnownPorts(names ? *names : watch->currentPorts());
}

bool ModuleEngine::listPortsInBackground()
{
    return watch->watchFromNothing();
}

void ModuleEngine::startSearch(const Plan &plan, std::chrono::milliseconds limit)
{
    if (isOpen()) {
        emit noted(Note::SearchUnavailable {});
        return;
    }
    searchPlan = plan;
    exchange.expect(&plan);
    watch->start(limit);
    setState(State::Searching);
    emit noted(Note::SearchStarted {});
}

void ModuleEngine::waitForSlot(const QString &port, const Plan &plan,
                               std::chrono::milliseconds limit, bool goneFirst)
{
    startSearch(plan, limit);
    if (now != State::Searching)
        return;
    watch->startSlot(port, limit, goneFirst);
    emit noted(Note::WaitingForSlot {port, goneFirst});
}

void ModuleEngine::stopSearch()
{
    if (!watch->stop())
        return;
    setState(State::Closed);
    emit noted(Note::SearchStopped {});
    emit searchEnded(false);
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
    if (problem.serial() && watch->retryLater(problem.serial()->why)) {
        if (watch->tries() == 1)
            emit noted(Note::WaitingForAccess {port});
        return;
    }
    emit searchEnded(false);
    failLink(problem);
}
