#!/usr/bin/env bash
# demo.sh: real conversions with docvane under Wine, from a fresh Debian 12
# machine. Installs what is missing, builds the shipped 32-bit docvane.exe
# and the example converter, makes a private Wine prefix, registers the
# converter there and runs an import, an export and a list request, showing
# each request, its full exit code and what docvane wrote. Last, a real
# WordPerfect document through wordperfect.cnv, and a folder of them through
# the batch program dvbatch.exe.
#   DOCVANE_DEMO_ARCH=x86_64 runs the 64-bit build instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
arch=${DOCVANE_DEMO_ARCH:-i686}
demo=${DOCVANE_BUILD_DIR:-$root/build}/demo
tree=$demo/$arch
prefix=$demo/wineprefix-$arch
started=$(date +%s)

step() { printf '\n==> [%2ds] %s\n' "$(( $(date +%s) - started ))" "$*"; }
say() { printf '    %s\n' "$*"; }
# Shows a file's lines (code page 1252 text shown as UTF-8), line ends as
# written.
show() {
  local file=$1 lines=${2:-1000}
  head -n "$lines" "$file" | iconv -f CP1252 -t UTF-8 | sed -e 's/\r$/<CR>/' -e 's/^/    | /'
}

step "Installing what is missing (scripts/setup.sh demo)"
setup_status=0
bash scripts/setup.sh demo 2>&1 | sed 's/^/    /' || setup_status=$?
if [ "$setup_status" -eq 3 ] && [ "$arch" = i686 ]; then
  # 32-bit Wine could not be set up (set-up said why): the same code, 64-bit.
  say "32-bit Wine is not available (see above): running the 64-bit build instead of the shipped 32-bit one"
  arch=x86_64 tree=$demo/x86_64 prefix=$demo/wineprefix-x86_64
elif [ "$setup_status" -ne 0 ]; then
  exit "$setup_status"
fi

# Wine sets a new prefix up while the build runs.
step "Preparing a private Wine prefix in the background: $prefix"
[ -f "$prefix/.docvane-ready-2" ] && say "ready from an earlier run" || say "first time: Wine sets it up (some seconds)"
bash scripts/wine-prefix.sh "$arch" "$prefix" &
prefix_job=$!

step "Building docvane.exe, the example converter textconv.cnv, dvlaunch.exe and dvbatch.exe ($arch) in $tree"
cmake -S . -B "$tree" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DDOCVANE_TESTS=OFF >/dev/null
cmake --build "$tree" -j2 --target docvane textconv dvlaunch dvbatch \
  | grep -E 'Linking|Built target (docvane|textconv|dvlaunch|dvbatch)$' | sed 's/^/    /' || true
bash scripts/check-imports.sh "$tree/docvane.exe" "$tree/textconv.cnv" "$tree/dvbatch.exe" | sed 's/^/    /'

step "Waiting for the Wine prefix"
wait "$prefix_job"
say "ready"
case "$arch" in
  i686) loader=/usr/lib/wine/wine ;;
  *)    loader=/usr/lib/wine/wine64 ;;
esac
wine() { WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=C "$loader" "$@"; }
# One wineserver for all the runs below, instead of one start per run.
WINEPREFIX=$prefix /usr/lib/wine/wineserver -p10
trap 'WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT

c=$prefix/drive_c
# Installed where the package's README puts it, so the registration file
# of this architecture names the right path.
install="$c/Program Files/docvane/$arch"
rm -rf "$c/demo" "$c/Program Files/docvane"
mkdir -p "$c/demo" "$install"
cp "$tree/docvane.exe" "$tree/textconv.cnv" "$tree/dvlaunch.exe" "$tree/dvbatch.exe" "$install/"
dv="C:\\Program Files\\docvane\\$arch"
say "installed as $dv\\docvane.exe and $dv\\textconv.cnv"

step "Registering the example converter for import and export (examples/textconv/textconv-$arch.reg)"
cp "examples/textconv/textconv-$arch.reg" "$c/demo/textconv.reg"
sed -e 's/\r$//' -e '/^;/d' -e '/^$/d' "examples/textconv/textconv-$arch.reg" | sed 's/^/    | /'
wine regedit /S 'C:\demo\textconv.reg'

