#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the
# same tests built with AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz
# target for a bounded time (FUZZ_SECONDS, 20 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
for preset in default sanitize; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done

# The test presets carry what each build needs (the sanitizers' options, the time scale).
status=0
for preset in default sanitize; do
    echo "== tests ($preset) =="
    ctest --preset "$preset" -j "$jobs" || status=1
done
echo "== fuzz =="
scripts/fuzz.sh || status=1
echo "== Windows build, tests under Wine =="
scripts/windows.sh || status=1
exit $status
