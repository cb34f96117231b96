#!/usr/bin/env bash
# Runs every benchmark and prints one table: each figure, its goal, and the
# ratio of the two (ours against the other tool's in the same run, or the
# figure against its goal). Several minutes; the figures are noisy on a
# shared machine, so each comes from the median of several rounds.
#   bench/report.sh [ORDER_MIB=1024] [LARGE_MIB=4096] [ROUNDS=3]
set -euo pipefail
order_mib=${1:-1024}
large_mib=${2:-4096}
rounds=${3:-3}
here=$(cd "$(dirname "$0")" && pwd)
build=$here/../build
testdata=$here/../../shared/testdata/rar
work=$(mktemp -d /tmp/kestrow-report-XXXXXX)
trap 'rm -rf "$work"' EXIT
rows=()
row() { rows+=("$(printf "%-44s %14s %12s %8s" "$1" "$2" "$3" "$4")"); }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a/b}'; }
median() { printf "%s\n" "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

echo "whole order against curl ..." >&2
bash "$here/install_order.sh" "$order_mib" 8 "$rounds" "$large_mib" > "$work/order.txt"
read -r whole job curl < <(sed -n 's/^median: installer \([0-9.]*\)s (job \([0-9.]*\)s), curl \([0-9.]*\)s.*/\1 \2 \3/p' "$work/order.txt")
row "local API: order of $order_mib MiB, window vs curl" "${whole}s/${curl}s" "<= 1.05" "$(ratio "$whole" "$curl")"
row "local API: order of $order_mib MiB, job vs curl" "${job}s/${curl}s" "<= 1.05" "$(ratio "$job" "$curl")"
small=$(sed -n 's/^peak RSS at a 256 MiB order: \([0-9]*\) MiB.*/\1/p' "$work/order.txt")
large=$(sed -n "s/^peak RSS at a $large_mib MiB order: \([0-9]*\) MiB.*/\1/p" "$work/order.txt")
row "peak RSS, 256 MiB order" "${small} MiB" "<= 80 MB" "$(ratio "$(( small * 1048576 ))" 80000000)"
row "peak RSS, $large_mib MiB order (flat: vs 256 MiB)" "${large} MiB" "flat" "$(ratio "$large" "$small")"

echo "whole order from nginx against curl ..." >&2
bash "$here/nginx_order.sh" "$order_mib" 8 "$rounds" > "$work/nginx.txt"
read -r uw uc ww wc cw cc < <(sed -n 's/^median: unattended \([0-9.]*\)s \([0-9.]*\)s, window \([0-9.]*\)s \([0-9.]*\)s, curl \([0-9.]*\)s \([0-9.]*\)s.*/\1 \2 \3 \4 \5 \6/p' "$work/nginx.txt")
row "nginx: order of $order_mib MiB, unattended vs curl, wall" "${uw}s/${cw}s" "<= 1.05" "$(ratio "$uw" "$cw")"
row "nginx: order of $order_mib MiB, unattended vs curl, CPU" "${uc}s/${cc}s" "<= 1.05" "$(ratio "$uc" "$cc")"
row "nginx: order of $order_mib MiB, window vs curl, wall" "${ww}s/${cw}s" "<= 1.05" "$(ratio "$ww" "$cw")"
row "nginx: order of $order_mib MiB, window vs curl, CPU" "${wc}s/${cc}s" "<= 1.05" "$(ratio "$wc" "$cc")"

echo "unpacking against bsdtar ..." >&2
bash "$here/unrar_throughput.sh" 500 "$rounds" 5 > "$work/unrar.txt"
read -r ours theirs < <(sed -n 's/^median: unrar \([0-9.]*\)s, bsdtar \([0-9.]*\)s.*/\1 \2/p' "$work/unrar.txt")
row "unpack 500 MiB stored RAR 5 vs bsdtar" "${ours}s/${theirs}s" "<= 1.10" "$(ratio "$ours" "$theirs")"
echo "many small files against bsdtar ..." >&2
bash "$here/unrar_throughput.sh" 195 "$rounds" 5 100000 > "$work/small.txt"
read -r ours theirs peak < <(sed -n 's/^median: unrar \([0-9.]*\)s, bsdtar \([0-9.]*\)s.*unrar peak \([0-9]*\) KiB.*/\1 \2 \3/p' "$work/small.txt")
per() { awk -v s="$1" 'BEGIN {printf "%.0f", 100000 / s}'; }
row "unpack 100,000 files of 2 KB (tmpfs), files/s" "$(per "$ours")/$(per "$theirs")" "<= 1.20" "$(ratio "$ours" "$theirs")"
row "peak RSS unpacking 100,000 files" "$(( peak / 1024 )) MiB" "< 16 MB" "$(ratio "$(( peak * 1024 ))" 16000000)"
echo "unpacking onto the disk until it is there, against bsdtar and sync ..." >&2
DURABLE=1 bash "$here/unrar_throughput.sh" 500 "$rounds" 5 > "$work/durable.txt"
read -r ours theirs < <(sed -n 's/^median: unrar \([0-9.]*\)s, bsdtar \([0-9.]*\)s.*/\1 \2/p' "$work/durable.txt")
row "unpack 500 MiB onto disk, durable, vs bsdtar+sync" "${ours}s/${theirs}s" "<= 1.10" "$(ratio "$ours" "$theirs")"
DURABLE=1 bash "$here/unrar_throughput.sh" 195 "$rounds" 5 100000 > "$work/durable-small.txt"
read -r ours theirs < <(sed -n 's/^median: unrar \([0-9.]*\)s, bsdtar \([0-9.]*\)s.*/\1 \2/p' "$work/durable-small.txt")
row "unpack 100,000 files onto disk, durable, vs bsdtar+sync" "${ours}s/${theirs}s" "<= 1.20" "$(ratio "$ours" "$theirs")"
compressed=$testdata/test_read_format_rar_binary_data.rar
if [ -f "$compressed" ]; then
  once() {  # tool...: seconds for 20 unpackings of the compressed archive
    local start end
    start=$(date +%s%N)
    for _ in $(seq 20); do rm -rf "$work/x"; mkdir "$work/x"; "$@" >/dev/null 2>&1; done
    end=$(date +%s%N)
    awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f", (b-a)/1e9}'
  }
  o=() t=()
  for _ in $(seq "$rounds"); do
    o+=("$(once "$build/KestrowInstaller.app/Contents/MacOS/unrar" -o- x "$compressed" "$work/x")")
    t+=("$(once bsdtar -xf "$compressed" -C "$work/x")")
  done
  mo=$(median "${o[@]}"); mt=$(median "${t[@]}")
  row "unpack compressed RAR 4 (1 MiB) x20 vs bsdtar" "${mo}s/${mt}s" "<= 1.10" "$(ratio "$mo" "$mt")"
else
  row "unpack compressed RAR vs bsdtar" "no archive" "<= 1.10" "-"
fi

echo "Pause ..." >&2
"$build/kestrow-bench-install" pause 5 2>/dev/null > "$work/pause.txt"
while read -r line; do
  case "$line" in
    "full speed"*|"100 KB/s"*|stalled*)
      name=${line%%  *}
      set -- ${line#"$name"}
      row "Pause to cut transfer, $name (max of 5)" "$2 ms" "<= 50 ms" "$(ratio "$2" 50)"
      [ "$name" = "full speed" ] && resent=$3
      ;;
  esac
done < "$work/pause.txt"
row "bytes sent again after Pause and Resume" "${resent} KiB" "<= 256 KiB" "$(ratio "$resent" 256)"

echo "start-up ..." >&2
read -r ours minimal < <(bash "$here/startup.sh" 15 2>/dev/null | sed -n 's/^median: installer \([0-9.]*\) ms, minimal Qt window \([0-9.]*\) ms.*/\1 \2/p')
row "start-up to window mapped vs minimal Qt window" "${ours}/${minimal} ms" "<= 1.5" "$(ratio "$ours" "$minimal")"

printf "\n%-44s %14s %12s %8s\n" figure measured goal ratio
printf "%s\n" "${rows[@]}"
