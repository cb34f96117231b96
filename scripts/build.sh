#!/usr/bin/env bash
# Installs what the project needs, then configures and builds it into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# CI=true (as CI sets it) makes every warning an error.
werror=OFF
[ "${CI:-}" = true ] && werror=ON
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROW_WERROR=$werror >/dev/null
cmake --build build
