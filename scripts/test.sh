#!/usr/bin/env bash
# Builds docvane natively and for both Windows architectures, and runs every
# test: native unit tests under sanitizers, then the Windows tests under Wine
# (x86_64 under wine64, i686 under 32-bit Wine). Installs what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${DOCVANE_BUILD_DIR:-$root/build}
jobs=$(nproc)

bash scripts/setup.sh

passed=0 failed=0
run_ctest() {
  local dir=$1; shift
  local log=$dir/ctest.log
  set +e
  ctest --test-dir "$dir" --output-on-failure "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  set -e
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -n "$line" ]; then
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f)); failed=$((failed + f))
  elif [ "$rc" -ne 0 ]; then
    failed=$((failed + 1))
  fi
}

echo "== native (sanitizers)"
cmake -S . -B "$build/native" -DCMAKE_BUILD_TYPE=Debug -DDOCVANE_TESTS=ON >/dev/null
cmake --build "$build/native" -j"$jobs"
run_ctest "$build/native" -j"$jobs"

for arch in x86_64 i686; do
  echo "== $arch (Wine)"
  cmake -S . -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release -DDOCVANE_TESTS=ON >/dev/null
  cmake --build "$build/$arch" -j"$jobs"
  # The shipped program and the example converter must need only system
  # DLLs; the program carries its version and no icon.
  bash scripts/check-imports.sh "$build/$arch/docvane.exe" "$build/$arch/textconv.cnv"
  bash scripts/check-version.sh "$build/$arch/docvane.exe" \
    "$(sed -n 's/^project(docvane VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)"
  # One prefix and one registry per architecture: the Windows tests run one
  # after another.
  run_ctest "$build/$arch"
done

# Each fuzz harness for a bounded time; any finding fails the run.
fuzz_seconds=${DOCVANE_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== fuzzing (${fuzz_seconds}s per harness)"
  if bash scripts/fuzz.sh "$fuzz_seconds"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
fi

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
