#ifndef TAV_BEHAVIOURS_H
#define TAV_BEHAVIOURS_H

// Every way a module can behave during a read or a write, and the verdict
// each must end in. The engine, the window and the command line are each
// held to this one table, so that they cannot disagree.
#include "engineseam.h"
#include "moduleengine.h"
#include "modulesimulator.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

using namespace std::chrono_literals;

enum class Verdict {
    Read, // all three values read
    ReadIncomplete, // the read ended, not every value known
    Written, // every value confirmed, the module operating
    NoReply,
    LinkLost,
    Refused,
    NotUnderstood,
    LeftConfiguration, // "module is working" before every value was confirmed
    OperatingNotConfirmed, // "Ok" to "-st"
};

inline const char *verdictName(Verdict v)
{
    static const char *const names[] = {"Read",    "ReadIncomplete", "Written",
                                        "NoReply", "LinkLost",       "Refused",
                                        "NotUnderstood", "LeftConfiguration",
                                        "OperatingNotConfirmed"};
    return names[int(v)];
}

enum class Fault { None, Split, Silent, Late, Reply, Flood, Unplug };

struct Behaviour
{
    const char *name;
    bool write;
    Fault fault;
    // The command the fault strikes, the first time it is sent: exactly, or
    // every command starting with it where it ends in ':'; empty: every command.
    QByteArray at;
    QByteArray reply; // with Fault::Reply
    Verdict verdict;
};

// The values every write row asks for; the module starts at 9600/1/none.
inline QStringList targetValues()
{
    return {QStringLiteral("19200"), QStringLiteral("2"), QStringLiteral("even")};
}

inline QList<Behaviour> behaviours()
{
    using F = Fault;
    using V = Verdict;
    return {
            {"read normal", false, F::None, {}, {}, V::Read},
            {"read split", false, F::Split, {}, {}, V::Read},
            {"read silent", false, F::Silent, "-h", {}, V::NoReply},
            {"read late -h", false, F::Late, "-h", {}, V::Read},
            {"read late -baudrate", false, F::Late, "-baudrate", {}, V::Read},
            {"read late -stop bits", false, F::Late, "-stop bits", {}, V::Read},
            {"read late -parity", false, F::Late, "-parity", {}, V::Read},
            {"read every reply late", false, F::Late, {}, {}, V::Read},
            {"read unreadable report", false, F::Reply, "-stop bits", "stop bits 3",
             V::ReadIncomplete},
            {"read report of another setting", false, F::Reply, "-baudrate", "parity even",
             V::ReadIncomplete},
            {"read banner with Ok", false, F::Reply, "-h", "Ok, ready", V::Read},
            {"read flood", false, F::Flood, "-baudrate", {}, V::ReadIncomplete},
            {"read unplugged", false, F::Unplug, "-stop bits", {}, V::LinkLost},

            {"write normal", true, F::None, {}, {}, V::Written},
            {"write split", true, F::Split, {}, {}, V::Written},
            {"write late -baudrate:", true, F::Late, "-baudrate:", {}, V::Written},
            {"write late -stop bits:", true, F::Late, "-stop bits:", {}, V::Written},
            {"write late -parity:", true, F::Late, "-parity:", {}, V::Written},
            {"write late -st", true, F::Late, "-st", {}, V::Written},
            {"write silent", true, F::Silent, "-stop bits:", {}, V::NoReply},
            {"write refused value", true, F::Reply, "-stop bits:", "?", V::Refused},
            {"write refused -st", true, F::Reply, "-st", "?", V::Refused},
            {"write working early", true, F::Reply, "-stop bits:", "module is working",
             V::LeftConfiguration},
            {"write Ok to -st", true, F::Reply, "-st", "Ok", V::OperatingNotConfirmed},
            {"write report to a value", true, F::Reply, "-parity:", "parity even",
             V::NotUnderstood},
            {"write garbled reply to -st", true, F::Reply, "-st", "module i", V::NotUnderstood},
            {"write after an unreadable read", true, F::Reply, "-stop bits", "stop bits 3",
             V::Written},
            {"write unplugged", true, F::Unplug, "-parity:", {}, V::LinkLost},
    };
}

