#include "exchange.h"

#include "timing.h"

#include <utility>

using ModuleProtocol::Kind;

namespace {
constexpr ModuleProtocol::Field settingFields[] = {
        ModuleProtocol::Field::Speed, ModuleProtocol::Field::StopBits, ModuleProtocol::Field::Parity};
constexpr int readCount = 4; // "-h" and the three settings
constexpr int valueCount = ModuleProtocol::writeStepCount - 1; // the last one is the operating mode
} // namespace

Exchange::Exchange(Drive drive)
    : drive(std::move(drive))
{
}

QVector<Exchange::Step> Exchange::compile(const Plan &plan)
{
    QVector<Step> steps;
    const auto add = [&steps](Pass pass, int first, int count) {
        for (int i = 0; i < count; ++i)
            steps.append({pass, first + i, i == count - 1});
    };
    if (!plan.write) {
        add(Pass::Read, 0, readCount);
        return steps;
    }
    if (plan.readFirst)
        add(Pass::Read, 0, readCount);
    add(Pass::Values, 0, valueCount);
    if (plan.verify)
        add(Pass::ReadBack, 0, readCount);
    if (plan.operate)
        add(Pass::Operate, valueCount, 1);
    return steps;
}

void Exchange::expect(const Plan *asked)
{
    rec = {};
    if (asked) {
        rec.write = asked->write;
        if (asked->write)
            rec.requested = asked->target;
    }
    told = {};
}

void Exchange::begin(const Plan &asked, std::chrono::milliseconds firstPause)
{
    plan = asked;
    steps = compile(asked);
    next = 0;
    sent.clear();
    readValues = {};
    const Told keep = told;
    expect(&asked);
    told = keep;
    // A write that does not read first still names what this line already
    // learnt of the module; nothing of an earlier plan's commands may pass
    // for this one's.
    if (asked.write && !asked.readFirst) {
        rec.hello = told.hello;
        rec.before = told.values;
        rec.haveBefore = told.haveValues;
    }
    drive.progressed(0, int(steps.size()));
    schedule(firstPause);
}

Exchange::Position Exchange::position() const
{
    Position p;
    p.sent = next;
    p.count = int(steps.size());
    // A pass about to begin counts from its first command; otherwise the
    // latest command sent of each kind tells where it stands.
    const auto stepOf = [this](bool reading) {
        if (next < steps.size() && steps.at(next).reads() == reading
            && (next == 0 || steps.at(next - 1).endsPass))
            return steps.at(next).index;
        for (int i = next - 1; i >= 0; --i) {
            if (steps.at(i).reads() == reading)
                return steps.at(i).index + 1;
        }
        return 0;
    };
    p.readStep = stepOf(true);
    p.writeStep = stepOf(false);
    return p;
}

void Exchange::schedule(std::chrono::milliseconds pause)
{
    const Step &step = steps.at(next);
    if (step.reads() && (next == 0 || steps.at(next - 1).endsPass)) {
        // What the module holds now is what this read finds, nothing older.
        readValues = {};
        for (const Field field : settingFields)
            drive.show(field, FieldState::Unknown, {});
    }
    drive.wait(step.reads(), pause);
}

void Exchange::pauseOver(bool reading)
{
    if (next >= steps.size() || steps.at(next).reads() != reading)
        return;
    const Step step = steps.at(next++);
    if (step.reads()) {
        sent = ModuleProtocol::readCommands.at(step.index);
        drive.send(sent);
        return;
    }
    if (step.pass == Pass::Values && step.index == 0) {
        for (const Field field : settingFields)
            drive.show(field, FieldState::Pending, plan.target.value(field));
    }
    const Field field = ModuleProtocol::writeSteps[step.index].field;
    const QString value = plan.target.value(field);
    if (step.pass == Pass::Values) {
        // What was read of the module no longer holds once a value goes out.
        told.haveValues = false;
        drive.show(field, FieldState::Sending, value);
    } else {
        rec.operatingCommandSent = true;
    }
    sent = ModuleProtocol::writeCommand(step.index, value);
    drive.send(sent);
}

