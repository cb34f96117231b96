#!/usr/bin/env bash
# The release bundle, unpacked into a fresh folder, starts headless and stays
# up; its menu entry points at where it lies, whatever the folder is named,
# and goes again with --remove.
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
entry=$work/menu/applications/kestrow-installer.desktop
XDG_DATA_HOME=$work/menu sh "$app/add-to-menu.sh" >/dev/null
grep -qx "Exec=\"$app/Contents/MacOS/KestrowInstaller\"" "$entry"
grep -qx "StartupWMClass=KestrowInstaller" "$entry"

# Folder names that break naive menu entries: each entry is valid and can be removed.
failed=0
for name in 'a&b' 'pipe|x' '50% off' 'cost$5' "it's" 'back\slash' 'say "hi"' '`cmd`'; do
  mkdir -p "$work/names/$name"
  cp -r "$app" "$work/names/$name/"
  XDG_DATA_HOME=$work/menu sh "$work/names/$name/KestrowInstaller.app/add-to-menu.sh" >/dev/null
  if ! desktop-file-validate "$entry"; then echo "invalid entry for a folder named $name"; failed=$((failed + 1)); fi
done
XDG_DATA_HOME=$work/menu sh "$app/add-to-menu.sh" --remove >/dev/null
[ ! -e "$entry" ] || { echo "--remove left the entry"; failed=$((failed + 1)); }
[ "$failed" -eq 0 ] || exit 1
echo "1 passed, 0 failed"
