#!/usr/bin/env bash
# The Windows side, cross-built here with mingw-w64 and tested under Wine, headless:
#  1. the Qt-free parts (tests/windows), 64-bit and 32-bit: the profile layer against
#     Windows' own profile functions, the manifest, the binding through an import library;
#  2. TesteECF.exe and the stand-in bemafi32.dll for both widths, against a Qt for Windows
#     built from Debian's source (scripts/qt-windows.sh, cached per machine: about an hour
#     per width the first time);
#  3. the program's portable Qt tests under Wine (64-bit: these machines run no 32-bit code),
#     both widths' import tables and PE widths checked statically, the release zips made;
#  4. against the printer emulator on Wine's COM1: the stand-in DLL call by call; end to
#     end, the real window under Wine in Xvfb, from the build and from the unpacked 64-bit
#     zip; the 32-bit zip's contents.
# The emulator comes from the Linux build (build/default). Fails on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

loader=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
servidor=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
[ -x "$loader" ] && [ -x "$servidor" ] || { echo "wine64 is not installed"; exit 1; }
status=0

echo "== Qt-free parts =="
build=build/windows
cmake -S tests/windows -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DWINE_LOADER="$loader" >/dev/null
cmake --build "$build" -j "$(nproc)"
cmake -S tests/windows -B "$build"32 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DMINGW_TRIPLET=i686-w64-mingw32 >/dev/null
cmake --build "$build"32 -j "$(nproc)"

echo "== Qt for Windows (cached) =="
TESTEECF_QT_X64=$(scripts/qt-windows.sh x86_64-w64-mingw32 | tail -n 1)
TESTEECF_QT_X86=$(scripts/qt-windows.sh i686-w64-mingw32 | tail -n 1)
export TESTEECF_QT_X64 TESTEECF_QT_X86
echo "x64: $TESTEECF_QT_X64"
echo "x86: $TESTEECF_QT_X86"

echo "== TesteECF.exe, 64-bit and 32-bit =="
for largura in x64 x86; do
    cmake --preset windows-$largura >/dev/null
    cmake --build --preset windows-$largura -j "$(nproc)"
    (cd build/windows-$largura && cpack >/dev/null)
    ls build/windows-$largura/pacote/*.zip
done

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
ctest --test-dir "$build" -V -j 1 || status=1
ctest --preset windows-x64 -j 1 || status=1

echo "== import tables and widths =="
for par in x64:x86_64-w64-mingw32 x86:i686-w64-mingw32; do
    largura=${par%%:*}
    triplet=${par#*:}
    bin=build/windows-$largura/bin
    bash tests/windows/importacoes.sh "$triplet" "$largura" "$bin/TesteECF.exe" \
        "$bin/bemafi32.dll" "$bin"/Qt6*.dll "$bin"/lib*.dll "$bin"/platforms/*.dll \
        "$bin"/styles/*.dll || status=1
done

echo "== the 32-bit release =="
bash tests/windows/pacote.sh i686-w64-mingw32 x86 build/windows-x86/pacote/*.zip || status=1

"$servidor" -k 2>/dev/null || true
# Each run against the emulator makes its own Wine prefix (and its own X display).
echo "== the stand-in bemafi32.dll under Wine, call by call =="
bash tests/windows/substituta.sh build/windows-x64/bin build/default/bin/emulador-ecf ||
    status=1
echo "== end to end under Wine: the build =="
bash tests/windows/ponta_a_ponta.sh build/windows-x64/bin build/default/bin/emulador-ecf ||
    status=1
echo "== end to end under Wine: the 64-bit release, unpacked =="
bash tests/windows/pacote.sh x86_64-w64-mingw32 x64 build/windows-x64/pacote/*.zip \
    build/windows-x64/bin/bemafi32.dll build/default/bin/emulador-ecf || status=1
exit $status
