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

# Leaks are reported except those of Qt's own plugins, named in the file.
export LSAN_OPTIONS="suppressions=$repo_root/tests/lsan.supp:print_suppressions=0"
# Qt is built without frame pointers: only the slow unwinder sees which
# plugin an allocation came from.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:fast_unwind_on_malloc=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
cd "$build"
# Four at a time on any machine: the tests spend their time waiting out
# the module's pauses, not on the processor (about a third of two cores).
ctest --output-on-failure --parallel 4
if [ "$monkey_seconds" -gt 0 ]; then
    MONKEY_BUILD="$build" bash "$repo_root/scripts/monkey.sh" "$monkey_seconds" ${2:+"$2"}
fi
