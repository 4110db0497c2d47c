// The exchange itself: a plan compiled to its steps, run one command at a
// time, each reply taken as the answer to the step that asked for it.
#include "moduleengine.h"

#include "logging.h"
#include "replyframer.h"

#include <QTimer>

#include <algorithm>

using namespace Timing;
using ModuleProtocol::Field;
using ModuleProtocol::Kind;

namespace {
constexpr Field settingFields[] = {Field::Speed, Field::StopBits, Field::Parity};
constexpr int readCount = 4; // "-h" and the three settings
} // namespace

QVector<ModuleEngine::Step> ModuleEngine::compile(const Plan &plan)
{
    QVector<Step> steps;
    const auto add = [&steps](Pass pass, int first, int count) {
        for (int i = 0; i < count; ++i)
            steps.append({pass, first + i, i == count - 1});
    };
    const int values = ModuleProtocol::writeStepCount - 1;
    if (!plan.write) {
        add(Pass::Read, 0, readCount);
        return steps;
    }
    if (plan.readFirst)
        add(Pass::Read, 0, readCount);
    add(Pass::Values, 0, values);
    if (plan.verify)
        add(Pass::ReadBack, 0, readCount);
    if (plan.operate)
        add(Pass::Operate, values, 1);
    return steps;
}

bool ModuleEngine::isExchanging() const
{
    return now == State::Pausing || now == State::Awaiting || now == State::Late
            || now == State::Stopping;
}

bool ModuleEngine::isBusy() const
{
    return isExchanging() || now == State::Connecting;
}

bool ModuleEngine::isAwaitingReply() const
{
    return frames->isAwaiting();
}

ModuleEngine::Activity ModuleEngine::activity() const
{
    if (!isExchanging())
        return Activity::Idle;
    return exchange.plan.write ? Activity::Writing : Activity::Reading;
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
        Note refused(Note::Kind::NotStarted);
        refused.refusal = *refusal;
        refused.command = lastSent;
        emit noted(refused);
        return false;
    }

    exchange = Exchange {};
    exchange.plan = plan;
    exchange.steps = compile(plan);
    rec = recordFor(plan);
    // A write that does not read first still names what this connection
    // already learnt of the module; nothing of an earlier plan's commands
    // may pass for this one's.
    if (plan.write && !plan.readFirst) {
        rec.hello = told.hello;
        rec.before = told.values;
        rec.haveBefore = told.haveValues;
    }
    lastSent.clear();
    setState(State::Pausing);
    if (announce) {
        Note started(Note::Kind::Started);
        started.write = plan.write;
        emit noted(started);
    }
    emit progressed(0, stepCount());
    schedule(firstPause);
    return true;
}

void ModuleEngine::schedule(std::chrono::milliseconds pause)
{
    setState(State::Pausing);
    const Step &step = exchange.steps.at(exchange.next);
    const bool reading = step.pass == Pass::Read || step.pass == Pass::ReadBack;
    const bool passBegins = exchange.next == 0 || exchange.steps.at(exchange.next - 1).endsPass;
    if (passBegins && reading) {
        // What the module holds now is what this read finds, nothing older.
        readAt = 0;
        exchange.readValues = {};
        for (const Field field : settingFields)
            emit fieldChanged(field, FieldState::Unknown, {});
    } else if (passBegins) {
        writeAt = step.index;
    }
    (reading ? readPause : writePause)->start(pause);
}

void ModuleEngine::readTick()
{
    tick(true);
}

void ModuleEngine::writeTick()
{
    tick(false);
}

