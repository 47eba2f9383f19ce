# shellcheck shell=bash
# scripts/lib/apt.sh: apt work that survives a package mirror in the middle of
# a sync. Source it from bash (`. scripts/lib/apt.sh`); it sets no shell
# options of its own and works under `set -euo pipefail`.
#
#   apt_update_tolerant [apt-get options...]
#       apt-get update; on failure reports which indexes failed, waits and
#       tries again a few times, then goes on with the lists apt has (always
#       returns 0; the failures are kept in APT_UPDATE_FAILED for later
#       messages).
#   apt_missing PKG...
#       prints, one a line, those of PKG (name or name:arch) not installed.
#   apt_install PKG...
#       installs PKG with --no-install-recommends, never removing or
#       downgrading anything. Unmet dependencies ("held broken packages",
#       often one architecture's index lagging behind the other's): once more
#       with the main suite given precedence for that one command, after a
#       simulation shows it removes and downgrades nothing. "Hash Sum
#       mismatch", 404 or a truncated file: a fresh update, then one more try.
#       A package apt does not know stops at once. Returns 0 or 1 (with a
#       message naming the problem and APT_RERUN, the command to run again);
#       APT_LAST_ERROR says why: missing | mirror | downgrade | other.
#   private_apt_init DIR LINE...
#       a private apt configuration in DIR whose sources are the given lines
#       ("deb URI SUITE COMPONENT", "deb-src ..."); the machine's own sources,
#       lists, caches and pins are not read or changed.
#   private_apt DIR apt-get-arguments...
#       apt-get with DIR's private configuration: `update` as
#       apt_update_tolerant; `download PKG...` and `source --download-only
#       PKG...` (files land in the current directory): on 404 (a superseded
#       file), "Hash Sum mismatch" or a truncated file the private index is
#       updated again and the command tried again, a few times.
#
# All waiting together is bounded by APT_WAIT_BUDGET seconds (default 240);
# each wait says what it waits for. Set before sourcing or before a call:
#   APT_GET, DPKG, DPKG_QUERY, APT_SLEEP  the commands (stand-ins for tests)
#   APT_SUDO       prefix for commands that change the machine (e.g. sudo)
#   APT_MAIN_SUITE the suite given precedence on the fallback (default: the
#                  machine's release codename, e.g. bookworm)
#   APT_PAUSE      seconds between attempts (default 20)
#   APT_UPDATE_ATTEMPTS  attempts of one update (default 3)
#   APT_RERUN      the command a user runs again after a stop
#   PRIVATE_APT_ARCH     the private configuration's architecture (default:
#                  dpkg's native one)
# Messages go to standard error, prefixed "apt: ".

APT_GET=${APT_GET:-apt-get}
DPKG=${DPKG:-dpkg}
DPKG_QUERY=${DPKG_QUERY:-dpkg-query}
APT_SLEEP=${APT_SLEEP:-sleep}
APT_SUDO=${APT_SUDO:-}
APT_PAUSE=${APT_PAUSE:-20}
APT_UPDATE_ATTEMPTS=${APT_UPDATE_ATTEMPTS:-3}
APT_WAIT_BUDGET=${APT_WAIT_BUDGET:-240}
APT_RERUN=${APT_RERUN:-the same command}
APT_WAITED=0
APT_UPDATE_FAILED=
APT_LAST_ERROR=
APT_OUTPUT=

_apt_say() { printf 'apt: %s\n' "$*" >&2; }

# The main suite: the release codename of this machine.
_apt_main_suite() {
  if [ -n "${APT_MAIN_SUITE:-}" ]; then printf '%s\n' "$APT_MAIN_SUITE"; return; fi
  local codename=
  [ -r /etc/os-release ] && codename=$(. /etc/os-release && printf '%s' "${VERSION_CODENAME:-}")
  printf '%s\n' "${codename:-bookworm}"
}

# Waits SECONDS for WHAT, unless that would take all waiting past the budget.
_apt_wait() {
  local seconds=$1 what=$2
  if [ $((APT_WAITED + seconds)) -gt "$APT_WAIT_BUDGET" ]; then
    _apt_say "not waiting any longer for $what: all retries together may wait ${APT_WAIT_BUDGET}s and ${APT_WAITED}s are used"
    return 1
  fi
  _apt_say "waiting ${seconds}s for $what"
  "$APT_SLEEP" "$seconds"
  APT_WAITED=$((APT_WAITED + seconds))
}

