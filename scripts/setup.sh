#!/usr/bin/env bash
# Installs everything docvane needs to build and test on Debian 12 (bookworm).
# Idempotent: quick when everything is already there. Run as root.
set -euo pipefail

QEMU_DIR=${DOCVANE_QEMU_DIR:-/opt/docvane-qemu}
QEMU=$QEMU_DIR/qemu-i386
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

log() { printf 'setup: %s\n' "$*"; }

need_pkgs=()
want() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' || need_pkgs+=("$1"); }

for p in cmake make ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev \
         g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
         wine wine64 zip xz-utils ca-certificates \
         wixl msitools faketime osslsigncode openssl unzip; do
  want "$p"
done

apt_updated=0
apt_update() { [ $apt_updated -eq 1 ] || { $SUDO apt-get update -qq; apt_updated=1; }; }

if [ ${#need_pkgs[@]} -gt 0 ]; then
  log "installing ${need_pkgs[*]}"
  apt_update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

# 32-bit Windows programs run under 32-bit Wine through user-mode emulation of
# i386: this machine cannot execute 32-bit ELF natively, and bookworm's own
# qemu-user is too old to run Wine, so take the static qemu-i386 of trixie.
if [ ! -x "$QEMU" ]; then
  log "fetching qemu-i386 (trixie) into $QEMU_DIR"
  work=$(mktemp -d)
  uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$uri" ] || uri=http://deb.debian.org/debian
  mkdir -p "$work/lists/partial" "$work/archives/partial"
  echo "deb $uri trixie main" > "$work/sources.list"
  opts=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/nonexistent
        -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives"
        -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o APT::Architectures::=amd64)
  $SUDO apt-get "${opts[@]}" update -qq
  (cd "$work" && $SUDO apt-get "${opts[@]}" download qemu-user >/dev/null)
  mkdir -p "$work/x"
  dpkg-deb --fsys-tarfile "$work"/qemu-user_*.deb | tar -x -C "$work/x" ./usr/bin/qemu-i386
  $SUDO mkdir -p "$QEMU_DIR"
  $SUDO install -m 0755 "$work/x/usr/bin/qemu-i386" "$QEMU"
  rm -rf "$work"
fi

BINFMT=/proc/sys/fs/binfmt_misc
if [ ! -e "$BINFMT/register" ]; then
  $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT"
fi
register_qemu() {
  [ -e "$BINFMT/qemu-i386" ] && echo -1 | $SUDO tee "$BINFMT/qemu-i386" >/dev/null
  printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$QEMU:F" \
    | $SUDO tee "$BINFMT/register" >/dev/null
}
if [ ! -e "$BINFMT/qemu-i386" ] || ! grep -q "interpreter $QEMU" "$BINFMT/qemu-i386" || ! grep -q '^enabled' "$BINFMT/qemu-i386"; then
  log "registering $QEMU for i386 ELF"
  register_qemu
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  apt_updated=0
fi
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  log "installing wine32:i386"
  apt_update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
fi
log "ready"
