#!/usr/bin/env bash
# wine-prefix.sh ARCH PREFIX
# Creates and initialises a Wine prefix for ARCH once: wineboot to the end,
# Wine's null graphics driver (no display here), Wine's automatic debugger
# off (a program that crashes then ends with the exception code instead of
# waiting in the debugger), then waits for the wineserver so that no later
# start finds a half-built prefix. Quick when the prefix is ready already.
set -euo pipefail
arch=$1 prefix=$2
# Named for what the prefix holds: a prefix made before the debugger was
# switched off is made anew.
ready=$prefix/.docvane-ready-2
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
# Left half-built by an earlier run, or made by an older version of this script.
if [ -d "$prefix" ]; then rm -rf "$prefix"; fi
"$loader" wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
"$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
"$loader" reg add "$aedebug" /v Debugger /d false /f >/dev/null 2>&1
"$loader" reg add "$aedebug" /v Auto /d 1 /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w
touch "$ready"
