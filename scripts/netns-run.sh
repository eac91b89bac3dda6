#!/usr/bin/env bash
# Runs a command inside a private network namespace with only loopback up, so that
# nothing it does can send a packet off this machine. Tests that need a broadcast LAN
# make their own veth pairs inside it.
set -euo pipefail
if [ "${CAMFLEET_IN_NETNS:-}" = 1 ]; then exec "$@"; fi
flags=(-n)
[ "$(id -u)" -eq 0 ] || flags=(-r -n)
exec unshare "${flags[@]}" -- env CAMFLEET_IN_NETNS=1 bash -c 'ip link set lo up && exec "$@"' netns-run "$@"
