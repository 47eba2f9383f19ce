#!/usr/bin/env bash
# package.sh: builds docvane for i686 (the shipped program) and x86_64 and
# makes, in dist/:
#  - docvane-<version>-x86.msi and docvane-<version>-x64.msi: the Windows
#    Installer packages of the i686 and the x86_64 build (packaging/docvane.wxs);
#  - docvane-<version>.zip: per architecture a folder with the stripped
#    docvane.exe, dvinfo.exe, dvbatch.exe, example converter textconv.cnv and
#    WordPerfect converter wordperfect.cnv and that folder's registration
#    files; the WordPerfect converter's licence texts and notice
#    (licenses/wordperfect); docvane-batch (dvbatch from Linux); the
#    administrator's README.txt, LICENSE.txt,
#    the callers' and converter authors' references, the batch and
#    WordPerfect pages, the sources of the
#    example converter and of the calling examples, and SHA256SUMS;
#  - docvane-<version>-symbols.zip: what was stripped (debug information and
#    symbol tables, one .debug file per binary, named by each binary's
#    .gnu_debuglink), so a crash address can still be resolved;
#  - a .sha256 file beside each archive and each installer package.
#
# Signing: given a PKCS#12 file and its password, the binaries and then the
# installer packages are signed (Authenticode, osslsigncode) before any
# checksum is made:
#   DOCVANE_SIGN_PKCS12          the PKCS#12 (.pfx/.p12) file
#   DOCVANE_SIGN_PASSWORD        its password, or
#   DOCVANE_SIGN_PASSWORD_FILE   a file whose first line is the password
#   DOCVANE_SIGN_TIMESTAMP_URL   optional: an RFC 3161 time-stamp server
# Without them nothing is signed.
#
# The same commit gives the same bytes when nothing is signed: fixed file
# order, modes and times (SOURCE_DATE_EPOCH, by default the commit's time),
# no extra zip fields, PE time stamps left at 0, build paths mapped away from
# the debug information, and in the installer packages a fixed time and
# identifiers derived from the contents (wixl takes the clock and a random
# package code).
#
# Also: DOCVANE_PACKAGE_VERSION=x.y.z builds the same sources as version
# x.y.z (version information and installer packages; for upgrade tests);
# DOCVANE_DIST_DIR writes elsewhere than dist/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${DOCVANE_BUILD_DIR:-$root/build}/package
dist=${DOCVANE_DIST_DIR:-$root/dist}
version=$(sed -n 's/^project(docvane VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
version_override=${DOCVANE_PACKAGE_VERSION:-}
version=${version_override:-$version}
name=docvane-$version
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
epoch=${epoch:-315532800}   # 1980-01-01, the earliest time a zip can hold

sign_key=${DOCVANE_SIGN_PKCS12:-}
if [ -n "$sign_key" ]; then
  [ -f "$sign_key" ] || { echo "package: no PKCS#12 file $sign_key" >&2; exit 1; }
  [ -n "${DOCVANE_SIGN_PASSWORD:-}${DOCVANE_SIGN_PASSWORD_FILE:-}" ] \
    || { echo "package: DOCVANE_SIGN_PKCS12 needs DOCVANE_SIGN_PASSWORD or DOCVANE_SIGN_PASSWORD_FILE" >&2; exit 1; }
fi

bash scripts/setup.sh package
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
# Writes FILE.sha256 beside FILE.
sha256_beside() { (cd "$(dirname "$1")" && sha256sum "$(basename "$1")" > "$(basename "$1").sha256"); }
# zips folder $2 of the stage $1 as $3, with its .sha256 beside it.
# -X: no owner ids or extra time stamps; -D: no directory entries; TZ=UTC:
# zip keeps local times.
zip_folder() {
  local stage=$1 folder=$2 zip_file=$3
  rm -f "$zip_file" "$zip_file.sha256"
  (cd "$stage" && find "$folder" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q -9 "$zip_file" -@)
  sha256_beside "$zip_file"
}
# A GUID named by the text $1: the same text gives the same GUID (name-based
# layout: version 5, RFC 4122 variant).
guid_of() {
  local h
  h=$(printf '%s' "$1" | sha1sum)
  h=${h:0:32}
  h=${h^^}
  printf '%s-%s-5%s-%X%s-%s' "${h:0:8}" "${h:8:4}" "${h:13:3}" $(((0x${h:16:1} & 3) | 8)) "${h:17:3}" "${h:20:12}"
}
# Signs $1 in place (Authenticode, SHA-256) when a certificate was given.
sign() {
  [ -n "$sign_key" ] || return 0
  local password_file=$build/sign-password
  if [ -n "${DOCVANE_SIGN_PASSWORD_FILE:-}" ]; then
    head -n 1 "$DOCVANE_SIGN_PASSWORD_FILE" | tr -d '\r\n' > "$password_file"
  else
    printf '%s' "$DOCVANE_SIGN_PASSWORD" > "$password_file"
  fi
  chmod 0600 "$password_file"
  local timestamp=()
  [ -z "${DOCVANE_SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$DOCVANE_SIGN_TIMESTAMP_URL")
  rm -f "$1.signed"
  local status=0
  osslsigncode sign -pkcs12 "$sign_key" -readpass "$password_file" -h sha256 -n docvane \
    "${timestamp[@]}" -in "$1" -out "$1.signed" >/dev/null || status=$?
  rm -f "$password_file"
  [ $status -eq 0 ] || { echo "package: signing $1 failed" >&2; exit 1; }
  mv "$1.signed" "$1"
}
# build_msi MSI_ARCH BUILD_ARCH OUT: the installer package of one
# architecture from the staged top folder.
build_msi() {
  local msi_arch=$1 arch=$2 out=$3 template
  case "$msi_arch" in x86) template="Intel;1033" ;; x64) template="x64;1033" ;; esac
  rm -f "$out"
  # wixl stamps the package with the clock: a stopped one (faketime -f with
  # an absolute time; without -f the clock would run on) gives
  # SOURCE_DATE_EPOCH instead. It finds files by relative paths only: run it
  # in the staged top folder.
  (cd "$top" && TZ=UTC faketime -f "$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')" \
    wixl -a "$msi_arch" -D "Arch=$msi_arch" -D "Build=$arch" -D "Version=$version" \
         -D "ProductCode=$(guid_of "docvane/$msi_arch/$version/product")" \
         -o "$out" "$root/packaging/docvane.wxs")
  # Its package code is random: make it the hash of the package as built
  # with a fixed one, so that it changes with the contents and only then.
  local subject author
  subject=$(msiinfo suminfo "$out" | sed -n 's/^Subject: //p')
  author=$(msiinfo suminfo "$out" | sed -n 's/^Author: //p')
  msibuild "$out" -s "$subject" "$author" "$template" "{00000000-0000-0000-0000-000000000000}"
  local contents
  contents=$(sha256sum < "$out")
  msibuild "$out" -s "$subject" "$author" "$template" "{$(guid_of "$contents")}"
}

