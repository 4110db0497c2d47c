#!/usr/bin/env bash
# Installs what the build needs (Debian/Ubuntu) and builds out of source in
# build/. Sourced by start.sh and test.sh; safe to run again.
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir="$repo_root/build"

packages=(cmake make g++ qtbase5-dev libqt5serialport5-dev fonts-dejavu-core)

install_missing_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Run as root, or install: ${missing[*]}" >&2; exit 1; }
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build_project() {
    local werror=OFF
    [ "${CI:-}" = "true" ] && werror=ON
    cmake -S "$repo_root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_WERROR=$werror
    cmake --build "$build_dir" --parallel "$(nproc 2>/dev/null || echo 2)"
}

if command -v dpkg-query >/dev/null; then
    install_missing_packages
fi
build_project
