#!/usr/bin/env bash
# setup.sh [demo|test|package]: installs what that entry point needs on
# Debian 12 (bookworm); the lists are in scripts/packages.sh. Default: test.
# Idempotent: quick when everything is already there. Run as root (or with
# sudo). A package mirror in the middle of a sync is waited for and worked
# around within bounds (scripts/lib/apt.sh); set-up never removes or
# downgrades a package and leaves the machine's apt sources and pins alone.
# Exit codes: 0 ready; 3 ready except 32-bit Wine (why is printed; the demo
# then runs the 64-bit build, the tests cannot); 1 stopped (why is printed);
# 2 unknown entry point.
#
# For the test of set-up's decisions every system command can be replaced:
# APT_GET, DPKG, DPKG_QUERY, APT_SLEEP (see scripts/lib/apt.sh), DPKG_DEB,
# MOUNT, DOCVANE_SUDO (prefix for commands that change the machine),
# DOCVANE_BINFMT_DIR, DOCVANE_QEMU_DIR, DOCVANE_WINE32_LOADER,
# DOCVANE_APT_SOURCES (where the machine's Debian mirror is read from).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
entry=${1:-test}
case "$entry" in
  demo|test|package) ;;
  *) echo "usage: setup.sh [demo|test|package]" >&2; exit 2 ;;
esac
. "$here/packages.sh"
. "$here/lib/apt.sh"

QEMU_DIR=${DOCVANE_QEMU_DIR:-/opt/docvane-qemu}
QEMU=$QEMU_DIR/qemu-i386
BINFMT=${DOCVANE_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
WINE32_LOADER=${DOCVANE_WINE32_LOADER:-/usr/lib/wine/wine}
APT_SOURCES=${DOCVANE_APT_SOURCES:-/etc/apt/sources.list.d/debian.sources}
DPKG_DEB=${DPKG_DEB:-dpkg-deb}
MOUNT=${MOUNT:-mount}
if [ -z "${DOCVANE_SUDO+set}" ]; then
  DOCVANE_SUDO=
  [ "$(id -u)" -eq 0 ] || DOCVANE_SUDO=sudo
fi
SUDO=$DOCVANE_SUDO
APT_SUDO=$SUDO
APT_RERUN="bash scripts/$entry.sh"

log() { printf 'setup: %s\n' "$*"; }

case "$entry" in
  demo)    pkgs=("${PKG_DEMO[@]}") ;;
  test)    pkgs=("${PKG_TEST[@]}") ;;
  package) pkgs=("${PKG_PACKAGE[@]}") ;;
esac
needs_i386_var=PKG_NEEDS_I386_$entry
needs_i386=${!needs_i386_var}
# The demo of the 64-bit build does without 32-bit Wine.
[ "$entry" = demo ] && [ "${DOCVANE_DEMO_ARCH:-i686}" = x86_64 ] && needs_i386=no

apt_updated=0
update_once() { [ $apt_updated -eq 1 ] || { apt_update_tolerant; apt_updated=1; }; }

mapfile -t missing < <(apt_missing "${pkgs[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  log "installing ${missing[*]}"
  update_once
  apt_install "${missing[@]}" || { log "stopped: see above"; exit 1; }
fi
# The WordPerfect converter's libraries and test documents: Debian's source
# packages, fetched and verified once into the cache with the same retries
# (the build itself runs from CMake). Its stand-in test turns this off.
if [ "${DOCVANE_SETUP_SOURCES:-1}" = 1 ]; then
  bash "$(dirname "$0")/wpd-deps.sh" --documents >/dev/null || { log "stopped: see above"; exit 1; }
fi
[ "$needs_i386" = no ] && { log "ready ($entry)"; exit 0; }

# The machine's Debian mirror (deb822 or one-line format).
debian_uri() {
  local uri=
  [ -r "$APT_SOURCES" ] && uri=$(awk '/^URIs:/ {print $2; exit} /^deb / {print $2; exit}' "$APT_SOURCES")
  printf '%s\n' "${uri:-http://deb.debian.org/debian}"
}

# 32-bit Windows programs run under 32-bit Wine through user-mode emulation of
# i386: this machine cannot execute 32-bit ELF natively, and bookworm's own
# qemu-user is too old to run Wine, so take the static qemu-i386 of trixie.
# Each step sets why_not and fails when it cannot be done.
why_not=
fetch_qemu() {
  [ -x "$QEMU" ] && return 0
  log "fetching qemu-i386 (trixie) into $QEMU_DIR"
  local work
  work=$(mktemp -d)
  private_apt_init "$work" "deb $(debian_uri) trixie main"
  private_apt "$work" update
  mkdir -p "$work/dl" "$work/x"
  if ! (cd "$work/dl" && private_apt "$work" download qemu-user); then
    why_not="the emulator package qemu-user (trixie) could not be downloaded"
    rm -rf "$work"; return 1
  fi
  if ! { "$DPKG_DEB" --fsys-tarfile "$work"/dl/qemu-user_*.deb | tar -x -C "$work/x" ./usr/bin/qemu-i386; } \
     || ! $SUDO mkdir -p "$QEMU_DIR" || ! $SUDO install -m 0755 "$work/x/usr/bin/qemu-i386" "$QEMU"; then
    why_not="qemu-i386 could not be taken out of the downloaded qemu-user package"
    rm -rf "$work"; return 1
  fi
  rm -rf "$work"
}

# Registered with the F flag: the kernel opens the interpreter now, so the
# entry keeps working whatever happens to the path later. Registered again
# whenever the entry is missing (it does not survive a restart).
register_qemu() {
  if [ ! -e "$BINFMT/register" ] && ! $SUDO "$MOUNT" -t binfmt_misc binfmt_misc "$BINFMT"; then
    why_not="binfmt_misc is not available at $BINFMT (a container without it?), so i386 programs cannot be handed to the emulator"
    return 1
  fi
  if [ -e "$BINFMT/qemu-i386" ] && grep -q "interpreter $QEMU" "$BINFMT/qemu-i386" \
     && grep -q '^enabled' "$BINFMT/qemu-i386"; then
    return 0
  fi
  log "registering $QEMU for i386 ELF"
  if [ -e "$BINFMT/qemu-i386" ]; then echo -1 | $SUDO tee "$BINFMT/qemu-i386" >/dev/null || true; fi
  printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$QEMU:F" \
    | $SUDO tee "$BINFMT/register" >/dev/null 2>&1 && return 0
  why_not="the emulator could not be registered for i386 programs ($BINFMT/register refused it)"
  return 1
}

install_wine32() {
  if ! "$DPKG" --print-foreign-architectures | grep -qx i386; then
    $SUDO "$DPKG" --add-architecture i386 || { why_not="dpkg --add-architecture i386 failed"; return 1; }
    apt_updated=0
  fi
  mapfile -t missing < <(apt_missing "${PKG_WINE_I386[@]}")
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing ${missing[*]}"
  update_once
  apt_install "${missing[@]}" && return 0
  why_not="${missing[*]} could not be installed (see above)"
  return 1
}

check_wine32() {
  "$WINE32_LOADER" --version >/dev/null 2>&1 && return 0
  why_not="32-bit Wine ($WINE32_LOADER) does not start under the emulator"
  return 1
}

if fetch_qemu && register_qemu && install_wine32 && check_wine32; then
  log "ready ($entry, with 32-bit Wine)"
  exit 0
fi
log "32-bit Wine is not available: $why_not"
if [ "$needs_i386" = optional ]; then
  log "ready ($entry) except 32-bit Wine"
else
  log "the $entry command needs it: stopped; run again later: $APT_RERUN"
fi
exit 3