# Runs apt-get ARGS, output (both streams) in APT_OUTPUT; returns its status.
# With CHANGES=1 in front (a command that changes the machine) through
# APT_SUDO.
_apt_run() {
  local rc=0
  if [ "${_APT_CHANGES:-0}" = 1 ] && [ -n "$APT_SUDO" ]; then
    APT_OUTPUT=$($APT_SUDO env DEBIAN_FRONTEND=noninteractive "$APT_GET" "$@" 2>&1) || rc=$?
  else
    APT_OUTPUT=$(DEBIAN_FRONTEND=noninteractive "$APT_GET" "$@" 2>&1) || rc=$?
  fi
  return "$rc"
}

# The lines of APT_OUTPUT that say what could not be fetched.
_apt_fetch_failures() {
  grep -E '^(E|W): (Failed to fetch|Some index files failed)|^Err:|Hash Sum mismatch|File has unexpected size|Mirror sync in progress' \
    <<<"$APT_OUTPUT" || true
}
# True when APT_OUTPUT shows a download that failed mid-sync: 404, a hash or
# size that does not match the index.
_apt_fetch_failed() {
  grep -qE 'Hash Sum mismatch|File has unexpected size|Mirror sync in progress|404 +Not Found|Failed to fetch' <<<"$APT_OUTPUT"
}

# One update with retries; OPTIONS are apt-get options (a private
# configuration or none).
_apt_update() {
  local attempt=1 failures what=${_APT_UPDATE_WHAT:-the package lists}
  while :; do
    if _apt_run "$@" update; then
      failures=$(_apt_fetch_failures)
      [ -z "$failures" ] && return 0
    else
      failures=$(_apt_fetch_failures)
      [ -n "$failures" ] || failures=$(tail -n 5 <<<"$APT_OUTPUT")
    fi
    _apt_say "updating $what failed (attempt $attempt of $APT_UPDATE_ATTEMPTS):"
    sed 's/^/apt:   /' <<<"$failures" >&2
    if [ "$attempt" -ge "$APT_UPDATE_ATTEMPTS" ] \
       || ! _apt_wait "$APT_PAUSE" "the mirror to finish its sync before updating $what again"; then
      APT_UPDATE_FAILED=$failures
      _apt_say "going on with what apt has of $what"
      return 1
    fi
    attempt=$((attempt + 1))
  done
}

apt_update_tolerant() {
  APT_UPDATE_FAILED=
  _APT_CHANGES=1 _apt_update "$@" || true
  return 0
}

apt_missing() {
  local p
  for p in "$@"; do
    "$DPKG_QUERY" -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || printf '%s\n' "$p"
  done
}

# Prints what the simulation in APT_OUTPUT would remove or downgrade.
_apt_harmful() {
  local line pkg old new re='^Inst ([^ ]+) \[([^]]+)\] \(([^ ]+)'
  grep -E '^Remv ' <<<"$APT_OUTPUT" || true
  while IFS= read -r line; do
    # Inst PKG [INSTALLED] (NEW SOURCE [ARCH])
    [[ $line =~ $re ]] || continue
    pkg=${BASH_REMATCH[1]} old=${BASH_REMATCH[2]} new=${BASH_REMATCH[3]}
    if "$DPKG" --compare-versions "$new" lt "$old"; then
      printf 'downgrade of %s from %s to %s\n' "$pkg" "$old" "$new"
    fi
  done <<<"$APT_OUTPUT"
}

_apt_stop() {  # KIND MESSAGE...
  APT_LAST_ERROR=$1; shift
  _apt_say "$*"
  if [ -n "$APT_UPDATE_FAILED" ]; then
    _apt_say "the last update could not fetch:"
    sed 's/^/apt:   /' <<<"$APT_UPDATE_FAILED" >&2
  fi
  _apt_say "nothing was removed or downgraded; run again later: $APT_RERUN"
  return 1
}

