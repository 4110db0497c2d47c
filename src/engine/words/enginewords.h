#ifndef TAV_ENGINEWORDS_H
#define TAV_ENGINEWORDS_H

#include "linkwords.h"
#include "moduleengine.h"
#include "platform.h"

#include <QString>

// Every sentence the engine's facts are told in, for the window, the
// command line and the log alike: the engine reports what happened, these
// are the words for it.
namespace EngineWords {

using Audience = LinkWords::Audience;

// What a value without text means: the module did not tell it (a read), or
// did not confirm it (a write).
enum class Told { Reported, Confirmed };
// "скорость 9600, стоп-биты 1, паритет none", and where a value is missing
// "паритет не сообщён" (or "не подтверждён").
QString values(const ModuleProtocol::Values &values, Told told);

// A note of progress, as the status line and the log say it.
QString say(const ModuleEngine::Note &note, const Audience &audience);
// What happened and what to do: the box's text, the log's and the result's.
QString advice(const ModuleEngine::Failure &failure, const Audience &audience);
// The status line's short account, where the advice is long (a port that
// cannot be opened, a lost one); empty where the advice says it.
QString summary(const ModuleEngine::Failure &failure);
// A time-out: the first one only flags it, the advice is in its box.
QString late(const QString &command, bool first);
// The status bar's "Передано :" and "Получено :" lines.
QString sent(const QByteArray &command);
QString received(const QByteArray &reply, qint64 dropped);
// The status bar shows at most this many characters of a reply.
constexpr int maxShownReplyChars = 160;
// A reply as the user is shown it: its own characters made safe, cut to
// maxShownReplyChars, with the bytes dropped from it, if any.
QString shownReply(const QString &reply, qint64 droppedBytes);
// Why a log or a record cannot be written, as its message's reason.
QString appendProblem(const Platform::AppendProblem &problem);

} // namespace EngineWords

#endif // TAV_ENGINEWORDS_H
