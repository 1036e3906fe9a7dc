#!/usr/bin/env bash
# One session of test_keyring.sh, run inside dbus-run-session: starts the keyring the mode
# wants, runs the test binary's cases for that mode, ends the keyring.
#   keyring_inner.sh BINARY running|hung|none
set -u
binary=$1 mode=$2
source "$(dirname "$0")/keyring.sh"
trap keyring_stop EXIT
case "$mode" in
    running) keyring_start || exit 1 ;;
    hung) keyring_start || exit 1
          # It keeps its bus name but answers nothing from now on.
          kill -STOP "$KEYRING_PID" ;;
esac
"$binary" --gtest_brief=1
