#!/usr/bin/env bash
# The Windows stand-in bemafi32.dll under Wine, call by call, against the printer emulator on
# Wine's COM1: return codes and the four values, deadlines kept, a busy port, the port let
# go, a line that hangs up; both for a port named in Bemafi32.ini (plain calls) and for
# "Default" (overlapped lines waited on together). sonda_bemafi32.exe makes the calls; this
# script changes the emulator between them.
#   substituta.sh PROGRAM_FOLDER EMULATOR
# PROGRAM_FOLDER holds sonda_bemafi32.exe, bemafi32.dll and the compiler's DLLs.
set -uo pipefail
origem=$(realpath "$1")
emulador=$(realpath "$2")
source "$(dirname "$0")/confere.sh"
source "$(dirname "$0")/wine_com1.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/testeecf-substituta.XXXXXX")
emulador_pid=""
encerra() {
    exec {SONDA[1]}>&- 2>/dev/null || true
    [ -n "${SONDA_PID:-}" ] && { kill "$SONDA_PID" 2>/dev/null; wait "$SONDA_PID" 2>/dev/null; }
    if [ -n "$emulador_pid" ]; then
        kill "$emulador_pid" 2>/dev/null || true
        wait "$emulador_pid" 2>/dev/null || true
    fi
    WINEPREFIX=$tmp/prefixo "$servidor" -k 2>/dev/null || true
    rm -rf "$tmp"
}
trap encerra EXIT

PrefixoNovo
confere "a fresh Wine prefix" $?
EmuladorNaCom1
confere "the emulator on COM1" $? "${pty:-}"
"$servidor" -p >/dev/null 2>&1

mkdir "$tmp/programa"
cp "$origem/sonda_bemafi32.exe" "$origem/bemafi32.dll" "$origem"/lib*.dll "$tmp/programa/"
coproc SONDA { cd "$tmp/programa" && exec "$loader" ./sonda_bemafi32.exe 2>/dev/null; }

# Bounds far from anything the calls take: they only keep a broken run from hanging.
limite=60
resposta=""
pede() { # COMMAND...: one call; its answer line in $resposta
    resposta=""
    printf '%s\n' "$*" >&"${SONDA[1]}" 2>/dev/null || return 1
    IFS= read -r -t "$limite" resposta <&"${SONDA[0]}"
    resposta=${resposta%$'\r'} # a console program's line ends in CRLF
}
# Checks a call's answer against a pattern (a bash regular expression, whole line).
chama() { # NAME PATTERN COMMAND...
    local nome=$1 padrao=$2
    shift 2
    pede "$@"
    [[ $resposta =~ ^$padrao$ ]]
    confere "$nome" $? "got \"$resposta\""
}
ms() { echo "${resposta##* }"; } # the time the last call took
# A control command to the emulator, waited for until it says "ok".
emulador() { # COMMAND...
    local antes
    antes=$(grep -c '^ok ' "$tmp/emulador.txt")
    echo "$*" >&5
    local fim=$((SECONDS + limite))
    until (($(grep -c '^ok ' "$tmp/emulador.txt") > antes)) || ((SECONDS >= fim)); do
        read -r -t 0.05 <>"$tmp/espera" || true
    done
    grep -q "^ok $1" "$tmp/emulador.txt"
}
entre() { (($1 >= $2 && $1 <= $3)); } # VALUE MIN MAX

T=400 # the status timeout, ms

echo "-- a port named in Bemafi32.ini --"
chama "ini: COM1" "ini 1" ini COM1 $T 10000
chama "no port open yet: -5" "verifica -5 0 0 0 0 [0-9]+" verifica
chama "X reading with no port: -5" "leiturax -5 [0-9]+" leiturax
chama "open COM1" "abre 1 [0-9]+" abre
chama "idle printer: 1, ACK 6" "verifica 1 6 0 0 0 [0-9]+" verifica
chama "status of the last command" "retorno 1 6 0 0 0" retorno
chama "X reading printed: 1" "leiturax 1 [0-9]+" leiturax
linhas=(
    "pouco-papel|verifica 1 6 64 0 0 [0-9]+"
    "sem-papel|verifica 1 6 128 0 11 [0-9]+"
    "recusa|verifica 1 21 0 0 0 [0-9]+"
    "lixo|verifica 0 0 0 0 0 [0-9]+"
    "corta|verifica 0 0 0 0 0 [0-9]+"
    # After an answer cut short, silence is silence: nothing of it is kept.
    "silencio|verifica -6 0 0 0 0 [0-9]+"
)
for linha in "${linhas[@]}"; do
    estado=${linha%%|*}
    emulador estado "$estado"
    chama "state $estado" "${linha#*|}" verifica
done
entre "$(ms)" $((T * 9 / 10)) $((T * 20))
confere "silence costs the timeout" $? "$(ms) ms for $T"
chama "the last command's values read 0 after silence" "retorno 1 0 0 0 0" retorno
emulador estado sem-papel
chama "X reading out of paper: -27" "leiturax -27 [0-9]+" leiturax

emulador estado normal
emulador atraso $((T / 4))
chama "an answer slower than the line, inside the timeout" "verifica 1 6 0 0 0 [0-9]+" verifica
entre "$(ms)" $((T / 4)) $((T * 20))
confere "it was waited for" $? "$(ms) ms"
emulador atraso $((T * 5))
chama "an answer after the timeout: -6" "verifica -6 0 0 0 0 [0-9]+" verifica
entre "$(ms)" $((T * 9 / 10)) $((T * 5 - 1))
confere "given up at the timeout" $? "$(ms) ms for $T"
emulador atraso 0
# The late answer comes while this one waits, and carries another sequence number.
chama "ini: a longer timeout" "ini 1" ini COM1 $((T * 20)) 10000
chama "the late answer is skipped, this one read" "verifica 1 6 0 0 0 [0-9]+" verifica
chama "close" "fecha 1 [0-9]+" fecha
LinhaLivre
confere "closing let the line go" $?
# (Wine does not keep a COM port to one opener, as Windows' serial driver does: a port
# held by another program cannot be shown here.)

echo "-- \"Default\" --"
chama "ini: Default" "ini 1" ini Default $T 10000
chama "found on COM1" "abre 1 [0-9]+" abre
chama "idle printer: 1" "verifica 1 6 0 0 0 [0-9]+" verifica
chama "X reading printed: 1" "leiturax 1 [0-9]+" leiturax
grep -q 'COM1' "$tmp/programa/trafego.log"
confere "the log names COM1" $?
chama "close" "fecha 1 [0-9]+" fecha
emulador estado lixo
chama "garbage on every line: 0" "abre 0 [0-9]+" abre
emulador estado silencio
chama "nothing answers: -6" "abre -6 [0-9]+" abre
entre "$(ms)" $((T * 9 / 10)) $((T * 20))
confere "the probe costs the timeout" $? "$(ms) ms for $T"
emulador estado normal
chama "found again" "abre 1 [0-9]+" abre
echo sair >&5
wait "$emulador_pid" 2>/dev/null
emulador_pid=""
chama "the line hung up: -6" "verifica -6 0 0 0 0 [0-9]+" verifica
chama "close" "fecha 1 [0-9]+" fecha
LinhaLivre
confere "closing a hung-up line let it go" $?
PortasSoNossas
confere "COM1 to COM15 led to the emulator or to nothing" $?
fim
