#!/usr/bin/env bash
# Builds the Debian package (Qt 6 unless TAV_QT=5), checks it with lintian
# and its software-centre description with appstreamcli,
# then installs it with apt, starts the installed program, and removes it
# again, checking that nothing is left behind:
#   bash scripts/package.sh [--keep]     (--keep leaves it installed)
set -euo pipefail
export TAV_QT=${TAV_QT:-6}
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
install_packages lintian dpkg-dev desktop-file-utils appstream

cd "$build_dir"
rm -f tav-configurator_*.deb
cmake --build . --target package
deb=$(ls tav-configurator_*.deb)
echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
# Nothing may be reported, not even a warning. As root, lintian is run as
# nobody: it says nothing then about being run as root.
lint=(lintian --fail-on error,warning --tag-display-limit 0)
if [ "$(id -u)" -eq 0 ]; then
    cp "$deb" /tmp/tav-lint.deb && chmod 644 /tmp/tav-lint.deb
    lint=(setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=/tmp TMPDIR=/tmp "${lint[@]}")
    # From /tmp: nobody may not enter the build folder (a clone in mktemp -d).
    said=$(cd /tmp && "${lint[@]}" /tmp/tav-lint.deb 2>&1) || { echo "$said"; exit 1; }
    rm -f /tmp/tav-lint.deb
else
    said=$("${lint[@]}" "$deb" 2>&1) || { echo "$said"; exit 1; }
fi
[ -z "$said" ] || { echo "lintian: $said" >&2; exit 1; }
echo "lintian: nothing to report"

[ "$(id -u)" -eq 0 ] || { echo "Not root: the package was not installed." >&2; exit 0; }
env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$deb"
listed=$(dpkg -L tav-configurator)
for path in /usr/bin/tav-configurator /usr/bin/tav-configurator-cli \
            /usr/share/applications/tav-configurator.desktop \
            /usr/share/metainfo/org.example.tav_configurator.metainfo.xml \
            /usr/share/icons/hicolor/48x48/apps/tav-configurator.png \
            /usr/share/doc/tav-configurator/copyright /usr/share/doc/tav-configurator/README.md \
            /usr/share/doc/tav-configurator/docs/manual.ru.md \
            /usr/share/man/man1/tav-configurator.1.gz /usr/share/man/man1/tav-configurator-cli.1.gz \
            /usr/share/man/man1/tav-module-sim.1.gz /usr/share/man/man1/tav-configurator-demo.1.gz; do
    [ -e "$path" ] || { echo "missing after install: $path" >&2; exit 1; }
done
/usr/bin/tav-configurator-cli --version
# The window starts from its installed path and keeps running until stopped.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/tav-configurator >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ] || { echo "the installed program ended with $status" >&2; exit 1; }
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate /usr/share/applications/tav-configurator.desktop
fi
# Every remark counts, the pedantic ones too; --no-net: the screenshots'
# addresses are the project's home, not reachable from a build machine.
appstreamcli validate --no-net --pedantic /usr/share/metainfo/org.example.tav_configurator.metainfo.xml

[ "${1:-}" = "--keep" ] && exit 0
env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q tav-configurator
left=0
while read -r path; do
    # Folders such as /usr/bin stay; every file of the package must go.
    if [ -e "$path" ] && [ ! -d "$path" ]; then
        echo "left behind: $path" >&2
        left=1
    fi
done <<<"$listed"
[ -e /usr/share/doc/tav-configurator ] && { echo "left behind: /usr/share/doc/tav-configurator" >&2; left=1; }
[ "$left" -eq 0 ] && echo "Removed; nothing left behind."
exit "$left"
