#ifndef TAV_MODULERESULT_H
#define TAV_MODULERESULT_H

#include "linkwords.h"
#include "moduleengine.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

// What the command-line program returns for a module's outcome, as the
// record and the JSON keep it too; --help and the README list them.
namespace ExitCode {
constexpr int done = 0;
constexpr int usage = 2;
constexpr int cannotOpen = 3;
constexpr int noReply = 4;
constexpr int refused = 5;
constexpr int notUnderstood = 6;
constexpr int interrupted = 130;
} // namespace ExitCode

// How one module's exchange ended, in words for people and in names for
// programs.
struct ModuleResult
{
    enum class Outcome { Done, CannotOpen, NoReply, Refused, NotUnderstood, Interrupted };
    Outcome outcome = Outcome::Done;
    // Language-neutral: "read-back-differs", "link-lost", …; empty when done.
    QString failure;
    // What happened and what to do, in the language of the run.
    QString message;
    // False for an exchange stopped before its first command: the module
    // received nothing, so it neither succeeded nor failed.
    bool started = true;

    // "done", "cannot-open", "no-reply", "refused", "not-understood", "interrupted".
    QString outcomeName() const;
    int exitCode() const;

    static ModuleResult ofRead(const ModuleProtocol::Values &values);
    static ModuleResult ofWrite() { return {}; }
    static ModuleResult of(const ModuleEngine::Failure &failure, const LinkWords::Audience &audience);
};

// Calls `ended` at each ending `engine` reports (a read or a write over,
// or a failure, a port that could not be opened included), with how it
// ended, told to `audience`.
void onEachEnding(const ModuleEngine *engine, const LinkWords::Audience &audience, QObject *context,
                  const std::function<void(const ModuleResult &)> &ended);

// Everything known of one module at its end, for the record and the JSON:
// one place decides what each field holds.
struct ModuleReport
{
    QDateTime time;
    QString port;
    PortDetails adapter;
    ModuleEngine::Record record;
    ModuleResult result;

    static ModuleReport of(const ModuleEngine &engine, const ModuleResult &result);

    // What the module holds at the end: read back, or, without a read-back,
    // each value it confirmed once the write is done.
    bool haveAfter() const;
    ModuleProtocol::Values after() const;

    QJsonObject toJson() const;
    static QStringList csvHeader();
    QStringList csvFields() const;
};

#endif // TAV_MODULERESULT_H
