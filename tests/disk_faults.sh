#!/bin/sh
# Runs the disk-fault tests on disks that fill up, refuse writes or lack hard
# links: a small and a read-only tmpfs mount and an exFAT image (through its
# FUSE driver), which only this private mount namespace sees. Where no
# namespace can be made (no root), only the case that needs no mount runs (a
# folder removed mid-download); where the exFAT image cannot be mounted, its
# cases are skipped.
#   disk_faults.sh TEST_PROGRAM
set -u
tests=$1
if ! unshare --mount true 2>/dev/null; then
  exec "$tests" --gtest_filter='*InPrivateMounts*'
fi
exec unshare --mount sh -c '
  d=$(mktemp -d) && mkdir "$d/small" "$d/ro" "$d/exfat" &&
  mount -t tmpfs -o size=4m tmpfs "$d/small" && mount -t tmpfs -o ro,size=1m tmpfs "$d/ro" || exit 1
  loop=""
  if truncate -s 32M "$d/exfat.img" && mkfs.exfat "$d/exfat.img" >/dev/null 2>&1 &&
     loop=$(losetup -f --show "$d/exfat.img" 2>/dev/null) && mount.exfat-fuse "$loop" "$d/exfat" >/dev/null 2>&1; then
    export KESTROW_EXFAT_DIR="$d/exfat"
  fi
  KESTROW_SMALL_DISK=$d/small KESTROW_READONLY_DIR=$d/ro "$1" --gtest_filter="*InPrivateMounts*"
  rc=$?
  [ -n "${KESTROW_EXFAT_DIR:-}" ] && umount "$d/exfat"
  [ -n "$loop" ] && losetup -d "$loop"
  umount "$d/small" "$d/ro"
  rm -rf "$d"
  exit $rc' disk-faults "$tests"
