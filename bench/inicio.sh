#!/usr/bin/env bash
# Start-up to a mapped main window, and peak memory by then, for TesteECF against a bare Qt
# window with the same five controls, both under one Xvfb, alternately, N starts each.
# Prints the medians and their ratios. See bench/README.md.
#   ECF_BUILD_DIR  the program's build folder (default: the default preset's)
#   ECF_VEZES      starts of each program (default 15, at least 10)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

build=${ECF_BUILD_DIR:-build/default}
vezes=${ECF_VEZES:-15}
((vezes >= 10)) || { echo "ECF_VEZES must be at least 10" >&2; exit 2; }
if [ "$build" = build/default ]; then
    cmake --preset default >/dev/null
else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target TesteECF -j "$(nproc)" >/dev/null
cmake -S bench/inicio -B "$build/bench-inicio" -G Ninja >/dev/null
cmake --build "$build/bench-inicio" -j "$(nproc)" >/dev/null
espera=$build/bench-inicio/espera_janela

tmp=$(mktemp -d)
xvfb=""
fim() {
    [ -z "$xvfb" ] || { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; } || true
    rm -rf "$tmp"
}
trap fim EXIT

# A folder of the program's own, so that its Bemafi32.ini is the benchmark's.
mkdir "$tmp/programa"
cp "$build/bin/TesteECF" "$build/bin/libbemafi32.so" "$tmp/programa/"
printf '[Sistema]\r\nPorta=Default\r\n' >"$tmp/programa/Bemafi32.ini"
cp "$build/bench-inicio/janela_nua" "$tmp/"

mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
read -r -t 20 numero <"$tmp/display"
export DISPLAY=:$numero
# The number can come before the server takes connections.
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

mede() { "$espera" "$1" 20000 "$2"; }
# One start of each, uncounted, fills the file cache.
mede 'Janela nua' "$tmp/janela_nua" >/dev/null
mede 'Teste de Comunica' "$tmp/programa/TesteECF" >/dev/null
for ((i = 0; i < vezes; i++)); do
    mede 'Janela nua' "$tmp/janela_nua" >>"$tmp/nua"
    mede 'Teste de Comunica' "$tmp/programa/TesteECF" >>"$tmp/programa.txt"
done

mediana() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ms_p=$(cut -d' ' -f1 "$tmp/programa.txt" | mediana)
ms_n=$(cut -d' ' -f1 "$tmp/nua" | mediana)
kb_p=$(cut -d' ' -f2 "$tmp/programa.txt" | mediana)
kb_n=$(cut -d' ' -f2 "$tmp/nua" | mediana)
echo "starts of each: $vezes (medians)"
awk -v p="$ms_p" -v n="$ms_n" 'BEGIN { printf "start-up to mapped window: TesteECF %.1f ms, bare window %.1f ms, ratio %.3f (target at most 1.15)\n", p, n, p / n }'
min_p=$(cut -d' ' -f1 "$tmp/programa.txt" | sort -n | head -n 1)
min_n=$(cut -d' ' -f1 "$tmp/nua" | sort -n | head -n 1)
awk -v p="$min_p" -v n="$min_n" 'BEGIN { printf "  fastest starts (less sensitive to a busy machine): %.1f ms and %.1f ms, ratio %.3f\n", p, n, p / n }'
awk -v p="$kb_p" -v n="$kb_n" 'BEGIN { printf "peak memory: TesteECF %d kB, bare window %d kB, ratio %.3f (target at most 1.2)\n", p, n, p / n }'
