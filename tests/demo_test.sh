#!/usr/bin/env bash
# The demo without a display keeps its word: its server runs until it is
# stopped (Ctrl-C at a terminal; SIGTERM here, where a background job
# ignores SIGINT), and the command it prints installs the order.
set -euo pipefail
source_dir=$1 build_dir=$2
work=$(mktemp -d /tmp/kestrow-demo-test-XXXXXX)
demo=""
trap '[ -n "$demo" ] && kill "$demo" 2>/dev/null; rm -rf "$work"' EXIT
env -u DISPLAY -u WAYLAND_DISPLAY KESTROW_BUILD_DIR="$build_dir" KESTROW_DEMO_THROTTLE=0 \
  bash "$source_dir/scripts/demo.sh" >"$work/demo.txt" 2>&1 &
demo=$!
for _ in $(seq 300); do grep -q "KESTROW_API_URL=" "$work/demo.txt" && break; sleep 0.1; done
command=$(grep -o "KESTROW_API_URL=.*" "$work/demo.txt") || { cat "$work/demo.txt"; exit 1; }
grep -q "The demo's server runs until Ctrl-C" "$work/demo.txt"
sleep 1  # a demo that ended with its message would have taken its server along
HOME=$work XDG_STATE_HOME=$work/state eval "env -u DISPLAY $command --quiet"
test -f "$work/KestrowDemo/.kestrow-installed"
kill "$demo"
wait "$demo" && status=0 || status=$?
demo=""
[ "$status" -eq 143 ] || { echo "the demo ended with $status when stopped"; exit 1; }
echo "1 passed, 0 failed"
