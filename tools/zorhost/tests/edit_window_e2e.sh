#!/usr/bin/env bash
# End to end on a display (run under xvfb-run): "zorhost edit" shows the host window with the
# plug-in's method editor in it; a person, through synthesized input only (xdotool), selects
# the step "Rinse Needle", changes its "Times" from 2 to 3, is asked before closing with the
# change unsaved, saves from the File menu and closes; chooses every vial of Tray1 in the tray
# dialog and closes the configuration dialog. Zorrun then runs the document on zorsim, and the
# instrument is told to wash three times. A method longer than the editor shows: the person
# enlarges the host window, and the step list and the parameter rows grow with it, so a step
# and a row that were out of sight are chosen and changed by a click; the window is not made
# smaller than the editor. Runs on a private session bus, in a folder of its own; stops every
# process it started.
#
#   edit_window_e2e.sh BUILD_DIR EXAMPLES_DIR
set -euo pipefail
build=$1 examples=$2
. "$(dirname "$0")/e2e_setup.sh"
display_session "$@"
zorhost=$build/tools/zorhost/zorhost
setup_method_folder_and_plugin || fail "zorhost register"
DISPLAY='' "$zorhost" new "$work/demo.zor" --template "Demo Injection" >/dev/null || fail "zorhost new"

edit_document demo.zor
# A line of the step list clicked, then the edit of parameter row R (from 0) in the same
# column: the old value rubbed out from its end, VALUE typed, Tab to the next control. (The
# edit keeps no selection on the screen yet: every redraw sets its maximum length, which puts
# the caret at the end and drops the selection, so Ctrl+A or a double click would not replace
# the value.)
change_step() {
  click_editor 60 "$1"
  sleep 0.5
  click_editor 513 $((50 + 24 * $2))
  sleep 0.3
  xdotool key End BackSpace BackSpace
  xdotool type --delay 50 "$3"
  xdotool key Tab
  sleep 0.5
}
# The first step, "Rinse Needle", its "Times" (the second row) made 3.
change_step 219 1 3

# Closed with the change unsaved: the host asks; Escape keeps the window open.
menu 18 c
question=$(timeout 10 xdotool search --sync --onlyvisible --name '^zorhost$' | head -n 1) || true
[ -n "$question" ] || fail "closing with an unsaved change asked nothing"
xdotool key Escape
sleep 0.5
kill -0 "$edit_pid" 2>/dev/null || fail "the window closed although the person cancelled"

# The host sizes the editor with its window.
xdotool windowsize "$main" 1000 700
sleep 0.5
[ "$(geometry "$editor" WIDTH)" = 1000 ] || fail "the editor is $(geometry "$editor" WIDTH) wide in a window 1000 wide"
main_height=$(geometry "$main" HEIGHT)
editor_height=$(geometry "$editor" HEIGHT)
[ "$editor_height" -gt "$scale_height" ] || fail "the editor did not grow with the window"

# Saved, then closed: no question, zorhost ends.
save_and_close() {
  menu 18 s
  closed_from_menu || fail "zorhost edit did not end after Save and Close"
}
save_and_close
DISPLAY='' "$zorhost" show "$work/demo.zor" >"$work/shown.txt" || fail "zorhost show"
grep -qx "Rinse Needle(Wash2,3)" "$work/shown.txt" || fail "the saved method: $(cat "$work/shown.txt")"

# A method of 40 steps of a macro with 16 parameters: more lines than the step list shows and
# more rows than the parameter panel shows at the editor's designed size.
{
  echo "// Rinses as often as its last row says."
  echo "Station;WASH_STATION"
  for n in $(seq 2 16); do echo "R$n ();2;1;10"; done
  printf 'REPEAT(R16)\nWASH(Station,1)\nEND()\n'
} >"$work/methods/Many Rows.pma"
step="Many Rows(Wash2$(printf ',2%.0s' $(seq 2 16)))"
{
  echo "syringe:10ul"
  for _ in $(seq 40); do echo "$step"; done
} >"$work/methods/Many Steps.PME"
DISPLAY='' "$zorhost" new "$work/long.zor" --template "Many Steps" >/dev/null || fail "zorhost new long.zor"
edit_document long.zor
# At the designed size: the last line the step list shows (its bottom is at 374), its R2 made 3.
change_step 368 1 3
# Enlarged: the editor follows the window; a line below the list's designed bottom, and row 15
# (R16, at 400) below the panel's designed bottom (388), chosen and changed to 4.
xdotool windowsize "$main" 1100 950
sleep 0.5
[ "$(geometry "$editor" WIDTH)" = "$(geometry "$main" WIDTH)" ] || fail "the editor is not as wide as the window"
[ "$(geometry "$editor" HEIGHT)" -gt "$scale_height" ] || fail "the editor did not grow with the window"
change_step 420 15 4
# Made smaller than the editor: the window keeps the editor's designed size, and the first
# step is still chosen and changed (its R2 to 5).
xdotool windowsize "$main" 400 300
sleep 0.5
[ "$(geometry "$editor" WIDTH)x$(geometry "$editor" HEIGHT)" = "${scale_width}x$scale_height" ] \
  || fail "the editor is $(geometry "$editor" WIDTH)x$(geometry "$editor" HEIGHT), below its designed size"
