#!/usr/bin/env bash
# Builds docvane natively and for both Windows architectures, and runs every
# test: native unit tests under sanitizers, then the Windows tests under Wine
# (x86_64 under wine64, i686 under 32-bit Wine). Installs what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${DOCVANE_BUILD_DIR:-$root/build}
jobs=$(nproc)

bash scripts/setup.sh test

passed=0 failed=0
# A new Wine prefix takes a while to initialise: start both now, while the
# builds run (the tests wait for them).
for arch in x86_64 i686; do
  mkdir -p "$build/$arch"
  bash scripts/wine-prefix.sh "$arch" "$build/$arch/wineprefix" >/dev/null 2>&1 &
done
# Shows a ctest log and adds its counts to the totals.
count_ctest() {
  local log=$1
  cat "$log"
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -n "$line" ]; then
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f)); failed=$((failed + f))
  else
    failed=$((failed + 1))  # no summary: ctest itself failed
  fi
}

echo "== native (sanitizers)"
cmake -S . -B "$build/native" -DCMAKE_BUILD_TYPE=Debug -DDOCVANE_TESTS=ON >/dev/null
cmake --build "$build/native" -j"$jobs"
ctest --test-dir "$build/native" --output-on-failure -j"$jobs" > "$build/native/ctest.log" 2>&1 || true
count_ctest "$build/native/ctest.log"

version=$(sed -n 's/^project(docvane VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
for arch in x86_64 i686; do
  echo "== $arch build"
  cmake -S . -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release -DDOCVANE_TESTS=ON >/dev/null
  cmake --build "$build/$arch" -j"$jobs"
  # The shipped programs and converters must need only system DLLs (and
  # docvane.exe has no manifest); each carries the version and no icon.
  bash scripts/check-imports.sh "$build/$arch/docvane.exe" "$build/$arch/dvinfo.exe" "$build/$arch/dvbatch.exe" \
    "$build/$arch/textconv.cnv" "$build/$arch/wordperfect.cnv"
  for file in docvane.exe dvinfo.exe dvbatch.exe textconv.cnv wordperfect.cnv; do
    bash scripts/check-version.sh "$build/$arch/$file" "$version"
  done
done

# The i686 tests run under emulation and take one core most of the time;
# the x86_64 tests and then the fuzzing take the other. Within one
# architecture the tests share a prefix and a registry, so they run one after
# another.
fuzz_seconds=${DOCVANE_FUZZ_SECONDS:-30}
( ctest --test-dir "$build/i686" --output-on-failure > "$build/i686/ctest.log" 2>&1 ) &
i686_pid=$!
ctest --test-dir "$build/x86_64" --output-on-failure > "$build/x86_64/ctest.log" 2>&1 || true
if [ "$fuzz_seconds" -gt 0 ]; then
  # Each harness for a bounded time; any finding fails the run.
  if bash scripts/fuzz.sh "$fuzz_seconds" > "$build/fuzz.log" 2>&1; then fuzz_ok=1; else fuzz_ok=0; fi
fi
wait "$i686_pid" || true

# The release package and its installers: builds of their own, then Wine in
# fresh prefixes; after the other tests, which it would slow down.
bash scripts/test-package.sh > "$build/package-test.log" 2>&1 || true

# Set-up's decisions with a misbehaving package mirror, against stand-ins.
bash tests/setup/test_setup.sh > "$build/setup-test.log" 2>&1 || true

for arch in x86_64 i686; do
  echo "== $arch tests (Wine)"
  count_ctest "$build/$arch/ctest.log"
done
echo "== package and installers (Wine)"
cat "$build/package-test.log"
line=$(grep -E '^package tests: [0-9]+ passed, [0-9]+ failed$' "$build/package-test.log" | tail -1 || true)
if [ -n "$line" ]; then
  passed=$((passed + $(sed -E 's/.*: ([0-9]+) passed.*/\1/' <<<"$line")))
  failed=$((failed + $(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$line")))
else
  failed=$((failed + 1))  # no summary: the script itself failed
fi
echo "== set-up (stand-ins for apt-get, dpkg and the emulator's registration)"
cat "$build/setup-test.log"
line=$(grep -E '^setup tests: [0-9]+ passed, [0-9]+ failed$' "$build/setup-test.log" | tail -1 || true)
if [ -n "$line" ]; then
  passed=$((passed + $(sed -E 's/.*: ([0-9]+) passed.*/\1/' <<<"$line")))
  failed=$((failed + $(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$line")))
else
  failed=$((failed + 1))  # no summary: the script itself failed
fi
if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== fuzzing (${fuzz_seconds}s per harness)"
  cat "$build/fuzz.log"
  if [ "$fuzz_ok" -eq 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
fi

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
