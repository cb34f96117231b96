#!/usr/bin/env bash
# Sets up, builds and starts the installer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec build/KestrowInstaller.app/Contents/MacOS/KestrowInstaller "$@"
