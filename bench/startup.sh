#!/usr/bin/env bash
# Start-up, launch to window mapped, of the installer beside a minimal Qt
# Widgets window, in one run on a virtual display of its own, rounds taken in
# turn so that both see the same machine. Prints both medians and the ratio.
#   bench/startup.sh [ROUNDS=15]
set -euo pipefail
rounds=${1:-15}
build=$(cd "$(dirname "$0")/.." && pwd)/build
if [ -z "${KESTROW_BENCH_DISPLAY:-}" ]; then
  exec env KESTROW_BENCH_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
work=$(mktemp -d /tmp/kestrow-startup-XXXXXX)
trap 'rm -rf "$work"' EXIT
median() { printf "%s\n" "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
export TMPDIR=$work XDG_RUNTIME_DIR=$work
installer=() minimal=()
for _ in $(seq "$rounds"); do
  installer+=("$("$build/kestrow-bench-mapped" "$build/KestrowInstaller.app/Contents/MacOS/KestrowInstaller")")
  minimal+=("$("$build/kestrow-bench-mapped" "$build/kestrow-bench-minimal")")
done
mi=$(median "${installer[@]}"); mm=$(median "${minimal[@]}")
echo "installer: ${installer[*]}"
echo "minimal:   ${minimal[*]}"
awk -v a="$mi" -v b="$mm" 'BEGIN {printf "median: installer %.1f ms, minimal Qt window %.1f ms, ratio %.2f\n", a, b, a/b}'
