#!/bin/sh
# Adds the installer to the desktop's application menu, where this bundle lies
# now; "add-to-menu.sh --remove" takes it out again.
set -eu
bundle=$(cd "$(dirname "$0")" && pwd)
menu="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
entry="$menu/kestrow-installer.desktop"
if [ "${1:-}" = "--remove" ]; then
  rm -f "$entry"
  command -v update-desktop-database >/dev/null 2>&1 && update-desktop-database "$menu" 2>/dev/null || true
  printf 'removed: %s\n' "$entry"
  exit 0
fi
case "$bundle" in
  *'
'*) echo "add-to-menu.sh: a folder name with a line break cannot be put in a menu entry" >&2; exit 1 ;;
esac

# The escaping of desktop entries: every value writes a backslash as two; an
# Exec argument is also double-quoted, with " ` $ and \ escaped inside and %
# written as %% (a lone % starts a field code).
value() { printf '%s' "$1" | sed -e 's/\\/\\\\/g'; }
argument() { printf '"%s"' "$(printf '%s' "$1" | sed -e 's/[\\"`$]/\\&/g' -e 's/%/%%/g')"; }

mkdir -p "$menu"
partial=$(mktemp "$menu/.kestrow-installer-XXXXXX")
{
  echo "[Desktop Entry]"
  echo "Type=Application"
  echo "Name=Kestrow Installer"
  echo "Comment=Install a purchased Kestrow sample library"
  printf 'Exec=%s\n' "$(value "$(argument "$bundle/Contents/MacOS/KestrowInstaller")")"
  printf 'Icon=%s\n' "$(value "$bundle/Contents/Resources/kestrow-installer.png")"
  echo "Terminal=false"
  echo "Categories=Audio;AudioVideo;"
  echo "StartupWMClass=KestrowInstaller"
} > "$partial"
chmod 644 "$partial"
mv "$partial" "$entry"  # never a half-written entry in the menu
command -v update-desktop-database >/dev/null 2>&1 && update-desktop-database "$menu" 2>/dev/null || true
printf 'added: %s\n' "$entry"
