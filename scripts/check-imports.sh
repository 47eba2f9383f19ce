#!/usr/bin/env bash
# check-imports.sh EXE...: fails unless every EXE imports only system DLLs.
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
done
[ $status -eq 0 ] && echo "check-imports: only system DLLs in $*"
exit $status
