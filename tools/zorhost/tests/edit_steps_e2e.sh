#!/usr/bin/env bash
# End to end on a display (run under xvfb-run): what the editor of "zorhost edit" does with the
# steps a person works on. File > New empties the right panel, and Close then asks nothing. An
# invalid value left for another step is refused with one box while the step list stays on the
# step the person is kept on. ZOR > Reload Zor Configuration, with Zorrun on zorsim, changes no
# step's value that is not an object of the configuration ("SL.tray" stays "SL.tray"). Runs on
# a private session bus, in a folder of its own, with openbox as the window manager when asked;
# stops every process it started.
#
#   edit_steps_e2e.sh BUILD_DIR EXAMPLES_DIR [--openbox]
set -euo pipefail
build=$1 examples=$2 manager=${3:-}
. "$(dirname "$0")/e2e_setup.sh"
display_session "$@"
zorhost=$build/tools/zorhost/zorhost
window_manager_as_asked "$manager"
setup_method_folder_and_plugin || fail "zorhost register"
DISPLAY='' "$zorhost" new "$work/demo.zor" --template "Demo Injection" >/dev/null || fail "zorhost new"
edit_document demo.zor
# Waits (at most 20 s) until the region's look is no longer LOOK.
changes_from() {
  local look=$1
  shift
  for _ in $(seq 200); do [ "$(editor_region "$@")" != "$look" ] && return 0; sleep 0.1; done
  return 1
}
rows=(245 40 370 340)  # the parameter rows, below the step's header
# Step lines in the list, from 01.
step_line() { echo $((219 + 13 * ($1 - 1))); }

# The first step chosen: its rows show. File > New: they go, and Close asks nothing.
click_editor 60 "$(step_line 1)"
sleep 0.5
with_rows=$(editor_region "${rows[@]}")
[ "$with_rows" != "$(echo "$with_rows" | sed 's/colours=[0-9]*/colours=1/')" ] || fail "no rows show for step 01"
menu 18 n
changes_from "$with_rows" "${rows[@]}" || fail "the rows did not change after File > New"
case "$(editor_region "${rows[@]}")" in colours=1\ *) ;; *) fail "rows still show after File > New" ;; esac
closed_from_menu || fail "Close after File > New did not end zorhost edit (it asked to save?)"

# Times = "abc" on step 01, then a click on step 03: one box, the list stays on step 01.
edit_document demo.zor
click_editor 60 "$(step_line 1)"
sleep 0.5
click_editor 513 74
sleep 0.3
xdotool key End BackSpace
xdotool type abc
# The left of the line of step 03, clear of the box (its look does not depend on whether the
# window is active, as a highlighted line's does).
line3=(18 $(($(step_line 3) - 5)) 90 10)
before=$(editor_region "${line3[@]}")
click_editor 60 "$(step_line 3)"
box=$(timeout 10 xdotool search --sync --onlyvisible --name '^Error$' | head -n 1) || true
[ -n "$box" ] || fail "no error box for Times abc"
for _ in $(seq 50); do [ "$(editor_region "${line3[@]}")" = "$before" ] && break; sleep 0.1; done
[ "$(editor_region "${line3[@]}")" = "$before" ] || fail "step 03 is highlighted while the box shows"
xdotool key Escape
# The host window resized, and the editor following it: whatever the refusal showed next is up
# by then.
xdotool windowsize "$main" 900 600
for _ in $(seq 200); do [ "$(geometry "$editor" WIDTH)" = 900 ] && break; sleep 0.1; done
[ "$(geometry "$editor" WIDTH)" = 900 ] || fail "the editor did not follow the window"
boxes=$({ xdotool search --onlyvisible --name '^Error$' || true; } | wc -l)
[ "$boxes" = 0 ] || fail "$boxes more error boxes after the first"
# Still on step 01: its Times made 5 and saved.
click_editor 513 74
sleep 0.3
xdotool key End BackSpace BackSpace BackSpace
xdotool type 5
xdotool key Tab
menu 18 s
saved_line demo.zor "Rinse Needle(Wash2,5)" || fail "the person was not kept on step 01: $(shown demo.zor)"
saved_line demo.zor "Wait For Start()" || fail "step 03 changed: $(shown demo.zor)"
closed_from_menu || fail "zorhost edit did not end after Close"

# A step with a tray row on "SL.tray" and a wash station row on "Wash2"; the instrument's own
# configuration has no Wash2. Reloaded through the ZOR menu, the station row takes the first
# station, and the tray row stays "SL.tray".
printf '// Draws from the vial, then rinses.\nTray;TRAY\nStation;WASH_STATION\nMOVE_TO_VIAL(Tray,SL.index,10)\nWASH(Station,1)\n' \
  >"$work/methods/Fetch And Rinse.pma"
printf '//Fetch and rinse.\nsyringe:10ul\nFetch And Rinse(SL.tray,Wash2)\n' >"$work/methods/Fetch.PME"
DISPLAY='' "$zorhost" new "$work/fetch.zor" --template Fetch >/dev/null || fail "zorhost new fetch.zor"
sed 's/;Wash2;/;Wash3;/' "$examples/zor_config.pol" >"$work/instrument.pol"
"$build/tools/zorsim/zorsim" --config "$work/instrument.pol" --link "$work/COM1" --control "$work/ctl" \
  --syringe 10ul --default-atom-ms 20 >"$work/zorsim.out" 2>"$work/zorsim.err" &
zorsim_pid=$!
for _ in $(seq 200); do [ -e "$work/COM1" ] && break; sleep 0.05; done
"$build/driver/zorrun/Zorrun" -RegServer || fail "Zorrun -RegServer"
edit_document fetch.zor
click_editor 60 "$(step_line 1)"
sleep 0.5
station=(446 64 137 21)
on_wash2=$(editor_region "${station[@]}")
xdotool mousemove --window "$main" 52 $(((main_height - editor_height) / 2)) click 1
sleep 0.5
xdotool key Down Down Return
changes_from "$on_wash2" "${station[@]}" || fail "the reload did not reach the editor"
menu 18 s
saved_line fetch.zor "Fetch And Rinse(SL.tray,Wash1)" || fail "after the reload: $(shown fetch.zor)"
closed_from_menu || fail "zorhost edit did not end after Close"
echo "1 passed, 0 failed"
