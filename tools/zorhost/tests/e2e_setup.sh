# Sourced by zorhost's end-to-end scripts, which set build and examples first.

# The start of a script (called with its arguments: BUILD_DIR EXAMPLES_DIR [ARGUMENTS...]): it
# runs again inside a private session bus, with a work folder of its own (removed afterwards)
# for the settings store, the homes and the runtime folder, and its status is this one's. In
# that run work names the folder, session_args holds the script's own ARGUMENTS, and the
# processes whose ids are in edit_pid, zorsim_pid and manager_pid are stopped at its end.
private_session() {
  if [ -n "${ZORHOST_E2E_WORK:-}" ]; then
    work=$ZORHOST_E2E_WORK
    session_args=("${@:3}")
    edit_pid="" zorsim_pid="" manager_pid=""
    trap 'stop_processes $edit_pid $zorsim_pid $manager_pid' EXIT
    return
  fi
  work=$(mktemp -d "/tmp/zorhost-$(basename "$0" .sh)-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  export ZOR_REGISTRY=$work/registry.db ZOR_COM1=$work/COM1 XDG_DATA_HOME=$work/data \
    XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime HOME=$work/home ZORHOST_E2E_WORK=$work
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  dbus-run-session -- "$0" "$@" 2>&1 | grep -v "Failed to set fd limit"
  exit "${PIPESTATUS[0]}"
}

# The same for a script that shows windows (run under xvfb-run): without a display it is
# skipped.
display_session() {
  if [ -z "${DISPLAY:-}" ]; then
    echo "no display (this test runs under xvfb-run): skipped"
    exit 0
  fi
  private_session "$@"
}

# The method folder (macro library, templates, the instrument's configuration), the settings
# that name it and the port, and the plug-in registered.
setup_method_folder_and_plugin() {
  mkdir -p "$work/methods"
  cp "$examples"/macros/*.pma "$examples"/*.PME "$work/methods/"
  cp "$examples/zor_config.pol" "$work/methods/latest_zor.pol"
  local key='HKCU\SOFTWARE\Hox\Zor\Task Weaver\1'
  "$build/tools/zorreg/zorreg" add "$key" /v "Method Folder" /d "$work/methods" /f >/dev/null
  "$build/tools/zorreg/zorreg" add "$key" /v "Port" /t REG_DWORD /d 1 /f >/dev/null
  "$build/tools/zorhost/zorhost" register
}

# zorsim with a 10 ul syringe on $work/COM1 (control socket $work/ctl), its transcript and the
# atoms it carried out in $work; its process id in zorsim_pid. Further arguments go to zorsim.
start_zorsim() {
  "$build/tools/zorsim/zorsim" --config "$examples/zor_config.pol" --link "$work/COM1" --control "$work/ctl" \
    --transcript "$work/transcript.txt" --executed "$work/executed.txt" \
    --syringe 10ul --default-atom-ms 20 "$@" >"$work/zorsim.out" 2>"$work/zorsim.err" &
  zorsim_pid=$!
  for _ in $(seq 200); do [ -e "$work/ctl" ] && [ -e "$work/COM1" ] && break; sleep 0.05; done
  [ -e "$work/COM1" ]
}

# Waits up to 20 s for the process to end by itself, then returns its exit code; a process still
# there is killed and fails.
wait_bounded() {
  for _ in $(seq 200); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$1" 2>/dev/null; then
    kill -KILL "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
    return 124
  fi
  wait "$1"
}

# Ends this script's processes and the Zorrun the bus started (which holds the session's
# output): asked first, killed after 10 s.
stop_processes() {
  local bus_zorrun
  bus_zorrun=$(timeout 10 busctl --user call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
    GetConnectionUnixProcessID s com.hox.Zorrun 2>/dev/null | cut -d' ' -f2) || true
  for pid in "$@" $bus_zorrun; do
    kill -TERM "$pid" 2>/dev/null || continue
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}

# "FAILED: " and the message, the named files of the work folder that are not empty, exit 1.
#   fail_showing "FILE ..." MESSAGE
fail_showing() {
  echo "FAILED: $2"
  for f in $1; do [ -s "$work/$f" ] && { echo "== $f"; cat "$work/$f"; }; done
  exit 1
}

# A value of a window's geometry: geometry WINDOW WIDTH|HEIGHT|X|Y.
geometry() { xdotool getwindowgeometry --shell "$1" | sed -n "s/^$2=//p"; }
# The window "zorhost - DOCUMENT" of the process PID in main, and the editor's window inside it
# in editor (as wide as the host window, less high).
find_host_and_editor() {
  main=$(timeout 20 xdotool search --sync --onlyvisible --name "^zorhost - $1\$" | head -n 1) || true
  [ -n "$main" ] || fail "no window \"zorhost - $1\""
  local width height w
  width=$(geometry "$main" WIDTH)
  height=$(geometry "$main" HEIGHT)
  editor=""
  for w in $(xdotool search --onlyvisible --pid "$2"); do
    if [ "$(geometry "$w" WIDTH)" = "$width" ] && [ "$(geometry "$w" HEIGHT)" -lt "$height" ]; then editor=$w; fi
  done
  [ -n "$editor" ] || fail "no editor window in the host window"
}
# The check that failed, with what zorhost edit and zorsim said; the script ends. A script
# that watches other files defines its own fail with fail_showing.
fail() { fail_showing "edit.err zorsim.err" "$*"; }
# File > Close: zorhost edit ends by itself; false when it does not, or fails.
closed_from_menu() {
  menu 18 c
  local code=0
  wait_bounded "$edit_pid" || code=$?
  edit_pid=""
  [ "$code" = 0 ]
}
# "zorhost edit" of a document of the work folder: the host window in main, the editor's in
# editor (zorhost's window as wide as the host window's, below its menu bar).
edit_document() {
  "$zorhost" edit "$work/$1" >"$work/edit.out" 2>"$work/edit.err" &
  edit_pid=$!
  find_host_and_editor "$1" "$edit_pid"
  main_width=$(geometry "$main" WIDTH)
  main_height=$(geometry "$main" HEIGHT)
  editor_height=$(geometry "$editor" HEIGHT)
  # The editor opens at its designed size (634 x 413) first: the scale from a form's design
  # to the screen.
  scale_width=${scale_width:-$(geometry "$editor" WIDTH)}
  scale_height=${scale_height:-$(geometry "$editor" HEIGHT)}
}
# What a region of the editor (in its design's pixels) shows: "colours=N hash=H".
editor_region() {
  "$build/tools/zorhost/screen_region" "$editor" $(($1 * scale_width / 634)) $(($2 * scale_height / 413)) \
    $(($3 * scale_width / 634)) $(($4 * scale_height / 413))
}
# A point of a form's design on the screen, clicked (with the left button, or the one given).
#   click_form WINDOW X Y [BUTTON]
click_form() {
  xdotool mousemove --window "$1" $(($2 * scale_width / 634)) $(($3 * scale_height / 413)) click "${4:-1}"
}
click_editor() { click_form "$editor" "$@"; }
# An item of the host window's menu bar opened, then the item of its mnemonic.
menu() {
  xdotool mousemove --window "$main" "$1" $(((main_height - editor_height) / 2)) click 1
  sleep 0.5
  xdotool key "$2"
  sleep 0.5
}
# The method of a document as "zorhost show" lists it.
shown() { DISPLAY='' "$zorhost" show "$work/$1" 2>/dev/null || true; }
# Waits (at most 20 s) until the document as saved holds the line.
saved_line() {
  for _ in $(seq 200); do shown "$1" | grep -qxF "$2" && return 0; sleep 0.1; done
  return 1
}
# With "--openbox", openbox as the window manager of the display (its process id in
# manager_pid); with nothing, none.
window_manager_as_asked() {
  [ "${1:-}" = --openbox ] || return 0
  openbox --sm-disable >"$work/openbox.out" 2>&1 &
  manager_pid=$!
  for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0; sleep 0.1; done
  fail "openbox did not start"
}
