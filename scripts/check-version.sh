#!/usr/bin/env bash
# check-version.sh FILE VERSION: fails unless FILE carries version information
# for VERSION and no icon resource (docvane's window class must find no icon).
set -euo pipefail
exe=$1 version=$2
rc=$(x86_64-w64-mingw32-windres -i "$exe" -O rc 2>/dev/null || true)
status=0
for value in "FileVersion\", \"$version\"" "ProductVersion\", \"$version\"" "ProductName\", \"docvane\"" \
             "FileDescription\", \""; do
  grep -qF "VALUE \"$value" <<<"$rc" || { echo "check-version: $exe lacks $value" >&2; status=1; }
done
if grep -qE '^[^ ]+ (ICON|GROUP_ICON)' <<<"$rc" || grep -qE 'Type: (icon|group icon)' <<<"$rc"; then
  echo "check-version: $exe carries an icon" >&2
  status=1
fi
[ $status -eq 0 ] && echo "check-version: $exe is version $version, without icon"
exit $status
