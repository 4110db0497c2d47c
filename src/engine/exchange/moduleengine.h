#ifndef TAV_MODULEENGINE_H
#define TAV_MODULEENGINE_H

#include "modulelink.h"
#include "moduleprotocol.h"
#include "portlist.h"
#include "timing.h"

#include <QDateTime>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QVector>

#include <chrono>
#include <optional>
#include <utility>

class PortMonitor;
class PortWatch;
class ReplyFramer;
class QTimer;

// The whole exchange with one module, for every front end: the port, the
// reply framing, the read and write plans with their pauses, the time-out
// and what a late reply means, the wait for a newly plugged adapter with its
// grace, and what each reply means at the step it answers. It never blocks
// and never opens a box: it reports through signals, and the window and the
// command-line program only map them to what they show.
//
// One rule holds throughout: one command at a time. Nothing is sent while a
// reply is awaited, including after its time-out; a late reply is credited
// to the command it answers and resumes the sequence.
class ModuleEngine : public QObject
{
    Q_OBJECT

public:
    using Values = ModuleProtocol::Values;
    using Field = ModuleProtocol::Field;

    // What a field shows of one value.
    enum class FieldState {
        Unknown, // nothing known: a read started, or no port
        Read, // reported by the module
        Unreadable, // the module's report named no value the field knows
        Pending, // to be written, not sent yet
        Sending, // sent, the module's answer awaited
        Confirmed, // the module answered "Ok"
        Refused, // the module answered "?"
    };
    Q_ENUM(FieldState)

    enum class Activity { Idle, Reading, Writing };

    // Where the engine stands; changed only by setState(), told by
    // stateChanged(State).
    enum class State {
        Closed, // no line
        Searching, // waiting for a module's port to come
        Connecting, // a gateway is being connected to
        Idle, // the line is open, no exchange
        Pausing, // an exchange waits out the pause before its next command
        Awaiting, // a command of the exchange went out, its reply is due
        Late, // that reply missed its time-out and is still awaited
        Stopping, // a stop was asked for: that reply ends the exchange
    };
    Q_ENUM(State)

    // How an exchange (or an attempt to start one) ended without success.
    enum class FailureKind {
        CannotOpen,
        NoReply, // given up waiting (command line only; the window waits)
        LinkLost,
        Refused, // "?"
        NotUnderstood, // a reply that does not answer the command
        LeftConfiguration, // "module is working" before every value was confirmed
        OperatingNotConfirmed, // "Ok" to the operating-mode command
        ReadBackDiffers,
        Interrupted,
    };
    Q_ENUM(FailureKind)

    // What ended an exchange, as facts; the words for it are made where
    // it is shown (EngineWords::advice).
    struct Failure
    {
        FailureKind kind = FailureKind::NotUnderstood;
        QString command; // the command it concerns, if any
        ModuleLink::Problem problem; // CannotOpen, LinkLost
        Values found; // ReadBackDiffers: what the read-back found…
        Values target; // …against what was written
        QString reply; // NotUnderstood: the reply as shown
        bool operatingCommand = false; // Refused, NotUnderstood: the one answered was it
        bool awaiting = false; // Interrupted: the reply to `command` was still due
        bool byClosing = false; // Interrupted: the port was closed under it
        bool beforeStart = false; // Interrupted: nothing was sent yet
        std::chrono::milliseconds waited {0}; // NoReply: given up this long after
        // A write cut short: what the module took, and whether the
        // operating-mode command went out.
        bool duringWrite = false;
        Values confirmed;
        bool operatingCommandSent = false;
    };

    // Why an exchange cannot start now.
    enum class Refusal { NotConnected, Reading, Writing, Awaiting, Incomplete };

    // Progress of the link, the exchange and the search, as facts; the
    // words for each are made where it is shown (EngineWords::say).
    struct Note
    {
        enum class Kind {
            PortOpened, // `port`, `adapter` (empty when it came up quietly)
            ConnectingTo, // `port`: a gateway
            Disconnected, // `port`
            NotStarted, // `refusal`; `command` is the one awaited
            Started, // `write`
            ReadDone, // `values`
            Written, // `values` confirmed; `operating`
            Stopping, // after the reply to `command`
            SearchUnavailable, // a port is open
            SearchStarted,
            WaitingForSlot, // `port`; `goneFirst`
            SearchStopped,
            NotFound,
            Found, // `port`
            WaitingForAccess, // `port`: found, held by another program
            LockIgnored, // `port`: a lock file that names no one; `pid`, or 0
                         // when it is not a regular file
        };
        explicit Note(Kind kind = Kind::SearchStarted, QString port = {})
            : kind(kind), port(std::move(port))
        {
        }
        Kind kind;
        QString port;
        PortDetails adapter;
        QString command;
        Refusal refusal = Refusal::NotConnected;
        Values values;
        bool write = false;
        bool operating = false;
        bool goneFirst = false;
        qint64 pid = 0;
    };

