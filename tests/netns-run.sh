#!/bin/sh
# Runs a test program in a throwaway network namespace that has only loopback, with a default
# route over it so that the search picks 127.0.0.1 as its interface.
exec unshare --net sh -c 'ip link set lo up && ip route add default dev lo src 127.0.0.1 && exec "$0" "$@"' "$@"
