#!/usr/bin/env bash
# package.sh: builds docvane for i686 (the shipped program) and x86_64 and
# makes dist/docvane-<version>.zip with both programs, the example converter
# for both, its source and registration file, the README, the docs and
# SHA256SUMS, plus dist/docvane-<version>.zip.sha256 beside it.
# The same commit gives the same bytes: fixed file order, modes and times
# (SOURCE_DATE_EPOCH, by default the commit's time), no extra zip fields.
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

for arch in i686 x86_64; do
  echo "== $arch"
  cmake -S . -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DDOCVANE_TESTS=OFF >/dev/null
  cmake --build "$build/$arch" -j2 --target docvane textconv
  bash scripts/check-imports.sh "$build/$arch/docvane.exe" "$build/$arch/textconv.cnv"
  bash scripts/check-version.sh "$build/$arch/docvane.exe" "$version"
done

stage=$build/stage
rm -rf "$stage"
top=$stage/$name
mkdir -p "$top/docs" "$top/examples/textconv"
for arch in i686 x86_64; do
  mkdir -p "$top/$arch"
  cp "$build/$arch/docvane.exe" "$build/$arch/textconv.cnv" "$top/$arch/"
done
cp README.md "$top/"
cp docs/*.md "$top/docs/"
cp examples/textconv/textconv.c examples/textconv/textconv_core.c examples/textconv/textconv_core.h \
   examples/textconv/textconv.reg examples/textconv/README.md "$top/examples/textconv/"
sums=$(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum)
printf '%s\n' "$sums" > "$top/SHA256SUMS"

find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
find "$stage" -exec touch -h -d "@$epoch" {} +

mkdir -p dist
zip_file=$root/dist/$name.zip
rm -f "$zip_file" "$zip_file.sha256"
# -X: no owner ids or extra time stamps; -D: no directory entries; TZ=UTC:
# zip keeps local times.
(cd "$stage" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q -9 "$zip_file" -@)
(cd dist && sha256sum "$name.zip" > "$name.zip.sha256")
echo "package: dist/$name.zip"
cat "dist/$name.zip.sha256"
