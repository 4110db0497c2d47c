#ifndef TAV_TIMING_H
#define TAV_TIMING_H

#include "moduleprotocol.h"

#include <chrono>

// The pauses the module needs between commands, and the search's pace. The
// window and the command-line program both keep to them.
namespace Timing {

using namespace std::chrono_literals;

// Before the first command of a sequence.
constexpr auto sequenceStartDelay = 100ms;
// After a reply, before the next command.
constexpr auto readAfterReportDelay = 500ms;
constexpr auto readAfterOtherReplyDelay = 300ms;
constexpr auto writeAfterOkDelay = 1500ms;

// The search looks for a newly plugged-in adapter every tick and gives up
// after about two minutes. A freshly plugged module needs time to start
// before it is read.
constexpr auto findTickInterval = 100ms;
constexpr int searchTickLimit = 1200;
constexpr std::chrono::milliseconds searchLimit = findTickInterval * searchTickLimit;
constexpr auto readAfterFindDelay = 3000ms;
// How long, and how often, a found port that cannot be opened yet is retried.
constexpr auto foundPortGrace = 3000ms;
constexpr auto foundPortRetryInterval = 200ms;

// The pause before the command that follows a reply of this kind.
constexpr std::chrono::milliseconds pauseAfter(ModuleProtocol::Kind kind)
{
    switch (kind) {
    case ModuleProtocol::Kind::Accepted:
        return writeAfterOkDelay;
    case ModuleProtocol::Kind::BaudRateReport:
    case ModuleProtocol::Kind::StopBitsReport:
    case ModuleProtocol::Kind::ParityReport:
        return readAfterReportDelay;
    default:
        return readAfterOtherReplyDelay;
    }
}

} // namespace Timing

#endif // TAV_TIMING_H
