# Sourced by the dvbatch benchmarks: $build's architecture and Wine loader,
# its Wine prefix, and the batch fixture converter registered for import
# (register_bench_converter; unregister_bench_converter at the end).
# Needs: $build (a build tree).
arch=$(grep -q 'DOCVANE_WINE_ARCH:.*=i686' "$build/CMakeCache.txt" && echo i686 || echo x86_64)
loader=/usr/lib/wine/wine64
[ "$arch" = i686 ] && loader=/usr/lib/wine/wine
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all LC_ALL=C
key='HKLM\SOFTWARE\Microsoft\Shared Tools\Text Converters\Import\BatchBench'
register_bench_converter() {
  local conv
  conv=$("$loader" winepath -w "$build/fixtures/batch_converter.dll" 2>/dev/null | tr -d '\r')
  "$loader" reg add "$key" /v Name /d BatchBench /f >/dev/null 2>&1
  "$loader" reg add "$key" /v Path /d "$conv" /f >/dev/null 2>&1
  "$loader" reg add "$key" /v Extensions /d doc /f >/dev/null 2>&1
}
unregister_bench_converter() { "$loader" reg delete "$key" /f >/dev/null 2>&1; }
