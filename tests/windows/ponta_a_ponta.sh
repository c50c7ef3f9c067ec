#!/usr/bin/env bash
# The Windows program end to end, through its real window: TesteECF.exe under Wine in Xvfb,
# the stand-in bemafi32.dll beside it, Wine's COM1 mapped to the printer emulator's
# pseudo-terminal. Driven with xdotool; what happened is read from the emulator, its
# receipt, the library's traffic log and Bemafi32.ini. Every wait is on a condition, bounded.
#   ponta_a_ponta.sh [--so-localiza] PROGRAM_FOLDER EMULATOR
# PROGRAM_FOLDER holds TesteECF.exe with what it loads (it is copied, never changed).
# --so-localiza: start, locate the printer on COM1 named in Bemafi32.ini (a line on its own,
# where the other run goes through "Default"), and close: for a freshly unpacked release.
set -uo pipefail
so_localiza=false
if [ "${1:-}" = --so-localiza ]; then
    so_localiza=true
    shift
fi
origem=$(realpath "$1")
emulador=$(realpath "$2")
titulo="Teste de Comunicação Exclusivo MP 4200 TH FI"
# Bounds for waits that end as soon as their condition holds.
espera=${TESTEECF_ESPERA:-90}

source "$(dirname "$0")/confere.sh"
source "$(dirname "$0")/wine_com1.sh"
# Waits until the command succeeds, for at most SECONDS; the command is retried as soon as
# it returns, each try bounded by the same deadline.
ate() { # SECONDS COMMAND...
    local limite=$((SECONDS + $1))
    shift
    while ((SECONDS < limite)); do
        "$@" && return 0
        # A short pause before the next try, without spinning: a read with a timeout from
        # a FIFO nobody writes.
        read -r -t 0.2 <>"$tmp/nada" || true
    done
    return 1
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/testeecf-e2e.XXXXXX")
mkfifo "$tmp/nada"
pids=()
encerra() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    WINEPREFIX=$tmp/prefixo "$servidor" -k 2>/dev/null || true
    rm -rf "$tmp"
}
trap encerra EXIT

PrefixoNovo
confere "a fresh Wine prefix" $?
EmuladorNaCom1 --recibo "$tmp/recibo.txt"
mapeada=$?
pids+=("$emulador_pid")
[[ ${pty:-} == /dev/* ]]
confere "the emulator started" $? "${pty:-}"
confere "COM1 mapped to ${pty:-}" "$mapeada"
situacao() { # the value of FIELD in the emulator's "situacao" line
    local antes
    antes=$(grep -c '^ok situacao' "$tmp/emulador.txt")
    echo situacao >&5
    ate 10 test "$(grep -c '^ok situacao' "$tmp/emulador.txt")" -gt "$antes" || return 1
    grep '^ok situacao' "$tmp/emulador.txt" | tail -n 1 | sed -n "s/.* $1 \([^ ]*\).*/\1/p"
}

# A display of its own.
mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$tmp/display" \
    2>"$tmp/xvfb.log" &
pids+=($!)
read -r -t 30 numero <"$tmp/display"
export DISPLAY=:$numero
ate 20 xdpyinfo >/dev/null 2>&1
confere "Xvfb on $DISPLAY" $?

pasta=$tmp/programa
cp -r "$origem" "$pasta"
# The traffic log, to read the library's side of it.
porta=Default
$so_localiza && porta=COM1
printf '[Sistema]\r\nPorta=%s\r\n[Bemafi32]\r\nLog=trafego.log\r\n' "$porta" >"$pasta/Bemafi32.ini"
(cd "$pasta" && exec "$loader" ./TesteECF.exe) >"$tmp/programa.txt" 2>&1 &
programa=$!
pids+=($programa)

janela=""
acha() { janela=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1); [ -n "$janela" ]; }
ate "$espera" acha "$titulo"
confere "the window maps with its title" $?
[ -n "$janela" ] || fim
principal=$janela
geometria=$(xwininfo -id "$principal" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
[ "$geometria" = 346x353 ]
confere "the client area is 346 by 353" $? "$geometria"

ini="$pasta/Bemafi32.ini"
ate 10 grep -q '^Path=' "$ini"
caminho=$(sed -n 's/^Path=\(.*\)\r$/\1/p' "$ini")
[[ "$caminho" == Z:\\*\\ ]] && [ "$caminho" = "Z:$(echo "$pasta" | tr / '\\')\\" ]
confere "Bemafi32.ini holds Path with the Windows folder and its backslash" $? "$caminho"
! grep -q $'[^\r]$' "$ini" && [ "$(tail -c 2 "$ini" | od -An -c | tr -d ' ')" = '\r\n' ]
confere "Bemafi32.ini has CRLF line breaks" $?

caixa() { # waits for the program's message box and closes it with Enter
    ate "$espera" acha Testeecf || return 1
    local c=$janela
    xdotool windowactivate --sync "$c" 2>/dev/null || xdotool windowfocus --sync "$c" 2>/dev/null
    xdotool key --window "$c" Return
    ate 20 bash -c "! xdotool search --onlyvisible --name '^Testeecf\$' >/dev/null 2>&1"
}

# The port is in the box; the locate button has the focus.
xdotool windowactivate --sync "$principal" 2>/dev/null || xdotool windowfocus --sync "$principal"
xdotool key --window "$principal" Return
caixa
confere "locate: the answers' box comes and closes" $?
pedidos=$(situacao pedidos)
[ "${pedidos:-0}" -ge 2 ]
confere "locate: the emulator was asked twice" $? "$pedidos"
grep -q 'COM1 -> \[.*Status.* <- \[.*\] resposta' "$pasta/trafego.log" 2>/dev/null
confere "locate: the library found the printer on COM1 through \"$porta\"" $?
# "Default" opened every COM name: none led to a port of the machine's own.
PortasSoNossas
confere "COM1 to COM15 lead to the emulator or to nothing" $?

if ! $so_localiza; then
    xdotool key --window "$principal" Tab Return
    ate "$espera" grep -q 'LEITURA X' "$tmp/recibo.txt"
    confere "X reading: the emulator printed it" $?
    caixa
    confere "X reading: the answers' box comes and closes" $?
fi

# Closing the window releases the port: the library says so, and nothing holds the line.
xdotool key --window "$principal" alt+F4
ate "$espera" bash -c "! kill -0 $programa 2>/dev/null"
confere "the window closes and the program ends" $?
grep -q 'fecha .*COM1' "$pasta/trafego.log" 2>/dev/null
confere "closing released the port" $?
ate 20 LinhaLivre
confere "the emulator's line is free again" $?
fim
