#!/usr/bin/env bash
# Builds Norvik from scratch and runs every test.
#   scripts/test.sh              plain build in build-test/ (build/ and the state saved there stay)
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=build-test
flags=(-DNORVIK_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
    build=build-asan
    flags+=(-DNORVIK_SANITIZE=ON -DNORVIK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
rm -rf "$build"
cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build" -j "$(nproc)"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
