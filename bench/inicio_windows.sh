#!/usr/bin/env bash
# Start-up of the 64-bit TesteECF.exe under Wine to its mapped main window, against the bare
# Qt window with the same five controls cross-built for Windows, both under one Xvfb and one
# warm Wine server, alternately, N starts each. Prints the medians and their ratio.
# See bench/README.md.
#   ECF_BUILD_DIR  the Windows program's build folder (default: build/windows-x64, as built)
#   ECF_QT         the Qt for Windows (default: TESTEECF_QT_X64, else the x86_64 one in
#                  ~/.cache/testeecf that scripts/qt-windows.sh built)
#   ECF_VEZES      starts of each program (default 15, at least 10)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${ECF_BUILD_DIR:-build/windows-x64}
qt=${ECF_QT:-${TESTEECF_QT_X64:-}}
if [ -z "$qt" ]; then
    for d in "$HOME"/.cache/testeecf/qt-*-x86_64-w64-mingw32-*; do [ -d "$d" ] && qt=$d; done
fi
vezes=${ECF_VEZES:-15}
((vezes >= 10)) || { echo "ECF_VEZES must be at least 10" >&2; exit 2; }
[ -f "$build/bin/TesteECF.exe" ] || { echo "no $build/bin/TesteECF.exe: build the windows-x64 preset first" >&2; exit 2; }
[ -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ] || { echo "no Qt for Windows (ECF_QT)" >&2; exit 2; }
loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
servidor=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

# The watcher runs on Linux; the bare window is cross-built like the program.
cmake -S bench/inicio -B build/bench-inicio-linux -G Ninja >/dev/null
cmake --build build/bench-inicio-linux --target espera_janela -j 2 >/dev/null
cmake -S bench/inicio -B build/bench-inicio-windows -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" >/dev/null
cmake --build build/bench-inicio-windows -j 2 >/dev/null
espera=$PWD/build/bench-inicio-linux/espera_janela

tmp=$(mktemp -d "${TMPDIR:-/tmp}/inicio-windows.XXXXXX")
xvfb=""
fim() {
    [ -z "$xvfb" ] || { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; } || true
    WINEPREFIX=$tmp/prefixo "$servidor" -k 2>/dev/null || true
    rm -rf "$tmp"
}
trap fim EXIT

export WINEPREFIX=$tmp/prefixo WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d" LC_ALL=C.UTF-8
timeout 120 "$loader" wineboot -i >/dev/null 2>&1

# Each program in a folder of its own with the same Qt and compiler DLLs; the program's
# Bemafi32.ini is the benchmark's, so the show step writes there.
mkdir "$tmp/programa" "$tmp/nua"
cp -r "$build/bin/." "$tmp/programa/"
rm -f "$tmp/programa"/tst_*.exe
printf '[Sistema]\r\nPorta=Default\r\n' >"$tmp/programa/Bemafi32.ini"
cp -r "$tmp/programa/." "$tmp/nua/"
rm -f "$tmp/nua/TesteECF.exe" "$tmp/nua/bemafi32.dll" "$tmp/nua/Bemafi32.ini"
cp build/bench-inicio-windows/janela_nua.exe "$tmp/nua/"

mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
read -r -t 20 numero <"$tmp/display"
export DISPLAY=:$numero
# The number can come before the server takes connections.
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# A warm Wine server: it stays up between starts, as on a desktop where Wine is in use.
"$servidor" -w 2>/dev/null || true
"$servidor" -p
mede() { "$espera" "$1" 30000 "$loader" "$2"; }
# One start of each, uncounted, fills the file cache and the server's state.
mede 'Janela nua' "$tmp/nua/janela_nua.exe" >/dev/null
mede 'Teste de Comunica' "$tmp/programa/TesteECF.exe" >/dev/null
for ((i = 0; i < vezes; i++)); do
    mede 'Janela nua' "$tmp/nua/janela_nua.exe" >>"$tmp/nua.txt"
    mede 'Teste de Comunica' "$tmp/programa/TesteECF.exe" >>"$tmp/programa.txt"
done

mediana() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ms_p=$(cut -d' ' -f1 "$tmp/programa.txt" | mediana)
ms_n=$(cut -d' ' -f1 "$tmp/nua.txt" | mediana)
echo "starts of each under Wine: $vezes (medians)"
awk -v p="$ms_p" -v n="$ms_n" 'BEGIN { printf "start-up to mapped window: TesteECF.exe %.1f ms, bare window %.1f ms, ratio %.3f (target at most 1.15)\n", p, n, p / n }'
min_p=$(cut -d' ' -f1 "$tmp/programa.txt" | sort -n | head -n 1)
min_n=$(cut -d' ' -f1 "$tmp/nua.txt" | sort -n | head -n 1)
awk -v p="$min_p" -v n="$min_n" 'BEGIN { printf "  fastest starts (less sensitive to a busy machine): %.1f ms and %.1f ms, ratio %.3f\n", p, n, p / n }'