void ModuleEngine::tick(bool readTimer)
{
    (readTimer ? readPause : writePause)->stop();
    if (now != State::Pausing || exchange.next >= stepCount())
        return;
    const Step step = exchange.steps.at(exchange.next);
    const bool reading = step.pass == Pass::Read || step.pass == Pass::ReadBack;
    if (reading != readTimer)
        return;
    ++exchange.next;
    if (reading) {
        const QString command = ModuleProtocol::readCommands.at(step.index);
        readAt = step.index + 1;
        transmit(command);
        return;
    }
    if (step.pass == Pass::Values && step.index == 0) {
        for (const Field field : settingFields)
            emit fieldChanged(field, FieldState::Pending, exchange.plan.target.value(field));
    }
    const Field field = ModuleProtocol::writeSteps[step.index].field;
    const QString value = exchange.plan.target.value(field);
    const QString command = ModuleProtocol::writeCommand(step.index, value);
    writeAt = step.index + 1;
    if (step.pass == Pass::Values) {
        // What was read of the module no longer holds once a value goes out.
        told.haveValues = false;
        emit fieldChanged(field, FieldState::Sending, value);
    } else {
        rec.operatingCommandSent = true;
    }
    transmit(command);
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
    exchange.lateOnce = false;
    transmit(command);
    if (!awaitReply)
        frames->cancel();
}

void ModuleEngine::onReply(const QByteArray &bytes, qint64 dropped)
{
    giveUp->stop();
    emit replyTaken(bytes, dropped);
    reply = SerialLink::decodeReply(bytes);
    takeReply();
}

void ModuleEngine::takeReply()
{
    qCDebug(lcLink) << "reply" << reply;
    // A reply is credited only to the command of the plan it answers.
    if (now != State::Awaiting && now != State::Late && now != State::Stopping)
        return;
    const bool stopAsked = now == State::Stopping;
    const Step step = exchange.steps.at(exchange.next - 1);
    emit progressed(exchange.next, stepCount());
    const auto kind = step.pass == Pass::Read || step.pass == Pass::ReadBack
            ? takeReadReply(step)
            : takeWriteReply(step);
    if (!kind)
        return; // the exchange failed on it
    if (exchange.next < stepCount()) {
        if (stopAsked)
            fail(FailureKind::Interrupted, lastSent);
        else
            schedule(pauseAfter(*kind));
        return;
    }
    stopTimers();
    if (exchange.plan.write) {
        finishPlan();
        return;
    }
    rec.ended = QDateTime::currentDateTime();
    Note done(Note::Kind::ReadDone);
    done.values = exchange.readValues;
    emit noted(done);
    setState(State::Idle);
    emit readFinished(exchange.readValues);
}

std::optional<Kind> ModuleEngine::takeReadReply(const Step &step)
{
    const Field asked = ModuleProtocol::fieldOfReadStep(step.index);
    Kind kind = Kind::Unrecognised;
    if (exchange.next == 1) {
        rec.hello = reply;
        told.hello = reply;
    }
    if (step.index > 0) {
        const auto outcome = ModuleProtocol::interpret(reply, ModuleProtocol::Sequence::Read, 0);
        if (outcome.field == asked && !outcome.value.isEmpty()) {
            kind = outcome.kind;
            exchange.readValues.set(asked, outcome.value);
            emit fieldChanged(asked, FieldState::Read, outcome.value);
        } else {
            // Not a value this field knows, or a report of another setting:
            // what the module holds stays unknown.
            if (outcome.field == asked)
                kind = outcome.kind;
            emit fieldChanged(asked, FieldState::Unreadable, {});
        }
    }
    if (!step.endsPass)
        return kind;
    told.values = exchange.readValues;
    told.haveValues = true;
    if (step.pass == Pass::Read) {
        rec.before = exchange.readValues;
        rec.haveBefore = true;
        return kind;
    }
    rec.after = exchange.readValues;
    rec.haveAfter = true;
    if (rec.after == exchange.plan.target)
        return kind;
    Failure differs;
    differs.kind = FailureKind::ReadBackDiffers;
    differs.command = ModuleProtocol::readCommands.constLast();
    differs.found = rec.after;
    differs.target = exchange.plan.target;
    fail(differs);
    return std::nullopt;
}