for arch in i686 x86_64; do
  echo "== $arch"
  # -g adds debug information without changing the code; the prefix map
  # keeps this checkout's path out of it. DOCVANE_VERSION is always given, so
  # an override never stays in the build tree's cache.
  cmake -S . -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DDOCVANE_TESTS=OFF -DCMAKE_C_FLAGS="$debug_flags" -DCMAKE_CXX_FLAGS="$debug_flags" \
        -DDOCVANE_VERSION="$version_override" >/dev/null
  cmake --build "$build/$arch" -j2 --target docvane dvinfo dvbatch textconv wordperfect
done

stage=$build/stage
rm -rf "$stage"
top=$stage/$name
symbols=$stage/$name-symbols
mkdir -p "$top/docs" "$top/examples/textconv" "$top/examples/callers" "$top/licenses/wordperfect"
for arch in i686 x86_64; do
  mkdir -p "$top/$arch" "$symbols/$arch"
  for file in docvane.exe dvinfo.exe dvbatch.exe textconv.cnv wordperfect.cnv; do
    # The debug sections and symbol table go to the symbols archive; the
    # shipped file keeps only a link to them (name and CRC).
    SOURCE_DATE_EPOCH=$pe_time "$arch-w64-mingw32-objcopy" --only-keep-debug \
      "$build/$arch/$file" "$symbols/$arch/$file.debug"
    (cd "$symbols/$arch" && SOURCE_DATE_EPOCH=$pe_time "$arch-w64-mingw32-objcopy" --strip-all \
      --add-gnu-debuglink="$file.debug" "$build/$arch/$file" "$top/$arch/$file")
  done
  bash scripts/check-imports.sh "$top/$arch/docvane.exe" "$top/$arch/dvinfo.exe" "$top/$arch/dvbatch.exe" \
    "$top/$arch/textconv.cnv" "$top/$arch/wordperfect.cnv"
  for file in docvane.exe dvinfo.exe dvbatch.exe textconv.cnv wordperfect.cnv; do
    bash scripts/check-version.sh "$top/$arch/$file" "$version"
    sign "$top/$arch/$file"
  done
  crlf "examples/textconv/textconv-$arch.reg" "$top/$arch/textconv.reg"
  crlf "converters/wordperfect/wordperfect-$arch.reg" "$top/$arch/wordperfect.reg"
