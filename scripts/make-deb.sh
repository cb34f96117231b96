#!/usr/bin/env bash
# Packs a built bundle as a Debian package: make-deb.sh BUILD_DIR OUT_DIR;
# prints the package's path. The bundle goes to /opt/kestrow/, a launcher to
# /usr/bin/kestrow-installer, its manual page and bash completion, the menu
# entry and icon to their usual places;
# the libraries it needs are read off the binaries by dpkg-shlibdeps.
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=1.3
stage=$(mktemp -d /tmp/kestrow-deb-XXXXXX)
trap 'rm -rf "$stage"' EXIT
root=$stage/root
app=$root/opt/kestrow/KestrowInstaller.app
doc=$root/usr/share/doc/kestrow-installer
install -d "$app/Contents/MacOS" "$root/usr/bin" "$root/usr/share/applications" \
  "$root/usr/share/icons/hicolor/128x128/apps" "$doc" "$root/DEBIAN" "$root/usr/share/man/man1" \
  "$root/usr/share/bash-completion/completions"
for tool in KestrowInstaller unrar; do
  strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    -o "$app/Contents/MacOS/$tool" "$build/KestrowInstaller.app/Contents/MacOS/$tool"
  chmod 755 "$app/Contents/MacOS/$tool"
done
install -m 644 "$build/art/app_icon@2x.png" "$root/usr/share/icons/hicolor/128x128/apps/kestrow-installer.png"
# Started under the name it was called by, so that its messages name it so.
printf '#!/bin/bash\nexec -a kestrow-installer /opt/kestrow/KestrowInstaller.app/Contents/MacOS/KestrowInstaller "$@"\n' \
  > "$root/usr/bin/kestrow-installer"
chmod 755 "$root/usr/bin/kestrow-installer"
source_dir=$(cd "$(dirname "$0")/.." && pwd)
gzip -9n < "$source_dir/docs/kestrow-installer.1" > "$root/usr/share/man/man1/kestrow-installer.1.gz"
install -m 644 "$source_dir/docs/kestrow-installer.bash-completion" \
  "$root/usr/share/bash-completion/completions/kestrow-installer"
chmod 644 "$root/usr/share/man/man1/kestrow-installer.1.gz"
cat > "$root/usr/share/applications/kestrow-installer.desktop" <<'ENTRY'
[Desktop Entry]
Type=Application
Name=Kestrow Installer
Comment=Install a purchased Kestrow sample library
Exec=kestrow-installer
Icon=kestrow-installer
Terminal=false
Categories=Audio;AudioVideo;
StartupWMClass=KestrowInstaller
ENTRY
cat > "$doc/copyright" <<'TEXT'
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: kestrow-installer

Files: *
Copyright: 2026 Kestrow
License: proprietary
 Distributed by Kestrow to the buyers of its sample libraries.
TEXT
printf 'kestrow-installer (%s) stable; urgency=medium\n\n  * Release %s.\n\n -- Kestrow <installer@kestrow-audio.com>  %s\n' \
  "$version" "$version" "$(date -R -d @"${SOURCE_DATE_EPOCH:-$(date +%s)}")" | gzip -9n > "$doc/changelog.gz"
chmod 644 "$doc/copyright" "$doc/changelog.gz"
# An add-on from outside the distribution belongs in /opt (the FHS says so);
# lintian, which speaks for the distribution's own packages, is told.
install -d "$root/usr/share/lintian/overrides"
printf 'kestrow-installer: dir-or-file-in-opt [opt/*]\n' > "$root/usr/share/lintian/overrides/kestrow-installer"
chmod 644 "$root/usr/share/lintian/overrides/kestrow-installer"

# The libraries the binaries link; what they load at run time is added by
# hand: the windowing plugins and the certificate authorities.
mkdir -p "$stage/debian"
printf 'Source: kestrow-installer\n\nPackage: kestrow-installer\nArchitecture: amd64\n' > "$stage/debian/control"
shlibs=$(cd "$stage" && dpkg-shlibdeps -O "$app/Contents/MacOS/KestrowInstaller" "$app/Contents/MacOS/unrar" 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
cat > "$root/DEBIAN/control" <<CONTROL
Package: kestrow-installer
Version: $version
Architecture: amd64
Maintainer: Kestrow <installer@kestrow-audio.com>
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $shlibs, qt6-qpa-plugins, ca-certificates, fonts-dejavu-core
Section: sound
Priority: optional
Homepage: https://www.kestrow-audio.com
Description: installer for purchased Kestrow sample libraries
 Takes the purchase code of an order, checks a destination folder and its
 free space, downloads the order over HTTPS with pause and resume, and
 unpacks its archives. Also runs without a window, for deployment scripts:
 kestrow-installer --code CODE --dest DIR.
CONTROL
deb=$out/kestrow-installer_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
