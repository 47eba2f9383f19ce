# Sourced by the docvane-batch tests: a package-like folder $pkg with
# docvane-batch beside $pkg/$arch, holding the built docvane.exe and
# dvbatch.exe and the batch fixture converter as wordperfect.cnv (which the
# script registers in a prefix it makes), and helpers.
# Needs: $build (build tree), $arch, $here (this folder).
# Ends the wineservers of the prefixes made below $work, then removes it.
cleanup() {
  local prefix
  for prefix in $(find "$work" -maxdepth 6 -type d -name 'wine-*' -path '*/.local/share/docvane/*' 2>/dev/null); do
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
  # A small file system a test mounted below $work.
  awk -v w="$work/" 'index($2, w) == 1 {print $2}' /proc/mounts | xargs -r umount 2>/dev/null
  rm -rf "$work"
}
pkg=$work/pkg
mkdir -p "$pkg/$arch"
cp "$build/docvane.exe" "$build/dvbatch.exe" "$pkg/$arch/"
cp "$build/fixtures/batch_converter.dll" "$pkg/$arch/wordperfect.cnv"
cp "$build/fixtures/batch_child.exe" "$pkg/$arch/"
cp "$here/../../packaging/docvane-batch" "$pkg/"
failures=0
check() {  # check NAME CONDITION...
  local name=$1; shift
  if "$@"; then echo "ok: $name"; else echo "FAILED: $name" >&2; failures=$((failures + 1)); fi
}
# Starts a command with SIGINT at its default, as a terminal would: a
# script's background commands otherwise start with it ignored. Run it in the
# background: it replaces that subshell, so $! is the command's own id.
with_sigint() { exec python3 -c 'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); os.execvp(sys.argv[1], sys.argv[1:])' "$@"; }
# The records of a report: "source outcome" lines, sorted.
outcomes() { python3 -c 'import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    r = json.loads(line); print(r["source"], r["outcome"])' "$1" | LC_ALL=C sort; }