inline void addBehaviourRows()
{
    QTest::addColumn<int>("row");
    const QList<Behaviour> all = behaviours();
    for (int i = 0; i < all.size(); ++i)
        QTest::newRow(all.at(i).name) << i;
}

inline bool faultStrikes(const Behaviour &b, const QByteArray &command)
{
    if (b.at.isEmpty())
        return true;
    return b.at.endsWith(':') ? command.startsWith(b.at) : command == b.at;
}

// What every front end must find on the module after a row's verdict.
inline void checkModuleAfter(const ModuleSimulator &sim, const Behaviour &b,
                             const QByteArray &struck, Verdict verdict)
{
    const QList<QByteArray> sent = sim.commands();
    QVERIFY(!sent.isEmpty());
    if (verdict == Verdict::Written) {
        QVERIFY(sim.isOperating());
        QCOMPARE((QStringList {sim.baudRate(), sim.stopBits(), sim.parity()}), targetValues());
        QCOMPARE(sent.constLast(), QByteArray("-st"));
        return;
    }
    if (b.write) {
        QVERIFY(!sim.isOperating());
        if (verdict != Verdict::LinkLost)
            QVERIFY(!sent.contains("-st") || struck == "-st");
    }
    // Nothing goes out after the command that ended the exchange.
    if (verdict != Verdict::Read && verdict != Verdict::ReadIncomplete)
        QCOMPARE(sent.constLast(), struck);
}

// Collects what the module told (each value read or confirmed) and holds
// every human text to it: no text names a value of a field that the module
// did not tell, so a refused or unread field can never read as a value.
class ToldValues : public QObject
{
public:
    explicit ToldValues(const ModuleEngine *engine)
    {
        using State = ModuleEngine::FieldState;
        connect(engine, &ModuleEngine::fieldChanged, this,
                [this](ModuleProtocol::Field field, State state, const QString &value) {
                    if (state == State::Read || state == State::Confirmed)
                        told[int(field)].insert(value);
                });
    }
    void check(const QStringList &texts) const
    {
        static const QRegularExpression named(
                QStringLiteral("(скорость|стоп-биты|паритет) (\\d+|none|odd|even)\\b"),
                QRegularExpression::CaseInsensitiveOption);
        static const QHash<QString, ModuleProtocol::Field> fields {
                {QStringLiteral("скорость"), ModuleProtocol::Field::Speed},
                {QStringLiteral("стоп-биты"), ModuleProtocol::Field::StopBits},
                {QStringLiteral("паритет"), ModuleProtocol::Field::Parity}};
        for (const QString &text : texts) {
            for (auto m = named.globalMatch(text); m.hasNext();) {
                const auto match = m.next();
                const auto field = fields.value(match.captured(1).toLower());
                QVERIFY2(told.value(int(field)).contains(match.captured(2)),
                         qPrintable(QStringLiteral("not told by the module: ") + text));
            }
        }
    }

private:
    QHash<int, QSet<QString>> told;
};

