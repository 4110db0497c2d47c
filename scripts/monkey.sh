#!/usr/bin/env bash
# Random use of the real window against the simulated module, checking
# after every step that nothing it shows is untrue:
#   bash scripts/monkey.sh [SECONDS] [SEED]
# With MONKEY_CLI=1, the command-line program under random stop signals
# instead. SECONDS defaults to 60. A failure prints the seed and the last
# steps; the same SEED replays the run. Uses build/ (MONKEY_BUILD=dir for
# another build, e.g. build-asan); builds it first if needed.
set -euo pipefail
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${MONKEY_BUILD:-$repo_root/build}
seconds=${1:-60}
[ -x "$build/tests/tav-monkey" ] || source "$repo_root/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
export QT_LOGGING_RULES="*.debug=false"
# Settings of its own, never the user's.
"$build/tests/tav-monkey" --seconds "$seconds" ${2:+--seed "$2"} ${MONKEY_CLI:+--cli}
