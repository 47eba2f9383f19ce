#!/usr/bin/env bash
# package.sh: builds docvane for i686 (the shipped program) and x86_64 and
# makes, in dist/:
#  - docvane-<version>.zip: per architecture a folder with the stripped
#    docvane.exe, dvinfo.exe and example converter textconv.cnv and that
#    folder's registration file; the administrator's README.txt, LICENSE.txt, the
#    docs, the sources of the example converter and of the calling examples,
#    and SHA256SUMS;
#  - docvane-<version>-symbols.zip: what was stripped (debug information and
#    symbol tables, one .debug file per binary, named by each binary's
#    .gnu_debuglink), so a crash address can still be resolved;
#  - a .sha256 file beside each archive.
# The same commit gives the same bytes: fixed file order, modes and times
# (SOURCE_DATE_EPOCH, by default the commit's time), no extra zip fields, PE
# time stamps left at 0, build paths mapped away from the debug information.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${DOCVANE_BUILD_DIR:-$root/build}/package
version=$(sed -n 's/^project(docvane VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
name=docvane-$version
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
epoch=${epoch:-315532800}   # 1980-01-01, the earliest time a zip can hold

bash scripts/setup.sh
debug_flags="-g -ffile-prefix-map=$root=."
# objcopy stamps a PE file with the current time unless SOURCE_DATE_EPOCH
# says otherwise; 0 is what the linker wrote (--no-insert-timestamp).
pe_time=0

# Windows text files: CR LF line ends, whatever the checkout has; @VERSION@
# is the version.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' -e "s/@VERSION@/$version/g" "$1" > "$2"; }
# sha256sum lines of every file below $1, in a fixed order.
sums_of() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum); }
# Fixed modes and times for everything below $1.
normalise() {
  find "$1" -type d -exec chmod 0755 {} +
  find "$1" -type f -exec chmod 0644 {} +
  find "$1" -exec touch -h -d "@$epoch" {} +
}
# zips folder $2 of the stage $1 as $3, with its .sha256 beside it.
# -X: no owner ids or extra time stamps; -D: no directory entries; TZ=UTC:
# zip keeps local times.
zip_folder() {
  local stage=$1 folder=$2 zip_file=$3
  rm -f "$zip_file" "$zip_file.sha256"
  (cd "$stage" && find "$folder" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q -9 "$zip_file" -@)
  (cd "$(dirname "$zip_file")" && sha256sum "$(basename "$zip_file")" > "$(basename "$zip_file").sha256")
}

for arch in i686 x86_64; do
  echo "== $arch"
  # -g adds debug information without changing the code; the prefix map
  # keeps this checkout's path out of it.
  cmake -S . -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DDOCVANE_TESTS=OFF -DCMAKE_C_FLAGS="$debug_flags" -DCMAKE_CXX_FLAGS="$debug_flags" >/dev/null
  cmake --build "$build/$arch" -j2 --target docvane dvinfo textconv
done

stage=$build/stage
rm -rf "$stage"
top=$stage/$name
symbols=$stage/$name-symbols
mkdir -p "$top/docs" "$top/examples/textconv" "$top/examples/callers"
for arch in i686 x86_64; do
  mkdir -p "$top/$arch" "$symbols/$arch"
  for file in docvane.exe dvinfo.exe textconv.cnv; do
    # The debug sections and symbol table go to the symbols archive; the
    # shipped file keeps only a link to them (name and CRC).
    SOURCE_DATE_EPOCH=$pe_time "$arch-w64-mingw32-objcopy" --only-keep-debug \
      "$build/$arch/$file" "$symbols/$arch/$file.debug"
    (cd "$symbols/$arch" && SOURCE_DATE_EPOCH=$pe_time "$arch-w64-mingw32-objcopy" --strip-all \
      --add-gnu-debuglink="$file.debug" "$build/$arch/$file" "$top/$arch/$file")
  done
  bash scripts/check-imports.sh "$top/$arch/docvane.exe" "$top/$arch/dvinfo.exe" "$top/$arch/textconv.cnv"
  bash scripts/check-version.sh "$top/$arch/docvane.exe" "$version"
  crlf "examples/textconv/textconv-$arch.reg" "$top/$arch/textconv.reg"
done
crlf packaging/README.txt "$top/README.txt"
crlf LICENSE "$top/LICENSE.txt"
cp docs/*.md "$top/docs/"
cp examples/textconv/textconv.c examples/textconv/textconv_core.c examples/textconv/textconv_core.h \
   examples/textconv/README.md "$top/examples/textconv/"
crlf examples/callers/convert.bat "$top/examples/callers/convert.bat"
cp examples/callers/convert.c "$top/examples/callers/"
crlf packaging/SYMBOLS.txt "$symbols/SYMBOLS.txt"
sums_of "$top" > "$stage/sums" && mv "$stage/sums" "$top/SHA256SUMS"
sums_of "$symbols" > "$stage/sums" && mv "$stage/sums" "$symbols/SHA256SUMS"
normalise "$stage"

mkdir -p dist
zip_folder "$stage" "$name" "$root/dist/$name.zip"
zip_folder "$stage" "$name-symbols" "$root/dist/$name-symbols.zip"
echo "package: dist/$name.zip, dist/$name-symbols.zip"
cat "dist/$name.zip.sha256" "dist/$name-symbols.zip.sha256"
