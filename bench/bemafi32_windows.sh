#!/usr/bin/env bash
# A locate through the Windows stand-in bemafi32.dll under Wine, against the same two
# exchanges written and read bare on Wine's COM1, mapped to the printer emulator's
# pseudo-terminal. Prints the medians and their ratio. See bench/README.md.
#   bemafi32_windows.sh [RUNS]   (200 by default, in each of ECF_SESSOES sessions: 5)
#   ECF_BUILD_DIR  the Windows program's build folder, for its bemafi32.dll (build/windows-x64)
#   ECF_EMULADOR   the Linux emulator (default: build/default/bin/emulador-ecf)
#   ECF_QT         the Qt for Windows, for its toolchain file (default: TESTEECF_QT_X64, else
#                  the x86_64 one in ~/.cache/testeecf that scripts/qt-windows.sh built)
set -euo pipefail
cd "$(dirname "$0")/.."

vezes=${1:-200}
build=${ECF_BUILD_DIR:-build/windows-x64}
emulador=$(realpath "${ECF_EMULADOR:-build/default/bin/emulador-ecf}")
qt=${ECF_QT:-${TESTEECF_QT_X64:-}}
if [ -z "$qt" ]; then
    for d in "$HOME"/.cache/testeecf/qt-*-x86_64-w64-mingw32-*; do [ -d "$d" ] && qt=$d; done
fi
[ -f "$build/bin/bemafi32.dll" ] || { echo "no $build/bin/bemafi32.dll: build the windows-x64 preset first" >&2; exit 2; }
[ -x "$emulador" ] || { echo "no emulator at $emulador: build the default preset first" >&2; exit 2; }
[ -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ] || { echo "no Qt for Windows (ECF_QT)" >&2; exit 2; }
source tests/windows/wine_com1.sh

cmake -S bench/windows -B build/bench-windows -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" >/dev/null
cmake --build build/bench-windows -j 2 >/dev/null

tmp=$(mktemp -d "${TMPDIR:-/tmp}/bemafi32-windows.XXXXXX")
trap EncerraWine EXIT

PrefixoNovo
EmuladorNaCom1 || { echo "the emulator did not start" >&2; exit 1; }
# A warm server of its own, with no terminal to print its state on when it is ended.
"$servidor" -p >/dev/null 2>&1

# The bench with the stand-in and its runtime beside it; it writes its own Bemafi32.ini.
mkdir "$tmp/programa"
cp build/bench-windows/bench_bemafi32_windows.exe "$build/bin/bemafi32.dll" \
    "$build/bin/libgcc_s_seh-1.dll" "$build/bin/libstdc++-6.dll" \
    "$build/bin/libwinpthread-1.dll" "$tmp/programa/"
# Where the scheduler puts the Wine server, the program and the emulator changes the cost of
# each round trip between them, and it stays so for a server's life: a run is a few
# sessions, each with a server of its own, and the ratio is their median.
sessoes=${ECF_SESSOES:-5}
echo "emulator on $pty as Wine's COM1; $sessoes sessions of $vezes runs, a new Wine server each"
razoes=()
for ((s = 1; s <= sessoes; s++)); do
    "$servidor" -k 2>/dev/null || true
    "$servidor" -w 2>/dev/null || true
    "$servidor" -p >/dev/null 2>&1
    saida=$(cd "$tmp/programa" && "$loader" ./bench_bemafi32_windows.exe "$vezes")
    echo "-- session $s"
    echo "$saida"
    razoes+=("$(sed -n 's/^ratio \([0-9.]*\).*/\1/p' <<<"$saida")")
done
mediana=$(printf '%s\n' "${razoes[@]}" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}')
echo "ratio per session: ${razoes[*]}; median $mediana (target: at most 2)"
