#!/usr/bin/env bash
# Builds everything and runs every test, without a display.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

# Running the build again with nothing changed must not rebuild anything:
# a configure step that rewrote a generated file would relink every program.
again=$(build_project 2>&1)
if grep -E "^\[ *[0-9]+%\] (Linking|Building|Generating)" <<<"$again"; then
    echo "A second build with no change rebuilt the lines above" >&2
    exit 1
fi

# Every program the README and the documents in docs/ tell a reader to run
# is where they say, and every document they point to is there.
if [ "$qt_major" = 5 ]; then
    missing=0
    for doc in "$repo_root/README.md" "$repo_root"/docs/*.md; do
        for program in $(grep -oE '\bbuild/(src|cli|sim|demo|bench|tests)/[A-Za-z0-9_./-]*[A-Za-z0-9_]' \
                             "$doc" | sort -u); do
            if [ ! -x "$repo_root/$program" ]; then
                echo "${doc#"$repo_root"/} names $program, which the build did not make" >&2
                missing=1
            fi
        done
        for link in $(grep -oE '\]\([A-Za-z0-9_./-]+\.(md|png)\)' "$doc" | sed 's/^](//; s/)$//' | sort -u); do
            if [ ! -e "$(dirname "$doc")/$link" ]; then
                echo "${doc#"$repo_root"/} points to $link, which is not there" >&2
                missing=1
            fi
        done
    done
    [ "$missing" = 0 ] || exit 1
fi

export QT_QPA_PLATFORM=offscreen
cd "$build_dir"
# Four at a time on any machine: the tests spend their time waiting out
# the module's pauses, not on the processor (about a third of two cores).
ctest --output-on-failure --parallel 4
