#!/usr/bin/env bash
# wp2x-documents.sh DEST: the real WordPerfect 5 documents of Debian's wp2x
# source package (test/inputs: simple.wp, simple-iso.wp, wp.wp) into DEST.
# The source package is downloaded once into
# ${DOCVANE_CACHE:-/var/cache/docvane}/sources through a private apt
# configuration (the machine's sources stay as they are), and every file is
# checked against the .dsc's SHA-256 on each use.
set -euo pipefail
dest=$1
cache=${DOCVANE_CACHE:-/var/cache/docvane}/sources
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fetch() {
  local apt=$work/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$cache"
  echo 'deb-src http://deb.debian.org/debian bookworm main' > "$apt/sources.list"
  local opts=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
              -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root)
  local try
  for try in 1 2 3; do
    if apt-get "${opts[@]}" update >/dev/null && (cd "$cache" && apt-get "${opts[@]}" source --download-only wp2x >/dev/null); then
      return 0
    fi
    sleep $((try * 5))
  done
  echo "wp2x-documents: could not download Debian's wp2x source package; run again:"
  echo "  (cd $cache && apt-get ${opts[*]} source --download-only wp2x)"
  exit 1
}

dsc=$(ls "$cache"/wp2x_*.dsc 2>/dev/null | tail -1 || true)
[ -n "$dsc" ] || fetch
dsc=$(ls "$cache"/wp2x_*.dsc | tail -1)
# Every file the .dsc names, checked against its SHA-256.
awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on && NF == 3 { print $1 "  " $3 }' "$dsc" \
  | (cd "$cache" && sha256sum --quiet -c -) || { echo "wp2x-documents: $cache does not match $dsc"; exit 1; }
orig=$(ls "$cache"/wp2x_*.orig.tar.* | tail -1)

rm -rf "$dest" && mkdir -p "$dest"
tar -xf "$orig" -C "$dest" --wildcards '*/test/inputs/*.wp' --strip-components=3
