#!/usr/bin/env bash
# Builds, then packs the application bundle for Debian 12 into
# dist/KestrowInstaller-linux-x86_64.tar.gz (the runtime packages it needs are
# listed in the README) and dist/kestrow-installer_1.3_amd64.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
bash scripts/make-package.sh build dist
bash scripts/make-deb.sh build dist
