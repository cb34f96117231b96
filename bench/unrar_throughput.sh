#!/usr/bin/env bash
# Unpacks one stored RAR archive with the bundled unrar and with bsdtar, in
# turns, and prints wall time and peak memory. Many small files are unpacked
# onto a tmpfs (/dev/shm): on a disk, file-creation times swing between runs
# far more than the unpackers differ. DURABLE=1 unpacks onto the disk under
# /var/tmp and counts each tool until its files are on it: ours with the
# installer's syncfs of the folder's disk (sync -f), bsdtar with sync.
#   bench/unrar_throughput.sh [SIZE_MIB=500] [ROUNDS=3] [FORMAT=5] [FILES=8]
set -euo pipefail
size=${1:-500}
rounds=${2:-3}
format=${3:-5}
files=${4:-8}
durable=${DURABLE:-0}
build=$(cd "$(dirname "$0")/.." && pwd)/build
place=/tmp
[ "$files" -gt 1000 ] && [ -w /dev/shm ] && place=/dev/shm
[ "$durable" = 1 ] && place=/var/tmp
work=$(mktemp -d "$place/kestrow-unrar-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
archive=$("$build/make-rar" "$work" Bench "$size" "$format" "$files")
printf "archive: %s (%s MiB in %s files, RAR %s, stored), unpacked in %s\n" "$(basename "$archive")" "$size" "$files" "$format" "$place"

measure() {  # prints "seconds peak_kib"
  if [ "$durable" = 1 ]; then
    # A new folder each time: the last one's removal (its trimmed blocks, on
    # a disk mounted with discard) would be flushed by the next sync.
    [ -e "$work/out" ] && mv "$work/out" "$work/done.$RANDOM$RANDOM"
    mkdir "$work/out"
  else
    rm -rf "$work/out"; mkdir "$work/out"
  fi
  sync
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null
  cat "$work/time.txt"
}
printf "%-6s %-8s %10s %14s\n" round tool seconds "peak RSS KiB"
ours=() theirs=() peaks=()
for r in $(seq "$rounds"); do
  if [ "$durable" = 1 ]; then
    read -r t1 m1 < <(measure sh -c '"$1" -o- x "$2" "$3" && sync -f "$3"' sh \
      "$build/KestrowInstaller.app/Contents/MacOS/unrar" "$archive" "$work/out")
    read -r t2 m2 < <(measure sh -c 'bsdtar -xf "$1" -C "$2" && sync' sh "$archive" "$work/out")
  else
    read -r t1 m1 < <(measure "$build/KestrowInstaller.app/Contents/MacOS/unrar" -o- x "$archive" "$work/out")
    read -r t2 m2 < <(measure bsdtar -xf "$archive" -C "$work/out")
  fi
  printf "%-6s %-8s %10s %14s\n%-6s %-8s %10s %14s\n" "$r" unrar "$t1" "$m1" "$r" bsdtar "$t2" "$m2"
  ours+=("$t1"); theirs+=("$t2"); peaks+=("$m1")
done
median() { printf "%s\n" "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo=$(median "${ours[@]}"); mt=$(median "${theirs[@]}")
echo "median: unrar ${mo}s, bsdtar ${mt}s, ratio $(awk -v a="$mo" -v b="$mt" 'BEGIN {printf "%.3f", a/b}'), unrar peak $(median "${peaks[@]}") KiB"
