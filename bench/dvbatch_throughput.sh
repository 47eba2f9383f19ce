#!/usr/bin/env bash
# bench/dvbatch_throughput.sh BUILD_DIR [DOCUMENTS]: dvbatch's throughput on
# small documents (default 1000), in one run, side by side with
#  (a) GNU parallel -j2 starting "wine docvane.exe REQUEST" per document, as a
#      Linux user would write it today;
#  (b) the floor: two sequential streams of docvane runs started by
#      bench/launcher.c inside Wine (the same request again and again);
#  (c) dvbatch --jobs 1 and (d) dvbatch --jobs 2.
# Prints wall-clock seconds and documents per second; never fails. Uses
# BUILD_DIR's Wine prefix with the batch fixture converter registered.
set -uo pipefail
build=$(cd "$1" && pwd)
count=${2:-1000}
root=$(cd "$(dirname "$0")/.." && pwd)
source "$(dirname "$0")/batch-bench.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$arch-w64-mingw32-gcc" -O2 -o "$work/launcher.exe" "$root/bench/launcher.c" -lpsapi
register_bench_converter
mkdir -p "$work/in" "$work/req" "$work/par"
for i in $(seq 1 "$count"); do
  echo convert > "$work/in/d$i.doc"
  printf 'Z:%s\\in\\d%s.doc\r\nZ:%s\\par\\d%s.rtf\r\nY\r\n' "${work//\//\\}" "$i" "${work//\//\\}" "$i" > "$work/req/r$i.req"
done
docvane=$(echo "Z:$build/docvane.exe" | tr / '\\')
now() { date +%s.%N; }
report() { awk -v n="$count" -v a="$1" -v b="$2" -v what="$3" 'BEGIN { printf "%-46s %8.1f s %7.2f docs/s\n", what, b - a, n / (b - a) }'; }
"$loader" "$work/launcher.exe" hold >/dev/null 2>&1 &
holder=$!
sleep 2

t0=$(now)
# -q: parallel hands the words over as they are; without it its shell takes the
# backslashes out of the Windows paths and wine is asked for a program that
# does not exist (which fails fast and looks like a fast conversion).
ls "$work/req" | parallel --will-cite -q -j2 "$loader" "$docvane" "Z:${work//\//\\}\\req\\{}" >/dev/null 2>&1
t1=$(now); report "$t0" "$t1" "(a) GNU parallel -j2, wine docvane.exe each"
made=$(ls "$work/par" | wc -l)
echo "    outputs of (a): $made of $count"
[ "$made" = "$count" ] || echo "    (a) did not convert every document: its time is not comparable"

cp "$work/req/r1.req" "$work/template.req"
half=$((count / 2))
t0=$(now)
streams=""
for s in 1 2; do
  cp "$work/template.req" "$work/stream$s.req"
  "$loader" "$work/launcher.exe" time "$half" "$docvane" "Z:${work//\//\\}\\stream$s.req" \
    "Z:${work//\//\\}\\stream$s.req" "Z:${work//\//\\}\\template.req" >/dev/null 2>&1 &
  streams="$streams $!"
done
for p in $streams; do wait "$p"; done
t1=$(now); report "$t0" "$t1" "(b) floor: two sequential launcher streams"

for jobs in 1 2; do
  rm -rf "$work/out"
  t0=$(now)
  "$loader" "$build/dvbatch.exe" import "Z:$work/in" "Z:$work/out" --jobs $jobs --quiet 2>/dev/null
  t1=$(now); report "$t0" "$t1" "($([ $jobs = 1 ] && echo c || echo d)) dvbatch --jobs $jobs"
  echo "    outputs: $(find "$work/out" -name '*.rtf' | wc -l) of $count"
done
"$loader" "$work/launcher.exe" release >/dev/null 2>&1
kill $holder 2>/dev/null
unregister_bench_converter
