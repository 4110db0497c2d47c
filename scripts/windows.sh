#!/usr/bin/env bash
# Builds the programs for Windows x86_64 and what a technician installs:
#   bash scripts/windows.sh            the folder, a portable .zip and an installer
#                                      in build-windows/dist/
#   bash scripts/windows.sh --check    the same, then every Windows check under Wine
# The first run also builds Qt for Windows (see windows-qt.sh); later runs
# reuse it.
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo_root/scripts/windows-qt.sh"
install_packages cmake make ccache nsis qttools5-dev qttools5-dev-tools qttranslations5-l10n fonts-dejavu-core

build=$repo_root/build-windows
cmake -S "$repo_root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo_root/packaging/windows/mingw-w64.cmake" \
    -DCMAKE_PREFIX_PATH="$win_qt" -DCMAKE_BUILD_TYPE=Release -DTAV_QT=5 -DTAV_WERROR=ON -DTAV_BUILD_BENCH=ON \
    -DQt5LinguistTools_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt5LinguistTools >/dev/null
cmake --build "$build" --parallel "$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=tav-configurator-$version-win64
dist=$build/dist
rm -rf "$dist"
cmake --install "$build" --prefix "$dist/$name" --strip >/dev/null
# Qt's DLLs come with their symbols: half the folder's size.
find "$dist/$name" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
(cd "$dist" && cmake -E tar cf "$name.zip" --format=zip "$name")

# The installer lists exactly what it installs, so that its uninstaller
# removes that and nothing else, wherever it was installed.
(
    cd "$dist/$name"
    find . -type d ! -name . | sort | sed 's|^\./||; s|/|\\|g' \
        | awk '{print "CreateDirectory \"$INSTDIR\\" $0 "\""}'
    find . -type f | sort | sed 's|^\./||' | awk '{w = $0; gsub("/", "\\", w);
        print "File \"/oname=" w "\" \"${SOURCE}/" $0 "\""}'
) > "$build/install-files.nsh"
(
    cd "$dist/$name"
    find . -type f | sort | sed 's|^\./||; s|/|\\|g' | awk '{print "Delete \"$INSTDIR\\" $0 "\""}'
    find . -type d ! -name . | sort -r | sed 's|^\./||; s|/|\\|g' \
        | awk '{print "RMDir \"$INSTDIR\\" $0 "\""}'
) > "$build/uninstall-files.nsh"
makensis -V2 -DVERSION="$version" -DSOURCE="$dist/$name" -DLISTS="$build" \
    -DICON="$repo_root/resources/tav-configurator.ico" \
    -DOUTFILE="$dist/$name-setup.exe" "$repo_root/packaging/windows/installer.nsi"

echo "Windows programs: $dist/$name"
ls -l "$dist/$name.zip" "$dist/$name-setup.exe" | awk '{print $5, $9}'

if [ "${1:-}" = "--check" ]; then
    source "$repo_root/scripts/windows-check.sh"
fi
