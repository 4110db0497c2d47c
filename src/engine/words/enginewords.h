#ifndef TAV_ENGINEWORDS_H
#define TAV_ENGINEWORDS_H

#include "linkwords.h"
#include "modulelink.h"
#include "moduleprotocol.h"
#include "portlist.h"

#include <QString>

#include <chrono>

// Every sentence the engine's progress and endings are told in, for the
// window and the command line alike; the engine decides what happened,
// these the words for it.
namespace EngineWords {

using Values = ModuleProtocol::Values;

QString portOpened(const QString &port, const PortDetails &adapter);
QString connectingTo(const QString &port);
QString disconnected(const QString &port);
// The status line's short account of a link problem, and the advice that
// follows it.
QString linkProblem(const ModuleLink::Problem &problem);
QString linkAdvice(const ModuleLink::Problem &problem, LinkWords::Audience audience);

// Why an exchange cannot start now.
enum class Refusal { NotConnected, Reading, Writing, Awaiting, Incomplete };
QString refusal(Refusal why, const QString &awaited);
QString started(bool write);
QString sent(const QString &command);
QString received(const QString &shownReply);

QString readDone(const Values &values);
QString readBackDiffers(const Values &after, const Values &target);
QString operatingNotConfirmed(const QString &command);
QString refused(const QString &command, bool operatingCommand);
QString leftConfiguration(const QString &command);
QString notUnderstood(const QString &command, const QString &shownReply);
QString written(const Values &confirmed, bool operating);
// What a write cut short leaves behind: what the module confirmed, and
// whether the operating-mode command went out.
QString writeLeft(const Values &confirmed, bool operatingCommandSent);

// An exchange ended on the user's word: `awaiting` while `command`'s reply
// was still due; `byClosing` when the port was closed under it.
QString interrupted(const QString &command, bool awaiting, bool byClosing);
QString interruptedBeforeStart();
QString stopping(const QString &command);
// The time-out: the first one only flags it, the advice is in its box.
QString late(const QString &advice, bool first);
QString gaveUp(const QString &command, std::chrono::milliseconds after);

QString searchUnavailable();
QString searchStarted();
QString waitingForSlot(const QString &port, bool goneFirst);
QString searchStopped();
QString notFound();
QString found(const QString &port);
QString waitingForAccess(const QString &port);

} // namespace EngineWords

#endif // TAV_ENGINEWORDS_H
