#!/usr/bin/env bash
# Downloads one large file from the local download API with the installer's
# HTTP client and with curl, in turns, and prints wall time and peak memory.
#   bench/http_throughput.sh [SIZE_MIB=1024] [ROUNDS=3]
set -euo pipefail
size_mib=${1:-1024}
rounds=${2:-3}
build=$(cd "$(dirname "$0")/.." && pwd)/build
work=$(mktemp -d /tmp/kestrow-bench-XXXXXX)
server_pid=""
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

mkdir -p "$work/files" "$work/state"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$work/files/big.bin"
"$build/kestrow-local-api" --folder "$work/files" --code BENCH --state "$work/state" > "$work/server.txt" &
server_pid=$!
for _ in $(seq 100); do grep -q "base URL" "$work/server.txt" 2>/dev/null && break; sleep 0.1; done
base=$(awk '/base URL/ {print $3}' "$work/server.txt")
ca="$work/state/ca.pem"
url="$base/files/big.bin"
expected=$(sha256sum < "$work/files/big.bin" | cut -d' ' -f1)

measure() {  # label command...: prints "seconds peak_kib"
  local label=$1; shift
  rm -f "$work/out.bin"
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@"
  [ "$(sha256sum < "$work/out.bin" | cut -d' ' -f1)" = "$expected" ] || { echo "$label: wrong bytes" >&2; exit 1; }
  cat "$work/time.txt"
}

printf "%-6s %-14s %10s %14s\n" round client seconds "peak RSS KiB"
ours=() theirs=()
for r in $(seq "$rounds"); do
  read -r t1 m1 < <(measure kestrow "$build/kestrow-fetch" "$url" "$work/out.bin" "$ca")
  read -r t2 m2 < <(measure curl curl -s --cacert "$ca" -o "$work/out.bin" "$url")
  printf "%-6s %-14s %10s %14s\n" "$r" kestrow-fetch "$t1" "$m1" "$r" "curl -o" "$t2" "$m2"
  ours+=("$t1"); theirs+=("$t2")
done
median() { printf "%s\n" "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo=$(median "${ours[@]}"); mt=$(median "${theirs[@]}")
echo "median: kestrow-fetch ${mo}s, curl ${mt}s, ratio $(awk -v a="$mo" -v b="$mt" 'BEGIN {printf "%.3f", a/b}')"
