#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the libFuzzer harnesses with clang (ASan, UBSan)
# and runs each for SECONDS (default 60). Fails on any finding; a crashing
# input is left in <build>/fuzz/artifacts. For a longer run:
#   bash scripts/fuzz.sh 3600
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
build=${DOCVANE_BUILD_DIR:-$root/build}/fuzz
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DDOCVANE_FUZZ=ON -DDOCVANE_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
mkdir -p "$build/artifacts"
status=0
names="request_file command_tail list_line exclusion_filter pe_image report"
# The RTF writer's harness needs Debian's librevenge and libwpd (libwpd-dev);
# without them it is not built, and not run.
if [ -x "$build/fuzz/fuzz_wordperfect_rtf" ]; then
  names="$names wordperfect_rtf"
else
  echo "fuzz: wordperfect_rtf not built (libwpd-dev missing), skipped"
fi
for name in $names; do
  corpus=$build/corpus/$name
  mkdir -p "$corpus"
  cp -n fuzz/corpus/$name/* "$corpus/" 2>/dev/null || true
  # Real WordPerfect documents as seeds too, once the RTF writer's tests have
  # downloaded them (no download here).
  if [ "$name" = wordperfect_rtf ] && ls "${DOCVANE_CACHE:-/var/cache/docvane}"/sources/wp2x_*.dsc >/dev/null 2>&1; then
    bash tests/rtf/wp2x-documents.sh "$build/wp2x" >/dev/null && cp -n "$build"/wp2x/*.wp "$corpus/"
  fi
  echo "fuzz: $name for ${seconds}s"
  if ! "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$build/artifacts/$name-" "$corpus" >"$build/$name.log" 2>&1; then
    echo "fuzz: $name FAILED, see $build/$name.log"; tail -30 "$build/$name.log"; status=1
  else
    grep -E 'stat::number_of_executed_units' "$build/$name.log" | sed "s/^/fuzz: $name /"
  fi
done
exit $status
