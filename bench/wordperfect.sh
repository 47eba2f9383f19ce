#!/usr/bin/env bash
# bench/wordperfect.sh [ARCH...]
# Under Wine: a whole docvane import of a real WordPerfect document (wp2x's
# wp.wp) through wordperfect.cnv, against a docvane run in which the same
# converter loads and refuses a document (a text file; no converter takes it:
# -15). The process start dominates both; the ratio is what converting adds.
# Pairs alternate; medians. Goal: at most 1.10. Writes its section of
# bench/results.md, between its markers (bench/run.sh rewrites that file:
# run this one after it). ARCH: x86_64 and/or i686
# (default x86_64). Environment: DOCVANE_BUILD_DIR (default build/; uses its
# <arch>/ build folders, configured as scripts/test.sh does, and
# bench-wordperfect/), DOCVANE_BENCH_PAIRS (default 20).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
builds=${DOCVANE_BUILD_DIR:-$root/build}
arches=${*:-x86_64}
pairs=${DOCVANE_BENCH_PAIRS:-20}
out=$root/bench/results.md

winpath() { printf 'Z:%s' "${1//\//\\}"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

documents=$(bash "$root/scripts/wpd-deps.sh" --documents)
section=$(mktemp)
{
  echo "## WordPerfect converter"
  echo
  echo "Written by \`bash bench/wordperfect.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), load average before: $(cut -d' ' -f1-3 /proc/loadavg). A docvane import of wp.wp ($(wc -c < "$documents/wp.wp") bytes, WordPerfect 5) through wordperfect.cnv, registered, against a docvane run in which the same converter loads and refuses a text file; $pairs pairs, alternating, each run started and timed inside Wine by bench/launcher.c. Goal: import at most 1.10 times the refusal."
  echo
  echo "| arch | refusal (median) | import (median) | ratio |"
  echo "|---|---|---|---|"
} > "$section"

for arch in $arches; do
  case $arch in
    i686) loader=/usr/lib/wine/wine triple=i686-w64-mingw32 ;;
    x86_64) loader=/usr/lib/wine/wine64 triple=x86_64-w64-mingw32 ;;
    *) echo "bench/wordperfect.sh: unknown arch $arch" >&2; exit 2 ;;
  esac
  tree=$builds/$arch
  [ -f "$tree/CMakeCache.txt" ] || cmake -S "$root" -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DDOCVANE_TESTS=OFF >/dev/null
  cmake --build "$tree" --target docvane wordperfect -j2 >/dev/null
  dir=$builds/bench-wordperfect/$arch
  rm -rf "$dir/data" && mkdir -p "$dir/bin" "$dir/data"
  "$triple-gcc" -std=c11 -O2 -Wall -Wextra -Werror -static -o "$dir/bin/launcher.exe" "$root/bench/launcher.c" -lpsapi
  cp "$tree/docvane.exe" "$tree/wordperfect.cnv" "$dir/bin/"
  prefix=$dir/wineprefix
  bash "$root/scripts/wine-prefix.sh" "$arch" "$prefix"
  w() { WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=C "$loader" "$@"; }
  w reg add 'HKLM\SOFTWARE\Microsoft\Shared Tools\Text Converters\Import\docvane WordPerfect' /v Path \
    /d "$(winpath "$dir/bin/wordperfect.cnv")" /f >/dev/null 2>&1
  w reg add 'HKLM\SOFTWARE\Microsoft\Shared Tools\Text Converters\Import\docvane WordPerfect' /v Name \
    /d 'WordPerfect (docvane)' /f >/dev/null 2>&1
  cp "$documents/wp.wp" "$dir/data/wp.wp"
  printf 'Plain text, not WordPerfect.\r\n' > "$dir/data/refused.txt"
  d=$(winpath "$dir/data")
  printf '%s\\wp.wp\r\n%s\\wp.rtf\r\nX\r\n' "$d" "$d" > "$dir/data/import.template"
  printf '%s\\refused.txt\r\n%s\\refused.rtf\r\nX\r\n' "$d" "$d" > "$dir/data/refuse.template"
  L=$dir/bin/launcher.exe D=$(winpath "$dir/bin/docvane.exe")
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -p 2>/dev/null || true
  w "$L" hold &
  holder=$!
  # "run SECONDS EXITCODE": the time, and the exit code checked once.
  one() { w "$L" time 1 "$D" "$d\\$1.req" "$d\\$1.req" "$d\\$1.template" | tr -d '\r' | awk '$1 == "run" { print $2, $3 }'; }
  one import >/dev/null; one refuse >/dev/null   # warm-up
  [ "$(one import | cut -d' ' -f2)" = 0 ] || echo "warning: the import did not end with 0" >&2
  [ "$(one refuse | cut -d' ' -f2)" = -15 ] || echo "warning: the refusal did not end with -15" >&2
  imports= refusals=
  for ((i = 0; i < pairs; i++)); do
    refusals+="$(one refuse | cut -d' ' -f1) "
    imports+="$(one import | cut -d' ' -f1) "
  done
  w "$L" release || true
  wait "$holder" 2>/dev/null || true
  mi=$(printf '%s\n' $imports | median)
  mr=$(printf '%s\n' $refusals | median)
  awk -v a="$arch" -v i="$mi" -v r="$mr" 'BEGIN { printf "| %s | %.1f ms | %.1f ms | **%.2f** |\n", a, r * 1000, i * 1000, i / r }' >> "$section"
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
done

# The section between its markers, replaced where it is or appended.
begin='<!-- wordperfect: written by bench/wordperfect.sh -->' end='<!-- /wordperfect -->'
{ echo "$begin"; cat "$section"; echo "$end"; } > "$section.marked"
if grep -qxF "$begin" "$out"; then
  awk -v b="$begin" -v e="$end" -v f="$section.marked" '
    $0 == b { while ((getline line < f) > 0) print line; skip = 1; next }
    $0 == e { skip = 0; next }
    !skip' "$out" > "$out.new" && mv "$out.new" "$out"
else
  { [ -z "$(tail -c 1 "$out")" ] || echo; echo; cat "$section.marked"; } >> "$out"
fi
rm -f "$section" "$section.marked"
awk -v b="$begin" -v e="$end" '$0 == b { on = 1 } on { print } $0 == e { on = 0 }' "$out"
