#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Safe to run again: apt skips what is already there.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  # GUI
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
  qt6-qpa-plugins
  # network and archives
  libcurl4-openssl-dev libssl-dev openssl ca-certificates libarchive-dev libarchive-tools zlib1g-dev
  # tests and their real peers
  libgtest-dev libgmock-dev libcpp-httplib-dev tinyproxy unar curl
  xvfb xauth procps util-linux iproute2 desktop-file-utils lintian bash-completion
  # the fleet's playbook, run against this machine (python3-apt for its apt module)
  ansible-core python3-apt
  # an exFAT disk (no hard links, no no-replace renames) for the disk-fault tests
  exfat-fuse exfatprogs
  # driving the real window for the README's screenshots
  xdotool imagemagick
  # the start-up benchmark times windows from outside
  libx11-dev
  # the order benchmark serves the files as a vendor would, from nginx (started
  # by the benchmark on a port of its own; the package's own service is not used)
  nginx
  # fonts for the page artwork
  fonts-dejavu-core fonts-liberation2
)

need=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
# The tests start their own tinyproxy on a port of their own: a proxy the
# machine runs already (the package's, or the user's) is left alone.
exit 0
