#!/usr/bin/env bash
# compare_text.sh DOCUMENTS RTF_DIR: for each real document, the text of the
# RTF that docvane wrote (read back by unrtf) must equal the text libwpd's own
# wpd2text gives, after white space is normalised; and the formatting
# wpd2html shows must be in the RTF. Native: unrtf and wpd2text are Linux
# programs (Debian unrtf, libwpd-tools).
set -euo pipefail
documents=$1 rtf_dir=$2
for tool in unrtf wpd2text; do
  command -v "$tool" >/dev/null || { echo "compare_text: $tool missing (apt-get install unrtf libwpd-tools)" >&2; exit 1; }
done
# One line of words: no-break spaces are spaces, runs of white space one blank.
normalise() { sed 's/\xc2\xa0/ /g' | tr -s ' \t\r\n' ' ' | sed 's/^ //; s/ $//'; }
html_text() {
  python3 -c 'import html, re, sys
page = sys.stdin.buffer.read().decode("utf-8", "replace")
body = page.split("<body>", 1)[-1].split("</body>", 1)[0]
body = re.sub(r"<br\s*/?>|</p>", "\n", body)
sys.stdout.write(html.unescape(re.sub(r"<[^>]*>", "", body)))'
}
status=0
fail() { echo "compare_text: $*" >&2; status=1; }
for doc in simple.wp simple-iso.wp wp.wp; do
  rtf=$rtf_dir/$doc.rtf
  [ -s "$rtf" ] || { fail "$rtf missing or empty"; continue; }
  expected=$(wpd2text "$documents/$doc" | normalise)
  # unrtf's HTML keeps every character (its plain text turns those outside
  # code page 1252 into "?"): its body without tags, entities decoded.
  actual=$(unrtf --html "$rtf" 2>/dev/null | html_text | normalise)
  if [ "$expected" != "$actual" ]; then
    fail "$doc: the RTF's text differs from wpd2text's"
    diff <(tr ' ' '\n' <<<"$expected") <(tr ' ' '\n' <<<"$actual") | head -20 >&2 || true
  else
    echo "compare_text: $doc: $(wc -w <<<"$expected") words as wpd2text reads them"
  fi
done
# Formatting as wpd2html shows it: wp.wp's title at 22 pt and centred, bold
# headings; simple-iso.wp's umlauts and its font.
rtf=$rtf_dir/wp.wp.rtf
grep -q '\\qc' "$rtf" || fail "wp.wp: no centred paragraph"
grep -Eq '\\fs44[^0-9]' "$rtf" || fail "wp.wp: the title's 22 pt missing"
grep -Eq '\\b[^a-z0-9]' "$rtf" || fail "wp.wp: no bold"
grep -q 'CG Times' "$rtf" || fail "wp.wp: its font missing from the font table"
rtf=$rtf_dir/simple-iso.wp.rtf
for ch in e4 f6 fc c4 d6 dc df a7; do
  grep -qi "\\\\'$ch" "$rtf" || fail "simple-iso.wp: character 0x$ch missing"
done
grep -q 'Courier' "$rtf" || fail "simple-iso.wp: its font Courier missing"
exit $status
