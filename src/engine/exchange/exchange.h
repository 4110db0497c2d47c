#ifndef TAV_EXCHANGE_H
#define TAV_EXCHANGE_H

#include "exchangefacts.h"

#include <QString>
#include <QVector>

#include <chrono>
#include <functional>

// One exchange with a module: a plan compiled to its commands, sent one at a
// time, each reply taken as the answer to the command that asked for it, and
// what the module told kept in the record. It owns no port and no timer:
// whoever runs it gives it a line to send on and a clock to wait on, so it
// runs the same on a serial port, a gateway or a test's hand.
class Exchange : public ExchangeFacts
{
public:
    struct Drive
    {
        // Puts `command` on the line; its reply is awaited from then on.
        std::function<void(const QString &command)> send;
        // pauseOver() is due after `pause`; `reading` says whether a read
        // command follows (each kind has a timer of its own name).
        std::function<void(bool reading, std::chrono::milliseconds pause)> wait;
        std::function<void(Field field, FieldState state, const QString &value)> show;
        // An exchange began (0 of `count`), or one more command was answered.
        std::function<void(int done, int count)> progressed;
    };

    // How far an exchange got, by its one step counter.
    struct Position
    {
        int sent = 0; // commands of the plan sent so far
        int count = 0; // commands the plan sends
        // As the window has always counted: the next command of the latest
        // read and write pass (past the last one once the pass is over).
        int readStep = 0;
        int writeStep = 0;
    };

    enum class Outcome { Next, Done, Failed };

    explicit Exchange(Drive drive = {});

    // A module is expected on a new line: nothing told before holds, and
    // the record names what `plan` asks of it (nothing, without one).
    void expect(const Plan *plan);
    // Starts `plan`, its first command after `firstPause`.
    void begin(const Plan &plan, std::chrono::milliseconds firstPause);
    // The pause before the next command is over, as the `reading` timer
    // tells; the other kind's timer sends nothing.
    void pauseOver(bool reading);
    // The reply to the command sent last. Next: the exchange goes on (after
    // its pause, unless `goOn` is false); Done: the plan is over; Failed:
    // `failure` says why.
    Outcome take(const QString &reply, bool goOn, Failure &failure);
    // The exchange ends with `failure`: a write cut short also tells what
    // the module took (when `underWay`).
    Failure end(Failure failure, bool underWay);

    const Record &record() const { return rec; }
    Position position() const;

private:
    enum class Pass { Read, Values, ReadBack, Operate };
    struct Step
    {
        Pass pass;
        int index; // a read command, or a write command
        bool endsPass;
        bool reads() const { return pass == Pass::Read || pass == Pass::ReadBack; }
    };
    static QVector<Step> compile(const Plan &plan);
    void schedule(std::chrono::milliseconds pause);
    std::optional<ModuleProtocol::Kind> takeRead(const Step &step, const QString &reply,
                                                 Failure &failure);
    std::optional<ModuleProtocol::Kind> takeWrite(const Step &step, const QString &reply,
                                                  Failure &failure);

    Drive drive;
    Plan plan;
    QVector<Step> steps;
    int next = 0; // the step to send: the one counter everything else is read from
    QString sent; // the command of the step before it
    Values readValues; // what the read under way found
    Record rec;
    // What the module told on this line, for a write that does not read it again.
    struct Told
    {
        QString hello;
        Values values;
        bool haveValues = false;
    } told;
};

#endif // TAV_EXCHANGE_H