Exchange::Outcome Exchange::take(const QString &reply, bool goOn, Failure &failure)
{
    const Step step = steps.at(next - 1);
    drive.progressed(next, int(steps.size()));
    const auto kind = step.reads() ? takeRead(step, reply, failure) : takeWrite(step, reply, failure);
    if (!kind)
        return Outcome::Failed;
    if (next < steps.size()) {
        if (goOn)
            schedule(Timing::pauseAfter(*kind));
        return Outcome::Next;
    }
    rec.ended = QDateTime::currentDateTime();
    return Outcome::Done;
}

std::optional<Kind> Exchange::takeRead(const Step &step, const QString &reply, Failure &failure)
{
    const Field asked = ModuleProtocol::fieldOfReadStep(step.index);
    Kind kind = Kind::Unrecognised;
    if (next == 1) {
        rec.hello = reply;
        told.hello = reply;
    }
    if (step.index > 0) {
        const auto outcome = ModuleProtocol::interpret(reply, ModuleProtocol::Sequence::Read, -1);
        if (outcome.field == asked && !outcome.value.isEmpty()) {
            kind = outcome.kind;
            readValues.set(asked, outcome.value);
            drive.show(asked, FieldState::Read, outcome.value);
        } else {
            // Not a value this field knows, or a report of another setting:
            // what the module holds stays unknown.
            if (outcome.field == asked)
                kind = outcome.kind;
            drive.show(asked, FieldState::Unreadable, {});
        }
    }
    if (!step.endsPass)
        return kind;
    told.values = readValues;
    told.haveValues = true;
    if (step.pass == Pass::Read) {
        rec.before = readValues;
        rec.haveBefore = true;
        return kind;
    }
    rec.after = readValues;
    rec.haveAfter = true;
    if (rec.after == plan.target)
        return kind;
    failure.what = Failure::ReadBackDiffers {rec.after, plan.target};
    return std::nullopt;
}

std::optional<Kind> Exchange::takeWrite(const Step &step, const QString &reply, Failure &failure)
{
    const auto outcome = ModuleProtocol::interpret(reply, ModuleProtocol::Sequence::Write, step.index);
    const bool operateStep = step.pass == Pass::Operate;
    const Field field = operateStep ? Field::None : ModuleProtocol::writeSteps[step.index].field;

    switch (outcome.kind) {
    case Kind::Accepted:
        if (operateStep) {
            failure.what = Failure::OperatingNotConfirmed {sent};
            break;
        }
        rec.confirmed.set(field, plan.target.value(field));
        drive.show(field, FieldState::Confirmed, plan.target.value(field));
        return Kind::Accepted;
    case Kind::Rejected:
        if (field != Field::None)
            drive.show(field, FieldState::Refused, {}); // the module holds its old value
        failure.what = Failure::Refused {sent, operateStep};
        rec.operatingRefused = operateStep;
        break;
    case Kind::ModuleWorking:
        if (operateStep) {
            rec.operating = true;
            return Kind::ModuleWorking;
        }
        // The module has left configuration mode: it takes no more values.
        failure.what = Failure::LeftConfiguration {sent};
        break;
    default:
        // A garbled answer to the operating-mode command still means the
        // module got it: whether it works now is not known.
        failure.what = Failure::NotUnderstood {sent, reply, operateStep};
        break;
    }
    return std::nullopt;
}

Exchange::Failure Exchange::end(Failure failure, bool underWay)
{
    // Whatever stops a write part-way, the user learns what the module took;
    // one stopped before its first command took nothing.
    if (underWay && plan.write && next > 0)
        failure.writeLeft = Failure::WriteLeft {rec.confirmed, rec.operatingCommandSent};
    rec.ended = QDateTime::currentDateTime();
    return failure;
}
