#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program against the printer emulator:
# the emulator runs in the background, registered so that "Default" finds it, prints each
# X reading here and into a receipt file, and ends when the program does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default -G Ninja >/dev/null
cmake --build --preset default -j "$(nproc)"

bin=build/default/bin
recibo=$(mktemp --tmpdir testeecf-recibo.XXXXXX.txt)
saida=$(mktemp -u --tmpdir testeecf-emulador.XXXXXX)
mkfifo -m 600 "$saida"
"$bin/emulador-ecf" --recibo "$recibo" </dev/null >"$saida" &
emulador=$!
trap 'kill "$emulador" 2>/dev/null || true; wait "$emulador" 2>/dev/null || true' EXIT
exec 4<"$saida"
rm -f "$saida"
read -r -t 10 pty <&4 || { echo "The printer emulator did not start." >&2; exit 1; }
# The emulator's output from now on is the X readings it prints.
cat <&4 &
exec 4<&-

echo "Printer emulator on $pty, registered for \"Default\"."
echo "Each X reading it prints appears here and in $recibo"
porta=$(sed -n 's/^[Pp][Oo][Rr][Tt][Aa]=//p' "$bin/Bemafi32.ini" 2>/dev/null | tr -d '\r' | head -n 1)
if [ -n "$porta" ] && [ "${porta,,}" != default ]; then
    echo "The saved port is \"$porta\": choose \"Default\" to find the emulator."
fi
"$bin/TesteECF"
