#!/usr/bin/env bash
# Fuzzes everything that reads the module's bytes (framing, decoding, the
# decision, the log) with libFuzzer for SECONDS (default 60):
#   bash scripts/fuzz.sh [SECONDS]
# Builds with clang in build-fuzz/; the corpus grows in build-fuzz/corpus,
# a failing input is saved as build-fuzz/crash-*. 0 seconds: install and
# build only.
set -euo pipefail
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo_root/scripts/packages.sh"
seconds=${1:-60}
build="$repo_root/build-fuzz"

install_packages cmake make ccache clang libclang-rt-14-dev qtbase5-dev libqt5serialport5-dev qttools5-dev qttools5-dev-tools
CC=clang CXX=clang++ cmake -S "$repo_root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_QT=5 \
    -DTAV_FUZZ=ON -DTAV_BUILD_TESTS=OFF
cmake --build "$build" --target fuzz_reply --parallel "$(nproc 2>/dev/null || echo 2)"
[ "$seconds" -gt 0 ] || exit 0

mkdir -p "$build/corpus"
export QT_LOGGING_RULES="*.debug=false"
status=0
"$build/fuzz/fuzz_reply" -max_total_time="$seconds" -max_len=16384 \
    -dict="$repo_root/fuzz/reply.dict" -artifact_prefix="$build/" -print_final_stats=1 \
    "$build/corpus" "$repo_root/fuzz/corpus/reply" >"$build/fuzz.log" 2>&1 || status=$?
# The progress lines are many; what was run, and any failure, are kept.
grep -v -e '^#[0-9]' -e '^INFO: ' -e '# Uses: ' -e 'recommended dictionary' "$build/fuzz.log" | tail -n 60
exit "$status"
