#!/usr/bin/env bash
# wpd-deps.sh: the libraries the WordPerfect converter links, and the real
# documents its tests convert, from Debian's source packages.
#
#   wpd-deps.sh [ARCH...]     fetch, verify and build librevenge and libwpd,
#                             static, for each ARCH (i686, x86_64; default
#                             both); prints each prefix
#   wpd-deps.sh --documents   fetch and verify only; prints the folder that
#                             holds wp2x's test documents (*.wp)
#
# Everything goes to the cache ${DOCVANE_CACHE:-/var/cache/docvane}, outside
# any clone and reused by every entry point:
#   sources/        the source packages as downloaded (apt-get source), and
#                   sources/wp2x-inputs/ with the test documents
#   deps/<arch>/    include/ and lib/ of the static libraries, and .inputs,
#                   the fingerprint of what they were built from; a prefix
#                   whose fingerprint matches is not built again
#
# The upstream tarballs are checked against the SHA-256 values pinned in
# converters/wordperfect/deps/sources.sha256 (they stay the same across
# Debian revisions); wp2x's test documents also against wp2x's .dsc. The
# patches applied are the project's own (converters/wordperfect/deps/*.patch).
# Source packages come through a private apt configuration (options for
# each command): the machine's own sources stay as they are. Run as root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps_dir=$root/converters/wordperfect/deps
cache=${DOCVANE_CACHE:-/var/cache/docvane}
sources=$cache/sources
again="bash $root/scripts/wpd-deps.sh $*"
export APT_RERUN=$again
# shellcheck source=lib/apt.sh
. "$root/scripts/lib/apt.sh"

log() { printf 'wpd-deps: %s\n' "$*" >&2; }
die() { log "$*"; exit 1; }

documents_only=0
arches=()
for arg in "$@"; do
  case "$arg" in
    --documents) documents_only=1 ;;
    i686|x86_64) arches+=("$arg") ;;
    *) die "unknown argument $arg (ARCH is i686 or x86_64)" ;;
  esac
