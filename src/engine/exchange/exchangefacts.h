#ifndef TAV_EXCHANGEFACTS_H
#define TAV_EXCHANGEFACTS_H

#include "modulelink.h"
#include "moduleprotocol.h"
#include "portlist.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

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

    // What ended an exchange, as facts: each kind carries what it has, and
    // the kind is the one it holds. The words for it are made where it is
    // shown (EngineWords::advice).
    struct Failure
    {
        struct CannotOpen
        {
            ModuleLink::Problem problem;
        };
        // Given up waiting this long after `command`.
        struct NoReply
        {
            QString command;
            std::chrono::milliseconds waited {0};
        };
        struct LinkLost
        {
            QString command; // the last one sent, if any
            ModuleLink::Problem problem;
        };
        struct Refused
        {
            QString command;
            bool operatingCommand = false; // the one refused was the operating-mode command
        };
        struct NotUnderstood
        {
            QString command;
            QString reply; // as received
            bool operatingCommand = false;
        };
        struct LeftConfiguration
        {
            QString command;
        };
        struct OperatingNotConfirmed
        {
            QString command;
        };
        struct ReadBackDiffers
        {
            Values found; // what the read-back found…
            Values target; // …against what was written
        };
        struct Interrupted
        {
            QString command; // the last one sent, if any
            bool awaiting = false; // its reply was still due
            bool byClosing = false; // the port was closed under it
            bool beforeStart = false; // nothing was sent yet
        };
        // A write cut short: what the module took, and whether the
        // operating-mode command went out.
        struct WriteLeft
        {
            Values confirmed;
            bool operatingCommandSent = false;
        };
        // In the order of FailureKind.
        using What = std::variant<CannotOpen, NoReply, LinkLost, Refused, NotUnderstood,
                                  LeftConfiguration, OperatingNotConfirmed, ReadBackDiffers,
                                  Interrupted>;

        Failure() = default;
        // From one of its kinds.
        template<class Kind, class = std::enable_if_t<std::is_constructible_v<What, Kind>>>
        Failure(Kind kind) : what(std::move(kind))
        {
        }
        FailureKind kind() const { return FailureKind(what.index()); }
        template<class T>
        const T *as() const
        {
            return std::get_if<T>(&what);
        }

        What what;
        std::optional<WriteLeft> writeLeft;
    };
    static_assert(std::variant_size_v<Failure::What> == size_t(FailureKind::Interrupted) + 1);
    static_assert(std::is_same_v<std::variant_alternative_t<size_t(FailureKind::ReadBackDiffers),
                                                            Failure::What>,
                                 Failure::ReadBackDiffers>);

    // Why an exchange cannot start now.
    enum class Refusal { NotConnected, Reading, Writing, Awaiting, Incomplete };

    // Progress of the link, the exchange and the search, as facts, each
    // kind with what it has; the words for each are made where it is shown
    // (EngineWords::say).
    struct Note
    {
        struct PortOpened
        {
            QString port;
            PortDetails adapter; // empty when it came up quietly
        };
        struct ConnectingTo // a gateway
        {
            QString port;
        };
        struct Disconnected
        {
            QString port;
        };
        struct NotStarted
        {
            Refusal refusal = Refusal::NotConnected;
            QString command; // the one awaited
        };
        struct Started
        {
            bool write = false;
        };
        struct ReadDone
        {
            Values values;
        };
        struct Written
        {
            Values values; // confirmed
            bool operating = false;
        };
        struct Stopping // after the reply to `command`
        {
            QString command;
        };
        struct SearchUnavailable // a port is open
        {
        };
        struct SearchStarted
        {
        };
        struct WaitingForSlot
        {
            QString port;
            bool goneFirst = false;
        };
        struct SearchStopped
        {
        };
        struct NotFound
        {
        };
        struct Found
        {
            QString port;
        };
        struct WaitingForAccess // found, held by another program
        {
            QString port;
        };
        // A lock file that names no one was passed over: `pid`, or 0 when
        // it is not a regular file.
        struct LockIgnored
        {
            QString path;
            qint64 pid = 0;
        };
        using What = std::variant<PortOpened, ConnectingTo, Disconnected, NotStarted, Started,
                                  ReadDone, Written, Stopping, SearchUnavailable, SearchStarted,
                                  WaitingForSlot, SearchStopped, NotFound, Found,
                                  WaitingForAccess, LockIgnored>;

        Note() = default;
        // From one of its kinds.
        template<class Kind, class = std::enable_if_t<std::is_constructible_v<What, Kind>>>
        Note(Kind kind) : what(std::move(kind))
        {
        }
        template<class T>
        const T *as() const
        {
            return std::get_if<T>(&what);
        }

        What what;
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

// Visits a Failure's or a Note's kind with one lambda per kind.
template<class... Ts>
struct Overloaded : Ts...
{
    using Ts::operator()...;
};
template<class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

#endif // TAV_EXCHANGEFACTS_H
