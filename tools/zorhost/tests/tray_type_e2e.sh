#!/usr/bin/env bash
# End to end on a display (run under xvfb-run): "zorhost tray Tray2" with Zorrun on zorsim; the
# person right-clicks Tray2 in the holder picture and chooses the tray type VT96 from the menu
# (synthesized input only, xdotool). The choice's handler waits for Zorrun while the menu has
# closed: zorhost must live on, the instrument must be told the new type, and the dialog then
# ends as the person closes it, printing its answer. Runs on a private session bus, in a folder
# of its own; stops every process it started.
#
#   tray_type_e2e.sh BUILD_DIR EXAMPLES_DIR
set -euo pipefail
build=$1 examples=$2

. "$(dirname "$0")/e2e_setup.sh"
display_session "$@"
zorsim_pid="" tray_pid=""
stop_all() { stop_processes $tray_pid $zorsim_pid; }
trap stop_all EXIT
fail() { fail_showing "tray.out tray.err zorsim.err" "$*"; }
setup_method_folder_and_plugin || fail "zorhost register"
start_zorsim || fail "zorsim did not start"
"$build/driver/zorrun/Zorrun" -RegServer || fail "Zorrun -RegServer"

"$build/tools/zorhost/zorhost" tray Tray2 >"$work/tray.out" 2>"$work/tray.err" &
tray_pid=$!
trays=$(timeout 30 xdotool search --sync --onlyvisible --name '^Trays$' | head -n 1) || true
[ -n "$trays" ] || fail "no window \"Trays\""
# The dialog at its designed size (632 x 443 client pixels): the scale of a point of its design.
width=$(xdotool getwindowgeometry --shell "$trays" | sed -n 's/^WIDTH=//p')
height=$(xdotool getwindowgeometry --shell "$trays" | sed -n 's/^HEIGHT=//p')
at_form() { echo $(($1 * width / 632)) $(($2 * height / 443)); }

# Tray2 lies in the right half of the holder picture (8, 232, 145 x 150): the front drawer's
# two trays side by side, Tray2 from 80 mm on.
xdotool mousemove --window "$trays" $(at_form 120 250) click 3
sleep 1
# The menu offers the types of group A in the model's order: VT96, VT96BC, MT96.
xdotool key Down Return

# The instrument is told the new type (bounded wait: a dead zorhost never sends it).
for _ in $(seq 300); do
  grep -q "DLD_OBJ TRAY;Tray2;VT96;" "$work/transcript.txt" 2>/dev/null && break
  kill -0 "$tray_pid" 2>/dev/null || break
  sleep 0.1
done
sleep 1
if ! kill -0 "$tray_pid" 2>/dev/null; then
  code=0
  wait "$tray_pid" || code=$?
  tray_pid=""
  fail "zorhost died ($code) once the tray type was chosen"
fi
grep -q "DLD_OBJ TRAY;Tray2;VT96;" "$work/transcript.txt" || fail "zorsim was not told Tray2's new type"

# The person closes the dialog; zorhost answers and ends well.
xdotool mousemove --window "$trays" $(at_form 500 352) click 1
code=0
wait_bounded "$tray_pid" || code=$?
tray_pid=""
[ "$code" = 0 ] || fail "zorhost tray exited with $code (124: did not end)"
grep -q "^VisualizeList: " "$work/tray.out" || fail "zorhost tray printed no answer: $(cat "$work/tray.out")"
echo "1 passed, 0 failed"
