#!/usr/bin/env bash
# The Wayland screenshots: the real program natively on a headless Wayland desktop (sway, as
# the user nobody), in a network namespace with nothing on it: the main window while it
# searches, then the no-device box over it; the windows' pixels are checked as they are taken.
#   tools/wayland-screenshots.sh QVLINK OUTDIR      (as root; writes wayland-*.png)
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
exec "$HERE/../tests/netns-run.sh" "$HERE/../tests/gui/wayland/wayland-session.sh" \
    "$HERE/../tests/gui/wayland/wayland-windows.sh" "$(realpath "$1")" "$HERE/../res/bitmaps" "$(realpath -m "$2")"
