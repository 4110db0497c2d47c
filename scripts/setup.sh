#!/usr/bin/env bash
# Installs what the build needs (Debian/Ubuntu) and builds out of source in
# build/, with Qt 5.15; TAV_QT=6 builds with Qt 6 in build-qt6/ instead.
# Sourced by start.sh and test.sh; safe to run again.
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo_root/scripts/packages.sh"

qt_major=${TAV_QT:-5}
if [ "$qt_major" = 6 ]; then
    build_dir="$repo_root/build-qt6"
    packages=(cmake make ccache g++ qt6-base-dev qt6-serialport-dev qt6-tools-dev qt6-l10n-tools
              qt6-translations-l10n fonts-dejavu-core ser2net help2man)
else
    build_dir="$repo_root/build"
    packages=(cmake make ccache g++ qtbase5-dev libqt5serialport5-dev qttools5-dev qttools5-dev-tools
              qttranslations5-l10n fonts-dejavu-core ser2net help2man)
fi

# With targets named, only those (and what they need) are built.
build_project() {
    local werror=OFF
    [ "${CI:-}" = "true" ] && werror=ON
    cmake -S "$repo_root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_WERROR=$werror \
        -DTAV_QT="$qt_major"
    local targets=()
    for target in "$@"; do targets+=(--target "$target"); done
    cmake --build "$build_dir" --parallel "$(nproc 2>/dev/null || echo 2)" "${targets[@]}"
}

install_packages "${packages[@]}"
build_project ${build_targets[@]+"${build_targets[@]}"}
