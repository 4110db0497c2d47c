#ifndef TAV_MODULEENGINE_H
#define TAV_MODULEENGINE_H

#include "exchange.h"
#include "modulelink.h"
#include "portlist.h"
#include "searchpace.h"
#include "timing.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <utility>

class PortMonitor;
class PortWatch;
class ReplyFramer;
class QTimer;
struct EngineSeam;

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
    using FieldState = ExchangeFacts::FieldState;
    using FailureKind = ExchangeFacts::FailureKind;
    using Failure = ExchangeFacts::Failure;
    using Refusal = ExchangeFacts::Refusal;
    using Note = ExchangeFacts::Note;
    using Plan = ExchangeFacts::Plan;
    using Record = ExchangeFacts::Record;

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

    // How far the exchange under way (or the last one) got.
    struct Progress
    {
        int sent = 0; // commands of its plan sent so far…
        int count = 0; // …of all it sends
        QString command; // the command sent last
        bool awaiting = false; // its reply is due (a plan's or a single command's)
    };

    struct Setup
    {
        // The ports the search compares; where a `monitor` is given its
        // snapshot is read instead (the engine then owns it).
        PortLister listPorts;
        PortMonitor *monitor = nullptr;
        // With a limit, a reply that missed its time-out is given up that
        // long after its command (FailureKind::NoReply); without one it is
        // awaited until the port is closed.
        std::chrono::milliseconds giveUpAfter {0};
    };

    explicit ModuleEngine(Setup setup, QObject *parent = nullptr);
    ~ModuleEngine() override;

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

    // --- Exchanges
    // Starts a plan on the open port; false (with a NotStarted note) when
    // there is no link or an exchange is under way.
    // `firstPause` comes before its first command.
    bool start(const Plan &plan,
               std::chrono::milliseconds firstPause = Timing::sequenceStartDelay);
    // Ends the exchange after the reply now awaited; nothing more is sent.
    // A second request gives that reply up as well.
    void requestStop();

    State state() const { return now; }
    Activity activity() const;
    // An exchange under way, or a gateway still being connected to.
    bool isBusy() const;
    Progress progress() const;
    const Record &record() const { return exchange.record(); }

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
    // Ports not offered by the search: those present at the last look,
    // those it connected to while they stay. "Обновить" replaces them;
    // without `names`, with the ports there now.
    void setKnownPorts(const std::optional<QStringList> &names = std::nullopt);
    // Lists the ports off this thread: portsListed() brings the first list,
    // and later ones as ports come and go. False where nothing watches them.
    bool listPortsInBackground();

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
    // The ports as listed, with what the system tells of each.
    void portsListed(const QStringList &ports, const QList<PortDetails> &details);
    void portFound(const QString &portName);
    // The search is over: `connected` to a found port, or not (stopped, gave
    // up, or the found port could not be opened).
    void searchEnded(bool connected);

private:
    // The window's named slots and tests reach single steps through it.
    friend struct EngineSeam;

    void setState(State state);
    bool isExchanging() const;
    // The exchange's clock: its next command after `pause`.
    void wait(bool reading, std::chrono::milliseconds pause);
    void pauseOver(bool reading);
    void transmit(const QString &command);
    void send(const QString &command, bool awaitReply);
    void onReply(const QByteArray &bytes, qint64 dropped);
    void takeReply();
    void replyTimedOut();
    void finishPlan();
    void fail(Failure failure);
    void failLink(const ModuleLink::Problem &problem);
    void stopTimers();
    // Nothing runs any more: no pause, no search, no reply awaited.
    void stopAll();
    bool tryOpen(const QString &portName, bool announce = true);
    bool openFor(const QString &portName, const Plan *plan);
    bool begin(const Plan &plan, std::chrono::milliseconds firstPause, bool announce);
    void openFound(const QString &portName);
    void followWatch();

    ModuleLink *link = nullptr;
    PortWatch *watch = nullptr;
    ReplyFramer *frames = nullptr;
    // The exchange's clock, a timer for each kind of command, named as the
    // window has always named them.
    QTimer *readPause = nullptr;
    QTimer *writePause = nullptr;
    QTimer *giveUp = nullptr;
    std::chrono::milliseconds giveUpLimit {0};

    State now = State::Closed;
    Exchange exchange;
    bool lateOnce = false; // a time-out of this exchange was told already
    // A plan asked for while a gateway is still being connected to, and the
    // plan the search runs on the port it finds.
    std::optional<std::pair<Plan, std::chrono::milliseconds>> waitingPlan;
    Plan searchPlan;
    QString lastSent;
    QString reply;
};

Q_DECLARE_METATYPE(ModuleEngine::Failure)
Q_DECLARE_METATYPE(ModuleEngine::Note)
Q_DECLARE_METATYPE(ModuleProtocol::Values)
Q_DECLARE_METATYPE(ModuleProtocol::Field)

#endif // TAV_MODULEENGINE_H
