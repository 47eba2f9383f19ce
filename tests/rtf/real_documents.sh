#!/usr/bin/env bash
# real_documents.sh WPD2RTF RTFTEXT WORKDIR
# The real WordPerfect documents of Debian's wp2x source package through
# libwpd and the RTF writer (a sanitizer build: any fault fails), checked
# against libwpd's own text output (wpd2text) and, as an independent reader,
# unrtf. The documents come from wp2x-documents.sh.
set -euo pipefail
wpd2rtf=$1 rtftext=$2 work=$3
for tool in wpd2text unrtf iconv; do
  command -v "$tool" >/dev/null || { echo "real_documents: $tool missing (Debian: libwpd-tools, unrtf)"; exit 1; }
done

bash "$(dirname "$0")/wp2x-documents.sh" "$work/docs"

norm() { tr -s '[:space:]' ' ' | sed 's/^ //; s/ $//'; }
ascii() { tr -cd ' -~' | tr -d '?'; }
failed=0
check() {  # check NAME STATUS MESSAGE
  if [ "$2" -eq 0 ]; then echo "ok   $1: $3"; else echo "FAIL $1: $3"; failed=1; fi
}
same() { cmp -s "$1" "$2" && echo 0 || echo 1; }
for doc in simple simple-iso wp; do
  in=$work/docs/$doc.wp out=$work/$doc.rtf
  set +e; "$wpd2rtf" "$in" > "$out"; rc=$?; set -e
  check "$doc" "$rc" "converts (exit $rc)"
  [ "$rc" -eq 0 ] || continue
  wpd2text "$in" | norm > "$work/$doc.expected"
  set +e; "$rtftext" "$out" | norm > "$work/$doc.ours"; rc=${PIPESTATUS[0]}; set -e
  check "$doc" "$rc" "the RTF's groups balance"
  check "$doc" "$(same "$work/$doc.expected" "$work/$doc.ours")" "text equals wpd2text's"
  # unrtf has no mapping for some Latin-1 characters (it writes '?'):
  # compared on ASCII, question marks aside.
  unrtf --text "$out" 2>/dev/null | grep -av -e '^###' -e '^-----------------$' | iconv -f cp1252 -t utf-8 | norm | ascii > "$work/$doc.unrtf"
  ascii < "$work/$doc.expected" > "$work/$doc.expected-ascii"
  check "$doc" "$(same "$work/$doc.expected-ascii" "$work/$doc.unrtf")" "unrtf reads the same text"
done
# What wpd2html shows, in the RTF too.
has() { grep -qF -- "$2" "$work/$1.rtf" && echo 0 || echo 1; }
check simple-iso "$(has simple-iso '\u228\'"'"'e4')" "umlauts as \\uN with their code page 1252 byte"
check simple-iso "$(has simple-iso '\paperw11906\paperh16838')" "A4 page"
check wp "$(has wp '{\f1\fs44\cf1 Preparing')" "title in CG Times, 22 pt"
check wp "$(has wp '\b\cf1 Section Headings')" "bold heading"
check wp "$(has wp '\ul\cf1 italics')" "underlined words"
check wp "$(has wp '\qc')" "centred title"
check wp "$(has wp '{\f1\froman\fcharset0 CG Times (Scalable);}')" "font in the font table"
exit $failed
