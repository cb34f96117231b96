#!/usr/bin/env bash
# The Debian package: lintian finds no error in it; installed with dpkg, an
# ordinary user installs the demo order with it, without a window, against the
# local download API, and a failure of theirs is logged in their own state
# folder; root installs beside that user's open window (one copy per user),
# and a failed root run writes nothing beside the program either; purged, it
# leaves nothing behind. The round trip is skipped where dpkg cannot install
# (not root).
set -euo pipefail
source_dir=$1 build_dir=$2
work=$(mktemp -d /tmp/kestrow-deb-test-XXXXXX)
chmod 755 "$work"
api=""
window=""
installed=""
cleanup() {
  [ -n "$api" ] && kill "$api" 2>/dev/null && wait "$api" 2>/dev/null
  [ -n "$window" ] && kill "$window" 2>/dev/null && wait "$window" 2>/dev/null
  [ -n "$installed" ] && dpkg -P kestrow-installer >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
deb=$(bash "$source_dir/scripts/make-deb.sh" "$build_dir" "$work/dist")
if lintian "$deb" 2>/dev/null | grep '^E:'; then echo "lintian reports errors"; exit 1; fi
if [ "$(id -u)" -ne 0 ] || dpkg -s kestrow-installer >/dev/null 2>&1; then
  echo "1 passed, 0 failed, 1 skipped: the install round trip needs root and no installed copy"
  exit 0
fi

dpkg -i "$deb" >/dev/null
installed=1
kestrow-installer --version | grep -q "Kestrow Installer"
kestrow-installer --help | grep -q "^usage: kestrow-installer " || { echo "--help names another command"; exit 1; }
zcat /usr/share/man/man1/kestrow-installer.1.gz | grep -q '^\.B \\-\\-verify' || { echo "the manual page lacks --verify"; exit 1; }
"$build_dir/kestrow-demo-order" "$work/order" >/dev/null
"$build_dir/kestrow-local-api" --folder "$work/order" --code DEBDEMO --state "$work/api" >"$work/api.txt" 2>/dev/null &
api=$!
for _ in $(seq 100); do grep -q "base URL" "$work/api.txt" 2>/dev/null && break; sleep 0.1; done
base=$(awk '/base URL/ {print $3}' "$work/api.txt")
chmod -R a+rX "$work/api"
home=$work/home
mkdir -p "$home/tmp" "$work/Samples"
chown -R 65534:65534 "$home" "$work/Samples"
as_nobody() {
  setpriv --reuid=65534 --regid=65534 --clear-groups env -i PATH=/usr/bin:/bin HOME="$home" TMPDIR="$home/tmp" \
    KESTROW_API_URL="$base" KESTROW_CA_FILE="$work/api/ca.pem" kestrow-installer "$@" --quiet >"$work/run.txt" 2>&1
}
program=$(find /opt/kestrow -printf '%p %s %T@\n' | sort)
as_nobody --code DEBDEMO --dest "$work/Samples" ||
  { echo "the installed package did not install the order:"; cat "$work/run.txt"; exit 1; }
[ -n "$(ls -A "$work/Samples")" ] || { echo "nothing installed"; exit 1; }
grep -q "	DEBDEMO	$work/Samples	" "$home/.local/state/kestrow/installed.log" ||
  { echo "the installation is not recorded"; exit 1; }
# A failure is logged in the user's state folder; nothing is left in the
# private folder, nothing written beside the program.
status=0; as_nobody --code NOPE --dest "$work/Samples" || status=$?
[ "$status" -eq 4 ] || { echo "an unknown code gave status $status"; cat "$work/run.txt"; exit 1; }
grep -q "Code error=-404" "$home/.local/state/kestrow/KW_installerlog.txt" || { echo "the failure is not logged"; exit 1; }
! ls "$home/tmp" | grep '^kestrow-' || { echo "a private folder is left"; exit 1; }
[ "$(find /opt/kestrow -printf '%p %s %T@\n' | sort)" = "$program" ] || { echo "written beside the program"; exit 1; }

# Root deploys while that user has the window open: another user's copy is
# no second copy. Root's failure is logged in root's own state folder.
setpriv --reuid=65534 --regid=65534 --clear-groups env -i PATH=/usr/bin:/bin HOME="$home" TMPDIR="$home/tmp" \
  QT_QPA_PLATFORM=offscreen kestrow-installer >/dev/null 2>&1 &
window=$!
sleep 1
as_root() {
  env HOME="$work/root" XDG_STATE_HOME="$work/root/state" KESTROW_API_URL="$base" KESTROW_CA_FILE="$work/api/ca.pem" \
    kestrow-installer "$@" --quiet >"$work/run.txt" 2>&1
}
as_root --code DEBDEMO --dest "$work/Root Samples" || { echo "root could not install beside a user's window:"; cat "$work/run.txt"; exit 1; }
status=0; as_root --code NOPE --dest "$work/Root Samples 2" || status=$?
[ "$status" -eq 4 ] || { echo "root's unknown code gave status $status"; cat "$work/run.txt"; exit 1; }
grep -q "Code error=-404" "$work/root/state/kestrow/KW_installerlog.txt" || { echo "root's failure is not logged"; exit 1; }
[ "$(find /opt/kestrow -printf '%p %s %T@\n' | sort)" = "$program" ] || { echo "root wrote beside the program"; exit 1; }
kill "$window" && wait "$window" 2>/dev/null || true
window=""

dpkg -P kestrow-installer >/dev/null
installed=""
for left in /opt/kestrow /usr/bin/kestrow-installer /usr/share/applications/kestrow-installer.desktop \
  /usr/share/man/man1/kestrow-installer.1.gz /usr/share/bash-completion/completions/kestrow-installer \
  /usr/share/icons/hicolor/128x128/apps/kestrow-installer.png /usr/share/doc/kestrow-installer; do
  [ ! -e "$left" ] || { echo "left behind: $left"; exit 1; }
done
echo "1 passed, 0 failed"