std::optional<Kind> ModuleEngine::takeWriteReply(const Step &step)
{
    const QString command = lastSent;
    const auto outcome = ModuleProtocol::interpret(reply, ModuleProtocol::Sequence::Write, writeAt);
    const bool operateStep = step.pass == Pass::Operate;
    const Field field = operateStep ? Field::None : ModuleProtocol::fieldOfWriteStep(writeAt);

    Failure failure;
    failure.command = command;
    switch (outcome.kind) {
    case Kind::Accepted:
        if (operateStep) {
            failure.kind = FailureKind::OperatingNotConfirmed;
            break;
        }
        rec.confirmed.set(field, exchange.plan.target.value(field));
        emit fieldChanged(field, FieldState::Confirmed, exchange.plan.target.value(field));
        return Kind::Accepted;
    case Kind::Rejected:
        if (field != Field::None)
            emit fieldChanged(field, FieldState::Refused, {}); // the module holds its old value
        failure.kind = FailureKind::Refused;
        failure.operatingCommand = operateStep;
        rec.operatingRefused = operateStep;
        break;
    case Kind::ModuleWorking:
        if (operateStep) {
            rec.operating = true;
            return Kind::ModuleWorking;
        }
        // The module has left configuration mode: it takes no more values.
        link->close();
        failure.kind = FailureKind::LeftConfiguration;
        break;
    default:
        // A garbled answer to the operating-mode command still means the
        // module got it: whether it works now is not known.
        failure.kind = FailureKind::NotUnderstood;
        failure.operatingCommand = operateStep;
        failure.reply = SerialLink::shownReply(reply, 0);
        break;
    }
    fail(failure);
    return std::nullopt;
}

void ModuleEngine::finishPlan()
{
    // The module that operates no longer listens to commands.
    if (rec.operating)
        link->close();
    rec.ended = QDateTime::currentDateTime();
    Note done(Note::Kind::Written);
    done.values = rec.confirmed;
    done.operating = rec.operating;
    emit noted(done);
    setState(isOpen() ? State::Idle : State::Closed);
    emit written(rec.confirmed, rec.operating);
}

void ModuleEngine::fail(FailureKind kind, const QString &command)
{
    Failure failure;
    failure.kind = kind;
    failure.command = command;
    fail(failure);
}

void ModuleEngine::fail(Failure failure)
{
    // Whatever stops a write part-way, the user learns what the module took;
    // one stopped before its first command took nothing.
    if (activity() == Activity::Writing && exchange.next > 0) {
        failure.duringWrite = true;
        failure.confirmed = rec.confirmed;
        failure.operatingCommandSent = rec.operatingCommandSent;
    }
    stopTimers();
    rec.ended = QDateTime::currentDateTime();
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
    frames->timeoutTimer()->stop();
    const bool first = !exchange.lateOnce;
    exchange.lateOnce = true;
    // The reply is still awaited: a late one resumes the sequence. Only the
    // user (or the command line's limit) gives it up.
    if (giveUpLimit.count() > 0)
        giveUp->start(
                std::max(giveUpLimit - SerialLink::replyTimeout, std::chrono::milliseconds(0)));
    if (now == State::Awaiting)
        setState(State::Late);
    emit timedOut(lastSent, first);
}

void ModuleEngine::requestStop()
{
    if (now == State::Connecting && waitingPlan) {
        // Still connecting to a gateway: nothing was sent yet.
        stopAll();
        Failure ended;
        ended.kind = FailureKind::Interrupted;
        ended.beforeStart = true;
        fail(ended);
        return;
    }
    if (!isExchanging())
        return;
    if (now == State::Awaiting || now == State::Late) {
        setState(State::Stopping);
        Note stopping(Note::Kind::Stopping);
        stopping.command = lastSent;
        emit noted(stopping);
        return;
    }
    // Between two commands, or asked twice: the reply is not waited for.
    Failure ended;
    ended.kind = FailureKind::Interrupted;
    ended.command = lastSent;
    ended.awaiting = now == State::Stopping;
    ended.beforeStart = exchange.next == 0;
    frames->cancel();
    fail(ended);
}
