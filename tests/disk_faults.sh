#!/bin/sh
# Runs the disk-fault tests on disks that fill up and refuse writes: a small
# and a read-only tmpfs mount that only this private mount namespace sees.
# Where no namespace can be made, only the case that needs no mount runs (a
# folder removed mid-download).
#   disk_faults.sh TEST_PROGRAM
set -u
tests=$1
if ! unshare --mount true 2>/dev/null; then
  exec "$tests" --gtest_filter='*InPrivateMounts*'
fi
exec unshare --mount sh -c '
  d=$(mktemp -d) && mkdir "$d/small" "$d/ro" &&
  mount -t tmpfs -o size=4m tmpfs "$d/small" && mount -t tmpfs -o ro,size=1m tmpfs "$d/ro" || exit 1
  KESTROW_SMALL_DISK=$d/small KESTROW_READONLY_DIR=$d/ro "$1" --gtest_filter="*InPrivateMounts*"
  rc=$?
  umount "$d/small" "$d/ro"
  rm -rf "$d"
  exit $rc' disk-faults "$tests"
