#!/usr/bin/env bash
# The release bundle, unpacked into a fresh folder, starts headless and stays
# up; the unpacked menu entry points at where it lies.
set -euo pipefail
source_dir=$1 build_dir=$2
work=$(mktemp -d /tmp/kestrow-package-test-XXXXXX)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
tarball=$(bash "$source_dir/scripts/make-package.sh" "$build_dir" "$work/dist")
mkdir "$work/apps"
tar -C "$work/apps" -xzf "$tarball"
app=$work/apps/KestrowInstaller.app
test -x "$app/Contents/MacOS/KestrowInstaller" && test -x "$app/Contents/MacOS/unrar"
"$app/Contents/MacOS/KestrowInstaller" --help | grep -q -- "--code CODE"
QT_QPA_PLATFORM=offscreen "$app/Contents/MacOS/KestrowInstaller" >"$work/out.txt" 2>&1 &
pid=$!
sleep 3
kill -0 "$pid" || { echo "the installer did not stay up:"; cat "$work/out.txt"; exit 1; }
XDG_DATA_HOME=$work/menu sh "$app/add-to-menu.sh" >/dev/null
grep -qx "Exec=\"$app/Contents/MacOS/KestrowInstaller\"" "$work/menu/applications/kestrow-installer.desktop"
echo "1 passed, 0 failed"
