#ifndef TAV_EXCHANGEFACTS_H
#define TAV_EXCHANGEFACTS_H

#include "modulelink.h"
#include "moduleprotocol.h"
#include "portlist.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>
#include <utility>

// What an exchange with a module is asked to do and what it tells: plans,
// fields, failures and progress, as facts. The words for them are made where
// they are shown (EngineWords).
class ExchangeFacts
{
    Q_GADGET

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
        QString reply; // NotUnderstood: the reply as received
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
};

#endif // TAV_EXCHANGEFACTS_H
