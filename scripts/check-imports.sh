#!/usr/bin/env bash
# check-imports.sh EXE...: fails unless every EXE imports only system DLLs,
# and unless a docvane.exe among them carries no application manifest.
# docvane.exe has none on purpose: Windows then treats it as a legacy
# program and redirects its writes below Program Files to the VirtualStore,
# exactly as it does for the legacy callers whose request files it must find
# there. A manifest (any requestedExecutionLevel) would switch that off.
set -euo pipefail
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|msvcrt)\.dll$'
status=0
for exe in "$@"; do
  while read -r dll; do
    if ! grep -qiE "$allowed" <<<"$dll"; then
      echo "check-imports: $exe imports $dll" >&2
      status=1
    fi
  done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p')
  if [ "$(basename "$exe")" = docvane.exe ]; then
    resources=$(x86_64-w64-mingw32-windres -i "$exe" -O rc 2>&1 || true)
    if grep -qE 'RT_MANIFEST|Type: 24$' <<<"$resources"; then
      echo "check-imports: $exe carries an application manifest" >&2
      status=1
    elif ! grep -q 'VERSIONINFO' <<<"$resources"; then
      # Its version information is always there: no resources read means
      # the check saw nothing.
      echo "check-imports: cannot read the resources of $exe" >&2
      status=1
    else
      echo "check-imports: no manifest in $exe"
    fi
  fi
done
[ $status -eq 0 ] && echo "check-imports: only system DLLs in $*"
exit $status
