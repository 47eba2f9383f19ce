#!/usr/bin/env bash
# test-docvane-batch.sh BUILD_DIR ARCH: the Linux script docvane-batch as a
# user runs it: a prefix it makes once (with the converter beside docvane.exe
# registered), Linux paths with blanks and non-ASCII names, SIGINT and
# SIGTERM passed on (exit 3, no record for the interrupted documents, nothing
# left running), a DEST that fills up (exit 4), and its own bad input.
set -uo pipefail
build=$(cd "$1" && pwd) arch=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap cleanup EXIT
source "$here/batch-layout.sh"
export HOME=$work/home
unset WINEPREFIX
run() { "$pkg/docvane-batch" --arch "$arch" "$@"; }

# Names with blanks and outside ASCII, and one a converter refuses.
src="$work/in put" dst="$work/out put"
mkdir -p "$src/Gr$(printf '\xc3\xbc')n/sub"
echo convert > "$src/Gr$(printf '\xc3\xbc')n/sub/Brief $(printf '\xe2\x82\xac').wpd"
echo reject > "$src/plain.doc"
run import "$src" "$dst" --report "$work/re port.jsonl" --quiet 2>"$work/err"
status=$?
check "mixed outcomes exit 1" [ $status -eq 1 ]
check "made its prefix under ~/.local/share/docvane" [ -f "$HOME/.local/share/docvane/wine-$arch/.docvane-batch-ready" ]
expected="Gr$(printf '\xc3\xbc')n/sub/Brief $(printf '\xe2\x82\xac').wpd converted
plain.doc not_recognised"
check "report at the Linux path, every document once" [ "$(outcomes "$work/re port.jsonl")" = "$expected" ]
check "output under its Linux name" grep -q '^{\\rtf1' "$dst/Gr$(printf '\xc3\xbc')n/sub/Brief $(printf '\xe2\x82\xac').wpd.rtf"
check "no work folder left" [ -z "$(find "$dst" -name '.dvbatch-work*')" ]

# SIGINT and SIGTERM: the running documents are ended without a record.
for signal in INT TERM; do
  src2=$work/hang-$signal dst2=$work/out-$signal
  mkdir -p "$src2"
  echo convert > "$src2/a.doc"
  for i in 1 2 3; do echo hangchild > "$src2/h$i.doc"; done
  with_sigint "$pkg/docvane-batch" --arch "$arch" import "$src2" "$dst2" --jobs 2 --timeout 60 --quiet 2>"$work/err-$signal" &
  pid=$!
  for _ in $(seq 1 600); do
    [ -n "$(ls "$dst2/.dvbatch-work" 2>/dev/null | grep '^r.*\.req$')" ] && [ -s "$dst2/dvbatch-report.jsonl" ] && break
    sleep 0.1
  done
  sleep 1
  kill -$signal $pid
  wait $pid
  status=$?
  check "SIG$signal: exit 3" [ $status -eq 3 ]
  check "SIG$signal: message" grep -q 'interrupted' "$work/err-$signal"
  check "SIG$signal: only the finished document has a record" [ "$(outcomes "$dst2/dvbatch-report.jsonl")" = "a.doc converted" ]
  sleep 2
  check "SIG$signal: nothing of the batch running" [ -z "$(pgrep -f "out-$signal" || true)" ]
  check "SIG$signal: no work folder left" [ ! -e "$dst2/.dvbatch-work" ]
done
check "no child process left" [ -z "$(pgrep -f batch_child.exe || true)" ]

# DEST on a volume that fills up: exit 4, the same clean stop as Ctrl+C.
# Mounting a small file system needs root (as in CI); elsewhere the row says
# it was skipped.
full=$work/full
mkdir -p "$full" "$work/in-full"
if mount -t tmpfs -o size=64k docvane-test "$full" 2>/dev/null; then
  echo convert > "$work/in-full/a.doc"
  head -c 300000 /dev/zero | tr '\0' x > "$work/in-full/b.doc"
  run import "$work/in-full" "$full/out" --jobs 1 --report "$work/full.jsonl" --quiet 2>"$work/err-full"
  check "DEST full: exit 4" [ $? -eq 4 ]
  check "DEST full: message" grep -q 'stopped: .*--resume continues' "$work/err-full"
  check "DEST full: the converted document's record only" [ "$(outcomes "$work/full.jsonl")" = "a.doc converted" ]
  check "DEST full: no work folder left" [ -z "$(find "$full" -name '.dvbatch-work*')" ]
  umount "$full"
else
  echo "skipped: DEST full (cannot mount a small file system here)" >&2
fi

# The script's own bad input, and dvbatch's reaching the caller.
"$pkg/docvane-batch" --arch arm import "$src" "$dst" 2>/dev/null
check "--arch arm: exit 2" [ $? -eq 2 ]
run import "$work/missing" "$dst" 2>"$work/err"
check "missing SOURCE: exit 2" [ $? -eq 2 ]
check "missing SOURCE: message" grep -q 'is not a folder' "$work/err"
env -u HOME -u WINEPREFIX "$pkg/docvane-batch" --arch "$arch" import "$src" "$dst" 2>"$work/err"
check "neither HOME nor WINEPREFIX: exit 2" [ $? -eq 2 ]
check "neither HOME nor WINEPREFIX: message" grep -q 'neither WINEPREFIX nor HOME' "$work/err"

[ $failures -eq 0 ] && echo "docvane-batch: all checks passed"
exit $((failures > 0))
