#!/usr/bin/env bash
# Whole jobs and searches in the real main window (drawn offscreen) against norvik-cli on an identical
# copy of the same tree: 1,000, 4,000 and 20,000 changed files. Prints times, ratios and peak memory.
#
#   bench/window.sh [--sizes 1000,4000,20000] [--runs 3] [--dir /dev/shm/norvik-window-bench]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/deps.sh time
cmake -S . -B build-bench-window -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVIK_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench-window --target bench_window >/dev/null
exec build-bench-window/bin/bench_window "$@"
