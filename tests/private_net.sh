#!/bin/sh
# Runs the tests whose name lookups must fail where only loopback exists, so
# that no query leaves the machine. Where no network namespace can be made
# (no root), they run without one and skip, saying why.
#   private_net.sh TEST_PROGRAM
set -u
if ! unshare --net true 2>/dev/null; then
  exec "$1" --gtest_filter='*HostNotFound*'
fi
exec unshare --net sh -c 'ip link set lo up && KESTROW_PRIVATE_NET=1 exec "$0" --gtest_filter="*HostNotFound*"' "$1"
