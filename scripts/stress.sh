#!/usr/bin/env bash
# The suite on a machine that is busy: five runs in a row, eight tests at a
# time, while a compile keeps every core occupied. Not part of every CI run;
# run it after a change to timing, the link or the tests' own waiting.
#   bash scripts/stress.sh [RUNS]        (TAV_QT=6 for the Qt 6 build;
#                                         TAV_STRESS_BUILD=build-asan for the
#                                         sanitizer build that sanitize.sh made)
set -euo pipefail
if [ -n "${TAV_STRESS_BUILD:-}" ]; then
    repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    build_dir="$repo_root/$TAV_STRESS_BUILD"
    qt_major=5
    source "$repo_root/scripts/sanitizer-env.sh"
else
    source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
fi
runs=${1:-5}

# The load: the engine compiled again and again in a scratch build folder.
scratch=$(mktemp -d)
trap 'kill "$loader" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$scratch"' EXIT
cmake -S "$repo_root" -B "$scratch" -DTAV_QT="$qt_major" >/dev/null
(
    while true; do
        cmake --build "$scratch" --target tavengine --parallel "$(nproc)" >/dev/null 2>&1 || true
        cmake --build "$scratch" --target clean >/dev/null 2>&1 || true
    done
) &
loader=$!

export QT_QPA_PLATFORM=offscreen
cd "$build_dir"
for run in $(seq "$runs"); do
    start=$(date +%s)
    if ! ctest --output-on-failure --parallel 8 >"$scratch/run-$run.log" 2>&1; then
        grep -E "Failed|FAIL!|Loc:" "$scratch/run-$run.log" | head -n 30 >&2
        echo "stress: run $run of $runs failed under load" >&2
        exit 1
    fi
    echo "stress: run $run of $runs passed in $(($(date +%s) - start)) s under load"
done
