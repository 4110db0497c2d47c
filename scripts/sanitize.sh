#!/usr/bin/env bash
# The whole test suite, then the monkey test, built with AddressSanitizer
# and UndefinedBehaviorSanitizer in build-asan/:
#   bash scripts/sanitize.sh [MONKEY_SECONDS] [MONKEY_SEED]
# MONKEY_SECONDS defaults to 60; 0 skips the monkey.
set -euo pipefail
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo_root/scripts/packages.sh"
monkey_seconds=${1:-60}
build="$repo_root/build-asan"

install_packages cmake make ccache g++ qtbase5-dev libqt5serialport5-dev qttools5-dev qttools5-dev-tools fonts-dejavu-core
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S "$repo_root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_QT=5 -DTAV_SANITIZE=ON -DTAV_BUILD_BENCH=OFF \
    -DTAV_WERROR=$werror
cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)"

source "$repo_root/scripts/sanitizer-env.sh"
export QT_QPA_PLATFORM=offscreen
cd "$build"
# As many at a time as there are cores: under the sanitizers, with the slow
# unwinder, the tests spend their time on the processor, not waiting.
ctest --output-on-failure --parallel "$(nproc 2>/dev/null || echo 2)"
if [ "$monkey_seconds" -gt 0 ]; then
    MONKEY_BUILD="$build" bash "$repo_root/scripts/monkey.sh" "$monkey_seconds" ${2:+"$2"}
fi
