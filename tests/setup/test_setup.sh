#!/usr/bin/env bash
# test_setup.sh: set-up's decisions when the package mirror misbehaves, with
# stand-ins for every system command scripts/setup.sh calls (apt-get, dpkg,
# dpkg-query, dpkg-deb, mount, sudo, sleep, the 32-bit Wine loader) and a
# scratch folder as binfmt_misc, so it changes nothing on the machine, even
# as root. Each row gives the state, apt-get's answers in order, and the exit
# status, the system calls (apt-get, dpkg --add-architecture, mount, sleep)
# and a line of output expected.
# Prints one PASS or FAIL line per row and "setup tests: N passed, M failed";
# the exit code is 0 only when all passed. SHOW=1 shows set-up's output of
# every row.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/packages.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# --- stand-ins -------------------------------------------------------------
bin=$scratch/bin
mkdir -p "$bin"
# apt-get: records its arguments; answers with the next line of $case/answers
# ("STATUS|TEXT", \n in TEXT for a new line); a line "*STATUS|TEXT" answers
# every call from then on; no line left: success, no output. A successful
# download leaves a .deb in the current folder.
cat > "$bin/apt-get" <<'EOF'
#!/usr/bin/env bash
printf 'apt-get %s\n' "$*" >> "$CASE/calls"
answer=
if [ -s "$CASE/answers" ]; then
  answer=$(head -n 1 "$CASE/answers")
  if [ "${answer#\*}" = "$answer" ]; then sed -i 1d "$CASE/answers"; else answer=${answer#\*}; fi
fi
status=${answer%%|*} text=${answer#*|}
[ -n "$answer" ] || { status=0 text=; }
[ -z "$text" ] || printf '%b\n' "$text"
if [ "$status" -eq 0 ] && [[ " $* " == *" download qemu-user "* ]]; then
  echo 'not a real package' > qemu-user_10.0.2-1_amd64.deb
fi
exit "$status"
EOF
# dpkg-query: every package is installed except those in $CASE/missing
# ("*": none is).
cat > "$bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
pkg=${!#}
if grep -qxF -e "$pkg" -e '*' "$CASE/missing"; then exit 1; fi
echo 'install ok installed'
EOF
# dpkg: foreign architectures from $CASE/foreign; versions compared by the
# real dpkg (it only reads its arguments); anything else recorded.
cat > "$bin/dpkg" <<'EOF'
#!/usr/bin/env bash
case "$1" in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) cat "$CASE/foreign" ;;
  --compare-versions) exec /usr/bin/dpkg "$@" ;;
  *) printf 'dpkg %s\n' "$*" >> "$CASE/calls" ;;
esac
EOF
# dpkg-deb: the "package" holds a qemu-i386 that is a small script.
cat > "$bin/dpkg-deb" <<'EOF'
#!/usr/bin/env bash
d=$(mktemp -d)
mkdir -p "$d/usr/bin"
printf '#!/bin/sh\n' > "$d/usr/bin/qemu-i386"
tar -c -C "$d" ./usr/bin/qemu-i386
rm -rf "$d"
EOF
for cmd in mount sleep sudo; do
  printf '#!/usr/bin/env bash\nprintf "%s %%s\\n" "$*" >> "$CASE/calls"\nexit ${STANDIN_%s_STATUS:-0}\n' "$cmd" "$cmd" > "$bin/$cmd"