# Runs docvane with exactly this command line through dvlaunch, which shows
# the full 32-bit exit code (a Linux shell would see only its low 8 bits).
run() {
  say "command line: $*"
  local out
  # dvlaunch exits with docvane's code: not a failure of this script.
  out=$( { wine "$dv\\dvlaunch.exe" "$@" || true; } | tr -d '\r')
  say "$out"
}

printf 'Dear reader,\r\n\r\nthis letter went through docvane and its example converter.\r\nIt keeps {braces}, back\\slashes, a\ttab and umlauts: \xe4 \xf6 \xfc \xdf.\r\n\r\nKind regards\r\n' \
  > "$c/demo/letter.txt"

step "Import: C:\\demo\\letter.txt to RTF, with a request file that selects the registry's converters (X)"
show "$c/demo/letter.txt"
printf 'C:\\demo\\letter.txt\r\nC:\\demo\\letter.rtf\r\nX\r\n' > "$c/demo/import.req"
say "request file C:\\demo\\import.req:"
show "$c/demo/import.req"
run "$dv\\docvane.exe" 'C:\demo\import.req'
say "status file (the request file, rewritten: last progress text, result):"
show "$c/demo/import.req"
say "first lines of C:\\demo\\letter.rtf ($(wc -c < "$c/demo/letter.rtf") bytes):"
show "$c/demo/letter.rtf" 4

step "Export: C:\\demo\\letter.rtf back to text through the export converter with index 0"
printf 'C:\\demo\\letter.rtf\r\nC:\\demo\\letter-back.txt\r\nX\r\n0\r\n' > "$c/demo/export.req"
say "request file C:\\demo\\export.req:"
show "$c/demo/export.req"
run "$dv\\docvane.exe" 'C:\demo\export.req'
say "status file:"
show "$c/demo/export.req"
if cmp -s "$c/demo/letter.txt" "$c/demo/letter-back.txt"; then
  say "C:\\demo\\letter-back.txt is byte for byte the same as C:\\demo\\letter.txt"
else
  say "C:\\demo\\letter-back.txt differs from C:\\demo\\letter.txt:"
  show "$c/demo/letter-back.txt"
  exit 1
fi

step "A request no converter takes: export with index 1 (only index 0 exists)"
printf 'C:\\demo\\letter.rtf\r\nC:\\demo\\nothing.txt\r\nX\r\n1\r\n' > "$c/demo/none.req"
run "$dv\\docvane.exe" 'C:\demo\none.req'
say "status file:"
show "$c/demo/none.req"

step "List request: both lists"
printf '\\\\\\\\-1-1\r\n' > "$c/demo/list.req"
say "request file C:\\demo\\list.req:"
show "$c/demo/list.req"
run "$dv\\docvane.exe" 'C:\demo\list.req'
say "list file ($(wc -c < "$c/demo/list.req") bytes):"
show "$c/demo/list.req"
say "Both sections are empty: a list request names only WordPad's built-in converters"
say "(MSWD6_32.WPC and WRITE32.WPC beside WordPad's program), and this prefix has none."
say "The registered example converter is reached by conversion request files (X or Y)."

