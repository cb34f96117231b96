#!/usr/bin/env bash
# Builds the unpacker's header-reader fuzzer with clang (ASan and UBSan) and
# runs it for a bounded number of executions: fuzz/run_rar_layout_fuzzer.sh [RUNS]
set -euo pipefail
runs=${1:-1000000}
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-fuzz
mkdir -p "$out"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" "$root/fuzz/rar_layout_fuzzer.cpp" "$root/tools/unrar/layout.cpp" "$root/tools/unrar/crc32.cpp" -lz \
  -o "$out/rar_layout_fuzzer"
corpus=$(mktemp -d /tmp/kestrow-fuzz-XXXXXX)
trap 'rm -rf "$corpus"' EXIT
cp "$root"/fuzz/seeds/rar/* "$corpus"/
"$out/rar_layout_fuzzer" -runs="$runs" -max_len=8192 -print_final_stats=1 "$corpus" 2>&1 | tail -n 8
