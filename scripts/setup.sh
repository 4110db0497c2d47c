#!/usr/bin/env bash
# Installs what the build needs (Debian/Ubuntu) and builds out of source in
# build/. Sourced by start.sh and test.sh; safe to run again.
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir="$repo_root/build"
source "$repo_root/scripts/packages.sh"

packages=(cmake make g++ qtbase5-dev libqt5serialport5-dev fonts-dejavu-core)

build_project() {
    local werror=OFF
    [ "${CI:-}" = "true" ] && werror=ON
    cmake -S "$repo_root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_WERROR=$werror
    cmake --build "$build_dir" --parallel "$(nproc 2>/dev/null || echo 2)"
}

install_packages "${packages[@]}"
build_project
