#!/usr/bin/env bash
# Cross-builds the Qt-free parts of the program for Windows with mingw-w64 and runs their
# tests under Wine: headless, in a throw-away Wine prefix. Fails on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

loader=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
servidor=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
[ -x "$loader" ] && [ -x "$servidor" ] || { echo "wine64 is not installed"; exit 1; }

build=build/windows
cmake -S tests/windows -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DWINE_LOADER="$loader" >/dev/null
cmake --build "$build" -j "$(nproc)"
# A 32-bit BEMAFI32.DLL needs a 32-bit program: that build is compiled too, though Debian's
# wine64 runs only the 64-bit one.
cmake -S tests/windows -B "$build"32 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DMINGW_TRIPLET=i686-w64-mingw32 >/dev/null
cmake --build "$build"32 -j "$(nproc)"

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/testeecf-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
# Wine takes its ANSI code page from the locale: Windows-1252, with UTF-8 file names.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
encerra() {
    "$servidor" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap encerra EXIT

echo "== Wine prefix =="
timeout 300 "$loader" wineboot -i >/dev/null 2>&1

echo "== tests (Windows, under Wine) =="
ctest --test-dir "$build" -V -j 1
