#!/usr/bin/env bash
# End to end: zorhost makes a method from a template in the plug-in's editor and saves it into
# a document; Zorrun runs that document against zorsim; every atom of the method is carried
# out once and in order; opened again, zorhost shows the same method. Runs on a private
# session bus of its own, in a folder of its own; stops every process it started.
#
#   template_run_e2e.sh BUILD_DIR EXAMPLES_DIR
set -euo pipefail
build=$1 examples=$2

. "$(dirname "$0")/e2e_setup.sh"
private_session "$@"
zorsim_pid=""
stop_all() { stop_processes $zorsim_pid; }
trap stop_all EXIT
fail() { echo "FAILED: $*"; for f in zorsim.err zorrun.err; do [ -f "$work/$f" ] && cat "$work/$f"; done; exit 1; }

zorhost=$build/tools/zorhost/zorhost
setup_method_folder_and_plugin || fail "zorhost register"

# The method, made in the editor from the template and saved by the plug-in.
"$zorhost" new "$work/demo.zor" --template "Demo Injection" >"$work/made.txt" || fail "zorhost new"

# Printed into a PDF file, where zorhost is built with Qt (ZORHOST_PDF set by the build).
if [ -n "${ZORHOST_PDF:-}" ]; then
  "$zorhost" print "$work/demo.zor" --pdf "$work/demo.pdf" >"$work/printed.txt" || fail "zorhost print --pdf"
  grep -qx "pages: 1" "$work/printed.txt" || fail "zorhost print --pdf: $(cat "$work/printed.txt")"
  pdfinfo "$work/demo.pdf" | grep -q "^Pages: *1$" || fail "the PDF file has not one page"
  pdftotext "$work/demo.pdf" - | grep -qx "Syringe: 10ul" || fail "the PDF file lacks the syringe line"
  if "$zorhost" print "$work/demo.zor" --pdf "$work/no/such/folder.pdf" >/dev/null 2>"$work/print.err"; then
    fail "a PDF file that cannot be written is reported as printed"
  fi
  grep -q "could not be written" "$work/print.err" || fail "no reason for the unwritten PDF file"
fi

start_zorsim || fail "zorsim did not start"

# Zorrun is started by activation when zorctl asks for it.
"$build/driver/zorrun/Zorrun" -RegServer || fail "Zorrun -RegServer"
"$build/tools/zorctl/zorctl" run "$work/demo.zor" Tray2:5 --volume 1 --timeout 120 >"$work/run.txt" 2>&1 \
  || { cat "$work/run.txt"; fail "zorctl run"; }
"$build/tools/zorsim/zorsim" --tell "$work/ctl" dump >/dev/null || true

# The atoms the template's method comes to, each once and in order: METHOD ENTRY's wash, the
# rinse repeated twice, the sample load from the vial, the injection, METHOD EXIT's wash
# (WAIT_FOR_DS is the driver's own and never reaches the instrument).
cat >"$work/expected.txt" <<'ATOMS'
WASH(Wash1,1,)
WASH(Wash2,1,)
WASH(Wash2,1,)
MOVE_TO_VIAL(Tray2,5,10000,)
ASPIRATE(10ul,1000,2000,0,)
MOVE_TO(Inj1,5000,)
INJECT(Inj1,0,)
SET_OUTPUT(Inject Out,1,)
WASH(Wash2,2,)
ATOMS
diff "$work/expected.txt" "$work/executed.txt" || fail "the atoms carried out differ from the method's"

# The streams as two other readers of the format see them: the same bytes, UTF-16LE lines
# each ended by CR LF, no byte-order mark.
for stream in Text Data; do
  gsf cat "$work/demo.zor" "Zor/$stream" >"$work/gsf.$stream" || fail "gsf cannot read Zor/$stream"
done
/usr/bin/python3 - "$work" <<'PY' || fail "the document's streams are not as the format says"
import sys, olefile
work = sys.argv[1]
doc = olefile.OleFileIO(work + '/demo.zor')
for name in ('Text', 'Data'):
    raw = doc.openstream('Zor/' + name).read()
    assert raw == open(work + '/gsf.' + name, 'rb').read(), name + ': olefile and gsf differ'
    assert not raw.startswith(b'\xff\xfe'), name + ': byte-order mark'
    text = raw.decode('utf-16-le')
    assert text.endswith('\r\n'), name + ': last line without CR LF'
    lines = text.split('\r\n')[:-1]
    assert ('\r\n'.join(lines) + '\r\n').encode('utf-16-le') == raw, name + ': stray CR or LF'
    if name == 'Text':
        assert lines[0] == 'Demo Injection', lines
    else:
        assert lines[0] == '10ul' and '[MACRO METHOD EXIT]' in lines, lines
PY

# A document another writer made opens in the plug-in.
mkdir -p "$work/other/Zor"
/usr/bin/python3 - "$work/other/Zor" <<'PY'
import sys
open(sys.argv[1] + '/Data', 'wb').write('10ul\r\nInject(Inj1)\r\n[MACRO Inject]\r\nMOVE_TO(Inj1,5)\r\n'.encode('utf-16-le'))
open(sys.argv[1] + '/Text', 'wb').write('\r\nmade elsewhere\r\n'.encode('utf-16-le'))
PY
(cd "$work/other" && gsf createole "$work/other.zor" Zor >/dev/null 2>&1) || fail "gsf createole"
"$zorhost" show "$work/other.zor" >"$work/other.txt" || fail "zorhost show of gsf's document"
printf 'template: \nsyringe: 10ul\nInject(Inj1)\nmodified: no\n' | diff - "$work/other.txt" || fail "gsf's document"

# Opened again, the same method.
"$zorhost" show "$work/demo.zor" >"$work/shown.txt" || fail "zorhost show"
head -n "$(wc -l <"$work/made.txt")" "$work/shown.txt" | diff "$work/made.txt" - || fail "reopened method differs"
grep -qx "modified: no" "$work/shown.txt" || fail "a method just opened counts as modified"
echo "1 passed, 0 failed"
