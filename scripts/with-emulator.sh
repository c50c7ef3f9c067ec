#!/usr/bin/env bash
# Starts the printer emulator in the background, registered so that "Default" finds it, then
# runs PROGRAM; the emulator ends when PROGRAM does. Each X reading the emulator prints
# shows here and in a receipt file.
#   scripts/with-emulator.sh EMULATOR PROGRAM [ARGUMENT...]
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 EMULATOR PROGRAM [ARGUMENT...]" >&2; exit 2; }
emulador=$1
programa=$2
shift 2

recibo=$(mktemp --tmpdir testeecf-recibo.XXXXXX.txt)
pasta=$(mktemp -d --tmpdir testeecf-emulador.XXXXXX)
saida=$pasta/saida
mkfifo -m 600 "$saida"
"$emulador" --recibo "$recibo" </dev/null >"$saida" &
pid=$!
encerra() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    rm -rf "$pasta"
}
trap encerra EXIT
exec 4<"$saida"
read -r -t 10 pty <&4 || { echo "The printer emulator did not start." >&2; exit 1; }
# The emulator's output from now on is the X readings it prints.
cat <&4 &
exec 4<&-

echo "Printer emulator on $pty, registered for \"Default\"."
echo "Each X reading it prints appears here and in $recibo"
# The port saved by an earlier run, if any: the file is written by the program at its
# first start, so it may not be there yet.
ini=$(dirname "$programa")/Bemafi32.ini
porta=""
if [ -f "$ini" ]; then
    porta=$(tr -d '\r' <"$ini" | sed -n 's/^[Pp][Oo][Rr][Tt][Aa]=//p' | head -n 1) || true
fi
if [ -n "$porta" ] && [ "${porta,,}" != default ]; then
    echo "The saved port is \"$porta\": choose \"Default\" to find the emulator."
fi
status=0
"$programa" "$@" || status=$?
exit $status