done
printf '#!/bin/sh\nexit ${STANDIN_WINE32_STATUS:-0}\n' > "$bin/wine32"
chmod +x "$bin"/*

# --- one row ---------------------------------------------------------------
passed=0 failed=0
# row NAME ENTRY MISSING STATE ANSWERS EXPECTED_STATUS EXPECTED_CALLS EXPECTED_OUTPUT
#   MISSING  packages dpkg-query reports as not installed (* for all)
#   STATE    words: noqemu (no qemu-i386 yet), nobinfmt (binfmt_misc not
#            mounted and cannot be), nowine32 (the loader does not start),
#            noi386 (dpkg has no i386 architecture yet), budget=N
#            (APT_WAIT_BUDGET)
#   ANSWERS  apt-get's answers, one a line
#   EXPECTED_CALLS  the calls recorded, one a line; WORK is set-up's private
#            folder, QEMU the emulator's path, BINFMT the binfmt_misc folder
row() {
  local name=$1 entry=$2 missing=$3 state=$4 answers=$5 want_status=$6 want_calls=$7 want_output=$8
  local case=$scratch/case
  rm -rf "$case"; mkdir -p "$case/tmp" "$case/qemu" "$case/binfmt"
  tr ' ' '\n' <<<"$missing" > "$case/missing"
  echo i386 > "$case/foreign"
  [ -n "$answers" ] && printf '%s\n' "$answers" > "$case/answers" || : > "$case/answers"
  : > "$case/calls"
  local qemu=$case/qemu/qemu-i386 budget=240 mount_status=0 wine32_status=0 w
  for w in $state; do
    case "$w" in
      noqemu) ;; nobinfmt) mount_status=32 ;; nowine32) wine32_status=1 ;;
      noi386) : > "$case/foreign" ;;
      budget=*) budget=${w#budget=} ;;
    esac
  done
  [[ " $state " == *" noqemu "* ]] || { printf '#!/bin/sh\n' > "$qemu"; chmod +x "$qemu"; }
  if [[ " $state " != *" nobinfmt "* ]]; then
    : > "$case/binfmt/register"
    printf 'enabled\ninterpreter %s\nflags: F\n' "$qemu" > "$case/binfmt/qemu-i386"
  fi
  printf 'URIs: http://mirror.example/debian\n' > "$case/debian.sources"
  local out status
  out=$(cd "$root" && CASE=$case PATH="$bin:$PATH" TMPDIR=$case/tmp \
        APT_GET=$bin/apt-get DPKG=$bin/dpkg DPKG_QUERY=$bin/dpkg-query APT_SLEEP=$bin/sleep \
        DPKG_DEB=$bin/dpkg-deb MOUNT=$bin/mount DOCVANE_SUDO= APT_MAIN_SUITE=bookworm \
        APT_PAUSE=20 APT_UPDATE_ATTEMPTS=3 APT_WAIT_BUDGET=$budget \
        DOCVANE_SETUP_SOURCES=0 DOCVANE_QEMU_DIR=$case/qemu DOCVANE_BINFMT_DIR=$case/binfmt DOCVANE_APT_SOURCES=$case/debian.sources \
        DOCVANE_WINE32_LOADER=$bin/wine32 STANDIN_mount_STATUS=$mount_status STANDIN_WINE32_STATUS=$wine32_status \
        bash scripts/setup.sh "$entry" 2>&1)
  status=$?
  local calls
  calls=$(sed -E -e "s#$case/tmp/tmp\.[A-Za-z0-9]+#WORK#g" -e "s#$qemu#QEMU#g" -e "s#$case/binfmt#BINFMT#g" "$case/calls")
  local ok=1
  [ "$status" -eq "$want_status" ] || { echo "  exit status $status, expected $want_status"; ok=0; }
  [ "$calls" = "$want_calls" ] || { echo "  calls:"; sed 's/^/    /' <<<"$calls"; echo "  expected:"; sed 's/^/    /' <<<"$want_calls"; ok=0; }
  grep -qF -- "$want_output" <<<"$out" || { echo "  no line with: $want_output"; ok=0; }
  [ -z "${SHOW:-}" ] || sed "s/^/  > /" <<<"$out"
  if [ "$ok" -eq 1 ]; then echo "PASS $name"; passed=$((passed + 1))
  else sed 's/^/  | /' <<<"$out"; echo "FAIL $name"; failed=$((failed + 1)); fi
}

# --- the table -------------------------------------------------------------
install='apt-get install -y --no-install-recommends --no-remove -o DPkg::Lock::Timeout=120'
private="-o Dir::Etc::SourceList=WORK/sources.list -o Dir::Etc::SourceParts=/nonexistent -o Dir::State::Lists=WORK/lists -o Dir::Cache::Archives=WORK/archives -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o APT::Architectures::=amd64"
index_fails='100|Err:5 http://mirror.example/debian-security bookworm-security/main i386 Packages\nE: Failed to fetch http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?\nE: Some index files failed to download. They have been ignored, or old ones used instead.'
broken='100|The following packages have unmet dependencies:\n wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed\nE: Unable to correct problems, you have held broken packages.'
hash='100|E: Failed to fetch http://mirror.example/debian/pool/main/z/zip/zip_3.0-13_amd64.deb  Hash Sum mismatch\n   Hashes of expected file:\nE: Unable to fetch some archives, maybe run apt-get update or try with --fix-missing?'
gone='100|E: Failed to fetch http://mirror.example/debian/pool/main/q/qemu/qemu-user_10.0.2-1_amd64.deb  404  Not Found [IP: 192.0.2.1 80]'

row 'nothing missing: no apt-get at all' test '' '' '' 0 '' 'ready (test, with 32-bit Wine)'

row 'an entry point installs its own list only' package '*' '' '' 0 \
"apt-get update
$install ${PKG_PACKAGE[*]}" 'ready (package)'

row 'update fails for one index: retried, then set-up goes on with the lists it has' package 'zip' '' \
"$index_fails
$index_fails
$index_fails" 0 \
"apt-get update
sleep 20
apt-get update
sleep 20
apt-get update
$install zip" 'going on with what apt has of the package lists'

row 'unmet dependencies: once more with the main suite given precedence' demo 'wine32:i386' '' \
"0|
$broken
0|Inst libwine:i386 (8.0~repack-4 Debian:12.8/stable [i386])\nInst wine32:i386 (8.0~repack-4 Debian:12.8/stable [i386])" 0 \
"apt-get update
$install wine32:i386
apt-get -s install --no-install-recommends -t bookworm wine32:i386
$install -t bookworm wine32:i386" 'installed with bookworm given precedence'

row 'hash sum mismatch: a fresh update, then one more try' package 'zip' '' \
"0|
$hash" 0 \
"apt-get update
$install zip
sleep 20
apt-get update
$install zip" 'ready (package)'

row 'the emulator download answers 404: the private index again, then the download' demo '' 'noqemu' \
"0|
$gone" 0 \
"apt-get $private update
apt-get $private download qemu-user
sleep 20
apt-get $private update
apt-get $private download qemu-user" 'ready (demo, with 32-bit Wine)'

row 'a consistent install would need a downgrade: stops, nothing installed' test 'wine32:i386' '' \
"0|
$broken
0|Inst libgnutls30 [3.7.9-2+deb12u4] (3.7.9-2 Debian:12.8/stable [amd64])\nInst libwine:i386 (8.0~repack-4 Debian:12.8/stable [i386])" 3 \
"apt-get update
$install wine32:i386
apt-get -s install --no-install-recommends -t bookworm wine32:i386" 'apt would remove or downgrade installed packages'

row 'a consistent install would remove a package: stops, nothing installed' package 'zip' '' \
"0|
$broken
0|Remv libfoo1 [1.0-1]\nInst zip (3.0-13 Debian:12.8/stable [amd64])" 1 \
"apt-get update
$install zip
apt-get -s install --no-install-recommends -t bookworm zip" 'apt would remove or downgrade installed packages'

row 'a package apt does not know: stops at once with its name' package 'zip' '' \
"0|
100|E: Unable to locate package zip" 1 \
"apt-get update
$install zip" 'apt knows no such package (Unable to locate package zip)'

row 'retries stop when all waiting together reaches the budget' package 'zip' 'budget=50' \
"*$hash" 1 \
"apt-get update
sleep 20
apt-get update
sleep 20
apt-get update
$install zip" 'not waiting any longer'

row 'a mirror that never settles: a bounded number of tries, then the command to run again' package 'zip' '' \
"*$hash" 1 \
"apt-get update
sleep 20
apt-get update
sleep 20
apt-get update
$install zip
sleep 20
apt-get update
sleep 20
apt-get update
sleep 20
apt-get update
$install zip" 'run again later: bash scripts/package.sh'

row 'no binfmt_misc: the demo goes on without 32-bit Wine and says why' demo '' 'nobinfmt' '' 3 \
"mount -t binfmt_misc binfmt_misc BINFMT" 'binfmt_misc is not available'

row 'the tests need 32-bit Wine: stop when it does not start' test '' 'nowine32' '' 3 '' 'the test command needs it: stopped'

row 'a missing i386 architecture is added, then the lists updated' demo 'wine32:i386' 'noi386' '' 0 \
"dpkg --add-architecture i386
apt-get update
$install wine32:i386" 'ready (demo, with 32-bit Wine)'

# --- the helpers other scripts use directly (scripts/lib/apt.sh) -----------
# lib_row NAME ANSWERS EXPECTED_STATUS EXPECTED_CALLS EXPECTED_OUTPUT COMMAND...
#   COMMAND runs in a shell that sourced the helpers, with $cfg a private
#   configuration ("deb-src" line) already made; WORK in the calls is $cfg.
lib_row() {
  local name=$1 answers=$2 want_status=$3 want_calls=$4 want_output=$5; shift 5
  local case=$scratch/case
  rm -rf "$case"; mkdir -p "$case/dl"
  [ -n "$answers" ] && printf '%s\n' "$answers" > "$case/answers" || : > "$case/answers"
  : > "$case/calls"
  local out status calls ok=1
  out=$(cd "$case/dl" && CASE=$case PATH="$bin:$PATH" APT_GET=$bin/apt-get DPKG=$bin/dpkg DPKG_QUERY=$bin/dpkg-query \
        APT_SLEEP=$bin/sleep APT_PAUSE=20 APT_WAIT_BUDGET=240 APT_RERUN='bash scripts/test.sh' cfg=$case/cfg \
        bash -c 'set -euo pipefail; . "$0"; private_apt_init "$cfg" "deb-src http://mirror.example/debian bookworm main"; '"$*" \
        "$root/scripts/lib/apt.sh" 2>&1)
  status=$?
  calls=$(sed -e "s#$case/cfg#WORK#g" "$case/calls")
  [ "$status" -eq "$want_status" ] || { echo "  exit status $status, expected $want_status"; ok=0; }
  [ "$calls" = "$want_calls" ] || { echo "  calls:"; sed 's/^/    /' <<<"$calls"; echo "  expected:"; sed 's/^/    /' <<<"$want_calls"; ok=0; }
  grep -qF -- "$want_output" <<<"$out" || { echo "  no line with: $want_output"; ok=0; }
  grep -qx 'deb-src http://mirror.example/debian bookworm main' "$case/cfg/sources.list" \
    || { echo "  no private sources.list"; ok=0; }
  [ -z "${SHOW:-}" ] || sed "s/^/  > /" <<<"$out"
  if [ "$ok" -eq 1 ]; then echo "PASS $name"; passed=$((passed + 1))
  else sed 's/^/  | /' <<<"$out"; echo "FAIL $name"; failed=$((failed + 1)); fi
}
src_gone='100|E: Failed to fetch http://mirror.example/debian/pool/main/libw/libwpd/libwpd_0.10.3-2.debian.tar.xz  404  Not Found'

lib_row 'a source package answers 404: the private index again, then the download' \
"0|
$src_gone" 0 \
"apt-get $private update
apt-get $private source --download-only libwpd
sleep 20
apt-get $private update
apt-get $private source --download-only libwpd" 'waiting 20s for the mirror' \
'private_apt "$cfg" update && private_apt "$cfg" source --download-only libwpd && echo fetched'

lib_row 'a source package that does not exist: no retry, a clear message' \
"100|E: Unable to find a source package for libnothing" 1 \
"apt-get $private source --download-only libnothing" 'no such package' \
'private_apt "$cfg" source --download-only libnothing'

lib_row 'a private download that keeps failing (its index too): three tries, then the command to run again' \
"*$src_gone" 1 \
"apt-get $private source --download-only libwpd
sleep 20
apt-get $private update
sleep 20
apt-get $private update
sleep 20
apt-get $private update
apt-get $private source --download-only libwpd
sleep 20
apt-get $private update
sleep 20
apt-get $private update
sleep 20
apt-get $private update
apt-get $private source --download-only libwpd" 'run again later: bash scripts/test.sh' \
'private_apt "$cfg" source --download-only libwpd'

echo "setup tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
