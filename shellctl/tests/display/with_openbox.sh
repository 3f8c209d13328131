#!/usr/bin/env bash
# Runs a command on the display with openbox as its window manager (run under xvfb-run):
# where the focus matters, the windows then get it as a window manager gives it.
#
#   with_openbox.sh COMMAND [ARGUMENT...]
set -uo pipefail
openbox --sm-disable >/dev/null 2>&1 &
manager=$!
stop() {
  kill -TERM "$manager" 2>/dev/null
  wait "$manager" 2>/dev/null
}
trap stop EXIT
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break; sleep 0.1; done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" || { echo "openbox did not start"; exit 1; }
"$@"
