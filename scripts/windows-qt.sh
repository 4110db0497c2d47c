#!/usr/bin/env bash
# The Qt that the Windows build links against: Qt 5.15 for Windows x86_64,
# cross-built with Debian's mingw-w64 (posix threads) from Debian's qtbase
# source package and Qt's own QtSerialPort tarball. Built once (about 30
# minutes on two cores) into a cache folder outside the work tree, named by
# this recipe and what it was built from, and reused while they stay the same.
#
# Sourced by windows.sh, which reads $win_qt (the installed Qt) and
# $mingw_bin (a folder of x86_64-w64-mingw32-* links to the posix compilers).
#
#   TAV_CACHE            cache folder (default: $XDG_CACHE_HOME or ~/.cache)
#   TAV_QTSERIALPORT     the QtSerialPort 5.15.8 tarball; Qt publishes it as the
#                        tag v5.15.8-lts-lgpl of its qtserialport repository
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo_root/scripts/packages.sh"

qt_version=5.15.8
# Bump when the build steps below change; the options and versions count already.
recipe_revision=1
# Debian's tarball lacks src/3rdparty/wintab, hence no tablet events.
qt_options=(-release -opensource -confirm-license -platform linux-g++ -xplatform win32-g++
    -device-option CROSS_COMPILE=x86_64-w64-mingw32-
    -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -qt-zlib -qt-libpng
    -no-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz -no-openssl -no-sql-sqlite
    -no-sql-odbc -no-sql-mysql -no-sql-psql -no-direct2d -no-vulkan
    -no-feature-tabletevent -no-angle)
serialport_sha256=8921bb8b9e8bb73077de082b40846ec6204034682720a2d7cfd3e570c968c4b9
serialport_tarball=${TAV_QTSERIALPORT:-$repo_root/../shared/windows/qtserialport-$qt_version-lts-lgpl.tar.xz}

install_packages g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 dpkg-dev perl python3 \
    xz-utils make

cache_root=${TAV_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}}/tav-configurator
mingw_bin=$cache_root/mingw-posix
mkdir -p "$mingw_bin"
for tool in gcc g++ cpp; do
    ln -sf "$(command -v x86_64-w64-mingw32-$tool-posix)" "$mingw_bin/x86_64-w64-mingw32-$tool"
done
for tool in ar as ld nm objcopy objdump ranlib strip windres dlltool; do
    ln -sf "$(command -v x86_64-w64-mingw32-$tool)" "$mingw_bin/x86_64-w64-mingw32-$tool"
done

# Debian's qtbase source: a deb-src entry of its own, so that the system's
# sources list is left as it was.
src_list=/etc/apt/sources.list.d/tav-configurator-src.sources
sudo=(); [ "$(id -u)" -ne 0 ] && sudo=(sudo)
if ! apt-cache showsrc qtbase-opensource-src 2>/dev/null | grep -q "^Version: $qt_version"; then
    if [ ! -f "$src_list" ]; then
        printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' \
            'Suites: bookworm bookworm-updates' 'Components: main' \
            'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' '' \
            'Types: deb-src' 'URIs: http://deb.debian.org/debian-security' \
            'Suites: bookworm-security' 'Components: main' \
            'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' \
            | "${sudo[@]}" tee "$src_list" >/dev/null
    fi
    "${sudo[@]}" apt-get update -q >/dev/null
fi
qtbase_source=$(apt-cache showsrc qtbase-opensource-src | awk '/^Version: / {print $2}' \
    | sort -V | tail -n 1)
case "$qtbase_source" in
    "$qt_version"*) ;;
    *) echo "Debian's qtbase source is $qtbase_source, not $qt_version" >&2; exit 1 ;;
esac

compiler=$("$mingw_bin/x86_64-w64-mingw32-g++" -dumpfullversion)
key=$(echo "$recipe_revision ${qt_options[*]} $qtbase_source $serialport_sha256 $compiler" \
    | sha256sum | cut -c1-12)
win_qt=$cache_root/qt-$qt_version-win64-$key
export PATH="$mingw_bin:$PATH"

if [ ! -f "$win_qt/.complete" ]; then
    # The tarball is needed to build, not to reuse what was built from it:
    # the key already holds its sha256.
    [ -f "$serialport_tarball" ] || {
        echo "No QtSerialPort tarball at $serialport_tarball (set TAV_QTSERIALPORT)" >&2; exit 1; }
    echo "$serialport_sha256  $serialport_tarball" | sha256sum --check --quiet - || {
        echo "$serialport_tarball is not QtSerialPort $qt_version (sha256 differs)" >&2; exit 1; }
    echo "Building Qt $qt_version for Windows into $win_qt (once; about 30 minutes on two cores)"
    rm -rf "$win_qt"
    work=$(mktemp -d "$cache_root/qt-build.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    (
        cd "$work"
        apt-get source --download-only -q "qtbase-opensource-src=$qtbase_source" >/dev/null 2>&1
        dpkg-source --skip-patches -x qtbase-opensource-src_*.dsc qtbase >/dev/null 2>&1
        cd qtbase
        # Debian's security fixes only; its other patches fit Debian's own build.
        grep -E '^CVE-' debian/patches/series | while read -r patch _; do
            patch -p1 -s < "debian/patches/$patch"
        done
        ./configure -prefix "$win_qt" "${qt_options[@]}" > "$work/configure.log" 2>&1 \
            || { tail -n 40 "$work/configure.log" >&2; exit 1; }
        make -j"$(nproc)" > "$work/make.log" 2>&1 || { tail -n 40 "$work/make.log" >&2; exit 1; }
        make install > /dev/null
        cd "$work"
        tar -xf "$serialport_tarball"
        cd qtserialport-*
        # A git archive has no forwarding headers; syncqt makes them.
        perl "$work/qtbase/bin/syncqt.pl" -version "$qt_version" > /dev/null
        "$win_qt/bin/qmake" > /dev/null
        make -j"$(nproc)" > /dev/null
        make install > /dev/null
    )
    rm -rf "$work"
    trap - EXIT
    touch "$win_qt/.complete"
fi