// Makes `sim` behave as `b` says, and keeps track of what it was told.
class FaultyModule : public QObject
{
public:
    FaultyModule(ModuleSimulator &module, const Behaviour &behaviour)
        : sim(module)
        , b(behaviour)
    {
        if (b.fault == Fault::Split)
            sim.setSplitReplies(3, 15ms);
        connect(&sim, &ModuleSimulator::commandReceived, this, &FaultyModule::strike);
        connect(&sim, &ModuleSimulator::replySent, this, [this] { striking = false; });
    }
    // The fault struck the command just sent, and its reply is not in yet.
    bool lateNow() const { return b.fault == Fault::Late && striking; }
    bool struck() const { return struckCommand.size() > 0; }
    QByteArray struckCommand;

private:
    void strike(const QByteArray &command)
    {
        // The reply arrives after this: a late one stays due until then.
        const bool hits = faultStrikes(b, command) && (b.at.isEmpty() || !struck());
        striking = hits;
        if (hits && struckCommand.isEmpty())
            struckCommand = command;
        switch (b.fault) {
        case Fault::Silent:
            sim.setSilent(hits);
            break;
        case Fault::Late:
            sim.setReplyDelay(hits ? 400ms : 0ms);
            break;
        case Fault::Reply:
            if (hits)
                sim.setReply(command, b.reply);
            else
                sim.clearReply(command);
            break;
        case Fault::Flood:
            if (hits) {
                sim.setReply(command, {});
                sim.flood(64 * 1024);
            } else {
                sim.clearReply(command);
            }
            break;
        case Fault::Unplug:
            if (hits)
                sim.vanish();
            break;
        case Fault::None:
        case Fault::Split:
            break;
        }
    }

    ModuleSimulator &sim;
    Behaviour b;
    bool striking = false;
};

// Waits up to `limitMs` for `done`, but no longer than something under
// `root` can still bring it: a pause, a time-out or a search has a timer
// running. None running for a second (twice what any queued step takes)
// means the exchange stopped short of it, and the wait ends at once rather
// than at its limit.
inline bool waitWhileMoving(const QObject *root, const std::function<bool()> &done, int limitMs)
{
    QElapsedTimer still;
    const auto moving = [root] {
        const auto timers = root->findChildren<QTimer *>();
        return std::any_of(timers.cbegin(), timers.cend(), [](const QTimer *t) { return t->isActive(); });
    };
    return QTest::qWaitFor(
                   [&] {
                       if (done())
                           return true;
                       if (moving())
                           still.invalidate();
                       else if (!still.isValid())
                           still.start();
                       return still.isValid() && still.elapsed() > 1000;
                   },
                   limitMs)
            && done();
}

// Real time would make the table take minutes: every pause of the
// exchange under `root` is cut short, and a reply's time-out too where
// `expire` says so, by firing the engine's own timers early.
class FastForward : public QObject
{
public:
    FastForward(QObject *root, std::function<bool()> expire, bool giveUpAtOnce)
        : root(root)
        , expire(std::move(expire))
        , giveUpAtOnce(giveUpAtOnce)
    {
        connect(&tick, &QTimer::timeout, this, &FastForward::step);
        tick.start(2);
    }

private:
    void hurry(const char *name)
    {
        auto *timer = root ? root->findChild<QTimer *>(QLatin1String(name)) : nullptr;
        if (timer && timer->isActive() && timer->interval() > 0)
            timer->start(0);
    }
    void step()
    {
        hurry("readTimer");
        hurry("writeTimer");
        if (expire && expire())
            hurry("timeoutTimer");
        if (giveUpAtOnce)
            hurry("giveUpTimer");
    }

    QPointer<QObject> root;
    std::function<bool()> expire;
    bool giveUpAtOnce;
    QTimer tick;
};

