#!/usr/bin/env bash
# test-package.sh: the release package end to end, through scripts/package.sh
# as a release is made.
#  - reproducible: packaging twice gives the same bytes (unsigned);
#  - signed: with a throwaway certificate every binary and both installer
#    packages carry a valid signature, and the checksums are those of the
#    signed files;
#  - one row per installer package, each in a fresh Wine prefix of its own:
#    silent install with the example converter (and, on the rows that ask
#    for it, the WordPerfect converter), files, versions and the uninstall
#    entry, the converters' registrations in the row's registry view, a list
#    request and imports through the installed docvane.exe (a real
#    WordPerfect document among them), upgrade to a higher version, a lower
#    version refused, silent uninstall leaving nothing of docvane and
#    registrations made by hand in place.
# Prints one PASS or FAIL line per test and "package tests: N passed, M
# failed"; the exit code is 0 only when all passed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${DOCVANE_BUILD_DIR:-$root/build}
work=$build/package-test
version=$(sed -n 's/^project(docvane VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
# One version above and one below, whatever the project version is (none
# below 0.0.0).
IFS=. read -r major minor patch <<<"$version"
higher=$major.$minor.$((patch + 1))
if [ "$patch" -gt 0 ]; then lower=$major.$minor.$((patch - 1))
elif [ "$minor" -gt 0 ]; then lower=$major.$((minor - 1)).0
elif [ "$major" -gt 0 ]; then lower=$((major - 1)).9.0
else lower=""; fi

rm -rf "$work"
mkdir -p "$work"
# Every package of this test with the same time, even if a commit is made
# while it runs (the time is by default the commit's).
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
export SOURCE_DATE_EPOCH
passed=0 failed=0
result() {  # NAME STATUS
  if [ "$2" -eq 0 ]; then echo "PASS $1"; passed=$((passed + 1)); else echo "FAIL $1"; failed=$((failed + 1)); fi
}
# fail MESSAGE: reports a failed check of the running test (its status is
# the global "status").
fail() { echo "  $*" >&2; status=1; }

# package DIST [ENV...]: scripts/package.sh into DIST, log beside it.
package() {
  local dist=$1; shift
  env "$@" DOCVANE_DIST_DIR="$dist" bash scripts/package.sh > "$dist.log" 2>&1 \
    || { echo "  package.sh failed, see $dist.log" >&2; tail -5 "$dist.log" >&2; return 1; }
}

# ---- Packages: as released, one above, one below, and again as released.
status=0
package "$work/dist" || status=1
package "$work/higher" DOCVANE_PACKAGE_VERSION="$higher" || status=1
[ -z "$lower" ] || package "$work/lower" DOCVANE_PACKAGE_VERSION="$lower" || status=1
package "$work/again" || status=1
if [ $status -eq 0 ]; then
  # Built twice from the same commit: the same bytes, installer packages
  # included (the second build relinked after the other versions).
  for file in "$work/dist"/*; do
    cmp -s "$file" "$work/again/$(basename "$file")" || fail "$(basename "$file") differs when built again"
  done
  [ "$(ls "$work/dist" | wc -l)" -eq 8 ] || fail "dist holds $(ls "$work/dist" | wc -l) files, not 8"
fi
result reproducible $status
built=$status

# ---- Signed with a throwaway self-signed certificate.
status=0
if [ $built -eq 0 ]; then
  key=$work/signing
  mkdir -p "$key"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=docvane test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$key/key.pem" -out "$key/cert.pem" >/dev/null 2>&1 \
    && printf 'throwaway\n' > "$key/password" \
    && openssl pkcs12 -export -inkey "$key/key.pem" -in "$key/cert.pem" -passout file:"$key/password" \
         -out "$key/cert.p12" >/dev/null 2>&1 \
    || fail "no test certificate"
  if [ $status -eq 0 ] && package "$work/signed" DOCVANE_SIGN_PKCS12="$key/cert.p12" \
       DOCVANE_SIGN_PASSWORD_FILE="$key/password"; then
    (cd "$work/signed" && unzip -q "docvane-$version.zip")
    top=$work/signed/docvane-$version
    signed=("$work/signed/docvane-$version-x86.msi" "$work/signed/docvane-$version-x64.msi")
    for arch in i686 x86_64; do
      for file in docvane.exe dvinfo.exe dvbatch.exe textconv.cnv wordperfect.cnv; do signed+=("$top/$arch/$file"); done
    done
    for file in "${signed[@]}"; do
      osslsigncode verify -CAfile "$key/cert.pem" -in "$file" > "$file.verify" 2>&1 \
        || fail "$(basename "$file"): no valid signature ($(tail -1 "$file.verify"))"
    done
    # The checksums are made after signing.
    (cd "$top" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the signed files"
    (cd "$work/signed" && sha256sum --quiet -c ./*.sha256) || fail "a .sha256 file does not match"
  else
    status=1
  fi
else
  status=1
fi
result signed $status

# ---- The installer packages under Wine. One row per package:
# name | installer | Wine prefix | loader | folder below C:\ | reg.exe view option | features
rows=(
  "x64|docvane-VERSION-x64.msi|x86_64|/usr/lib/wine/wine64|Program Files|/reg:64|ExampleConverter,WordPerfectConverter"
  "x86|docvane-VERSION-x86.msi|i686|/usr/lib/wine/wine|Program Files|/reg:32|ExampleConverter"
  "x86-on-x64|docvane-VERSION-x86.msi|x86_64|/usr/lib/wine/wine64|Program Files (x86)|/reg:32|ExampleConverter,WordPerfectConverter"
)
# In a 32-bit prefix (Wine's i686 route) there is only one Program Files; on
# 64-bit Windows the x86 package goes to Program Files (x86) and the 32-bit
# registry view.
converters='HKLM\SOFTWARE\Microsoft\Shared Tools\Text Converters'
uninstall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'

# Windows path of a Linux path, for Wine's Z: drive.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Real WordPerfect documents (wp2x's), for the rows with that converter.
wp_documents=$(bash scripts/wpd-deps.sh --documents 2>"$work/wp-documents.log" | tail -1)

msi_row() {
  local name=$1 msi=$2 arch=$3 loader=$4 folder=$5 view=$6 features=$7
  local wordperfect=0
  [[ ",$features," == *,WordPerfectConverter,* ]] && wordperfect=1
  local prefix=$work/$name/prefix
  local dir=$prefix/drive_c/$folder/docvane
  local logs=$work/$name
  mkdir -p "$logs"
  export WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=C WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
  bash scripts/wine-prefix.sh "$arch" "$prefix" || { fail "no Wine prefix"; return; }
  # A generous bound per program: msiexec under i386 emulation is slow,
  # but nothing may hang the test.
  run() { timeout 600 "$loader" "$@"; }
  reg_has() { run reg query "$1" $view >/dev/null 2>&1; }
  # Windows Installer's own registration is one for both views (Windows
  # shares HKLM\SOFTWARE\Classes\Installer between them; Wine keeps it in
  # the prefix's own view only): asked for without a view.
  installer_has() { run reg query "$1" >/dev/null 2>&1; }
  reg_value() { run reg query "$1" /v "$2" $view 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
  msiexec() {  # LOG ARGS...: exit code of msiexec, low 8 bits as Linux sees it
    local log=$1; shift
    run msiexec "$@" /qn /l*v "$(winpath "$logs/$log")"
    echo $?
  }
  product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
  # Windows Installer's registration of an UpgradeCode, the key that a
  # detection rule can test: the GUID's digits, each group reversed.
  packed() {
    local g=${1//[\{\}]/}
    local a=${g:0:8} b=${g:9:4} c=${g:14:4} d=${g:19:4}${g:24:12} out="" i
    for ((i = 7; i >= 0; i--)); do out+=${a:i:1}; done
    for ((i = 3; i >= 0; i--)); do out+=${b:i:1}; done
    for ((i = 3; i >= 0; i--)); do out+=${c:i:1}; done
    for ((i = 0; i < 16; i += 2)); do out+=${d:i+1:1}${d:i:1}; done
    printf '%s' "$out"
  }
  # The docvane entries among the installed programs, as "name version".
  entries() {
    run reg query "$uninstall" /s $view 2>/dev/null | tr -d '\r' \
      | awk '/^HKEY/ {n=""} /DisplayName/ {sub(/.*REG_SZ +/, ""); n=$0} /DisplayVersion/ && n ~ /^docvane/ {sub(/.*REG_SZ +/, ""); print n " " $0}'
  }
  # installed VERSION: the files, their version and the uninstall entry.
  installed() {
    local v=$1 file expected
    expected=$'LICENSE.txt\nREADME.txt\ndocs/batch.md\ndocs/callers-reference.md\ndocs/converter-authors.md\ndocvane.exe\ndvbatch.exe\ndvinfo.exe\ntextconv.cnv'
    # The WordPerfect converter brings its library, licence texts and page.
    [ $wordperfect -eq 0 ] || expected=$(printf '%s\n' "$expected" docs/wordperfect.md wordperfect.cnv \
      licenses/wordperfect/MPL-2.0.txt licenses/wordperfect/NOTICE.txt \
      licenses/wordperfect/libwpd-wpxtable-stddef.patch | LC_ALL=C sort)
    [ "$(cd "$dir" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)" = "$expected" ] \
      || fail "$v: files in $folder\\docvane are not the expected ones"
    local files=(docvane.exe dvinfo.exe dvbatch.exe textconv.cnv)
    [ $wordperfect -eq 0 ] || files+=(wordperfect.cnv)
    for file in "${files[@]}"; do
      bash scripts/check-version.sh "$dir/$file" "$v" >/dev/null || fail "$v: $file is not version $v"
    done
    [ "$(run "C:\\$folder\\docvane\\dvinfo.exe" --version | tr -d '\r')" = "dvinfo $v" ] \
      || fail "$v: dvinfo --version does not say $v"
    [ "$(entries)" = "docvane ($([ "$name" = x64 ] && echo 64 || echo 32)-bit) $v" ] \
      || fail "$v: installed programs show '$(entries)'"
  }

  local v1=$work/dist/${msi/VERSION/$version}
  local up=$work/higher/${msi/VERSION/$higher}
  local down=$work/lower/${msi/VERSION/$lower}
  local code upgrade_code
  code=$(product_code "$up")
  upgrade_code=$(msiinfo export "$v1" Property | tr -d '\r' | sed -n 's/^UpgradeCode\t//p')

  # Converters registered by hand, before and after docvane: one of them
  # another WordPerfect converter, which docvane's must leave alone.
  run reg add "$converters\\Import\\HandMade" /v Path /d 'C:\handmade.cnv' /f $view >/dev/null 2>&1
  run reg add "$converters\\Import\\WordPerfect" /v Path /d 'C:\other-wp.cnv' /f $view >/dev/null 2>&1

  # Install with the row's features.
  [ "$(msiexec install.log /i "$(winpath "$v1")" ADDLOCAL="$features")" = 0 ] || fail "install failed"
  installed "$version"
  [ "$(reg_value "$uninstall\\$(product_code "$v1")" Publisher)" = "the docvane developers" ] \
    || fail "no publisher in the uninstall entry"
  for direction in Import Export; do
    [ "$(reg_value "$converters\\$direction\\TextConv" Path)" = "C:\\$folder\\docvane\\textconv.cnv" ] \
      || fail "the example converter is not registered for $direction"
  done
  local wp_key="$converters\\Import\\docvane WordPerfect"
  if [ $wordperfect -eq 1 ]; then
    [ "$(reg_value "$wp_key" Path)" = "C:\\$folder\\docvane\\wordperfect.cnv" ] \
      || fail "the WordPerfect converter is not registered for import in the $view view"
    [ "$(reg_value "$wp_key" Extensions)" = "wpd wp wp5 wp6" ] || fail "the WordPerfect converter's extensions"
    reg_has "$converters\\Export\\docvane WordPerfect" && fail "the WordPerfect converter is registered for export"
  else
    reg_has "$wp_key" && fail "the WordPerfect converter is registered without its feature"
  fi
  [ "$(reg_value "$converters\\Import\\WordPerfect" Path)" = 'C:\other-wp.cnv' ] \
    || fail "the other WordPerfect converter's registration was changed"
  installer_has "HKLM\\SOFTWARE\\Classes\\Installer\\UpgradeCodes\\$(packed "$upgrade_code")" \
    || fail "no registration of the UpgradeCode"

  # The installed docvane: a list request (no built-in converters here:
  # two empty lists), and an import through the example converter.
  local c=$prefix/drive_c
  mkdir -p "$c/dvtest"
  printf '\\\\\\\\-1-1\n' > "$c/dvtest/list.req"
  run "C:\\$folder\\docvane\\docvane.exe" 'C:\dvtest\list.req'
  [ $? -eq 0 ] && [ "$(od -An -c "$c/dvtest/list.req" | tr -d ' ')" = '\n\n' ] || fail "list request"
  printf 'Hello from docvane\r\n' > "$c/dvtest/letter.txt"
  printf 'C:\\dvtest\\letter.txt\nC:\\dvtest\\letter.rtf\nX\n' > "$c/dvtest/import.req"
  run "C:\\$folder\\docvane\\docvane.exe" 'C:\dvtest\import.req'
  [ $? -eq 0 ] && [ "$(cat "$c/dvtest/import.req")" = $'Datei wird generiert (100%)...\n0' ] \
    && grep -q 'Hello from docvane' "$c/dvtest/letter.rtf" || fail "import through the example converter"
  # A real WordPerfect 5 document, found by the installed registration
  # (the example converter refuses it: not plain text).
  if [ $wordperfect -eq 1 ]; then
    if [ -f "$wp_documents/wp.wp" ]; then
      cp "$wp_documents/wp.wp" "$c/dvtest/paper.wp"
      printf 'C:\\dvtest\\paper.wp\nC:\\dvtest\\paper.rtf\nX\n' > "$c/dvtest/paper.req"
      run "C:\\$folder\\docvane\\docvane.exe" 'C:\dvtest\paper.req'
      [ $? -eq 0 ] && [ "$(tail -n 1 "$c/dvtest/paper.req" | tr -d '\r')" = 0 ] \
        && [ "$(head -c 5 "$c/dvtest/paper.rtf" 2>/dev/null)" = '{\rtf' ] \
        || fail "import of a WordPerfect document through the installed converter"
    else
      fail "no WordPerfect documents (see $work/wp-documents.log)"
    fi
  fi

  # A higher version replaces it: one entry, new files. Windows would carry
  # the example converter over by itself (feature migration); Wine 8 does
  # not, so it is asked for again, as the README tells administrators.
  [ "$(msiexec upgrade.log /i "$(winpath "$up")" ADDLOCAL="$features")" = 0 ] || fail "upgrade failed"
  installed "$higher"

  # A lower version is refused (1603, of which Linux sees the low byte) and
  # changes nothing.
  if [ -n "$lower" ]; then
    [ "$(msiexec downgrade.log /i "$(winpath "$down")")" = $((1603 & 255)) ] || fail "the downgrade was not refused"
    grep -aq 'WIX_DOWNGRADE_DETECTED = {' "$logs/downgrade.log" || fail "the downgrade was not detected"
    installed "$higher"
  fi

  # Uninstall: nothing of docvane left; the registration made by hand stays.
  [ "$(msiexec uninstall.log /x "$code")" = 0 ] || fail "uninstall failed"
  [ ! -e "$dir" ] || fail "$folder\\docvane is still there"
  [ -z "$(entries)" ] || fail "still among the installed programs"
  reg_has "$uninstall\\$code" && fail "the uninstall entry is still there"
  for direction in Import Export; do
    reg_has "$converters\\$direction\\TextConv" && fail "the example converter's $direction registration is left"
  done
  reg_has "$wp_key" && fail "the WordPerfect converter's registration is left"
  [ "$(reg_value "$converters\\Import\\WordPerfect" Path)" = 'C:\other-wp.cnv' ] \
    || fail "the other WordPerfect converter's registration is gone"
  installer_has "HKLM\\SOFTWARE\\Classes\\Installer\\UpgradeCodes\\$(packed "$upgrade_code")" \
    && fail "the UpgradeCode is still registered"
  [ "$(reg_value "$converters\\Import\\HandMade" Path)" = 'C:\handmade.cnv' ] || fail "the registration made by hand is gone"

  /usr/lib/wine/wineserver -k 2>/dev/null || true
  unset WINEPREFIX
}

for row in "${rows[@]}"; do
  IFS='|' read -r name msi arch loader folder view features <<<"$row"
  [ -z "${DOCVANE_PACKAGE_TEST_ROWS:-}" ] || [[ " $DOCVANE_PACKAGE_TEST_ROWS " == *" $name "* ]] || continue
  status=0
  if [ $built -eq 0 ]; then
    msi_row "$name" "$msi" "$arch" "$loader" "$folder" "$view" "$features"
  else
    status=1
  fi
  result "msi-$name" $status
done

echo "package tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
