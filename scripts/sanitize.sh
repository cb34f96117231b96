#!/usr/bin/env bash
# The whole project and its tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), the test suite run on it, and the
# bundled unpacker run over the real archives beside the project when they
# are there. Any report fails the run (no suppressions: none are needed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@")

testdata=../shared/testdata/rar
if [ -d "$testdata" ]; then
  out=$(mktemp -d /tmp/kestrow-asan-XXXXXX)
  trap 'rm -rf "$out"' EXIT
  count=0
  for archive in "$testdata"/*.rar; do
    case "$archive" in *.part[0-9]*.rar) case "$archive" in *.part1.rar|*.part01.rar|*.part0001.rar) ;; *) continue ;; esac ;; esac
    rm -rf "$out/x"; mkdir "$out/x"
    # Damaged archives are refused with status 1, encrypted ones and links
    # with 3; a sanitizer report aborts with another status and fails the run.
    status=0
    build-asan/KestrowInstaller.app/Contents/MacOS/unrar -o- x "$archive" "$out/x" >/dev/null 2>"$out/err" || status=$?
    case "$status" in 0|1|3) ;; *) echo "unrar on $(basename "$archive"): status $status"; cat "$out/err"; exit 1 ;; esac
    count=$((count + 1))
  done
  echo "unrar under the sanitizers: $count real archives, no report"
fi
