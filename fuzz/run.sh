#!/usr/bin/env bash
# Builds a fuzzer with clang (libFuzzer, ASan and UBSan) and runs it for a
# bounded number of executions:
#   fuzz/run.sh manifest [RUNS=10000000]     the manifest parser
#   fuzz/run.sh rar_layout [RUNS=1000000]    the unpacker's header reader
set -euo pipefail
target=${1:?usage: fuzz/run.sh manifest|rar_layout [RUNS]}
root=$(cd "$(dirname "$0")/.." && pwd)
case $target in
  # The parser instrumented; the rest of the installer (the entry check asks
  # the client's URL parser and Qt) from the build, as it is.
  manifest)   runs=${2:-10000000}; seeds=manifest; sources=(order/manifest.cpp platform/text.cpp)
              [ -f "$root/build/libkestrow.a" ] || bash "$root/scripts/build.sh" >/dev/null
              deps=$(pkg-config --cflags --libs Qt6Widgets Qt6DBus libcurl openssl)
              read -r -a libs <<< "-fPIC $root/build/libkestrow.a $root/build/libkplatform.a $deps" ;;
  rar_layout) runs=${2:-1000000}; seeds=rar; libs=(-lz)
              sources=(tools/unrar/layout.cpp tools/unrar/rar4_headers.cpp tools/unrar/rar5_headers.cpp
                       tools/unrar/volume_names.cpp tools/unrar/crc32.cpp) ;;
  *) echo "unknown fuzzer: $target" >&2; exit 2 ;;
esac
out=$root/build-fuzz
mkdir -p "$out"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$root" \
  "$root/fuzz/${target}_fuzzer.cpp" "${sources[@]/#/$root/}" "${libs[@]}" -o "$out/${target}_fuzzer"
corpus=$(mktemp -d /tmp/kestrow-fuzz-XXXXXX)
trap 'rm -rf "$corpus"' EXIT
cp "$root/fuzz/seeds/$seeds"/* "$corpus"/
"$out/${target}_fuzzer" -runs="$runs" -max_len=8192 -print_final_stats=1 "$corpus" 2>&1 | tail -n 8
