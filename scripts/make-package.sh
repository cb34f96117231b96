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
cat > "$app/Contents/Resources/kestrow-installer.desktop" <<'ENTRY'
[Desktop Entry]
Type=Application
Name=Kestrow Installer
Comment=Install a purchased Kestrow sample library
Exec="@BUNDLE@/Contents/MacOS/KestrowInstaller"
Icon=@BUNDLE@/Contents/Resources/kestrow-installer.png
Terminal=false
Categories=Audio;AudioVideo;
ENTRY
cat > "$app/add-to-menu.sh" <<'SCRIPT'
#!/bin/sh
# Adds the installer to the desktop's application menu, where this bundle lies now.
set -e
bundle=$(cd "$(dirname "$0")" && pwd)
menu="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
mkdir -p "$menu"
sed "s|@BUNDLE@|$bundle|g" "$bundle/Contents/Resources/kestrow-installer.desktop" > "$menu/kestrow-installer.desktop"
echo "added: $menu/kestrow-installer.desktop"
SCRIPT
chmod 755 "$app/add-to-menu.sh"
mkdir -p "$out"
tarball=$(cd "$out" && pwd)/KestrowInstaller-linux-x86_64.tar.gz
tar -C "$stage" -czf "$tarball" KestrowInstaller.app
echo "$tarball"
