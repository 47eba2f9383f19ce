#!/usr/bin/env bash
# bench/run.sh [ARCH...]
# Measures docvane against yardsticks of its own and writes bench/results.md:
#  - a list request against an empty GUI program started the same way (and
#    against that program with docvane's window set-up, to show where the
#    time goes);
#  - import and export of 1 KB, 1 MB and 100 MB through the stream converter
#    against bench/yardstick.c, which does only the work the program is
#    obliged to do (the same hidden window, the converter bound the same way,
#    2048-byte chunks through one stream write or read each, one title update
#    per chunk), and against a plain copy (CopyFileA) of the same bytes on the
#    same disk;
#  - docvane's peak memory across those sizes.
# Every figure is a median over several runs, and every program is started
# and timed from inside Wine by bench/launcher.c, so both sides of a ratio pay
# the same start-up path. ARCH: i686 (the shipped build) and/or x86_64;
# default both. It reports and never fails on a figure; it is not part of the
# tests. Environment: DOCVANE_BUILD_DIR (build root, default build/; this
# script uses its bench/ subfolder and a Wine prefix of its own there),
# DOCVANE_BENCH_RUNS (default 5), DOCVANE_BENCH_BIG_RUNS (100 MB cases,
# default 3), DOCVANE_BENCH_STARTUP_RUNS (start-up cases, default 11: they
# are short and noisy), DOCVANE_BENCH_SIZES (bytes, default
# "1024 1048576 104857600"; smaller ones check the script quickly).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${DOCVANE_BUILD_DIR:-$root/build}/bench
arches=${*:-i686 x86_64}
runs=${DOCVANE_BENCH_RUNS:-5}
big_runs=${DOCVANE_BENCH_BIG_RUNS:-3}
startup_runs=${DOCVANE_BENCH_STARTUP_RUNS:-11}
sizes=${DOCVANE_BENCH_SIZES:-1024 1048576 104857600}
out=$root/bench/results.md

winpath() { printf 'Z:%s' "${1//\//\\}"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
label() { case $1 in 1024) echo "1 KB";; 1048576) echo "1 MB";; 104857600) echo "100 MB";; *) echo "$1 B";; esac; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

build_arch() {
  local arch=$1 dir=$2 triple
  case $arch in i686) triple=i686-w64-mingw32;; x86_64) triple=x86_64-w64-mingw32;; esac
  cmake -S "$root" -B "$dir/cmake" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DDOCVANE_TESTS=OFF >/dev/null
  cmake --build "$dir/cmake" --target docvane -j2 >/dev/null
  mkdir -p "$dir/bin"
  cp "$dir/cmake/docvane.exe" "$dir/bin/"
  local cc=$triple-gcc cflags=(-std=c11 -O2 -Wall -Wextra -Werror -static)
  "$cc" "${cflags[@]}" -o "$dir/bin/launcher.exe" "$root/bench/launcher.c" -lpsapi
  "$cc" "${cflags[@]}" -mwindows -o "$dir/bin/empty_program.exe" "$root/bench/empty_program.c"
  "$cc" "${cflags[@]}" -mwindows -DWITH_USER32 -o "$dir/bin/empty_user32.exe" "$root/bench/empty_program.c"
  "$cc" "${cflags[@]}" -mwindows -DWITH_WINDOW -o "$dir/bin/empty_window.exe" "$root/bench/empty_program.c"
  "$cc" "${cflags[@]}" -mwindows -o "$dir/bin/yardstick.exe" "$root/bench/yardstick.c"
  local kill_at=()
  [ "$arch" = i686 ] && kill_at=(-Wl,--kill-at)
  "$cc" "${cflags[@]}" -shared "${kill_at[@]}" -o "$dir/bin/stream_converter.dll" \
    "$root/tests/fixtures/stream/stream_converter.c" -luser32
}

# Runs "launcher time 1 ..." and prints the seconds.
seconds() { w "$L" time 1 "$@" | awk '$1 == "run" { print $2 }'; }

