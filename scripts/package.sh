#!/usr/bin/env bash
# Builds, then packs the application bundle for Debian 12 into
# dist/KestrowInstaller-linux-x86_64.tar.gz (the runtime packages it needs are
# listed in the README).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
bash scripts/make-package.sh build dist
