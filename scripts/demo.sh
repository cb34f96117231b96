#!/usr/bin/env bash
# The installer against a local download API serving a sample order: sets up,
# builds, starts both, and prints the purchase code to type. Closing the
# installer stops the API. Without a display it prints the command that
# installs the order from a terminal, and serves it until Ctrl-C.
#   KESTROW_BUILD_DIR: an existing build to use, set up and built already
#   KESTROW_DEMO_THROTTLE: the download's pace in bytes a second (0: full speed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTROW_BUILD_DIR:-build}
if [ -z "${KESTROW_BUILD_DIR:-}" ]; then
  bash scripts/setup.sh
  # Only what the demo runs: the installer with its unpacker, the local API and the order.
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --target KestrowInstaller unrar kestrow-local-api kestrow-demo-order
fi
build=$(cd "$build" && pwd)
code=KESTROWDEMO
work=$(mktemp -d /tmp/kestrow-demo-XXXXXX)
api_pid=""
cleanup() {
  [ -n "$api_pid" ] && kill "$api_pid" 2>/dev/null && wait "$api_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$build/kestrow-demo-order" "$work/order" >/dev/null
# Slowed to a pace a person can watch, and try Pause and Resume on.
"$build/kestrow-local-api" --folder "$work/order" --code "$code" --state "$work/api" \
  --throttle "${KESTROW_DEMO_THROTTLE:-100000}" \
  >"$work/api.txt" 2>/dev/null &
api_pid=$!
for _ in $(seq 100); do grep -q "base URL" "$work/api.txt" 2>/dev/null && break; sleep 0.1; done
base=$(awk '/base URL/ {print $3}' "$work/api.txt")
[ -n "$base" ] || { echo "demo: the local download API did not start" >&2; exit 1; }
installer=$build/KestrowInstaller.app/Contents/MacOS/KestrowInstaller
command="KESTROW_API_URL=$base KESTROW_CA_FILE=$work/api/ca.pem $installer --code $code --dest ~/KestrowDemo"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG

  Kestrow Installer demo: a sample library served by a local download API at $base
  There is no display here for the window. The order installs from a terminal with:

    $command

  The demo's server runs until Ctrl-C.

MSG
  wait "$api_pid"
  exit 0
fi

cat <<MSG

  Kestrow Installer demo: a sample library served by a local download API at $base

  Purchase code:  $code

  Type or paste it on the first page, choose an empty folder on the second,
  and watch the download and unpacking. Closing the installer ends the demo.

  One copy of the installer runs per user: to install the same order from a
  terminal instead, close the window first (the demo's server then ends with
  it), or start the demo in a terminal without a display (env -u DISPLAY
  scripts/demo.sh) and run the command it prints:
    $command

MSG
KESTROW_API_URL="$base" KESTROW_CA_FILE="$work/api/ca.pem" "$installer" "$@"