# Figures of one architecture, appended to the report body.
bench_arch() {
  local arch=$1 dir=$build/$1 loader
  case $arch in i686) loader=/usr/lib/wine/wine;; x86_64) loader=/usr/lib/wine/wine64;; esac
  echo "== $arch: building" >&2
  build_arch "$arch" "$dir"
  prefix=$dir/wineprefix
  bash "$root/scripts/wine-prefix.sh" "$arch" "$prefix"
  w() { WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=C "$loader" "$@"; }
  # One server and one desktop for the whole series, as on Windows.
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -p 2>/dev/null || true   # maybe running already
  L=$dir/bin/launcher.exe
  w "$L" hold &
  local holder=$!
  local bin data
  bin=$(winpath "$dir/bin")
  data=$dir/data
  rm -rf "$data"
  mkdir -p "$data/wordpad"
  # The stream converter as WordPad's built-in converters: command-line
  # requests reach it (index 0 for export).
  cp "$dir/bin/stream_converter.dll" "$data/wordpad/MSWD6_32.WPC"
  cp "$dir/bin/stream_converter.dll" "$data/wordpad/WRITE32.WPC"
  w "$L" setup "$(winpath "$data/wordpad")"
  printf '\\\\\\\\-1-1\r\n' >"$data/list.template"
  local D="$bin\\docvane.exe" req tmpl
  req=$(winpath "$data/list.req")
  tmpl=$(winpath "$data/list.template")
  seconds "$D" "$req" "$req" "$tmpl" >/dev/null   # warm-up
  cmp -s "$data/list.req" <(printf 'ExtWP32: Word f\xfcr Windows 6.0 (*.doc)\nExtWP32: Windows Write (*.wri)\n\nExtWP32: Word f\xfcr Windows 6.0 (*.doc)\n\n') ||
    echo "warning: unexpected list file" >&2

  echo "== $arch: start-up ($startup_runs runs)" >&2
  local -A t=()
  local i p
  local programs="empty_program empty_user32 empty_window docvane"
  for ((i = 0; i < startup_runs; i++)); do
    for p in $programs; do t[$p]+="$(seconds "$bin\\$p.exe" "$req" "$req" "$tmpl") "; done
  done
  local -A m=()
  for p in $programs; do m[$p]=$(printf '%s\n' ${t[$p]} | median); done
  {
    echo "### $arch"
    echo
    echo "Start-up: wall time of one run, median of $startup_runs, the programs alternating. Each is started with the list request's command line and its request file rewritten before the run; only docvane reads it."
    echo
    echo "| program | median wall time | ratio to the empty program |"
    echo "|---|---|---|"
    awk -v e="${m[empty_program]}" -v u="${m[empty_user32]}" -v x="${m[empty_window]}" -v d="${m[docvane]}" 'BEGIN {
      printf "| empty GUI program (returns at once) | %.1f ms | 1.00 |\n", e * 1000
      printf "| the same, draining its message queue once (loads the window manager) | %.1f ms | %.2f |\n", u * 1000, u / e
      printf "| the same, also creating a hidden window as docvane does | %.1f ms | %.2f |\n", x * 1000, x / e
      printf "| **docvane, list request (both lists)** | %.1f ms | **%.2f** (goal: within 1.20); %.2f against the window program |\n", d * 1000, d / e, d / x }'
    echo
  } >>"$body"

  local size n src rows="" peaks="" f transfer="" yrows=""
  local -A c=() im=() ex=()
  for size in $sizes; do
    n=$runs
    [ "$size" -ge 104857600 ] && n=$big_runs
    echo "== $arch: $(label "$size") ($n runs)" >&2
    head -c "$size" /dev/urandom >"$data/source.stm"
    src=$(winpath "$data/source.stm")
    local t_imp="" t_exp="" t_copy="" t_own="" t_yim="" t_yex="" Y="$bin\\yardstick.exe"
    for ((i = 0; i < n; i++)); do
      rm -f "$data/copy.out" "$data/import.rtf" "$data/export.out" "$data/y_import.rtf" "$data/y_export.out"
      t_copy+="$(seconds "$bin\\launcher.exe" "copy $src $(winpath "$data/copy.out")") "
      t_yim+="$(seconds "$Y" "import $src $(winpath "$data/y_import.rtf")") "
      t_imp+="$(seconds "$D" "$src $(winpath "$data/import.rtf")") "
      t_yex+="$(seconds "$Y" "export $src $(winpath "$data/y_export.out")") "
      t_exp+="$(seconds "$D" "$src $(winpath "$data/export.out") 0") "
      for f in copy.out import.rtf export.out y_import.rtf y_export.out; do
        cmp -s "$data/source.stm" "$data/$f" || echo "warning: $f differs from the source" >&2
      done
      rm -f "$data/copy.out"
      t_own+="$(w "$L" copy "$src" "$(winpath "$data/copy.out")" | awk '$1 == "copied" { print $2 }') "
    done
    c[$size]=$(printf '%s\n' $t_copy | median)
    im[$size]=$(printf '%s\n' $t_imp | median)
    ex[$size]=$(printf '%s\n' $t_exp | median)
    yrows+=$(awk -v lab="$(label "$size")" -v n="$n" -v yi="$(printf '%s\n' $t_yim | median)" -v im="${im[$size]}" \
      -v ye="$(printf '%s\n' $t_yex | median)" -v ex="${ex[$size]}" 'BEGIN {
      printf "| %s | %d | %.1f ms | %.1f ms | **%.3f** | %.1f ms | %.1f ms | **%.3f** |\n",
        lab, n, yi * 1000, im * 1000, im / yi, ye * 1000, ex * 1000, ex / ye }')$'\n'
    rows+=$(awk -v s="$size" -v lab="$(label "$size")" -v n="$n" -v c="${c[$size]}" -v im="${im[$size]}" -v ex="${ex[$size]}" 'BEGIN {
      mb = s / 1048576
      printf "| %s | %d | %.1f ms (%.1f MB/s) | %.1f ms (%.1f MB/s) | %.1f ms (%.1f MB/s) | %.2f / %.2f |\n",
        lab, n, c * 1000, mb / c, im * 1000, mb / im, ex * 1000, mb / ex, c / im, c / ex }')$'\n'
    # Transfer alone: docvane's time beyond a 1 KB run of the same kind,
    # against CopyFileA's own time inside a running process.
    transfer=$(awk -v s="$size" -v n="$n" -v own="$(printf '%s\n' $t_own | median)" -v im="${im[$size]}" -v ex="${ex[$size]}" \
      -v im0="${im[1024]}" -v ex0="${ex[1024]}" 'BEGIN {
      mb = (s - 1024) / 1048576
      printf "Transfer alone at %d MB, medians of %d: CopyFileA %.0f ms (%.0f MB/s); import %.0f ms beyond a 1 KB import (%.1f MB/s, %.2f of the copy); export %.0f ms beyond a 1 KB export (%.1f MB/s, %.2f of the copy).\n",
        s / 1048576, n, own * 1000, mb / own, (im - im0) * 1000, mb / (im - im0), own / (im - im0), (ex - ex0) * 1000, mb / (ex - ex0), own / (ex - ex0) }')

    # Peak memory, in runs of their own: watching the process costs time.
    local p_imp="" p_exp="" pf_imp="" pf_exp="" ws pf
    for ((i = 0; i < n; i++)); do
      read -r _ ws pf _ < <(w "$L" peak 1 "$D" "$src $(winpath "$data/import.rtf")")
      p_imp+="$ws "; pf_imp+="$pf "
      read -r _ ws pf _ < <(w "$L" peak 1 "$D" "$src $(winpath "$data/export.out") 0")
      p_exp+="$ws "; pf_exp+="$pf "
    done
    peaks+=$(awk -v lab="$(label "$size")" -v n="$n" \
      -v a="$(printf '%s\n' $p_imp | median)" -v b="$(printf '%s\n' $pf_imp | median)" \
      -v c="$(printf '%s\n' $p_exp | median)" -v d="$(printf '%s\n' $pf_exp | median)" 'BEGIN {
      printf "| %s | %d | %.1f MB | %.1f MB | %.1f MB | %.1f MB |\n", lab, n, a / 1048576, b / 1048576, c / 1048576, d / 1048576 }')$'\n'
  done
  rm -f "$data/source.stm" "$data/copy.out" "$data/import.rtf" "$data/export.out" "$data/y_import.rtf" "$data/y_export.out"

  # What any process of this kind costs here, for scale.
  local p_empty="" pf_empty=""
  for ((i = 0; i < runs; i++)); do
    read -r _ ws pf _ < <(w "$L" peak 1 "$bin\\empty_window.exe" "$req" "$req" "$tmpl")
    p_empty+="$ws "; pf_empty+="$pf "
  done

  w "$L" release
  wait "$holder" || true
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k || true

  {
    echo "Conversions against the yardstick (bench/yardstick.c): a program that does only what the program is obliged to do for the same command-line request: the same hidden window, the converter found through WordPad's open command and bound the same way, each 2048-byte chunk through one stream write (import) or read (export), one title update per chunk with the same progress text. Median wall time per run, process start included on both sides, the two alternating. Ratio = docvane time ÷ yardstick time, docvane's own overhead; goal: at most 1.02 at every size."
    echo
    echo "| size | runs | yardstick import | docvane import | ratio | yardstick export | docvane export | ratio |"
    echo "|---|---|---|---|---|---|---|---|"
    printf '%s' "$yrows"
    echo
    echo "Throughput through the stream converter (command-line import and export, the converter as WordPad's built-in) against CopyFileA of the same bytes in a process of its own started the same way, all on the same disk (page cache warm). Median wall time per run, process start included on both sides. Ratio = copy time ÷ docvane time, that is docvane's throughput as a share of the copy's; goal at 100 MB: at least 0.80."
    echo
    echo "| size | runs | plain copy | import | export | ratio import / export |"
    echo "|---|---|---|---|---|---|"
    printf '%s' "$rows"
    echo
    echo "$transfer"
    echo
    echo "Peak memory of the docvane process: PeakWorkingSetSize and PeakPagefileUsage from GetProcessMemoryInfo, polled while it runs (Wine reads them from the host process, so the emulator's own memory counts on i686), medians; goal: flat across sizes."
    echo
    echo "| size | runs | import working set | import pagefile | export working set | export pagefile |"
    echo "|---|---|---|---|---|---|"
    printf '%s' "$peaks"
    awk -v n="$runs" -v a="$(printf '%s\n' $p_empty | median)" -v b="$(printf '%s\n' $pf_empty | median)" 'BEGIN {
      printf "| for scale: the empty program with a hidden window | %d | %.1f MB | %.1f MB | | |\n", n, a / 1048576, b / 1048576 }'
    echo
  } >>"$body"
}

