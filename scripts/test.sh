#!/usr/bin/env bash
# Builds Norvik from scratch and runs every test.
#   scripts/test.sh              plain build in build-test/ (build/ and the state saved there stay)
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh --tsan       ThreadSanitizer build of the core in build-tsan/: the engine's tests
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
if [ "${1:-}" = "--tsan" ]; then
    # The workers and the committer share the engine: the core's tests under ThreadSanitizer, the
    # command line's among them (whole jobs on several workers of a norvik-cli built the same way).
    build=build-tsan
    flags+=(-DNORVIK_TSAN=ON -DNORVIK_BUILD_UI=OFF -DNORVIK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo)
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    rm -rf "$build"
    cmake -S . -B "$build" -G Ninja "${flags[@]}"
    cmake --build "$build" -j "$(nproc)" -t test_filedeal test_job norvik-cli
    cd "$build"
    ./bin/test_filedeal
    ./bin/test_job
    exit 0
fi
rm -rf "$build"
cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build" -j "$(nproc)"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
