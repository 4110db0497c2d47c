#include "moduleprotocol.h"

#include <QCoreApplication>

namespace ModuleProtocol {

const QStringList baudRates = {QStringLiteral("1200"),   QStringLiteral("2400"),
                               QStringLiteral("4800"),   QStringLiteral("9600"),
                               QStringLiteral("19200"),  QStringLiteral("38400"),
                               QStringLiteral("57600"),  QStringLiteral("115200"),
                               QStringLiteral("128000"), QStringLiteral("256000")};
const QStringList stopBitValues = {QStringLiteral("1"), QStringLiteral("2")};
const QStringList parityValues = {QStringLiteral("none"), QStringLiteral("odd"),
                                  QStringLiteral("even")};

const QStringList readCommands = {QStringLiteral("-h"), QStringLiteral("-baudrate"),
                                  QStringLiteral("-stop bits"), QStringLiteral("-parity")};
const QString baudRatePrefix = QStringLiteral("-baudrate:");
const QString stopBitsPrefix = QStringLiteral("-stop bits:");
const QString parityPrefix = QStringLiteral("-parity:");
const QString operatingModeCommand = QStringLiteral("-st");

const WriteStep writeSteps[writeStepCount] = {
        {Field::Speed, baudRatePrefix},
        {Field::StopBits, stopBitsPrefix},
        {Field::Parity, parityPrefix},
        {Field::None, operatingModeCommand},
};

const QStringList &valuesOf(Field field)
{
    static const QStringList none;
    switch (field) {
    case Field::Speed:
        return baudRates;
    case Field::StopBits:
        return stopBitValues;
    case Field::Parity:
        return parityValues;
    case Field::None:
        break;
    }
    return none;
}

void Values::set(Field field, const QString &value)
{
    switch (field) {
    case Field::Speed:
        baudRate = value;
        break;
    case Field::StopBits:
        stopBits = value;
        break;
    case Field::Parity:
        parity = value;
        break;
    case Field::None:
        break;
    }
}

QString Values::value(Field field) const
{
    switch (field) {
    case Field::Speed:
        return baudRate;
    case Field::StopBits:
        return stopBits;
    case Field::Parity:
        return parity;
    case Field::None:
        break;
    }
    return {};
}

Field fieldOfReadStep(int step)
{
    static const Field fields[] = {Field::None, Field::Speed, Field::StopBits, Field::Parity};
    return step >= 0 && step < 4 ? fields[step] : Field::None;
}

QString writeCommand(int step, const QString &value)
{
    if (step < 0 || step >= writeStepCount)
        return {};
    const WriteStep &s = writeSteps[step];
    return s.field == Field::None ? s.command : s.command + value;
}

namespace {
// The first of `values` found in `reply`, or nothing.
QString firstValueIn(const QString &reply, const QStringList &values)
{
    for (const QString &value : values) {
        if (reply.contains(value, Qt::CaseSensitive))
            return value;
    }
    return {};
}

bool has(const QString &reply, const char *keyWord)
{
    return reply.contains(QLatin1String(keyWord), Qt::CaseSensitive);
}
} // namespace

Field fieldOfWriteCommand(int command)
{
    if (command < 0 || command >= writeStepCount)
        return Field::None;
    return writeSteps[command].field;
}

Outcome interpret(const QString &reply, int writeCommand)
{
    if (has(reply, "Ok"))
        return {Kind::Accepted, fieldOfWriteCommand(writeCommand), {}};
    if (has(reply, "baudrate"))
        return {Kind::BaudRateReport, Field::Speed, firstValueIn(reply, valuesOf(Field::Speed))};
    if (has(reply, "stop bits"))
        return {Kind::StopBitsReport, Field::StopBits,
                firstValueIn(reply, valuesOf(Field::StopBits))};
    if (has(reply, "parity"))
        return {Kind::ParityReport, Field::Parity, firstValueIn(reply, valuesOf(Field::Parity))};
    if (has(reply, "?"))
        return {Kind::Rejected, fieldOfWriteCommand(writeCommand), {}};
    if (has(reply, "module is working"))
        return {Kind::ModuleWorking, Field::None, {}};
    return {};
}

Outcome interpret(const QString &reply, Sequence sequence, int writeCommand)
{
    const Outcome outcome = interpret(reply, writeCommand);
    const bool answersWrite = outcome.kind == Kind::Accepted || outcome.kind == Kind::Rejected
            || outcome.kind == Kind::ModuleWorking;
    if (outcome.kind == Kind::Unrecognised || answersWrite == (sequence == Sequence::Write))
        return outcome;
    return {};
}

} // namespace ModuleProtocol
