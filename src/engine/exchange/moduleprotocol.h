#ifndef TAV_MODULEPROTOCOL_H
#define TAV_MODULEPROTOCOL_H

#include <QString>
#include <QStringList>

// What the module is told and what its replies mean. No widgets here: the
// window applies an Outcome to its fields.
namespace ModuleProtocol {

// Values each setting field offers, in item order from item 1 on (item 0 is
// the empty "no known value" item). They are also the texts on the wire.
extern const QStringList baudRates;
extern const QStringList stopBitValues;
extern const QStringList parityValues;

// Read sequence, one command per step.
extern const QStringList readCommands;
extern const QString baudRatePrefix;
extern const QString stopBitsPrefix;
extern const QString parityPrefix;
extern const QString operatingModeCommand;

enum class Field { None, Speed, StopBits, Parity };

// The field read command `step` (0-based) asks for; None for the hello.
Field fieldOfReadStep(int step);

// The values a field offers (empty for Field::None).
const QStringList &valuesOf(Field field);

// Write sequence, one command per step: the three value commands are their
// prefix followed by the field's value; the last switches the module into
// operating mode and names no field.
struct WriteStep
{
    Field field;
    const QString &command;
};
constexpr int writeStepCount = 4;
extern const WriteStep writeSteps[writeStepCount];
// The command of write step `step` (0-based) for `value`; empty out of range.
QString writeCommand(int step, const QString &value = {});

enum class Kind {
    Accepted, // "Ok": the last value written was taken
    BaudRateReport,
    StopBitsReport,
    ParityReport,
    Rejected, // "?"
    ModuleWorking, // the answer to the operating-mode command
    Unrecognised, // none of the key words
};

struct Outcome
{
    Kind kind = Kind::Unrecognised;
    // The field the reply speaks of, if any.
    Field field = Field::None;
    // The value a report names: the first of the field's values found in
    // it; empty for a report of no value the field knows, and for anything
    // but a report.
    QString value;
};

// The module's three settings; empty where none is known.
struct Values
{
    QString baudRate;
    QString stopBits;
    QString parity;

    void set(Field field, const QString &value);
    QString value(Field field) const;
    bool isComplete() const
    {
        return !baudRate.isEmpty() && !stopBits.isEmpty() && !parity.isEmpty();
    }
    bool operator==(const Values &o) const
    {
        return baudRate == o.baudRate && stopBits == o.stopBits && parity == o.parity;
    }
    bool operator!=(const Values &o) const { return !(*this == o); }
};

// The field a reply to a write command refers to, by that command's place
// in writeSteps (0 for the baud rate ... 2 for parity; None for the
// operating-mode command, and for -1: no write command).
Field fieldOfWriteCommand(int command);

// What `reply` means. The first key word found, in a fixed order, decides;
// every test is a case-sensitive substring search.
Outcome interpret(const QString &reply, int writeCommand);

// Which sequence sent the command a reply answers.
enum class Sequence { Read, Write };

// What `reply` means as the answer to a command of `sequence`. A read
// command is answered by reports only: an "Ok" (a banner such as "Ok,
// ready"), a "?" or "module is working" there is an unrecognised reply, so a
// read can never pass for a write confirmation. A write command is answered
// by "Ok", "?" or "module is working"; a report there is unrecognised.
Outcome interpret(const QString &reply, Sequence sequence, int writeCommand);

} // namespace ModuleProtocol

#endif // TAV_MODULEPROTOCOL_H
