#!/usr/bin/env bash
# End to end: zorhost's commands as a person types them, on a session bus of the test's own
# with Zorrun on zorsim: help that touches nothing, a refused template that saves nothing, the
# vial question without a document, text in UTF-8, a reset that reaches the instrument before
# zorhost ends, and the injection volume limits a host checks before a run. Stops every
# process it started.
#
#   command_line_e2e.sh BUILD_DIR EXAMPLES_DIR
set -euo pipefail
build=$1 examples=$2

. "$(dirname "$0")/e2e_setup.sh"
# Texts and file names in UTF-8.
export LC_ALL=C.UTF-8
private_session "$@"
zorsim_pid=""
stop_all() { stop_processes $zorsim_pid; }
trap stop_all EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
zorhost=$build/tools/zorhost/zorhost

# --help, before anything is registered: the usage, and no settings store made.
if "$zorhost" --help >"$work/help.txt" 2>"$work/help.err"; then
  grep -q "^usage: zorhost" "$work/help.txt" || fail "--help prints no usage: $(cat "$work/help.txt")"
else
  fail "--help fails: $(cat "$work/help.err")"
fi
[ ! -e "$ZOR_REGISTRY" ] || fail "--help made a settings store"
[ ! -e "$XDG_CONFIG_HOME/zor" ] || fail "--help made a settings folder"
"$zorhost" nonsense >/dev/null 2>&1 && fail "an unknown command is taken"
[ ! -e "$ZOR_REGISTRY" ] || fail "an unknown command made a settings store"

setup_method_folder_and_plugin || fail "zorhost register"

# A template the editor refuses (its macro is not in the library): no document, a failure.
printf '//Broken\r\nsyringe:10ul\r\nNo Such Macro()\r\n[MACRO No Such Macro]\r\nWASH(Wash1,1)\r\n' \
  >"$work/methods/Broken.PME"
if "$zorhost" new "$work/broken.zor" --template Broken >"$work/broken.txt" 2>&1; then
  fail "new of a refused template exits 0: $(cat "$work/broken.txt")"
fi
[ ! -e "$work/broken.zor" ] || fail "new of a refused template saved a document"
grep -q "macros dont exist" "$work/broken.txt" || fail "new of a refused template: no reason: $(cat "$work/broken.txt")"

# Without a display there is no window to edit in: refused with the reason, nothing saved.
if DISPLAY='' WAYLAND_DISPLAY='' "$zorhost" edit "$work/edited.zor" >"$work/edit.txt" 2>&1; then
  fail "edit without a display is taken"
fi
grep -q "edit needs a display" "$work/edit.txt" || fail "edit without a display: $(cat "$work/edit.txt")"
[ ! -e "$work/edited.zor" ] || fail "edit without a display saved a document"

# The vial question needs no document.
"$zorhost" vial Tray1:5 >"$work/vial.txt" 2>&1 || fail "vial VIAL: $(cat "$work/vial.txt")"
grep -qx "ValidateVial: 0x00000000" "$work/vial.txt" || fail "vial VIAL: $(cat "$work/vial.txt")"

# Printed and shown for a person: UTF-8, not the plug-in's Windows-1252 bytes.
"$zorhost" new "$work/demo.zor" --template "Demo Injection" >/dev/null || fail "zorhost new"
"$zorhost" print "$work/demo.zor" >"$work/printed.txt" || fail "zorhost print"
grep -q "Volume  (µl)" "$work/printed.txt" || fail "print: no \"Volume  (µl)\" in UTF-8"
iconv -f UTF-8 -t UTF-8 "$work/printed.txt" >/dev/null 2>&1 || fail "print writes bytes that are not UTF-8"
mkdir -p "$work/degree/Zor"
printf '10ul\r\nInject(40 °C)\r\n[MACRO Inject]\r\nMOVE_TO(Inj1,5)\r\n' | iconv -f UTF-8 -t UTF-16LE >"$work/degree/Zor/Data"
printf '\r\nmade elsewhere\r\n' | iconv -f UTF-8 -t UTF-16LE >"$work/degree/Zor/Text"
(cd "$work/degree" && gsf createole "$work/degree.zor" Zor >/dev/null 2>&1) || fail "gsf createole"
"$zorhost" show "$work/degree.zor" >"$work/shown.txt" 2>/dev/null || fail "zorhost show"
grep -qx "Inject(40 °C)" "$work/shown.txt" || fail "show: no \"Inject(40 °C)\" in UTF-8: $(od -c "$work/shown.txt" | head -3)"

# The instrument and Zorrun, started by activation.
start_zorsim || { fail "zorsim did not start"; exit 1; }
"$build/driver/zorrun/Zorrun" -RegServer || fail "Zorrun -RegServer"

# Reset Zor with zorhost the only client: the clean-up reaches the instrument all the same.
"$zorhost" command 14998 >"$work/reset.txt" 2>&1 || fail "command 14998: $(cat "$work/reset.txt")"
for _ in $(seq 50); do grep -q "RX <STX>.CLEANUP(" "$work/transcript.txt" 2>/dev/null && break; sleep 0.1; done
grep -q "RX <STX>.CLEANUP(" "$work/transcript.txt" 2>/dev/null || fail "Reset ended before CLEANUP reached the instrument"

# The injection volumes the mounted 10 ul syringe takes, and a volume checked against them.
"$zorhost" limits >"$work/limits.txt" 2>&1 || fail "limits: $(cat "$work/limits.txt")"
grep -qx "higher: 10" "$work/limits.txt" || fail "limits: $(cat "$work/limits.txt")"
"$zorhost" limits 5 >"$work/five.txt" 2>&1 || fail "limits 5: $(cat "$work/five.txt")"
if "$zorhost" limits 20 >"$work/twenty.txt" 2>&1; then fail "limits 20 on a 10 ul syringe is taken"; fi
grep -q "volume 20: out of range" "$work/twenty.txt" || fail "limits 20: $(cat "$work/twenty.txt")"
# zorctl, which takes any volume, tells how a host checks one first.
"$build/tools/zorctl/zorctl" --help | grep -q "ProvideInjectionVolumeLimits" \
  || fail "zorctl --help does not say how a host checks a volume before the run"

if [ "$failures" -ne 0 ]; then
  for f in zorsim.err; do [ -f "$work/$f" ] && cat "$work/$f"; done
  echo "$failures failed"
  exit 1
fi
echo "1 passed, 0 failed"
