#!/usr/bin/env bash
# bench/dvbatch_kill.sh BUILD_DIR [KILLS]: the SIGKILL criterion for dvbatch.
# KILLS times (default 20): with two CPU-bound processes running beside, start
# dvbatch over documents that each take 100 ms (every tenth also leaves a
# child process behind), SIGKILL dvbatch at a random moment within 2 s of its
# first docvane start (when documents are being started and finished), and
# count after 5 s the processes of the batch still alive (docvane
# runs of that DEST, and children). Prints one line per kill and a total;
# never fails. Uses BUILD_DIR's Wine prefix, with the batch fixture converter
# registered for import.
set -uo pipefail
build=$(cd "$1" && pwd)
kills=${2:-20}
source "$(dirname "$0")/batch-bench.sh"
work=$(mktemp -d)
trap 'kill $burners 2>/dev/null; rm -rf "$work"' EXIT
register_bench_converter
mkdir -p "$work/in"
for i in $(seq 1 200); do
  if [ $((i % 10)) -eq 0 ]; then echo child > "$work/in/d$i.doc"; else echo "slow 100" > "$work/in/d$i.doc"; fi
done
burners=""
for _ in 1 2; do (while :; do :; done) & burners="$burners $!"; done
survivors_total=0 with_survivors=0
for k in $(seq 1 "$kills"); do
  dest=$work/out-$k
  "$loader" "$build/dvbatch.exe" import "Z:$work/in" "Z:$dest" --jobs 2 --quiet 2>/dev/null &
  pid=$!
  for _ in $(seq 1 300); do
    ls "$dest/.dvbatch-work" 2>/dev/null | grep -q '^r.*\.req$' && break
    sleep 0.1
  done
  delay=$(awk -v s=$RANDOM 'BEGIN { srand(s); printf "%.2f", rand() * 2 }')
  sleep "$delay"
  kill -KILL $pid 2>/dev/null
  wait $pid 2>/dev/null
  sleep 5
  left=$(pgrep -f "out-$k\\\\" | wc -l)
  children=$(pgrep -f batch_child.exe | wc -l)
  n=$((left + children))
  survivors_total=$((survivors_total + n))
  [ $n -gt 0 ] && with_survivors=$((with_survivors + 1))
  echo "kill $k ${delay}s after the first start: $(cat "$dest/dvbatch-report.jsonl" 2>/dev/null | wc -l) records, $n processes alive 5 s later"
done
echo "total: $kills kills, $with_survivors with survivors, $survivors_total processes alive 5 s after a kill"
unregister_bench_converter