body=$(mktemp)
trap 'rm -f "$body"' EXIT
load_before=$(load)
started=$(date +%s)
for arch in $arches; do bench_arch "$arch"; done
load_after=$(load)

{
  echo "# docvane benchmarks"
  echo
  echo "Written by \`bash bench/run.sh\` (figures are reports, not pass/fail). Programs are started and timed inside Wine by bench/launcher.c (CreateProcessA, QueryPerformanceCounter); a hidden window of the launcher keeps Wine's desktop process alive for the whole series, as a Windows desktop always is."
  echo
  echo "| | |"
  echo "|---|---|"
  echo "| date | $(date -u '+%Y-%m-%d %H:%M UTC'), $(( ($(date +%s) - started) / 60 )) min |"
  echo "| CPU | $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores |"
  echo "| memory | $(awk '/MemTotal/ { printf "%.1f GB", $2 / 1048576 }' /proc/meminfo) |"
  echo "| Wine | $(/usr/lib/wine/wine64 --version) |"
  echo "| architectures | $arches (i686 is the shipped build; it runs under i386 user-mode emulation here, x86_64 natively) |"
  echo "| load average (1/5/15 min) before / after | $load_before / $load_after |"
  echo
  # Anything else running skews short runs most: say so.
  if awk -v a="${load_before%% *}" -v b="${load_after%% *}" 'BEGIN { exit !(a > 1 || b > 1) }'; then
    echo "Other jobs shared the machine's $(nproc) cores while this ran (see the load average): single runs vary by tens of percent, so read small differences as noise."
    echo
  fi
  cat "$body"
} >"$out"
echo "wrote $out" >&2