    // What to do with a module: read it, or write it.
    struct Plan
    {
        bool write = false;
        Values target; // with `write`: the three values
        bool readFirst = false; // read the module before writing it
        bool verify = false; // read the values back after writing, compare
        bool operate = true; // end with the operating-mode command

        static Plan read() { return {}; }
        static Plan writing(const Values &target) { return {true, target, false, false, true}; }
    };

    // What the exchange under way, or the last one, found out.
    struct Record
    {
        bool write = false; // a write was asked for, not only a read
        Values requested; // with `write`: the values asked for
        QString hello; // the module's answer to its first "-h", as received
        Values before; // what the first read found
        Values after; // what the read-back found
        Values confirmed; // each value the module answered "Ok" to
        bool haveBefore = false;
        bool haveAfter = false;
        bool operatingCommandSent = false;
        bool operating = false; // "module is working" to the operating-mode command
        bool operatingRefused = false; // "?" to it
        QDateTime ended; // when its result was known
        // Whether the module operates is known unless the operating-mode
        // command went out and its answer said neither yes nor no.
        bool operatingKnown() const { return !operatingCommandSent || operating || operatingRefused; }
    };

    // `listPorts` names the ports the search compares; where a `monitor` is
    // given its snapshot is read instead (the engine then owns it).
    explicit ModuleEngine(PortLister listPorts, PortMonitor *monitor = nullptr,
                          QObject *parent = nullptr);
    ~ModuleEngine() override;

    // With a limit, a reply that missed its time-out is given up that long
    // after its command (FailureKind::NoReply); without one (the default) it
    // is awaited until the port is closed.
    void setGiveUpAfter(std::chrono::milliseconds limit) { giveUpLimit = limit; }
    // Lines that are not ports (a module in memory): see ModuleLink.
    void setLineMaker(ModuleLink::LineMaker maker) { link->setLineMaker(std::move(maker)); }

    // --- The link
    // Opens `portName` at once: true, or false after failed(CannotOpen).
    bool open(const QString &portName);
    // Opens `portName` and starts `plan` on it: false after failed(CannotOpen).
    // The record expects the plan from the start, so a port that cannot be
    // opened still tells what was asked of it.
    bool run(const QString &portName, const Plan &plan);
    // Closes the port and ends whatever was under way: no time-out, no box.
    void close();
    bool isOpen() const;
    // The port last opened or tried, as it was named.
    const QString &portName() const;
    // What the system tells of the adapter behind the open port (serial
    // number, USB id); empty where it tells nothing.
    const PortDetails &adapter() const;
    // Bytes the port has for us (its readyRead).
    void readAvailable();
    // A port error: one that ends the link closes the port and is reported once.
    void handlePortError(QSerialPort::SerialPortError error);

    // --- Exchanges
    // Starts a plan on the open port; false (with a NotStarted note) when
    // there is no link or an exchange is under way.
    // `firstPause` comes before its first command.
    bool start(const Plan &plan,
               std::chrono::milliseconds firstPause = Timing::sequenceStartDelay);
    bool read() { return start(Plan::read()); }
    // One command outside any plan; its reply is shown and logged only.
    void send(const QString &command, bool awaitReply);
    // `reply` (as last received) taken as the answer to the awaited command.
    void takeReply();
    // The next command of the read or write under way, when its pause is over.
    void readTick();
    void writeTick();
    // The awaited reply has not come in time.
    void replyTimedOut();
    // Ends the exchange after the reply now awaited; nothing more is sent.
    // A second request gives that reply up as well.
    void requestStop();

    State state() const { return now; }
    Activity activity() const;
    // An exchange under way, or a gateway still being connected to.
    bool isBusy() const;
    bool isAwaitingReply() const;
    // The command sent last, whose reply is awaited while isAwaitingReply().
    const QString &lastCommand() const { return lastSent; }
    const Record &record() const { return rec; }
    // How far the exchange under way (or the last one) got: commands of
    // its plan sent so far, of all it sends.
    int stepsSent() const { return exchange.next; }
    int stepCount() const { return int(exchange.steps.size()); }

    // --- The search for a newly plugged adapter
    // Waits (up to `limit`) for a port that is not yet known, opens it with
    // the grace a fresh port needs and, after the module's start-up pause,
    // runs `plan` on it.
    void startSearch(const Plan &plan = Plan::read(),
                     std::chrono::milliseconds limit = Timing::searchLimit);
    // Waits (up to `limit`) for one fixed port to be there: a path such as
    // /dev/serial/by-id/… or a link, or a name the system lists. A port
    // already there is taken at once, unless `goneFirst`: then it must go
    // away and come back (the next module in the same adapter slot). The
    // grace and the start-up pause are the search's.
    void waitForSlot(const QString &port, const Plan &plan, std::chrono::milliseconds limit,
                     bool goneFirst);
    void stopSearch();
    void searchTick();
    bool isSearching() const;
    // Ports not offered by the search: those present at the last look,
    // those it connected to while they stay. "Обновить" replaces them.
    void setKnownPorts(const QStringList &names);
    QStringList currentPorts();
    // Lists the ports off this thread: portsListed() brings the first list,
    // and later ones as ports come and go. False where nothing watches them.
    bool listPortsInBackground();
    QList<PortDetails> listedDetails() const;