// The module's line in memory: each write the engine makes is one command,
// and bytes reach the engine only when the test hands them over. Nothing
// moves by itself, so a row runs the same on every machine.
class MemoryLine : public QIODevice
{
public:
    MemoryLine() { open(QIODevice::ReadWrite); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return incoming.size() + QIODevice::bytesAvailable(); }
    bool hasCommand() const { return !written.isEmpty(); }
    QByteArray takeCommand() { return written.takeFirst(); }
    void deliver(const QByteArray &bytes)
    {
        incoming += bytes;
        emit readyRead();
    }
    // The adapter pulled out: the stream ends.
    void end() { emit readChannelFinished(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min<qint64>(maxSize, incoming.size());
        std::copy_n(incoming.constData(), n, data);
        incoming.remove(0, int(n));
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        written.append(QByteArray(data, int(size)));
        return size;
    }

private:
    QByteArray incoming;
    QList<QByteArray> written;
};

// A module behaving as row `b` says, on a line in memory that the engine it
// is attached to gets for any port name. run() moves the exchange with the
// engine's timers fired by the test in the order the row's times put them:
// a pause when it is over, a reply's time-out before a late reply comes,
// the quiet gap once every piece is in. No real pause, no real line.
class DrivenModule
{
public:
    explicit DrivenModule(const Behaviour &behaviour)
        : module(nullptr, ModuleSimulator::Line::Memory)
        , b(behaviour)
    {
    }
    void attach(ModuleEngine &to)
    {
        engine = &to;
        EngineSeam::setLineMaker(*engine, [this](const QString &) {
            line = new MemoryLine;
            return line.data();
        });
    }
    // Moves the exchange on until `done`, or until nothing is left to move
    // (a reply that never comes, with nobody giving up on it).
    void run(const std::function<bool()> &done)
    {
        for (int guard = 0; guard < 400 && !done(); ++guard) {
            if (!line || !line->hasCommand()) {
                if (!fire("readTimer") && !fire("writeTimer"))
                    return;
                continue;
            }
            answer(line->takeCommand());
        }
    }

    ModuleSimulator module;
    QByteArray struck; // the command the fault struck first
    // Each pause the exchange took before a command: the reply before it,
    // and how long the engine's timer was set to wait.
    struct Pause
    {
        QByteArray after;
        int ms;
    };
    QList<Pause> pauses;

private:
    bool fire(const char *name)
    {
        auto *timer = engine->findChild<QTimer *>(QLatin1String(name));
        if (!timer || !timer->isActive())
            return false;
        if (timer->objectName() == QLatin1String("readTimer")
            || timer->objectName() == QLatin1String("writeTimer"))
            pauses.append({lastReply, timer->interval()});
        timer->start(0);
        QCoreApplication::processEvents();
        return true;
    }
    void answer(const QByteArray &command)
    {
        const bool hits = faultStrikes(b, command) && (b.at.isEmpty() || struck.isEmpty());
        if (hits && struck.isEmpty())
            struck = command;
        if (hits && b.fault == Fault::Reply)
            module.setReply(command, b.reply);
        if (hits && b.fault == Fault::Flood)
            module.setReply(command, {});
        const QByteArray reply = module.answer(command);
        module.clearReply(command);
        if (hits && b.fault == Fault::Unplug) {
            module.vanish();
            line->end();
            return;
        }
        if (hits && (b.fault == Fault::Silent || b.fault == Fault::Late)) {
            fire("timeoutTimer");
            // A late reply is still that command's: nothing else may start
            // or go out meanwhile.
            QVERIFY(engine->isBusy() && engine->progress().awaiting);
            QVERIFY(!engine->start(ModuleEngine::Plan::read()));
            EngineSeam::send(*engine, QStringLiteral("-parity:odd"), true);
            QVERIFY(!line->hasCommand());
        }
        if (hits && b.fault == Fault::Silent) {
            fire("giveUpTimer");
            return;
        }
        if (hits && b.fault == Fault::Flood) {
            for (int i = 0; i < 16; ++i)
                line->deliver(QByteArray(4096, 'U'));
        } else if (hits && b.fault == Fault::Split) {
            const int third = (int(reply.size()) + 2) / 3;
            for (int i = 0; i < 3; ++i)
                line->deliver(reply.mid(i * third, third));
        } else {
            line->deliver(reply);
        }
        lastReply = reply;
        fire("replyGapTimer");
    }

    Behaviour b;
    ModuleEngine *engine = nullptr;
    QPointer<MemoryLine> line;
    QByteArray lastReply;
};

#endif // TAV_BEHAVIOURS_H
