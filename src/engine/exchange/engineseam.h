#ifndef TAV_ENGINESEAM_H
#define TAV_ENGINESEAM_H

#include "moduleengine.h"
#include "portwatch.h"
#include "replyframer.h"

#include <QSerialPort>
#include <QTimer>

// The one door to the engine's single steps and inner state. The front ends
// drive the engine through its public face; the window's named slots and
// members (kept as the window has always had them) and tests come through
// here, so a step taken out of order is taken on purpose, in plain sight.
struct EngineSeam
{
    // The steps, as their timers, the port or the window would take them.
    static void pauseOver(ModuleEngine &e, bool reading) { e.pauseOver(reading); }
    static void takeReply(ModuleEngine &e) { e.takeReply(); }
    static void replyTimedOut(ModuleEngine &e)
    {
        e.frames->timeout->stop();
        e.replyTimedOut();
    }
    static void readAvailable(ModuleEngine &e) { e.link->readAvailable(); }
    static void portError(ModuleEngine &e, QSerialPort::SerialPortError error)
    {
        e.link->handlePortError(error);
    }
    static void searchTick(ModuleEngine &e) { e.watch->tick(); }
    // One command outside any plan; its reply is shown and logged only.
    static void send(ModuleEngine &e, const QString &command, bool awaitReply)
    {
        e.send(command, awaitReply);
    }

    // Lines that are not ports (a module in memory): see ModuleLink.
    static void setLineMaker(ModuleEngine &e, ModuleLink::LineMaker maker)
    {
        e.link->lineMaker = std::move(maker);
    }

    // The state the window's named members stand for, read-only.
    static const int &searchTicks(const ModuleEngine &e) { return e.watch->tickCount; }
    static const QStringList &knownPorts(const ModuleEngine &e) { return e.watch->known; }
    static QSerialPort *const &serial(const ModuleEngine &e) { return e.link->serial; }
    static const QString &reply(const ModuleEngine &e) { return e.reply; }
    static QByteArray readBuffer(const ModuleEngine &e) { return readBuffer(*e.frames); }
    static QByteArray readBuffer(const ReplyFramer &framer) { return framer.bytes; }
    static Exchange::Position position(const ModuleEngine &e) { return e.exchange.position(); }
    // A timer of the engine, by its object name ("readTimer", "writeTimer",
    // "timeoutTimer", "findTimer", "giveUpTimer").
    static QTimer *timer(const ModuleEngine &e, const char *name)
    {
        return e.findChild<QTimer *>(QLatin1String(name));
    }
};

// How far the reads or the writes of the exchange got, read from its one
// counter each time it is looked at.
class StepView
{
public:
    StepView(const ModuleEngine &engine, bool reading)
        : engine(engine)
        , reading(reading)
    {
    }
    operator int() const
    {
        const Exchange::Position at = EngineSeam::position(engine);
        return reading ? at.readStep : at.writeStep;
    }

private:
    const ModuleEngine &engine;
    bool reading;
};

#endif // TAV_ENGINESEAM_H
