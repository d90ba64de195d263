#!/bin/sh
# Runs a test program inside a private network namespace whose only interface
# is loopback, with 127.0.0.1 and 127.0.0.2 to 127.0.0.9 up, so that nothing
# the test does can reach another machine. Exits 77 (skipped) where no
# namespace can be made.
set -u
if [ "${OPTIVANE_IN_NETNS:-}" != "1" ]; then
  if [ "$(id -u)" = "0" ]; then
    set -- unshare -n -- "$0" "$@"
  else
    set -- unshare -rn -- "$0" "$@"
  fi
  if ! unshare -n true 2>/dev/null && ! unshare -rn true 2>/dev/null; then
    echo "SKIPPED: no private network namespace can be made here (unshare -n / -rn refused)" >&2
    exit 77
  fi
  OPTIVANE_IN_NETNS=1 exec "$@"
fi
ip link set lo up || { echo "cannot bring loopback up in the namespace" >&2; exit 1; }
for host in 2 3 4 5 6 7 8 9; do
  ip addr add 127.0.0.$host/8 dev lo 2>/dev/null || true
done
exec "$@"
