#!/usr/bin/env bash
# End to end: what files hand zorhost. A document under a folder and a name that Windows-1252
# cannot hold; a FIFO and a folder where a document should be (refused at once, never waited
# on: every call is bounded, so a hang fails instead of stopping the test); and the failures of
# Open and Save, each naming the file and the reason in words: a damaged document, a file that
# is no compound file, a read-only folder and a full disk (these two on small file systems of
# their own where this process may mount them, else skipped with the reason).
#
#   document_files_e2e.sh BUILD_DIR EXAMPLES_DIR
set -euo pipefail
build=$1 examples=$2

. "$(dirname "$0")/e2e_setup.sh"
# Texts and file names in UTF-8.
export LC_ALL=C.UTF-8
private_session "$@"
mounted=()
unmount_all() { for m in "${mounted[@]+"${mounted[@]}"}"; do umount "$m" 2>/dev/null || true; done; }
trap unmount_all EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
zorhost=$build/tools/zorhost/zorhost

# zorhost with a bound: exit code 124 means it hung.
bounded() { timeout -k 5 20 "$zorhost" "$@"; }

# Runs zorhost, expecting a refusal (exit 1) whose message holds every further text.
refused() {
  local label=$1 out=$work/$1.txt; shift
  local args=() wanted=() seen_sep=0
  for a in "$@"; do
    if [ "$a" = "--" ]; then seen_sep=1; elif [ $seen_sep = 0 ]; then args+=("$a"); else wanted+=("$a"); fi
  done
  local code=0
  bounded "${args[@]}" >"$out" 2>&1 || code=$?
  if [ $code = 124 ]; then fail "$label: zorhost hung"; return; fi
  [ $code = 1 ] || fail "$label: exit $code, not 1: $(cat "$out")"
  for w in "${wanted[@]}"; do grep -qF -- "$w" "$out" || fail "$label: no \"$w\" in: $(cat "$out")"; done
  if grep -qE "failed: 0x[0-9A-F]{8}$" "$out"; then fail "$label: a bare code: $(cat "$out")"; fi
}

setup_method_folder_and_plugin || fail "zorhost register"

# Names that Windows-1252 cannot hold go to the file system whole, and come back so.
mkdir -p "$work/Проба"
bounded new "$work/Проба/метод.zor" --template "Demo Injection" >"$work/new-cyrillic.txt" 2>&1 \
  || fail "new under Проба/: $(cat "$work/new-cyrillic.txt")"
[ -f "$work/Проба/метод.zor" ] || fail "new under Проба/ saved no Проба/метод.zor: $(ls "$work/Проба")"
bounded show "$work/Проба/метод.zor" >"$work/show-cyrillic.txt" 2>&1 \
  || fail "show of Проба/метод.zor: $(cat "$work/show-cyrillic.txt")"
grep -qx "template: Demo Injection" "$work/show-cyrillic.txt" || fail "show of Проба/метод.zor: $(cat "$work/show-cyrillic.txt")"
bounded new "$work/日本.zdoc" --template "Demo Injection" >/dev/null 2>&1 || fail "new 日本.zdoc"
bounded print "$work/日本.zdoc" >"$work/print-japanese.txt" 2>&1 || fail "print 日本.zdoc: $(cat "$work/print-japanese.txt")"

# A FIFO has no writer: an open that waited for one would never return.
mkfifo "$work/pipe.zor"
refused show-fifo show "$work/pipe.zor" -- "$work/pipe.zor" "FIFO"
refused print-fifo print "$work/pipe.zor" -- "$work/pipe.zor" "FIFO"
refused new-fifo new "$work/pipe.zor" --template "Demo Injection" -- "$work/pipe.zor" "FIFO"
[ -p "$work/pipe.zor" ] || fail "new over a FIFO replaced it"
mkdir "$work/folder.zor"
refused show-folder show "$work/folder.zor" -- "$work/folder.zor" "folder"

# A damaged document and a file that is no compound file.
bounded new "$work/good.zor" --template "Demo Injection" >/dev/null 2>&1 || fail "new good.zor"
head -c 1536 "$work/good.zor" >"$work/damaged.zor"
refused show-damaged show "$work/damaged.zor" -- "Open failed" "$work/damaged.zor" "the file is damaged" "0x80030109"
printf 'not a document\r\n' >"$work/text.zor"
refused show-text show "$work/text.zor" -- "Open failed" "$work/text.zor" "no compound file"
refused show-missing show "$work/missing.zor" -- "Open failed" "$work/missing.zor" "does not exist"

# A read-only folder and a full disk, each a small file system of its own. (As root, file modes
# do not stop a write; a read-only mount does.)
mkdir -p "$work/readonly" "$work/full"
if mount -t tmpfs -o size=1m,ro tmpfs "$work/readonly" 2>/dev/null; then
  mounted+=("$work/readonly")
  refused save-readonly new "$work/readonly/doc.zor" --template "Demo Injection" -- \
    "Save failed" "$work/readonly/doc.zor" "Read-only file system" "access is denied"
else
  echo "SKIPPED: a read-only folder: this process may not mount a file system"
fi
if mount -t tmpfs -o size=64k tmpfs "$work/full" 2>/dev/null; then
  mounted+=("$work/full")
  dd if=/dev/zero of="$work/full/filler" bs=4k 2>/dev/null || true
  refused save-full new "$work/full/doc.zor" --template "Demo Injection" -- \
    "Save failed" "$work/full/doc.zor" "No space left on device" "the disk is full"
else
  echo "SKIPPED: a full disk: this process may not mount a file system"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "1 passed, 0 failed"
