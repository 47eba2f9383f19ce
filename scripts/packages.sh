# shellcheck shell=bash
# scripts/packages.sh: the Debian (bookworm) packages docvane's entry points
# need, in one place. Sourced by scripts/setup.sh; bash arrays only.
#
# Groups (what needs them):
PKG_BUILD_CORE=(cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 xz-utils ca-certificates)
# The WordPerfect converter's build: its libraries built from source with the
# MinGW compilers.
PKG_WORDPERFECT_BUILD=(libboost-dev m4 libz-mingw-w64-dev)
# Running Windows programs (demo, tests under Wine). 32-bit Wine comes through
# the 32-bit route in setup.sh (qemu-i386, then PKG_WINE_I386).
PKG_WINE=(wine wine64)
PKG_WINE_I386=(wine32:i386)
# Any build with DOCVANE_TESTS=ON (googletest's sources for the cross builds)
# and the native builds (sanitizers, fuzzing with clang).
PKG_TESTS=(googletest g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev)
# The WordPerfect converter's tests (reference tools; native builds of the RTF
# writer against the system's librevenge and libwpd).
PKG_WORDPERFECT_TESTS=(libwpd-tools unrtf libwpd-dev librevenge-dev)
# dvbatch's tests.
PKG_BATCH_TESTS=(parallel)
# scripts/package.sh: archives, installer packages, signing; its test unpacks
# and makes a throwaway certificate.
PKG_PACKAGING=(zip wixl msitools faketime osslsigncode openssl unzip)

# Entry points: scripts/demo.sh, scripts/test.sh (which also runs the
# packaging test), scripts/package.sh.
PKG_DEMO=("${PKG_BUILD_CORE[@]}" "${PKG_WORDPERFECT_BUILD[@]}" "${PKG_WINE[@]}")
PKG_TEST=("${PKG_BUILD_CORE[@]}" "${PKG_WORDPERFECT_BUILD[@]}" "${PKG_WINE[@]}" "${PKG_TESTS[@]}"
  "${PKG_WORDPERFECT_TESTS[@]}" "${PKG_BATCH_TESTS[@]}" "${PKG_PACKAGING[@]}")
PKG_PACKAGE=("${PKG_BUILD_CORE[@]}" "${PKG_WORDPERFECT_BUILD[@]}" "${PKG_PACKAGING[@]}")
# Which entry points need 32-bit Wine (the demo can do without: it runs the
# 64-bit build then).
PKG_NEEDS_I386_demo=optional
PKG_NEEDS_I386_test=required
PKG_NEEDS_I386_package=no
