#!/usr/bin/env bash
# Builds the manifest parser's fuzzer with clang (ASan and UBSan) and runs it
# for a bounded number of executions: fuzz/run_manifest_fuzzer.sh [RUNS]
set -euo pipefail
runs=${1:-10000000}
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-fuzz
mkdir -p "$out"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" "$root/fuzz/manifest_fuzzer.cpp" "$root/order/manifest.cpp" "$root/app/text.cpp" "$root/app/globals.cpp" \
  -o "$out/manifest_fuzzer"
corpus=$(mktemp -d /tmp/kestrow-fuzz-XXXXXX)
trap 'rm -rf "$corpus"' EXIT
cp "$root"/fuzz/seeds/manifest/* "$corpus"/
"$out/manifest_fuzzer" -runs="$runs" -max_len=4096 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
