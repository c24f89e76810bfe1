#!/usr/bin/env bash
# Installs a build into a temporary DESTDIR and checks it as a desktop would find it: the desktop
# entry validates and names an icon the theme has, the programs run from where they were
# installed and find their pass-through libraries, and the manual pages are there.
# Usage: check_install.sh BUILD_DIR
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /usr > /dev/null
root=$dest/usr
entry=$root/share/applications/velto.desktop

desktop-file-validate "$entry"
grep -qx 'Exec=velto %f' "$entry"
grep -q '^MimeType=.*audio/x-wav' "$entry"
icon=$(sed -n 's/^Icon=//p' "$entry")
test -f "$root/share/icons/hicolor/scalable/apps/$icon.svg"
for size in 16 22 24 32 48 64 128 256; do
  test -s "$root/share/icons/hicolor/${size}x${size}/apps/$icon.png"
done

test -x "$root/bin/velto" && test -x "$root/bin/velto-batch"
test -f "$root/lib/velto/libwnaspi32.so" && test -f "$root/lib/velto/libwnaspi32-image.so"
for page in velto velto-batch; do
  test -s "$root/share/man/man1/$page.1"
  warnings=$(MANWIDTH=80 man -l --warnings "$root/share/man/man1/$page.1" 2>&1 > /dev/null)
  test -z "$warnings" || { echo "$page.1: $warnings"; exit 1; }
done

env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/velto" --help | grep -q '^usage: velto'
# The installed velto-batch finds its pass-through library in lib/velto.
drives=$(env -u VELTO_ASPI_LIBRARY "$root/bin/velto-batch" --list-drives 2>&1 || true)
if grep -q 'ASPI Manager not installed' <<< "$drives"; then
  echo "the installed velto-batch did not find its pass-through library: $drives"
  exit 1
fi
echo "1 passed, 0 failed"
