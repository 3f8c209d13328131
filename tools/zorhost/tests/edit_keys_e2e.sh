#!/usr/bin/env bash
# End to end on a display (run under xvfb-run), with openbox as the window manager when asked:
# the keys a person types in "zorhost edit" reach what they are meant for. In a parameter field,
# Alt+F and F10 open the host's File menu (its S saves), and neither types into the value; Ctrl+S
# saves from the field. Tab entering a field selects its text, so typing replaces the value. Tab
# leaves "Method Description" without typing a tab. Every control Tab reaches shows that it has
# the focus. Ctrl+W asks before closing a changed method, and the question's Alt+C keeps the
# window while its Alt+S saves and closes. Runs on a private session bus, in a folder of its own;
# stops every process it started.
#
#   edit_keys_e2e.sh BUILD_DIR EXAMPLES_DIR [--openbox]
set -euo pipefail
build=$1 examples=$2 manager=${3:-}
. "$(dirname "$0")/e2e_setup.sh"
display_session "$@"
zorhost=$build/tools/zorhost/zorhost
window_manager_as_asked "$manager"
setup_method_folder_and_plugin || fail "zorhost register"
DISPLAY='' "$zorhost" new "$work/demo.zor" --template "Demo Injection" >/dev/null || fail "zorhost new"
edit_document demo.zor

# The first step, "Rinse Needle (Wash2,2)", chosen; its "Times" field clicked and its value
# rubbed out from the end.
click_editor 60 219
sleep 0.5
times_field() {
  click_editor 513 74
  sleep 0.3
  xdotool key End BackSpace
}

# Alt+F from the field: the File menu; its S saves. The field keeps what was typed.
times_field
xdotool type 3
xdotool key alt+f
sleep 0.5
xdotool key s
saved_line demo.zor "Rinse Needle(Wash2,3)" || fail "Alt+F then S did not save Times 3: $(shown demo.zor)"
# F10 likewise.
times_field
xdotool type 4
xdotool key F10
sleep 0.5
xdotool key s
saved_line demo.zor "Rinse Needle(Wash2,4)" || fail "F10 then S did not save Times 4: $(shown demo.zor)"
# Ctrl+S from the field.
times_field
xdotool type 5
xdotool key ctrl+s
saved_line demo.zor "Rinse Needle(Wash2,5)" || fail "Ctrl+S did not save Times 5: $(shown demo.zor)"

# Tab into the field (from the row above) selects its value: typing replaces it.
click_editor 513 74
sleep 0.3
xdotool key shift+Tab Tab
xdotool type 6
xdotool key ctrl+s
saved_line demo.zor "Rinse Needle(Wash2,6)" || fail "typing after Tab did not replace the value: $(shown demo.zor)"

# Tab leaves the description: no tab in it, and what is typed next goes elsewhere.
click_editor 100 120
sleep 0.3
xdotool key ctrl+End
xdotool type " Done."
xdotool key Tab
xdotool type q
xdotool key ctrl+s
description() { gsf cat "$work/demo.zor" Zor/Text 2>/dev/null | iconv -f UTF-16LE -t UTF-8 | tr -d '\r'; }
for _ in $(seq 100); do description | grep -q "Done" && break; sleep 0.1; done
[ "$(description | tail -n 1)" = "rinse, draw the sample, wait for the start, inject. Done." ] \
  || fail "the description: $(description | cat -A)"

# Every control Tab reaches shows the focus: its region on the screen leaves the look it has
# while the focus is elsewhere, on the step list. (Design bounds: template, description,
# syringe, Station, Times, "Default All".)
regions=("16 18 201 21" "16 68 201 65" "16 162 201 21" "446 40 137 21" "445 64 137 21" "494 10 89 25")
declare -A rest seen
# The regions that leave their look at rest, one look at them: in away.
look_at_regions() {
  away=()
  for r in "${!regions[@]}"; do
    hash=$(editor_region ${regions[$r]} | sed 's/.*hash=//')
    [ "$hash" = "${rest[$r]:-$hash}" ] || { away+=("$r"); seen[$r]=$hash; }
  done
}
click_editor 60 219
sleep 0.3
for r in "${!regions[@]}"; do rest[$r]=$(editor_region ${regions[$r]} | sed 's/.*hash=//'); done
click_editor 513 74
sleep 0.3
look_at_regions
# The description shows its focus only by its caret, which blinks: each stop is looked at
# until a control that did not show the focus before shows it (at most 30 looks, many blinks).
for stop in $(seq 7); do
  before=" ${away[*]} "
  xdotool key Tab
  for look in $(seq 30); do
    sleep 0.1
    look_at_regions
    reached=false
    for r in "${away[@]}"; do [[ "$before" == *" $r "* ]] || reached=true; done
    $reached && break
  done
done
for r in "${!regions[@]}"; do
  [ -n "${seen[$r]:-}" ] || fail "the control at ${regions[$r]} looks the same with and without the focus (${rest[$r]})"
done

# Ctrl+W with a change: the question; Alt+C keeps the window, Alt+S saves and closes.
times_field
xdotool type 7
# The close question on the screen.
asked() { timeout 10 xdotool search --sync --onlyvisible --name '^zorhost$' >/dev/null; }
xdotool key ctrl+w
asked || fail "Ctrl+W with a change asked nothing"
xdotool key alt+c
for _ in $(seq 100); do xdotool search --onlyvisible --name '^zorhost$' >/dev/null || break; sleep 0.1; done
! xdotool search --onlyvisible --name '^zorhost$' >/dev/null || fail "Alt+C did not answer the question"
kill -0 "$edit_pid" 2>/dev/null || fail "the window closed although the person cancelled"
times_field
xdotool type 8
xdotool key ctrl+w
asked || fail "Ctrl+W asked nothing the second time"
xdotool key alt+s
code=0
wait_bounded "$edit_pid" || code=$?
edit_pid=""
[ "$code" = 0 ] || fail "zorhost edit did not end after Alt+S ($code)"
[ "$(shown demo.zor | grep "^Rinse Needle(")" = "Rinse Needle(Wash2,8)" ] || fail "Alt+S saved: $(shown demo.zor)"
echo "1 passed, 0 failed"
