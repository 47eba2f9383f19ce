#!/usr/bin/env bash
# wine-run.sh ARCH PROGRAM [ARGS...]
# Runs a Windows program under the Wine loader for ARCH (i686 or x86_64) in the
# prefix named by DOCVANE_WINEPREFIX (default: ./wineprefix-ARCH), creating and
# initialising that prefix first if it is not ready yet.
set -euo pipefail
arch=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
prefix=${DOCVANE_WINEPREFIX:-$PWD/wineprefix-$arch}
"$here/wine-prefix.sh" "$arch" "$prefix"
case "$arch" in
  i686)   loader=/usr/lib/wine/wine ;;
  x86_64) loader=/usr/lib/wine/wine64 ;;
  *) echo "wine-run.sh: unknown arch $arch" >&2; exit 2 ;;
esac
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} LC_ALL=${DOCVANE_LC_ALL:-C}
exec "$loader" "$@"
