#!/bin/sh
# Runs the disk-fault tests on disks that fill up, refuse writes, lack hard
# links or lose power: small, read-only, noexec, inode-starved and oddly named
# tmpfs mounts, an exFAT image (through its FUSE driver) and an ext4 image
# that can be cut off like a pulled drive, all seen only by this private
# mount namespace. Where no namespace can be made (no root), only the cases
# that need no mount run; where an image cannot be made or mounted, its
# cases are skipped.
#   disk_faults.sh TEST_PROGRAM
set -u
tests=$1
if ! unshare --mount true 2>/dev/null; then
  exec "$tests" --gtest_filter='*InPrivateMounts*'
fi
exec unshare --mount sh -c '
  d=$(mktemp -d) && mkdir "$d/small" "$d/ro" "$d/exfat" "$d/ext4" "$d/noexec" "$d/inodes" "$d/odd" &&
  mount -t tmpfs -o size=4m tmpfs "$d/small" && mount -t tmpfs -o ro,size=1m tmpfs "$d/ro" &&
  mount -t tmpfs -o noexec,size=8m tmpfs "$d/noexec" && mount -t tmpfs -o nr_inodes=12,size=8m tmpfs "$d/inodes" &&
  mount -t tmpfs -o size=8m "host:Studio 100% $(printf "%0330d" 0)" "$d/odd" || exit 1
  export KESTROW_SMALL_DISK=$d/small KESTROW_READONLY_DIR=$d/ro KESTROW_NOEXEC_DIR=$d/noexec \
         KESTROW_FEW_INODES_DIR=$d/inodes KESTROW_ODD_NAMED_DIR=$d/odd
  exfat="" ext4=""
  if truncate -s 32M "$d/exfat.img" && mkfs.exfat "$d/exfat.img" >/dev/null 2>&1 &&
     exfat=$(losetup -f --show "$d/exfat.img" 2>/dev/null) && mount.exfat-fuse "$exfat" "$d/exfat" >/dev/null 2>&1; then
    export KESTROW_EXFAT_DIR="$d/exfat"
  fi
  if truncate -s 64M "$d/ext4.img" && mkfs.ext4 -q "$d/ext4.img" &&
     ext4=$(losetup -f --show "$d/ext4.img" 2>/dev/null) && mount "$ext4" "$d/ext4"; then
    export KESTROW_EXT4_DIR="$d/ext4" KESTROW_EXT4_DEVICE="$ext4"
  fi
  "$1" --gtest_filter="*InPrivateMounts*"
  rc=$?
  umount "$d/exfat" "$d/ext4" 2>/dev/null
  for loop in $exfat $ext4; do losetup -d "$loop"; done
  umount "$d/small" "$d/ro" "$d/noexec" "$d/inodes" "$d/odd"
  rm -rf "$d"
  exit $rc' disk-faults "$tests"
