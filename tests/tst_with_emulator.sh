#!/usr/bin/env bash
# The start-up path of the run command: scripts/with-emulator.sh starts the emulator,
# registered, runs the program (here a stand-in that records what it saw and exits), and
# ends the emulator with it, whatever Bemafi32.ini holds or lacks.
#   tst_with_emulator.sh SCRIPT EMULATOR
set -uo pipefail
script=$(realpath "$1")
emulador=$(realpath "$2")
passou=0
falhou=0

raiz=$(mktemp -d --tmpdir tst-with-emulator.XXXXXX)
trap 'rm -rf "$raiz"' EXIT

# One case: NAME, the Bemafi32.ini to lay beside the program ("-" for none), the stand-in's
# exit status, the status the script must end with, and a text its output must hold ("" for
# none) and one it must not.
caso() {
    local nome=$1 ini=$2 sai=$3 esperado=$4 contem=$5 naoContem=$6
    local pasta=$raiz/${nome// /_}
    mkdir -p "$pasta/bin" "$pasta/run"
    chmod 700 "$pasta/run"
    [ "$ini" = - ] || printf '%b' "$ini" >"$pasta/bin/Bemafi32.ini"
    # The stand-in: records its arguments and the registrations it finds, then exits.
    cat >"$pasta/bin/TesteECF" <<PROGRAMA
#!/usr/bin/env bash
printf '%s\n' "\$@" >"$pasta/argumentos"
ls "$pasta/run/testeecf" >"$pasta/registros" 2>&1
exit $sai
PROGRAMA
    chmod +x "$pasta/bin/TesteECF"

    local saida status
    saida=$(cd "$pasta" && XDG_RUNTIME_DIR=$pasta/run TMPDIR=$pasta timeout 60 "$script" "$emulador" \
        "$pasta/bin/TesteECF" um "dois tres" </dev/null 2>&1)
    status=$?
    local erros=()
    [ "$status" -eq "$esperado" ] || erros+=("ended with $status, not $esperado")
    [ "$(cat "$pasta/argumentos" 2>/dev/null)" = $'um\ndois tres' ] ||
        erros+=("the program was not run with its arguments")
    grep -q '^emulador-' "$pasta/registros" 2>/dev/null ||
        erros+=("the emulator was not registered while the program ran")
    grep -q '^Printer emulator on /dev/' <<<"$saida" || erros+=("no line naming the emulator's pty")
    [ -z "$contem" ] || grep -qF "$contem" <<<"$saida" || erros+=("output lacks: $contem")
    [ -z "$naoContem" ] || ! grep -qF "$naoContem" <<<"$saida" || erros+=("output has: $naoContem")
    # The emulator ends with the program and takes its registration with it.
    [ -z "$(ls -A "$pasta/run/testeecf" 2>/dev/null)" ] || erros+=("the registration outlived the program")
    if ((${#erros[@]})); then
        echo "FAIL: $nome"
        printf '    %s\n' "${erros[@]}"
        printf '    | %s\n' "$saida"
        falhou=$((falhou + 1))
    else
        echo "PASS: $nome"
        passou=$((passou + 1))
    fi
}

aviso='choose "Default" to find the emulator'
caso "first run, no Bemafi32.ini yet" - 0 0 "" "$aviso"
caso "a saved port other than Default" '[Sistema]\r\nPath=/x/\r\nPorta=COM3\r\n' 0 0 \
    'The saved port is "COM3"' ""
caso "Default saved, in any case" '[Sistema]\r\nPorta=dEFAULT\r\n' 0 0 "" "$aviso"
caso "a file without a port" '[Sistema]\r\nPath=/x/\r\n' 0 0 "" "$aviso"
caso "a binary file" '\x00\xff\xfe[\x01' 0 0 "" "$aviso"
caso "the program's failure is the script's" - 3 3 "" ""

echo "$passou passed, $falhou failed"
[ "$falhou" -eq 0 ]
