#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time (FUZZ_SECONDS, 20 by
# default). Any crash, sanitizer report or leak fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
segundos=${FUZZ_SECONDS:-20}
cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build/fuzz -j "$(nproc)"

alvos=$(find build/fuzz -maxdepth 1 -type f -executable -name 'fuzz_*' | sort)
[ -n "$alvos" ] || { echo "no fuzz targets"; exit 1; }
for alvo in $alvos; do
    nome=$(basename "$alvo")
    corpus=build/fuzz/corpus/$nome
    mkdir -p "$corpus"
    semente=tests/fuzz/corpus/$nome
    [ -d "$semente" ] || semente=
    echo "== $nome for ${segundos}s =="
    # A failing input goes to build/fuzz/, not into the work tree.
    if ! "$alvo" -max_total_time="$segundos" -rss_limit_mb=2048 -print_final_stats=0 \
        -artifact_prefix=build/fuzz/"$nome"- "$corpus" $semente >build/fuzz/"$nome".log 2>&1; then
        tail -n 40 build/fuzz/"$nome".log
        echo "$nome failed"
        exit 1
    fi
    tail -n 3 build/fuzz/"$nome".log
done
