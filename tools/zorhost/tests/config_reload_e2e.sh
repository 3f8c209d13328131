#!/usr/bin/env bash
# End to end on a display (run under xvfb-run): "Get Configuration from Zor" in the
# configuration dialog shows that it works and that it ended. A person in "zorhost config"
# clicks the button while Zorrun runs on zorsim (which sends at the line's own pace): the
# dialog's caption says "Receiving configuration from Zor" while Zorrun receives, and is its
# own again once the upload is over. Runs on a private session bus, in a folder of its own;
# stops every process it started.
#
#   config_reload_e2e.sh BUILD_DIR EXAMPLES_DIR
set -euo pipefail
build=$1 examples=$2

. "$(dirname "$0")/e2e_setup.sh"
display_session "$@"
config_pid="" zorsim_pid=""
stop_all() { stop_processes $config_pid $zorsim_pid; }
trap stop_all EXIT
fail() {
  echo "FAILED: $*"
  for f in config.err zorsim.err; do [ -s "$work/$f" ] && { echo "== $f"; cat "$work/$f"; }; done
  exit 1
}
zorhost=$build/tools/zorhost/zorhost
setup_method_folder_and_plugin || fail "zorhost register"
start_zorsim --pace || fail "zorsim did not start"
"$build/driver/zorrun/Zorrun" -RegServer || fail "Zorrun -RegServer"

# A window of exactly this name, looked for every 50 ms until it shows (at most 60 s).
appears() {
  for _ in $(seq 1200); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  return 1
}

"$zorhost" config >"$work/config.out" 2>"$work/config.err" &
config_pid=$!
config=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zor Configuration$' | head -n 1) || true
[ -n "$config" ] || fail "no window \"Zor Configuration\""
# A point of the dialog's design (client area 322 x 223) on the screen, clicked.
width=$(xdotool getwindowgeometry --shell "$config" | sed -n 's/^WIDTH=//p')
height=$(xdotool getwindowgeometry --shell "$config" | sed -n 's/^HEIGHT=//p')
click_form() { xdotool mousemove --window "$config" $(($1 * width / 322)) $(($2 * height / 223)) click 1; }

click_form 160 172   # Get Configuration from Zor
appears "Zor Configuration - Receiving configuration from Zor" || fail "the dialog gave no sign of the upload"
appears "Zor Configuration" || fail "the dialog gave no sign that the upload ended"
grep -q "GET_CONFIG" "$work/transcript.txt" || fail "Zorrun did not ask for the configuration"
grep -q "GET_FW_VERSION" "$work/transcript.txt" || fail "the upload did not run to its end"

click_form 275 204   # OK
code=0
wait_bounded "$config_pid" || code=$?
config_pid=""
[ "$code" = 0 ] || fail "zorhost config exited with $code (124: did not end)"
echo "the configuration dialog showed the upload and its end"