step "A real WordPerfect document: the converter wordperfect.cnv (libwpd) in $tree"
say "librevenge and libwpd come from Debian's sources, built once into the cache (scripts/wpd-deps.sh; minutes the first time)"
cmake --build "$tree" -j2 --target wordperfect | grep -E 'wpd-deps|Linking|Built target wordperfect$' | sed 's/^/    /' || true
bash scripts/check-imports.sh "$tree/wordperfect.cnv" | sed 's/^/    /'
cp "$tree/wordperfect.cnv" "$install/"
sed -e 's/\r$//' -e '/^;/d' -e '/^$/d' "converters/wordperfect/wordperfect-$arch.reg" | sed 's/^/    | /'
cp "converters/wordperfect/wordperfect-$arch.reg" "$c/demo/wordperfect.reg"
wine regedit /S 'C:\demo\wordperfect.reg'
# A short paper, a real WordPerfect 5 document from Debian's wp2x sources.
documents=$(bash scripts/wpd-deps.sh --documents)
cp "$documents/wp.wp" "$c/demo/paper.wp"
say "C:\\demo\\paper.wp: $(wc -c < "$c/demo/paper.wp") bytes of WordPerfect 5"
printf 'C:\\demo\\paper.wp\r\nC:\\demo\\paper.rtf\r\nX\r\n' > "$c/demo/paper.req"
say "request file C:\\demo\\paper.req:"
show "$c/demo/paper.req"
run "$dv\\docvane.exe" 'C:\demo\paper.req'
say "status file:"
show "$c/demo/paper.req"
say "first lines of C:\\demo\\paper.rtf ($(wc -c < "$c/demo/paper.rtf") bytes), cut at 160 characters:"
head -c 1600 "$c/demo/paper.rtf" | tr -d '\r' | sed -E 's/\\par([^a-z])/\\par\n\1/g' | head -n 8 | cut -c1-160 | sed 's/^/    | /'

step "A folder of WordPerfect documents through the batch program dvbatch.exe (docs/batch.md)"
# wp2x's three documents, two of them again under names with blanks in a
# subfolder, and one file that is no WordPerfect document (nor text): the
# report then shows a second outcome.
rm -rf "$c/demo/wordperfect" "$c/demo/wordperfect rtf"
mkdir -p "$c/demo/wordperfect/copies"
cp "$documents/simple.wp" "$documents/simple-iso.wp" "$documents/wp.wp" "$c/demo/wordperfect/"
cp "$documents/wp.wp" "$c/demo/wordperfect/copies/short paper.wp"
cp "$documents/simple-iso.wp" "$c/demo/wordperfect/copies/letter with umlauts.wp"
# A whole 1x1 PNG image: a cut-off header alone is so short that libwpd's
# WordPerfect 4.2 heuristic can take it.
png='\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x00'
png+='\x00\x00\x00\x3a\x7e\x9b\x55\x00\x00\x00\x0a\x49\x44\x41\x54\x78\xda\x63\x68\x00\x00\x00\x82\x00\x81\xda\x45\x08\x3b'
png+='\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82'
printf "$png" > "$c/demo/wordperfect/scan.png"
say "C:\\demo\\wordperfect:"
(cd "$c/demo/wordperfect" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | while IFS= read -r f; do
  printf '    %8d  %s\n' "$(wc -c < "$f")" "$f"; done)
batch=("$dv\\dvbatch.exe" import 'C:\demo\wordperfect' 'C:\demo\wordperfect rtf' --jobs 2 --quiet)
say "command: \"$dv\\dvbatch.exe\" import C:\\demo\\wordperfect \"C:\\demo\\wordperfect rtf\" --jobs 2 --quiet"
batch_status=0
# A console program: its summary goes to stderr. Its exit codes (0 to 4) fit
# in the 8 bits a Linux shell sees, so no dvlaunch is needed here.
wine "${batch[@]}" 2> "$c/demo/dvbatch-summary.txt" || batch_status=$?
say "dvbatch's summary (stderr):"
sed -e 's/\r$//' -e 's/^/    | /' "$c/demo/dvbatch-summary.txt"
say "exit code $batch_status (1: some document was not converted; the report says which)"
if [ "$batch_status" -ne 1 ]; then
  say "expected exit code 1: five documents converted and scan.png not recognised"
  exit 1
fi
say "report C:\\demo\\wordperfect rtf\\dvbatch-report.jsonl, one line per document:"
sed -e 's/\r$//' -e 's/^/    | /' "$c/demo/wordperfect rtf/dvbatch-report.jsonl"
say "C:\\demo\\wordperfect rtf: the outputs (the source's name with .rtf added; none for scan.png)"
say "and the report, no work files:"
(cd "$c/demo/wordperfect rtf" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | while IFS= read -r f; do
  printf '    %8d  %-32s %s\n' "$(wc -c < "$f")" "$f" "$(head -c 40 "$f" | tr -d '\r\n')"; done)

step "Done in $(( $(date +%s) - started )) s. The files are in $c/demo"
