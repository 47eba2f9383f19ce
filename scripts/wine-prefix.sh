#!/usr/bin/env bash
# wine-prefix.sh ARCH PREFIX
# Creates and initialises a Wine prefix for ARCH once: wineboot to the end,
# Wine's null graphics driver (no display here), then waits for the
# wineserver so that no later start finds a half-built prefix. Quick when the
# prefix is ready already.
set -euo pipefail
arch=$1 prefix=$2
ready=$prefix/.docvane-ready
[ -f "$ready" ] && exit 0
case "$arch" in
  i686)   loader=/usr/lib/wine/wine;   export WINEARCH=win32 ;;
  x86_64) loader=/usr/lib/wine/wine64; export WINEARCH=win64 ;;
  *) echo "wine-prefix.sh: unknown arch $arch" >&2; exit 2 ;;
esac
export WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=C
# Neither the .NET nor the HTML engine nor menu entries are needed; skipping
# their set-up makes a new prefix ready some seconds sooner.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
# Only one initialisation at a time for one prefix.
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$ready" ] && exit 0
if [ -d "$prefix" ]; then rm -rf "$prefix"; fi   # left half-built by an earlier run
"$loader" wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
"$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w
touch "$ready"
