#!/usr/bin/env bash
# wp2x-documents.sh DEST: the real WordPerfect 5 documents of Debian's wp2x
# source package (test/inputs: simple.wp, simple-iso.wp, wp.wp) into DEST,
# fetched and verified by scripts/wpd-deps.sh.
set -euo pipefail
dest=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
documents=$(bash "$root/scripts/wpd-deps.sh" --documents)
rm -rf "$dest" && mkdir -p "$dest"
cp "$documents"/*.wp "$dest"/
