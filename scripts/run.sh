#!/usr/bin/env bash
# Builds the window program (and only it: no test programs) and starts it from the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target norvik
exec build/bin/norvik "$@"
