#!/usr/bin/env bash
# Builds if needed, starts the program under Xvfb against the emulator (or, without one,
# the idle stand-in library) and saves docs/janela.png, the main window, and
# docs/mensagem.png, the three-answer message after "Localizar Impressora 4200 TH FI".
# ECF_BUILD_DIR chooses the build folder (default: the default preset's).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

build=${ECF_BUILD_DIR:-build/default}
if [ "$build" = build/default ]; then
    cmake --preset default >/dev/null
else
    cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target TesteECF -j "$(nproc)"
cmake --build "$build" --target emulador-ecf -j "$(nproc)" 2>/dev/null || true
bin=$build/bin

tmp=$(mktemp -d)
pids=()
ini_guardado=""
fim() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    if [ -n "$ini_guardado" ]; then mv "$ini_guardado" "$bin/Bemafi32.ini"; else rm -f "$bin/Bemafi32.ini"; fi
    rm -rf "$tmp"
}
trap fim EXIT

# Xvfb picks a free display and writes its number to the pipe.
mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
pids+=($!)
read -r -t 20 numero <"$tmp/display"
export DISPLAY=:$numero
# The number can come before the server takes connections.
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

if [ -f "$bin/Bemafi32.ini" ]; then
    ini_guardado=$tmp/Bemafi32.ini
    cp "$bin/Bemafi32.ini" "$ini_guardado"
fi
printf '[Sistema]\r\nPorta=Default\r\n' >"$bin/Bemafi32.ini"
if [ -x "$bin/emulador-ecf" ]; then
    # It is registered for "Default" discovery once it has printed its terminal's path.
    "$bin/emulador-ecf" </dev/null >"$tmp/emulador.out" 2>"$tmp/emulador.log" &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$tmp/emulador.out" ] && break
        sleep 0.1
    done
    echo "printer: emulator on $(head -n 1 "$tmp/emulador.out")"
else
    echo "printer: idle stand-in library"
fi

"$bin/TesteECF" >"$tmp/programa.log" 2>&1 &
pids+=($!)
janela=$(timeout 20 xdotool search --sync --onlyvisible --name 'Teste de Comunica' | head -n 1)
# Active, as the operator sees it at start; the pointer away from the buttons.
xdotool windowfocus --sync "$janela" mousemove 0 0
# The window is mapped before Qt's first paint reaches the server.
sleep 1
mkdir -p docs
import -window "$janela" docs/janela.png
echo "docs/janela.png"

# Centre of BtLocalizar, at (8, 177) and 330 by 80 in the window.
xdotool mousemove --window "$janela" 173 217 click 1
# A visible window other than the main one, waited for up to 30 s.
outra_janela() {
    for _ in $(seq 300); do
        xdotool search --onlyvisible --name '.' 2>/dev/null | grep -vx "$janela" | head -n 1 && return 0
        sleep 0.1
    done
    return 1
}
# Boxes shown before the three answers (a return box, say) are closed with Enter.
for _ in 1 2 3 4 5; do
    caixa=$(outra_janela) || break
    nome=$(xdotool getwindowname "$caixa")
    sleep 1
    if [ "$nome" = Testeecf ]; then
        import -window "$caixa" docs/mensagem.png
        echo "docs/mensagem.png"
        xdotool windowfocus --sync "$caixa" key Return
        exit 0
    fi
    echo "closing the box \"$nome\""
    xdotool windowfocus --sync "$caixa" key Return
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name '.' 2>/dev/null | grep -qx "$caixa" || break
        sleep 0.1
    done
done
echo "the three-answer message did not appear" >&2
exit 1
