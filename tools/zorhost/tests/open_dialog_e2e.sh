#!/usr/bin/env bash
# End to end on a display (run under xvfb-run): zorhost's File > Open offers the method
# documents first. A person in "zorhost edit" opens the dialog in a folder that holds a text
# file and a method document, moves into its file list and takes the first file shown: the
# method document is opened (with every file shown the text file would come first). Runs on a
# private session bus, in a folder of its own; stops every process it started.
#
#   open_dialog_e2e.sh BUILD_DIR EXAMPLES_DIR
set -euo pipefail
build=$1 examples=$2

. "$(dirname "$0")/e2e_setup.sh"
display_session "$@"
edit_pid=""
stop_all() { stop_processes $edit_pid; }
trap stop_all EXIT
fail() {
  echo "FAILED: $*"
  [ -s "$work/edit.err" ] && { echo "== edit.err"; cat "$work/edit.err"; }
  exit 1
}
zorhost=$build/tools/zorhost/zorhost
setup_method_folder_and_plugin || fail "zorhost register"
DISPLAY='' "$zorhost" new "$work/demo.zor" --template "Demo Injection" >/dev/null || fail "zorhost new"
# The folder the dialog opens in: a text file, whose name comes first, and a method document.
mkdir "$work/open"
echo "notes" >"$work/open/a notes.txt"
cp "$work/demo.zor" "$work/open/b method.zor"

cd "$work/open"
"$zorhost" edit "$work/demo.zor" >"$work/edit.out" 2>"$work/edit.err" &
edit_pid=$!
main=$(timeout 20 xdotool search --sync --onlyvisible --name '^zorhost - demo.zor$' | head -n 1) || true
[ -n "$main" ] || fail "no window \"zorhost - demo.zor\""

# File > Open: the File menu of the menu bar, then the item's mnemonic.
xdotool mousemove --window "$main" 18 10 click 1
sleep 0.5
xdotool key o
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Open a method document$' | head -n 1) || true
[ -n "$dialog" ] || fail "no window \"Open a method document\""
sleep 0.5
# From the file name back into the list of files, onto its first entry, chosen, and opened.
xdotool windowfocus --sync "$dialog" key --delay 200 shift+Tab Home space Return
opened=$(timeout 20 xdotool search --sync --onlyvisible --name '^zorhost - b method.zor$' | head -n 1) || true
[ -n "$opened" ] || fail "the first file the Open dialog showed was not the method document"
echo "the Open dialog showed the method document first"
