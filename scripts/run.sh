#!/usr/bin/env bash
# Builds the two programs (the window and norvik-cli; no test programs) and starts the window from the
# build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target norvik norvik-cli
exec build/bin/norvik "$@"