apt_install() {
  [ $# -gt 0 ] || return 0
  local suite missing harmful refreshed=0 fallback=0 attempts=0
  local opts=(-y --no-install-recommends --no-remove -o DPkg::Lock::Timeout=120)
  local target=()
  APT_LAST_ERROR=
  while [ "$attempts" -lt 4 ]; do
    attempts=$((attempts + 1))
    if _APT_CHANGES=1 _apt_run install "${opts[@]}" "${target[@]}" "$@"; then
      [ "$fallback" = 1 ] && _apt_say "installed with $suite given precedence: $*"
      return 0
    fi
    missing=$(grep -oE "Unable to locate package [^ ]+|Package '?[^ ']+'? has no installation candidate" <<<"$APT_OUTPUT" || true)
    if [ -n "$missing" ]; then
      APT_LAST_ERROR=missing
      _apt_say "cannot install $*: apt knows no such package ($(tr '\n' ';' <<<"$missing" | sed 's/;$//'))"
      [ -z "$APT_UPDATE_FAILED" ] || _apt_say "(the last update failed for some lists: if the package should exist, run again later: $APT_RERUN)"
      return 1
    fi
    if grep -qE 'Packages were downgraded|Packages need to be removed but remove is disabled' <<<"$APT_OUTPUT"; then
      _apt_stop downgrade "cannot install $* without removing or downgrading installed packages (the package mirror looks inconsistent, in the middle of a sync?)"
      return 1
    fi
    if _apt_fetch_failed && [ "$refreshed" = 0 ]; then
      refreshed=1
      _apt_say "a download failed (the package mirror in the middle of a sync?):"
      _apt_fetch_failures | sed 's/^/apt:   /' >&2
      _apt_wait "$APT_PAUSE" "the mirror to settle before updating the lists and trying again" || break
      apt_update_tolerant
      continue
    fi
    if grep -qE 'unmet dependencies|held broken packages|Broken packages' <<<"$APT_OUTPUT" && [ "$fallback" = 0 ]; then
      fallback=1
      suite=$(_apt_main_suite)
      _apt_say "unmet dependencies (one index newer than another?); trying with $suite given precedence for this install only"
      if ! _apt_run -s install --no-install-recommends -t "$suite" "$@"; then
        grep -E '^ |^E:' <<<"$APT_OUTPUT" | sed 's/^/apt:   /' >&2 || true
        _apt_stop mirror "cannot install $*: the package lists are inconsistent even with $suite given precedence (the package mirror in the middle of a sync?)"
        return 1
      fi
      harmful=$(_apt_harmful)
      if [ -n "$harmful" ]; then
        sed 's/^/apt:   /' <<<"$harmful" >&2
        _apt_stop downgrade "cannot install $*: with $suite given precedence apt would remove or downgrade installed packages (the package mirror in the middle of a sync?)"
        return 1
      fi
      target=(-t "$suite")
      continue
    fi
    break
  done
  tail -n 15 <<<"$APT_OUTPUT" | sed 's/^/apt:   /' >&2
  if _apt_fetch_failed || grep -qE 'unmet dependencies|held broken packages|Broken packages' <<<"$APT_OUTPUT"; then
    _apt_stop mirror "cannot install $*: the package mirror serves an inconsistent or incomplete state (in the middle of a sync?)"
  else
    _apt_stop other "cannot install $*: apt-get failed (see above)"
  fi
}

_private_opts() {  # DIR: sets _PRIVATE_OPTS
  local dir=$1 arch=${PRIVATE_APT_ARCH:-}
  [ -n "$arch" ] || arch=$("$DPKG" --print-architecture 2>/dev/null || echo amd64)
  _PRIVATE_OPTS=(-o "Dir::Etc::SourceList=$dir/sources.list" -o Dir::Etc::SourceParts=/nonexistent
    -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache::Archives=$dir/archives"
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o "APT::Architectures::=$arch")
}

private_apt_init() {
  local dir=$1; shift
  mkdir -p "$dir/lists/partial" "$dir/archives/partial"
  printf '%s\n' "$@" > "$dir/sources.list"
}

private_apt() {
  local dir=$1; shift
  _private_opts "$dir"
  local opts=("${_PRIVATE_OPTS[@]}") attempt=1
  if [ "${1:-}" = update ]; then
    APT_UPDATE_FAILED=
    _APT_UPDATE_WHAT="the private lists in $dir" _apt_update "${opts[@]}" || true
    return 0
  fi
  while :; do
    _apt_run "${opts[@]}" "$@" && return 0
    if grep -qE "Unable to locate package|Can't find a source to download|Unable to find a source package|has no installation candidate" <<<"$APT_OUTPUT"; then
      grep -E '^E:' <<<"$APT_OUTPUT" | sed 's/^/apt:   /' >&2 || true
      APT_LAST_ERROR=missing
      _apt_say "apt-get $* (private configuration in $dir): no such package; run again later if it should exist: $APT_RERUN"
      return 1
    fi
    _apt_fetch_failed || break
    _apt_say "apt-get $* failed (a superseded or half-synced file?):"
    _apt_fetch_failures | sed 's/^/apt:   /' >&2
    [ "$attempt" -lt 3 ] || break
    _apt_wait "$APT_PAUSE" "the mirror before looking the files up again in the private lists in $dir" || break
    attempt=$((attempt + 1))
    APT_UPDATE_FAILED=
    _APT_UPDATE_WHAT="the private lists in $dir" _apt_update "${opts[@]}" || true
  done
  tail -n 10 <<<"$APT_OUTPUT" | sed 's/^/apt:   /' >&2
  APT_LAST_ERROR=mirror
  _apt_say "apt-get $* (private configuration in $dir) failed; the package mirror may be in the middle of a sync; run again later: $APT_RERUN"
  return 1
}
