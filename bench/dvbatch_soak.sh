#!/usr/bin/env bash
# bench/dvbatch_soak.sh BUILD_DIR [DOCUMENTS]: a soak of dvbatch (default
# 10000 documents, about 5% hostile: faults, process-ending calls, hangs, a
# converter that terminates docvane, one that leaves a child process behind).
# Checks that every document has exactly one record, that no process of the
# batch is left running and that every output under its final name is
# complete, and reports dvbatch's peak resident memory (the Wine process,
# VmHWM, Wine's own mappings included). Reports; never fails.
set -uo pipefail
build=$(cd "$1" && pwd)
count=${2:-10000}
source "$(dirname "$0")/batch-bench.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
register_bench_converter
hostile=(fault exit terminate hangchild child failfast reject error)
for i in $(seq 1 "$count"); do
  d=$work/in/f$((i % 20))
  mkdir -p "$d"
  if [ $((i % 20)) -eq 7 ]; then echo "${hostile[$(((i / 20) % ${#hostile[@]}))]}" > "$d/d$i.doc"; else echo convert > "$d/d$i.doc"; fi
done
start=$(date +%s)
"$loader" "$build/dvbatch.exe" import "Z:$work/in" "Z:$work/out" --jobs 2 --timeout 5 --quiet 2>"$work/err" &
pid=$!
peak=0
while kill -0 $pid 2>/dev/null; do
  for p in $(pgrep -f "dvbatch.exe import Z:$work/in" 2>/dev/null); do
    kb=$(awk '/VmHWM/ {print $2}' /proc/$p/status 2>/dev/null)
    [ -n "$kb" ] && [ "$kb" -gt "$peak" ] && peak=$kb
  done
  sleep 1
done
wait $pid
status=$?
end=$(date +%s)
records=$(wc -l < "$work/out/dvbatch-report.jsonl")
distinct=$(python3 -c 'import json, sys; print(len({json.loads(l)["source"] for l in open(sys.argv[1])}))' "$work/out/dvbatch-report.jsonl")
incomplete=0
while IFS= read -r f; do grep -q '^{\\rtf1.*}$' "$f" || incomplete=$((incomplete + 1)); done < <(find "$work/out" -name '*.rtf')
sleep 5
left=$(pgrep -f "$work" | wc -l)
echo "documents: $count, exit code $status, $((end - start)) s"
echo "records: $records for $distinct distinct documents"
grep -E '^(converted|not_recognised|converter_|timeout|failed)' "$work/err"
echo "outputs: $(find "$work/out" -name '*.rtf' | wc -l), incomplete: $incomplete; work folder left: $([ -e "$work/out/.dvbatch-work" ] && echo yes || echo no)"
echo "processes of the batch alive 5 s after the end: $left"
echo "dvbatch peak resident memory (VmHWM of its Wine process): $((peak / 1024)) MB"
unregister_bench_converter
