#!/usr/bin/env bash
# Unpacks one large stored RAR archive with the bundled unrar and with
# bsdtar, in turns, and prints wall time and peak memory.
#   bench/unrar_throughput.sh [SIZE_MIB=500] [ROUNDS=3] [FORMAT=5]
set -euo pipefail
size=${1:-500}
rounds=${2:-3}
format=${3:-5}
build=$(cd "$(dirname "$0")/.." && pwd)/build
work=$(mktemp -d /tmp/kestrow-unrar-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
archive=$("$build/make-rar" "$work" Bench "$size" "$format")
printf "archive: %s (%s MiB, RAR %s, stored)\n" "$(basename "$archive")" "$size" "$format"

measure() {  # prints "seconds peak_kib"
  rm -rf "$work/out"; mkdir "$work/out"
  sync
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null
  cat "$work/time.txt"
}
printf "%-6s %-8s %10s %14s\n" round tool seconds "peak RSS KiB"
ours=() theirs=()
for r in $(seq "$rounds"); do
  read -r t1 m1 < <(measure "$build/KestrowInstaller.app/Contents/MacOS/unrar" -o- x "$archive" "$work/out")
  read -r t2 m2 < <(measure bsdtar -xf "$archive" -C "$work/out")
  printf "%-6s %-8s %10s %14s\n%-6s %-8s %10s %14s\n" "$r" unrar "$t1" "$m1" "$r" bsdtar "$t2" "$m2"
  ours+=("$t1"); theirs+=("$t2")
done
median() { printf "%s\n" "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo=$(median "${ours[@]}"); mt=$(median "${theirs[@]}")
echo "median: unrar ${mo}s, bsdtar ${mt}s, ratio $(awk -v a="$mo" -v b="$mt" 'BEGIN {printf "%.3f", a/b}')"
