#!/usr/bin/env bash
# bench/rtf_writer.sh: the WordPerfect converter's core measured natively,
# in one process: libwpd parsing the real documents (wp2x's test inputs,
# tests/rtf/wp2x-documents.sh) into an interface that does nothing, against
# the same into the RTF writer. Writes the "RTF writer" section of
# bench/results.md (bench/run.sh rewrites the file: run this after it).
# Goal: the writer adds less than a quarter of libwpd's cost. Reports and
# never fails on a figure. Environment: DOCVANE_BUILD_DIR (build root,
# default build/; this uses its bench-native/ subfolder),
# DOCVANE_BENCH_ROUNDS (default 21), DOCVANE_BENCH_REPEAT (each document
# per round, default 100).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${DOCVANE_BUILD_DIR:-$root/build}/bench-native
rounds=${DOCVANE_BENCH_ROUNDS:-21}
repeat=${DOCVANE_BENCH_REPEAT:-100}
out=$root/bench/results.md

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDOCVANE_SANITIZE=OFF -DDOCVANE_TESTS=OFF >/dev/null
cmake --build "$build" --target rtf_writer_bench -j2 >/dev/null
bash "$root/tests/rtf/wp2x-documents.sh" "$build/docs"
docs=("$build/docs/simple.wp" "$build/docs/simple-iso.wp" "$build/docs/wp.wp")
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
start=$(date -u +%s)
result=$("$build/bench/rtf_writer_bench" "$rounds" "$repeat" "${docs[@]}")
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
alone=$(awk '$1 == "libwpd" { print $2 }' <<<"$result")
writer=$(awk '$1 == "writer" { print $2 }' <<<"$result")
share=$(awk '$1 == "share" { print $2 }' <<<"$result")
bytes=$(awk '$1 == "bytes" { print $2 }' <<<"$result")
per() { awk -v t="$1" -v n="$((repeat * 3))" 'BEGIN { printf "%.1f µs", t / n * 1e6 }'; }
verdict=$(awk -v s="$share" 'BEGIN { print (s < 0.25 ? "met" : "missed") }')

section=$(cat <<MD
<!-- rtf-writer: written by bench/rtf_writer.sh -->
## RTF writer (native)

The WordPerfect converter's core in one process, natively (Release, no sanitizers): libwpd $(dpkg-query -W -f='${Version}' libwpd-dev 2>/dev/null || echo '?') parsing simple.wp, simple-iso.wp and wp.wp (Debian's wp2x test inputs, 25 KB together) into an interface that does nothing, and into the RTF writer (the whole RTF made, head included), alternating document by document. Thread CPU time, medians of $rounds rounds of $repeat passes over the three documents.

| | |
|---|---|
| date | $(date -u -d "@$start" '+%Y-%m-%d %H:%M UTC') |
| load average (1/5/15 min) before / after | $load_before / $load_after |
| libwpd alone, per round | $alone s ($(per "$alone") per document) |
| libwpd into the RTF writer, per round | $writer s ($(per "$writer") per document) |
| **writer's share** (writer − alone) ÷ alone | **$share** (goal: below 0.25, $verdict) |
| RTF written per round | $((bytes / rounds)) bytes |
<!-- /rtf-writer -->
MD
)
if grep -q '^<!-- rtf-writer' "$out" 2>/dev/null; then
  awk -v s="$section" '/^<!-- rtf-writer/ { print s; skip = 1; next } /^<!-- \/rtf-writer -->/ { skip = 0; next } !skip' "$out" > "$out.new"
  mv "$out.new" "$out"
else
  printf '\n%s\n' "$section" >> "$out"
fi
echo "$result"
echo "wrote the RTF writer section of $out" >&2
