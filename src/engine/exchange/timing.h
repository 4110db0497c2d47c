#ifndef TAV_TIMING_H
#define TAV_TIMING_H

#include "moduleprotocol.h"

#include <chrono>

// The pauses the module needs between commands. The window and the
// command-line program both keep to them.
namespace Timing {

using namespace std::chrono_literals;

// Before the first command of a sequence.
constexpr auto sequenceStartDelay = 100ms;
// After a reply, before the next command.
constexpr auto readAfterReportDelay = 500ms;
constexpr auto readAfterOtherReplyDelay = 300ms;
constexpr auto writeAfterOkDelay = 1500ms;

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
