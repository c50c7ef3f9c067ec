#!/usr/bin/env bash
# The Windows stand-in bemafi32.dll under Wine, call by call, against the printer emulator on
# Wine's COM1: return codes and the four values, deadlines kept, the port let go, a line
# that hangs up; both for a port named in Bemafi32.ini (plain calls) and for
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
encerra() {
    exec {SONDA[1]}>&- 2>/dev/null || true
    [ -n "${SONDA_PID:-}" ] && { kill "$SONDA_PID" 2>/dev/null; wait "$SONDA_PID" 2>/dev/null; }
    EncerraWine
}
trap encerra EXIT

PrefixoNovo
confere "a fresh Wine prefix" $?
EmuladorNaCom1
confere "the emulator on COM1" $? "${pty:-}"
# For "Default": COM2 and COM3 never answer; COM4 answers when told to.
OutroEmulador mudo2 --estado silencio && OutroEmulador mudo3 --estado silencio &&
    OutroEmulador com4 --estado silencio && MapeiaPortas
confere "three more emulators on COM2 to COM4" $? "${portas[*]}"
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
# A control command to an emulator, waited for until it says "ok".
emulador_em() { # CONTROL OUTPUT COMMAND...
    local controle=$1 saida=$2 antes
    shift 2
    antes=$(grep -c '^ok ' "$saida")
    echo "$*" >"$controle"
    local fim=$((SECONDS + limite))
    until (($(grep -c '^ok ' "$saida") > antes)) || ((SECONDS >= fim)); do
        read -r -t 0.05 <>"$tmp/espera" || true
    done
    grep -q "^ok $1" "$saida"
}
emulador() { emulador_em "$tmp/controle" "$tmp/emulador.txt" "$@"; }         # COM1's
com4() { emulador_em "$tmp/controle-com4" "$tmp/emulador-com4.txt" "$@"; } # COM4's
entre() { (($1 >= $2 && $1 <= $3)); } # VALUE MIN MAX
# The library's log: the last exchange was with the printer on PORT.
ultima_troca_em() { # PORT
    [[ $(grep ' -> ' "$tmp/programa/trafego.log" | tail -n 1) == *"$1 -> "*" resposta #"* ]]
}

T=400 # the status timeout, ms

echo "-- a port named in Bemafi32.ini --"
chama "ini: COM1" "ini 1" ini COM1 $T 10000
chama "no port open yet: -5" "verifica -5 0 0 0 0 [0-9]+" verifica
chama "X reading with no port: -5" "leiturax -5 [0-9]+" leiturax
# A line found at another speed is set for the session and put back at the close.
stty -F "$pty" 9600
chama "open COM1" "abre 1 [0-9]+" abre
[ "$(stty -F "$pty" speed)" = 115200 ]
confere "the line found at 9600 runs at 115200" $? "$(stty -F "$pty" speed)"
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
[ "$(stty -F "$pty" speed)" = 9600 ]
confere "the close put 9600 back" $? "$(stty -F "$pty" speed)"
LinhaLivre
confere "closing let the line go" $?
# (Wine does not keep a COM port to one opener, as Windows' serial driver does: a port
# held by another program cannot be shown here.)

echo "-- \"Default\" --"
chama "ini: Default" "ini 1" ini Default $T 10000
chama "found on COM1" "abre 1 [0-9]+" abre
chama "idle printer: 1" "verifica 1 6 0 0 0 [0-9]+" verifica
chama "X reading printed: 1" "leiturax 1 [0-9]+" leiturax
ultima_troca_em COM1
confere "the log shows the exchanges on COM1" $?
chama "close" "fecha 1 [0-9]+" fecha
emulador estado lixo
chama "garbage on every line: 0" "abre 0 [0-9]+" abre
emulador estado silencio
chama "four lines, none answers: -6" "abre -6 [0-9]+" abre
# One timeout in all, not one a line: four would be 4T.
entre "$(ms)" $((T * 9 / 10)) $((T * 5 / 2))
confere "the probe costs one timeout" $? "$(ms) ms for $T"
com4 estado normal
chama "the printer on the last line" "abre 1 [0-9]+" abre
entre "$(ms)" 0 $((T * 9 / 10))
confere "found without waiting out the silent lines" $? "$(ms) ms for $T"
chama "  and talked to" "verifica 1 6 0 0 0 [0-9]+" verifica
ultima_troca_em COM4
confere "the log shows the exchanges on COM4" $?
chama "close" "fecha 1 [0-9]+" fecha
com4 estado silencio
emulador estado normal
chama "found again on COM1" "abre 1 [0-9]+" abre
echo sair >&5
wait "$emulador_pid" 2>/dev/null
emulador_pid=""
chama "the line hung up: -6" "verifica -6 0 0 0 0 [0-9]+" verifica
chama "close" "fecha 1 [0-9]+" fecha
LinhaLivre
confere "closing a hung-up line let it go" $?
PortasSoNossas
confere "COM1 to COM15 led to our emulators or to nothing" $?
fim
