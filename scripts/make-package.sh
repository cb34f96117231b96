#!/usr/bin/env bash
# Packs a built bundle: make-package.sh BUILD_DIR OUT_DIR; prints the tarball's path.
set -euo pipefail
build=$1
out=$2
stage=$(mktemp -d /tmp/kestrow-package-XXXXXX)
trap 'rm -rf "$stage"' EXIT
app=$stage/KestrowInstaller.app
mkdir -p "$app/Contents/MacOS" "$app/Contents/Resources"
for tool in KestrowInstaller unrar; do
  strip --strip-debug -o "$app/Contents/MacOS/$tool" "$build/KestrowInstaller.app/Contents/MacOS/$tool"
done
cp "$build/art/app_icon@2x.png" "$app/Contents/Resources/kestrow-installer.png"
install -m 755 "$(dirname "$0")/../tools/desktop/add-to-menu.sh" "$app/add-to-menu.sh"
mkdir -p "$out"
tarball=$(cd "$out" && pwd)/KestrowInstaller-linux-x86_64.tar.gz
tar -C "$stage" -czf "$tarball" KestrowInstaller.app
echo "$tarball"
