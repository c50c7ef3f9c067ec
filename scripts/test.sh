#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the
# same tests built with AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz
# target for a bounded time (FUZZ_SECONDS, 20 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
for preset in default sanitize; do
    cmake --preset "$preset" -G Ninja >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Qt's own libraries keep a few allocations for the life of the process.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
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
