#!/usr/bin/env bash
# End to end on a display (run under xvfb-run): the popups of "zorhost edit" after the person
# moved the host window. The method editor's drop-down lists ("Method Syringe", the template
# box) open at their box, not where the window was; a right click on a number row's edit
# shows the editor's parameter menu (the default, then the run variables of the row's unit),
# not the toolkit's own Undo/Cut/Copy/Paste, and the run variable chosen from it with the
# keyboard becomes the row's value. With "--openbox" openbox runs on the display, and
# the window is moved through it. Synthesized input only (xdotool); a private session bus and a
# folder of its own; stops every process it started.
#
#   edit_popups_e2e.sh BUILD_DIR EXAMPLES_DIR [--openbox]
set -euo pipefail
build=$1 examples=$2 manager=${3:-}
. "$(dirname "$0")/e2e_setup.sh"
display_session "$@"
fail() { fail_showing "edit.err openbox.out" "$*"; }
zorhost=$build/tools/zorhost/zorhost
window_manager_as_asked "$manager"
setup_method_folder_and_plugin || fail "zorhost register"
DISPLAY='' "$zorhost" new "$work/demo.zor" --template "Demo Injection" >/dev/null || fail "zorhost new"
edit_document demo.zor

# The person moves the window far from where it opened.
x0=$(geometry "$main" X)
y0=$(geometry "$main" Y)
xdotool windowmove "$main" $((x0 + 400)) $((y0 + 300))
sleep 1
[ "$(geometry "$main" X)" != "$x0" ] || fail "the window did not move"
editor_x=$(geometry "$editor" X)
editor_y=$(geometry "$editor" Y)

# The windows of zorhost that show now.
zorhost_windows() { xdotool search --onlyvisible --pid "$edit_pid" | sort; }
# A drop-down list opened on the box (201 x 21) at (X, Y) of the editor's design, named NAME: the new
# window must lie at the box, within 40 pixels.
check_list_at() {
  local before after list lx ly lw lh bx by bw bh
  before=$(zorhost_windows)
  click_editor $(($1 + 10)) $(($2 + 10))
  sleep 1
  after=$(zorhost_windows)
  list=$(comm -13 <(echo "$before") <(echo "$after") | head -n 1)
  [ -n "$list" ] || fail "no drop-down list opened on the $3 box"
  lx=$(geometry "$list" X) ly=$(geometry "$list" Y) lw=$(geometry "$list" WIDTH) lh=$(geometry "$list" HEIGHT)
  bx=$((editor_x + $1 * scale_width / 634)) by=$((editor_y + $2 * scale_height / 413))
  bw=$((201 * scale_width / 634)) bh=$((21 * scale_height / 413))
  if [ $((lx - bx)) -gt 40 ] || [ $((bx - lx)) -gt 40 ] || [ "$ly" -gt $((by + bh + 40)) ] ||
    [ $((ly + lh)) -lt $((by - 40)) ]; then
    fail "the $3 list opened at $lx,$ly ($lw x $lh), the box is at $bx,$by ($bw x $bh)"
  fi
  xdotool key Escape
  sleep 0.5
}
check_list_at 16 162 "Method Syringe"
check_list_at 16 18 template

# The second step, "Load Sample": its Volume (row 1, in µl) shows the parameter menu on a
# right click: "Default: SL.volume", then the other run variable in µl, "SL.volume2".
click_editor 60 232
sleep 0.5
click_editor 513 74 3
sleep 1
xdotool key Down Down Return
sleep 0.5
xdotool key Tab
sleep 0.5
menu 18 s
closed_from_menu || fail "zorhost edit did not end after File > Close"
DISPLAY='' "$zorhost" show "$work/demo.zor" >"$work/shown.txt" || fail "zorhost show"
grep -qx "Load Sample(SL.tray,SL.volume2,2)" "$work/shown.txt" || fail "the volume chosen from the menu: $(cat "$work/shown.txt")"
echo "1 passed, 0 failed"