change_step 219 1 5
save_and_close
DISPLAY='' "$zorhost" show "$work/long.zor" >"$work/long.txt" || fail "zorhost show long.zor"
steps=$(grep -c "^Many Rows(" "$work/long.txt" || true)
[ "$steps" = 40 ] || fail "the saved long method has $steps steps: $(cat "$work/long.txt")"
first=$(grep -n "^Many Rows(" "$work/long.txt" | head -n 1 | cut -d: -f1)
line_of() { { grep -nxF "$1" "$work/long.txt" || true; } | cut -d: -f1 | tr '\n' ' '; }
fives=$(line_of "Many Rows(Wash2,5$(printf ',2%.0s' $(seq 3 16)))")
threes=$(line_of "Many Rows(Wash2,3$(printf ',2%.0s' $(seq 3 16)))")
fours=$(line_of "Many Rows(Wash2$(printf ',2%.0s' $(seq 2 15)),4)")
[ "$fives" = "$first " ] || fail "the first step's R2 is not 5 alone: $(cat "$work/long.txt")"
[ -n "$threes" ] && [ -n "$fours" ] && [ "${threes// /}" -lt "${fours// /}" ] && [ "${threes// /}" -gt "$first" ] \
  || fail "no later step below the designed list was changed: $(cat "$work/long.txt")"
[ "$(grep -cxF "$step" "$work/long.txt")" = 37 ] || fail "other steps changed: $(cat "$work/long.txt")"

# The tray dialog and the configuration dialog for the person, who chooses; zorhost prints what.
# A point of their design is scaled as the editor's (the same font).
"$zorhost" tray Tray1 >"$work/tray.out" 2>"$work/edit.err" &
edit_pid=$!
trays=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trays$' | head -n 1) || true
[ -n "$trays" ] || fail "no window \"Trays\""
click_form "$trays" 410 384   # Select All
sleep 0.3
click_form "$trays" 410 352   # Add vials
code=0
wait_bounded "$edit_pid" || code=$?
edit_pid=""
[ "$code" = 0 ] || fail "zorhost tray exited with $code (124: did not end)"
grep -qx "VisualizeList: 0x00000000" "$work/tray.out" || fail "zorhost tray: $(head -n 3 "$work/tray.out")"
[ "$(grep -c "^Tray1:" "$work/tray.out")" = 96 ] || fail "zorhost tray: not the 96 vials of Tray1"
"$zorhost" config >"$work/config.out" 2>"$work/edit.err" &
edit_pid=$!
config=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zor Configuration' | head -n 1) || true
[ -n "$config" ] || fail "no window \"Zor Configuration\""
click_form "$config" 275 204   # Done
code=0
wait_bounded "$edit_pid" || code=$?
edit_pid=""
[ "$code" = 0 ] || fail "zorhost config exited with $code (124: did not end)"
grep -qx "LaunchConfigDialog: 0x00000000" "$work/config.out" || fail "zorhost config: $(cat "$work/config.out")"

# The document run on zorsim: the rinse washes three times.
start_zorsim || fail "zorsim did not start"
"$build/driver/zorrun/Zorrun" -RegServer || fail "Zorrun -RegServer"
"$build/tools/zorctl/zorctl" run "$work/demo.zor" Tray2:5 --volume 1 --timeout 120 >"$work/run.txt" 2>&1 \
  || fail "zorctl run: $(cat "$work/run.txt")"
washes=$(grep -c "RX <STX>.WASH(Wash2,1" "$work/transcript.txt" || true)
[ "$washes" = 3 ] || fail "the instrument was told to wash $washes times, not 3"
echo "1 passed, 0 failed"
