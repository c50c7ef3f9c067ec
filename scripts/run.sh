#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program against the printer emulator:
# the emulator runs in the background, registered so that "Default" finds it, prints each
# X reading here and into a receipt file, and ends when the program does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
bin=build/default/bin
exec scripts/with-emulator.sh "$bin/emulador-ecf" "$bin/TesteECF"
