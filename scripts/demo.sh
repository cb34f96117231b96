#!/usr/bin/env bash
# The installer against a local download API serving a sample order: sets up,
# builds, starts both, and prints the purchase code to type. Closing the
# installer stops the API.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Only what the demo runs: the installer with its unpacker, the local API and the order.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target KestrowInstaller unrar kestrow-local-api kestrow-demo-order
code=KESTROWDEMO
work=$(mktemp -d /tmp/kestrow-demo-XXXXXX)
api_pid=""
cleanup() {
  [ -n "$api_pid" ] && kill "$api_pid" 2>/dev/null && wait "$api_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

build/kestrow-demo-order "$work/order" >/dev/null
# Slowed to a pace a person can watch, and try Pause and Resume on.
build/kestrow-local-api --folder "$work/order" --code "$code" --state "$work/api" --throttle 100000 \
  >"$work/api.txt" 2>/dev/null &
api_pid=$!
for _ in $(seq 100); do grep -q "base URL" "$work/api.txt" 2>/dev/null && break; sleep 0.1; done
base=$(awk '/base URL/ {print $3}' "$work/api.txt")
[ -n "$base" ] || { echo "demo: the local download API did not start" >&2; exit 1; }

cat <<MSG

  Kestrow Installer demo: a sample library served by a local download API at $base

  Purchase code:  $code

  Type or paste it on the first page, choose an empty folder on the second,
  and watch the download and unpacking. Closing the installer ends the demo.

  Without a desktop, the same order installs from another terminal with:
    KESTROW_API_URL=$base KESTROW_CA_FILE=$work/api/ca.pem \\
      $PWD/build/KestrowInstaller.app/Contents/MacOS/KestrowInstaller --code $code --dest ~/KestrowDemo

MSG
KESTROW_API_URL="$base" KESTROW_CA_FILE="$work/api/ca.pem" \
  build/KestrowInstaller.app/Contents/MacOS/KestrowInstaller "$@"