done
[ ${#arches[@]} -gt 0 ] || arches=(i686 x86_64)

mkdir -p "$sources" "$cache/deps"
# Build folders may ask at once: one download at a time, one build per
# architecture at a time.
exec 9>"$cache/.wpd-deps-sources.lock"
flock 9

# The pinned tarball of a source package, verified; 1 if absent or wrong.
pinned_ok() {
  local file=$1
  [ -f "$sources/$file" ] || return 1
  (cd "$sources" && grep -F "  $file" "$deps_dir/sources.sha256" | sha256sum --check --status)
}

# Downloads a source package into sources/ unless its pinned tarball is
# there already and verified.
apt_dir=$cache/apt-sources
apt_ready=0
fetch() {
  local package=$1 tarball=$2
  pinned_ok "$tarball" && return 0
  if [ $apt_ready -eq 0 ]; then
    # Bookworm's source index from the mirror this machine uses.
    local uri
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
    private_apt_init "$apt_dir" "deb-src ${uri:-http://deb.debian.org/debian} bookworm main"
    private_apt "$apt_dir" update >&2
    apt_ready=1
  fi
  log "downloading the source package $package"
  if ! (cd "$sources" && private_apt "$apt_dir" source --download-only "$package") >&2; then
    die "downloading the source package $package failed; run again: $again"
  fi
  pinned_ok "$tarball" || die "$sources/$tarball does not match its SHA-256 pinned in $deps_dir/sources.sha256"
}

fetch librevenge librevenge_0.0.5.orig.tar.bz2
fetch libwpd libwpd_0.10.3.orig.tar.xz
fetch wp2x wp2x_2.5-mhi.orig.tar.gz

# wp2x's test documents: its tarball as its .dsc names it, then unpacked.
documents=$sources/wp2x-inputs
if [ ! -f "$documents/wp.wp" ]; then
  dsc=$(ls "$sources"/wp2x_*.dsc 2>/dev/null | tail -n 1)
  [ -n "$dsc" ] || die "no wp2x .dsc in $sources; run again: $again"
  expected=$(awk '/^Checksums-Sha256:/ {on=1; next} /^[^ ]/ {on=0} on && $3 == "wp2x_2.5-mhi.orig.tar.gz" {print $1}' "$dsc")
  actual=$(sha256sum < "$sources/wp2x_2.5-mhi.orig.tar.gz" | cut -d' ' -f1)
  [ -n "$expected" ] && [ "$expected" = "$actual" ] || die "wp2x_2.5-mhi.orig.tar.gz does not match $dsc"
  rm -rf "$documents.tmp" && mkdir -p "$documents.tmp"
  tar -xzf "$sources/wp2x_2.5-mhi.orig.tar.gz" -C "$documents.tmp" --strip-components=3 \
      wp2x-2.5-mhi/test/inputs/simple.wp wp2x-2.5-mhi/test/inputs/simple-iso.wp wp2x-2.5-mhi/test/inputs/wp.wp
  rm -rf "$documents" && mv "$documents.tmp" "$documents"
fi
flock -u 9
if [ $documents_only -eq 1 ]; then
  echo "$documents"
  exit 0
fi

# What a prefix is built from: the pinned tarballs, our patches, the way of
# building (this script) and the compiler.
fingerprint() {
  local host=$1-w64-mingw32
  { cat "$deps_dir/sources.sha256" "$deps_dir"/*.patch
    sed -n '/^build_arch()/,$p' "$0"
    "$host-g++-posix" --version | head -n 1; } | sha256sum | cut -d' ' -f1
}

build_arch() {
  local arch=$1 host=$1-w64-mingw32 prefix=$cache/deps/$1
  local work=$cache/deps/.build-$arch stage=$cache/deps/.stage-$arch
  rm -rf "$work" "$stage"
  mkdir -p "$work/boost-only"
  # Boost's headers only, as a system folder (its warnings stay out of the
  # build), without the rest of /usr/include, which holds glibc's headers.
  ln -s /usr/include/boost "$work/boost-only/boost"
  [ -d /usr/include/boost ] || die "Boost's headers are missing: apt-get install libboost-dev"
  command -v m4 >/dev/null || die "m4 is missing: apt-get install m4"
  [ -f "/usr/$host/lib/libz.a" ] || die "zlib for $host is missing: apt-get install libz-mingw-w64-dev"
  tar -xjf "$sources/librevenge_0.0.5.orig.tar.bz2" -C "$work"
  tar -xJf "$sources/libwpd_0.10.3.orig.tar.xz" -C "$work"
  (cd "$work/libwpd-0.10.3" && patch -p1 -s < "$deps_dir/libwpd-wpxtable-stddef.patch")

  # No .pc file of the build machine may answer for the Windows libraries.
  export PKG_CONFIG_LIBDIR=$work/no-pkgconfig PKG_CONFIG_PATH=
  local common=(--host="$host" --prefix="$stage" --disable-shared --enable-static --without-docs
                --disable-werror CC="$host-gcc-posix" CXX="$host-g++-posix" CXXFLAGS="-O2")
  log "$arch: building librevenge"
  (cd "$work/librevenge-0.0.5" &&
   ./configure "${common[@]}" --disable-tests --disable-fuzzers --disable-generators \
     CPPFLAGS="-isystem $work/boost-only" ZLIB_CFLAGS="-I/usr/$host/include" ZLIB_LIBS="-lz" &&
   make -j2 && make install) > "$work/librevenge.log" 2>&1 \
    || die "$arch: building librevenge failed; see $work/librevenge.log"
  log "$arch: building libwpd"
  # HAVE_VISIBILITY: libwpd's configure defines the conditional only where
  # the visibility attribute exists, which MinGW's compiler lacks.
  (cd "$work/libwpd-0.10.3" &&
   ./configure "${common[@]}" --disable-tools --disable-fuzzers \
     CPPFLAGS="-isystem $work/boost-only" \
     REVENGE_CFLAGS="-I$stage/include/librevenge-0.0" REVENGE_LIBS="-L$stage/lib -lrevenge-0.0" \
     HAVE_VISIBILITY_TRUE='#' HAVE_VISIBILITY_FALSE= &&
   make -j2 && make install) > "$work/libwpd.log" 2>&1 \
    || die "$arch: building libwpd failed; see $work/libwpd.log"
  # Only what a converter needs: headers and static libraries.
  rm -rf "$stage/share" "$stage/bin" "$stage/lib/pkgconfig" "$stage"/lib/*.la
  fingerprint "$arch" > "$stage/.inputs"
  rm -rf "$prefix" && mv "$stage" "$prefix"
  rm -rf "$work"
}

for arch in "${arches[@]}"; do
  prefix=$cache/deps/$arch
  exec 8>"$cache/.wpd-deps-$arch.lock"
  flock 8
  if [ -f "$prefix/.inputs" ] && [ "$(cat "$prefix/.inputs")" = "$(fingerprint "$arch")" ]; then
    log "$arch: built already in $prefix"
  else
    build_arch "$arch"
    log "$arch: built in $prefix"
  fi
  flock -u 8
  echo "$prefix"
done
