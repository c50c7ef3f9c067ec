#!/usr/bin/env bash
# The Windows program's window under Wine, framed by a window manager, as a person sees it:
# docs/janela-windows.png (at start) and docs/mensagem-windows.png (the three answers after
# "Localizar Impressora 4200 TH FI", the printer emulator on Wine's COM1). Uses the builds
# that scripts/test.sh makes (build/windows-x64, build/default).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
command -v openbox >/dev/null || {
    sudo_=""
    [ "$(id -u)" -eq 0 ] || sudo_=sudo
    DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -q --no-install-recommends openbox
}
programa=build/windows-x64/bin
emulador=build/default/bin/emulador-ecf
[ -x "$emulador" ] && [ -f "$programa/TesteECF.exe" ] ||
    { echo "build first: scripts/test.sh" >&2; exit 1; }
source tests/windows/wine_com1.sh

tmp=$(mktemp -d)
pids=()
fim() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    "$servidor" -k 2>/dev/null || true
    rm -rf "$tmp"
}
trap fim EXIT
PrefixoNovo
EmuladorNaCom1 || { echo "the emulator did not start" >&2; exit 1; }
pids+=("$emulador_pid")

mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -dpi 96 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
pids+=($!)
read -r -t 20 numero <"$tmp/display"
export DISPLAY=:$numero
timeout 20 bash -c 'until xdpyinfo >/dev/null 2>&1; do sleep 0.1; done'
# A window manager for the frames; Wine frames its windows through it when it is there
# before the program starts.
openbox >/dev/null 2>&1 &
pids+=($!)
timeout 20 bash -c 'until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window; do sleep 0.1; done'
# What the window manager draws around a window: cut from a picture of the whole screen.
foto() { # WINDOW FILE
    local x y w h
    eval "$(xwininfo -frame -id "$1" | awk '/Absolute upper-left X/ { print "x=" $4 }
        /Absolute upper-left Y/ { print "y=" $4 } /Width:/ { print "w=" $2 } /Height:/ { print "h=" $2 }')"
    local l r t b
    IFS=', ' read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed 's/.*= //' || echo "0, 0, 0, 0")
    import -window root -crop "$((w + ${l:-0} + ${r:-0}))x$((h + ${t:-0} + ${b:-0}))+$((x - ${l:-0}))+$((y - ${t:-0}))" "$2"
}

cp -r "$programa" "$tmp/programa"
printf '[Sistema]\r\nPorta=Default\r\n' >"$tmp/programa/Bemafi32.ini"
(cd "$tmp/programa" && exec "$loader" ./TesteECF.exe) >/dev/null 2>&1 &
pids+=($!)
janela=$(timeout 60 xdotool search --sync --onlyvisible --name '^Teste de Comunica' | head -n 1)
xdotool windowactivate --sync "$janela" 2>/dev/null || true
xdotool mousemove 0 0
# The window is mapped before its first paint is done.
sleep 2
mkdir -p docs
foto "$janela" docs/janela-windows.png
echo docs/janela-windows.png

xdotool key --window "$janela" Return
caixa=$(timeout 60 xdotool search --sync --onlyvisible --name '^Testeecf$' | head -n 1)
sleep 2
foto "$caixa" docs/mensagem-windows.png
echo docs/mensagem-windows.png
xdotool key --window "$caixa" Return
