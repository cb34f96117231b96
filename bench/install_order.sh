#!/usr/bin/env bash
# A whole order through the installer's window (headless) against curl
# fetching the same files from the same local download API, in turns; then
# the installer's peak memory at a small and at a large order.
#   bench/install_order.sh [SIZE_MIB=1024] [FILES=8] [ROUNDS=3] [LARGE_MIB=4096]
set -euo pipefail
size_mib=${1:-1024}
files=${2:-8}
rounds=${3:-3}
large_mib=${4:-4096}
build=$(cd "$(dirname "$0")/.." && pwd)/build
work=$(mktemp -d /tmp/kestrow-order-bench-XXXXXX)
server_pid=""
stop_server() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null; server_pid=""; }
trap 'stop_server; rm -rf "$work"' EXIT

# serve MIB: an order of $files sparse files (the bytes' values cost nothing
# to make and change nothing on the wire) under the code BENCH.
serve() {
  stop_server
  rm -rf "$work/files" "$work/state"; mkdir -p "$work/files" "$work/state"
  for i in $(seq "$files"); do truncate -s "$(( $1 * 1024 * 1024 / files ))" "$work/files/Part$i.wav"; done
  "$build/kestrow-local-api" --folder "$work/files" --code BENCH --state "$work/state" > "$work/server.txt" 2>/dev/null &
  server_pid=$!
  for _ in $(seq 100); do grep -q "base URL" "$work/server.txt" 2>/dev/null && break; sleep 0.1; done
  base=$(awk '/base URL/ {print $3}' "$work/server.txt")
  ca="$work/state/ca.pem"
}

installer() {  # prints "seconds peak_kib job_seconds"
  rm -rf "$work/dest" "$work/KW_installerlog.txt"; sync
  /usr/bin/time -f "%e %M" -o "$work/time.txt" \
    "$build/kestrow-bench-install" order "$base" "$ca" BENCH "$work/dest" >"$work/job.txt" 2>"$work/err.txt" \
    || { echo "installer failed:"; cat "$work/err.txt" "$work/KW_installerlog.txt" 2>/dev/null; exit 1; } >&2
  [ "$(du -b --apparent-size -s "$work/dest" | cut -f1)" -ge "$(( size_now * 1024 * 1024 ))" ] || { echo "installer: files missing" >&2; exit 1; }
  echo "$(cat "$work/time.txt") $(cat "$work/job.txt")"
}

with_curl() {  # prints "seconds peak_kib"
  rm -rf "$work/dest"; mkdir -p "$work/dest"; sync
  local args=()
  for i in $(seq "$files"); do args+=(-o "$work/dest/Part$i.wav" "$base/files/Part$i.wav"); done
  /usr/bin/time -f "%e %M" -o "$work/time.txt" curl -s --fail --cacert "$ca" "${args[@]}"
  cat "$work/time.txt"
}

size_now=$size_mib
serve "$size_mib"
# The installer's seconds are its whole run (start-up, window, order request,
# folder check, download, the unpacking step, page 4) and, apart, its job:
# page 2's Next to page 4.
printf "order: %s MiB in %s files\n%-6s %-10s %10s %10s %14s\n" "$size_mib" "$files" round client seconds "job s" "peak RSS KiB"
ours=() jobs=() theirs=()
for r in $(seq "$rounds"); do
  read -r t1 m1 j1 < <(installer)
  read -r t2 m2 < <(with_curl)
  printf "%-6s %-10s %10s %10s %14s\n%-6s %-10s %10s %10s %14s\n" "$r" installer "$t1" "$j1" "$m1" "$r" curl "$t2" "" "$m2"
  ours+=("$t1"); jobs+=("$j1"); theirs+=("$t2")
done
median() { printf "%s\n" "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo=$(median "${ours[@]}"); mj=$(median "${jobs[@]}"); mt=$(median "${theirs[@]}")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a/b}'; }
echo "median: installer ${mo}s (job ${mj}s), curl ${mt}s; ratio whole run $(ratio "$mo" "$mt"), job $(ratio "$mj" "$mt") (goal <= 1.05)"

for mib in 256 "$large_mib"; do
  size_now=$mib
  serve "$mib"
  read -r t m _ < <(installer)
  echo "peak RSS at a ${mib} MiB order: $(( m / 1024 )) MiB (${t}s; goal <= 80 MB, flat)"
done
rm -rf "$work/dest"