    // The timers, for the window's names and for tests: each is a child of
    // the engine with its own object name.
    QTimer *findTimer() const;
    QTimer *readTimer() const { return readPause; }
    QTimer *writeTimer() const { return writePause; }
    QTimer *timeoutTimer() const;
    ReplyFramer *framer() const { return frames; }

    // The state the window's named members stand for, read-only: the next
    // command of the read and of the write, the search's ticks, the ports
    // the search does not offer, the last reply, and the port.
    const int &readStep() const { return readAt; }
    const int &writeStep() const { return writeAt; }
    const int &searchTicks() const;
    const QStringList &knownPorts() const;
    const QString &lastReply() const { return reply; }
    QSerialPort *const &serialPort() const;

signals:
    // Progress of the link, the exchange and the search.
    void noted(const ModuleEngine::Note &note);
    // What went out, and each reply as framed, with how many bytes of a
    // flood were dropped.
    void commandSent(const QByteArray &bytes);
    void replyTaken(const QByteArray &bytes, qint64 dropped);
    void fieldChanged(ModuleProtocol::Field field, ModuleEngine::FieldState state,
                      const QString &value);
    void stateChanged(ModuleEngine::State state);
    // An exchange began (0 of `count`), or one more of its commands was answered.
    void progressed(int done, int count);
    void readFinished(const ModuleProtocol::Values &values);
    // The write is over: every value confirmed; `operating` when the module
    // also confirmed the operating mode (it then no longer listens: the port
    // is closed).
    void written(const ModuleProtocol::Values &confirmed, bool operating);
    void failed(const ModuleEngine::Failure &failure);
    // The reply to `command` is late, and still awaited; `first` once per
    // exchange.
    void timedOut(const QString &command, bool first);

    void searchTicked();
    void portsListed(const QStringList &ports);
    void portFound(const QString &portName);
    // The search is over: `connected` to a found port, or not (stopped, gave
    // up, or the found port could not be opened).
    void searchEnded(bool connected);

private:
    // One command of a plan: which pass sends it, and which of the pass's
    // commands it is (a read command, or a write step).
    enum class Pass { Read, Values, ReadBack, Operate };
    struct Step
    {
        Pass pass;
        int index;
        bool endsPass;
    };
    // One exchange: the plan compiled to its steps, and how far it got.
    struct Exchange
    {
        Plan plan;
        QVector<Step> steps;
        int next = 0; // the step to send
        Values readValues; // what the read under way found
        bool lateOnce = false; // a time-out was told already
    };
    static QVector<Step> compile(const Plan &plan);

    void setState(State state);
    bool isExchanging() const;
    // The next step after `pause`; a pass that begins starts afresh.
    void schedule(std::chrono::milliseconds pause);
    // The next step, when the timer of its kind fires.
    void tick(bool readTimer);
    void onReply(const QByteArray &bytes, qint64 dropped);
    void transmit(const QString &command);
    // What the reply to `step` means; nothing once the exchange failed on it.
    std::optional<ModuleProtocol::Kind> takeReadReply(const Step &step);
    std::optional<ModuleProtocol::Kind> takeWriteReply(const Step &step);
    void finishPlan();
    void fail(Failure failure);
    void fail(FailureKind kind, const QString &command = {});
    void note(Note::Kind kind, const QString &port = {});
    void failLink(const ModuleLink::Problem &problem);
    void stopTimers();
    // Nothing runs any more: no pause, no search, no reply awaited.
    void stopAll();
    bool tryOpen(const QString &portName, bool announce = true);
    bool openFor(const QString &portName, const Record &expected);
    bool begin(const Plan &plan, std::chrono::milliseconds firstPause, bool announce);
    void openFound(const QString &portName);
    Record recordFor(const Plan &plan) const;

    ModuleLink *link = nullptr;
    PortWatch *watch = nullptr;
    ReplyFramer *frames = nullptr;
    QTimer *readPause = nullptr;
    QTimer *writePause = nullptr;
    QTimer *giveUp = nullptr;
    std::chrono::milliseconds giveUpLimit {0};

    State now = State::Closed;
    Exchange exchange;
    // A plan asked for while a gateway is still being connected to, and the
    // plan the search runs on the port it finds.
    std::optional<std::pair<Plan, std::chrono::milliseconds>> waitingPlan;
    Plan searchPlan;
    Record rec;
    // What the module told in this connection, for a write that does not
    // read it again.
    struct Told
    {
        QString hello;
        Values values;
        bool haveValues = false;
    } told;
    QString lastSent;
    QString reply;
    int readAt = 0;
    int writeAt = 0;
};

Q_DECLARE_METATYPE(ModuleEngine::Failure)
Q_DECLARE_METATYPE(ModuleEngine::Note)
Q_DECLARE_METATYPE(ModuleProtocol::Values)
Q_DECLARE_METATYPE(ModuleProtocol::Field)

#endif // TAV_MODULEENGINE_H
