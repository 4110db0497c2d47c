#ifndef TAV_SEARCHPACE_H
#define TAV_SEARCHPACE_H

#include <chrono>

namespace Timing {

using namespace std::chrono_literals;

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

} // namespace Timing

#endif // TAV_SEARCHPACE_H
