#!/usr/bin/env bash
# Remakes the README's pictures of the four pages (docs/screenshots/) from the
# real window: the demo order, a virtual display of its own, xdotool clicks.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
out=docs/screenshots
mkdir -p "$out"
work=$(mktemp -d /tmp/kestrow-shots-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

display=""
for n in $(seq 90 120); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }
done
[ -n "$display" ] || { echo "screenshots: no free display" >&2; exit 1; }
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

build/kestrow-demo-order "$work/order" >/dev/null
build/kestrow-local-api --folder "$work/order" --code KESTROWDEMO --state "$work/api" --throttle 150000 \
  >"$work/api.txt" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do grep -q "base URL" "$work/api.txt" 2>/dev/null && break; sleep 0.1; done
base=$(awk '/base URL/ {print $3}' "$work/api.txt")
KESTROW_API_URL="$base" KESTROW_CA_FILE="$work/api/ca.pem" \
  build/KestrowInstaller.app/Contents/MacOS/KestrowInstaller >/dev/null 2>&1 &
pids+=($!)
window=$(xdotool search --sync --name "Kestrow Installer" | head -1)
sleep 0.5

shot() { import -window "$window" "$out/$1.png"; echo "$out/$1.png"; }
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
field=(200 255) next=(504 343)

click "${field[@]}"; xdotool type --delay 20 KESTROWDEMO; xdotool key Return; sleep 1.5
shot page1-code
click "${next[@]}"; sleep 0.5
click "${field[@]}"; xdotool type --delay 20 "$work/Kestrow Strings"; xdotool key Return; sleep 0.5
shot page2-folder
click "${next[@]}"; sleep 3
shot page3-download
for _ in $(seq 300); do [ -e "$work/Kestrow Strings/StringsManual.pdf" ] && [ ! -e "$work/Kestrow Strings/StringsExtras.rar" ] && break; sleep 0.1; done
sleep 1
shot page4-finish