done
# wordperfect.cnv holds librevenge and libwpd under their MPL-2.0 option:
# the licence as their (verified) source tarball carries it, the notice of
# versions and sources, and the one patch applied.
cache=${DOCVANE_CACHE:-/var/cache/docvane}
tar -xJOf "$cache/sources/libwpd_0.10.3.orig.tar.xz" libwpd-0.10.3/COPYING.MPL > "$stage/MPL-2.0"
crlf "$stage/MPL-2.0" "$top/licenses/wordperfect/MPL-2.0.txt"
rm "$stage/MPL-2.0"
crlf packaging/wordperfect/NOTICE.txt "$top/licenses/wordperfect/NOTICE.txt"
cp converters/wordperfect/deps/libwpd-wpxtable-stddef.patch "$top/licenses/wordperfect/"
crlf packaging/README.txt "$top/README.txt"
crlf LICENSE "$top/LICENSE.txt"
# What an administrator or a developer of a caller or a converter can use;
# the notes on docvane's own sources stay in the repository.
cp docs/callers-reference.md docs/converter-authors.md docs/wordperfect.md docs/batch.md "$top/docs/"
# dvbatch from Linux, beside the architecture folders.
cp packaging/docvane-batch "$top/docvane-batch"
cp examples/textconv/textconv.c examples/textconv/textconv_core.c examples/textconv/textconv_core.h \
   examples/textconv/README.md "$top/examples/textconv/"
crlf examples/callers/convert.bat "$top/examples/callers/convert.bat"
cp examples/callers/convert.c "$top/examples/callers/"
crlf packaging/SYMBOLS.txt "$symbols/SYMBOLS.txt"
sums_of "$top" > "$stage/sums" && mv "$stage/sums" "$top/SHA256SUMS"
sums_of "$symbols" > "$stage/sums" && mv "$stage/sums" "$symbols/SHA256SUMS"
normalise "$stage"
chmod 0755 "$top/docvane-batch"

mkdir -p "$dist"
for msi in x86:i686 x64:x86_64; do
  msi_file=$dist/$name-${msi%%:*}.msi
  rm -f "$msi_file.sha256"
  build_msi "${msi%%:*}" "${msi#*:}" "$msi_file"
  sign "$msi_file"
  sha256_beside "$msi_file"
done
zip_folder "$stage" "$name" "$dist/$name.zip"
zip_folder "$stage" "$name-symbols" "$dist/$name-symbols.zip"
echo "package: in $dist: $name-x86.msi, $name-x64.msi, $name.zip, $name-symbols.zip"
(cd "$dist" && cat "$name-x86.msi.sha256" "$name-x64.msi.sha256" "$name.zip.sha256" "$name-symbols.zip.sha256")
