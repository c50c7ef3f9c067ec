#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default -G Ninja >/dev/null
cmake --build --preset default -j "$(nproc)"
exec build/default/bin/TesteECF
